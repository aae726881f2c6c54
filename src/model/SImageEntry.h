#pragma once
// One row of the picture list.
#include <QByteArray>
#include <QString>

struct SImageEntry {
    QString mFilename;              // file name without directory, as text to show
    QByteArray mNativeName;         // the same name as the file system keeps it: opens it
    QString mPath;                  // directory relative to the list's base folder, or C:/...
    QString mDate = "undefined";    // "yyyy:MM:dd hh:mm:ss", an Exif status text or "undefined"
    int mOrientation = 0;           // Exif code 1..8; 0 never read; -2 none; -1 unreadable file
    QString mCamera = "undefined";  // make, one space, model; "undefined" when the file has none
    // The file's Exif data went into every field above that was still unread: an
    // "undefined" camera now means the file names none. Not saved with a list.
    bool mExifRead = false;
    // The file left the listed folder: the entry is no row any more.
    bool mRemoved = false;

    // The text field shown in a column: 0 file name, 1 path, 2 date, 4 camera. The
    // orientation is a number, so column 3 (and any other) gives an empty text.
    const QString& operator[](int column) const;
};
