#pragma once
// JPEG encoding of 8-bit RGB pictures into memory, with the program's own APP1 (Exif),
// APP2 and APP3 segments.
#include "image.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The largest payload that one APP segment can carry (its length field counts itself).
constexpr size_t kMaxSegmentPayload = 65533;

struct SJpegWrite {
    int mQuality = 90;           // 1..100; values outside are clamped
    std::vector<uint8_t> mApp1;  // APP1 payload, e.g. "Exif\0\0..."; none when empty
    std::vector<uint8_t> mApp2;  // APP2 payload, written after the APP1 segment
    std::vector<uint8_t> mApp3;  // APP3 payload (a stereo descriptor), after the APP2 one
};

// Encodes width x height RGB samples (3 bytes a pixel, rows without gaps, top row
// first). A picture with an APP1 payload gets no JFIF segment, so that its APP1 comes
// right after the start of image as Exif readers expect. Empty, with a warning, on any
// failure; never ends the program.
std::vector<uint8_t> encodeJpeg(const uint8_t* rgb, int width, int height,
                                const SJpegWrite& options);
// The same for a record with 3 channels of 8 bits.
std::vector<uint8_t> encodeJpeg(const SImage& image, const SJpegWrite& options);
