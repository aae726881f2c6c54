#pragma once
// The program's own Exif block: an APP1 payload ("Exif\0\0" and a TIFF structure) with
// the capture date, orientation, camera, pixel dimensions and an optional thumbnail,
// laid out as cameras write it so that Exif readers of every kind take it.
#include <cstdint>
#include <string>
#include <vector>

struct SExifWrite {
    std::string mDateTime;  // "yyyy:MM:dd hh:mm:ss"; no date tags when empty
    int mOrientation = 1;   // 1..8; no orientation tag otherwise
    std::string mMake;      // no tag when empty
    std::string mModel;     // no tag when empty
    int mPixelWidth = 0;    // width and height of the picture as stored; no tag when 0
    int mPixelHeight = 0;
    std::vector<uint8_t> mThumbnail;  // a JPEG for IFD1; no IFD1 when empty
    bool mBigEndian = false;          // "MM" instead of "II" byte order
};

// IFD0: Make, Model, Orientation, resolution, DateTime (0x0132), YCbCr positioning and
// the Exif sub-directory pointer; the sub-directory: Exif version, DateTimeOriginal
// (0x9003), DateTimeDigitized, components, FlashPix version, colour space,
// PixelXDimension and PixelYDimension (0xA002/0xA003); IFD1: the thumbnail's offset and
// length (0x0201/0x0202) with the thumbnail right after it. Empty, with a warning, when
// the block would not fit into one APP1 segment.
std::vector<uint8_t> buildExifPayload(const SExifWrite& exif);
