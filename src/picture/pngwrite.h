#pragma once
// PNG encoding of 8-bit RGB and RGBA pictures into memory: the one PNG encoder of the
// program, for screenshots, frame sequences and exported anaglyphs alike, whose bytes
// then go to the disk through writeFileAtomically.
#include <cstdint>
#include <string>
#include <vector>

// width x height pixels of 3 (RGB) or 4 (RGBA) samples of 8 bits; rows[y] is the y-th
// row from the top, so that a picture stored bottom row first needs no copy. Empty, with
// *error (when not null) saying why, on failure.
std::vector<uint8_t> encodePngRows(const uint8_t* const* rows, int width, int height, int channels,
                                   std::string* error);

// width x height RGB samples, rows without gaps, top row first.
std::vector<uint8_t> encodePng(const uint8_t* rgb, int width, int height, std::string* error);
