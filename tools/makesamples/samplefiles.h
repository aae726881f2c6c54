#pragma once
// From rendered pixels to the files of the samples: thumbnails, the rotation that a
// camera held upright applies, Exif blocks, JPEG and MPO files.
#include "exifwrite.h"

#include <cstdint>
#include <string>
#include <vector>

struct SRgbPicture {
    int mWidth = 0;
    int mHeight = 0;
    std::vector<uint8_t> mPixels;  // RGB rows, top row first
};

// The picture averaged down to fit into 160 x 120, keeping its proportions.
SRgbPicture thumbnailOf(const SRgbPicture& picture);
// The pixels as a camera held for a portrait stores them: turned a quarter to the left,
// so that a viewer that turns them a quarter to the right (Exif orientation 6) shows
// the picture upright.
SRgbPicture storedForOrientation6(const SRgbPicture& upright);
// A capture date of 2023 that differs from seed to seed.
std::string dateForSeed(uint64_t seed);

// exif gets the picture's stored size and, when wanted, the thumbnail; then the JPEG
// is written atomically. False, with a warning, on failure.
bool writePhotoFile(const std::string& path, const SRgbPicture& picture, SExifWrite exif,
                    bool withThumbnail, int quality);
// The same for a stereo pair: the Exif block (and thumbnail of the left view) goes
// into the left picture, the two pictures into one MPO file with its MP index.
bool writeStereoFile(const std::string& path, const SRgbPicture& left, const SRgbPicture& right,
                     SExifWrite exif, bool withThumbnail, int quality);
