#pragma once
// Writes the Exif orientation of a photo with the exiv2 command. exiv2 rewrites a file
// in place, so an interrupted run would cut the photo short: it works on a copy beside
// the photo (the file a symbolic link names, never the link), which then replaces the
// photo in one rename. A photo with several hard links would be split by the rename:
// its content is replaced from the finished copy instead, and the copy removed.
#include <QString>

// JPEG and MPO files only, known by their content: the program reads no orientation
// from other files. Follows symbolic links; false for folders and missing files.
bool canWriteExifOrientation(const QString& path);

// Sets Exif.Image.Orientation to orientation (1..8). The file keeps its modification
// time (one of the date sources), its permissions and its other names. On failure the
// file is as it was and *message says why (exiv2's own words when it failed); only a
// disk that fails while a hard-linked photo's content is replaced can leave it damaged,
// and *message then names the copy that holds the new content.
bool writeExifOrientation(const QString& path, int orientation, QString* message);
