#pragma once
// What a file is, decided once from its content (never from its name): the view, the
// loaders and the converter all ask here whether a file is a stereo pair.
#include <cstdio>
#include <string>

// Mpo: a JPEG whose second picture is the right view of a stereo pair. A JPEG whose
// second picture is something else (a depth or gain map, a preview) is a Jpeg.
enum class EPictureKind { Unreadable, Jpeg, Mpo, Png };

struct SPictureKind {
    EPictureKind mKind = EPictureKind::Unreadable;
    long mSecondOffset = -1;  // Mpo: file offset of the right picture
    // Unreadable: why ("cannot open: <strerror>", "empty file", "not a JPEG, PNG or MPO
    // file"); Jpeg with a second picture that is not a view: why it is shown as a plain
    // picture.
    std::string mWhy;
};

// PNG by its 8-byte signature, JPEG by FF D8 FF; for a JPEG the MP index and the frame
// sizes decide whether it is a stereo pair. The file position is undefined afterwards.
SPictureKind identifyPicture(FILE* file);
// path in the 8-bit local encoding (UTF-8).
SPictureKind identifyPicture(const std::string& path);
