#pragma once
// One row of the picture list.
#include <QByteArray>
#include <QString>

#include <string>

struct SImageEntry {
    QString mFilename;       // file name without directory, as text to show
    QByteArray mNativeName;  // the same name as the file system keeps it: opens it
    QString mPath;           // directory relative to the list's base folder, or C:/...
    // The folder as the file system keeps it, when a list names it with bytes that are no
    // UTF-8 (mPath then shows them as Latin-1); empty when mPath names the folder.
    QByteArray mNativePath;
    QString mDate = "undefined";    // "yyyy:MM:dd hh:mm:ss", an Exif status text or "undefined"
    int mOrientation = 0;           // Exif code 1..8; 0 never read; -2 none; -1 unreadable file
    QString mCamera = "undefined";  // make, one space, model; "undefined" when the file has none
    // The file's Exif data went into every field above that was still unread: an
    // "undefined" camera now means the file names none. Not saved with a list.
    bool mExifRead = false;
    // With mExifRead: the file holds no JPEG or MPO picture, so no orientation can be
    // written into it.
    bool mNoJpeg = false;
    // The file left the listed folder: the entry is no row any more.
    bool mRemoved = false;
    // The row holds something of the user's that no list file has yet: a date, an
    // orientation, or the row itself (a dropped file, a picture of another folder).
    bool mChanged = false;
    // The file left the listed folder while the row stayed (it holds unsaved changes, or
    // belongs to a list): shown greyed until the file is back.
    bool mMissing = false;
    // The lines after this row in its list file that the reader did not understand, each
    // with its line feed: written back after the row as they were.
    std::string mKeptLines;

    // The text field shown in a column: 0 file name, 1 path, 2 date, 4 camera. The
    // orientation is a number, so column 3 (and any other) gives an empty text.
    const QString& operator[](int column) const;
};
