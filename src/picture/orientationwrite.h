#pragma once
// Changing the Exif orientation of a photo where it is stored: the value of IFD0's
// Orientation entry, found by the program's own Exif reader, rewritten in the file
// itself. Nothing else of the file moves, so maker notes whose offsets count from the
// Exif block stay whole, and the file keeps its inode, links, owner, mode, extended
// attributes and modification time.
#include <string>

enum class EOrientationInPlace {
    Written,     // the new value is in the file
    AlreadySet,  // the photo already has that orientation (a missing tag reads as 1)
    NoTag,       // no Orientation entry of one SHORT or LONG: it must be added
    Failed       // *why says why; the file is as it was
};

// path in the 8-bit local encoding; orientation 1..8. Only the first picture's Exif block
// is changed: the one the program and other viewers read the orientation from.
EOrientationInPlace writeOrientationInPlace(const std::string& path, int orientation,
                                            std::string* why);

// The orientation that a photo shows with: its tag, or 1 when it has none; -1 when the
// file cannot be read.
int storedOrientation(const std::string& path);
