#pragma once
// Writes the Exif orientation of a photo with the exiv2 command. exiv2 rewrites a file
// in place, so an interrupted run would cut the photo short: it works on a copy in the
// same folder, which then replaces the photo in one rename.
#include <QString>

// JPEG and MPO files only: the program reads no orientation from other files.
bool canWriteExifOrientation(const QString& path);

// Sets Exif.Image.Orientation to orientation (1..8). The file keeps its modification
// time (one of the date sources) and its permissions. On failure the file is as it
// was and *message says why (exiv2's own words when it failed).
bool writeExifOrientation(const QString& path, int orientation, QString* message);
