#pragma once
// Writes the Exif orientation of a photo. A photo that has an Orientation tag gets the new
// value where the tag lies, and nothing else of the file moves. Only a tag that must be
// added is written by the exiv2 command, on a copy beside the photo (the file a symbolic
// link names, never the link); the copy replaces the photo in one rename, keeping its
// owner, group, mode and extended attributes, and only when it reads as the photo did,
// the orientation apart: adding an entry moves the Exif block, and some cameras' maker
// notes do not survive that. A photo with several hard links would be split by the
// rename: its content is replaced from the finished copy instead.
#include <QString>

// JPEG and MPO files only, known by their content: the program reads no orientation
// from other files. Follows symbolic links; false for folders and missing files.
bool canWriteExifOrientation(const QString& path);

// Sets Exif.Image.Orientation to orientation (1..8); asking for the orientation the photo
// has (a missing tag reads as 1) writes nothing. The file keeps its modification time
// (one of the date sources), its permissions and its other names. On failure the file
// is as it was and *message says why (exiv2's own words when it failed); only a
// disk that fails while a hard-linked photo's content is replaced can leave it damaged,
// and *message then names the copy that holds the new content.
bool writeExifOrientation(const QString& path, int orientation, QString* message);
