#pragma once
// Pictures as another program brings them to sRGB: Pillow with its colour management
// (ImageCms), through the system's Python, for the colour tests of the decoders, the
// view and the exports.
#include "imagehandle.h"

#include <string>
#include <vector>

struct SRgbPicture {
    int mWidth = -1;
    int mHeight = -1;
    std::vector<unsigned char> mRgb;  // top row first
};

// Runs a Python script with the system's Python (which has Pillow) and the given
// arguments, quoted as the shell needs them; true when it succeeds.
bool runPython(const std::string& script, const std::string& arguments);

// Whether the system's Python has Pillow with ImageCms; tests skip, saying so, without.
bool havePillowCms();

// The picture of a JPEG (the first of an MPO) or PNG file in sRGB as Pillow shows it: its
// embedded profile converted with ImageCms (perceptual, as the view), else as stored.
// Transparency is dropped. Empty (width -1) when Pillow cannot read the file.
SRgbPicture pillowInSrgb(const std::string& path);

// The same for a picture in a file of our own making (a PPM).
SRgbPicture readPpm(const std::string& path);

// The largest difference of any colour sample; 256 for different sizes.
int largestDifference(const SImage& image, const SRgbPicture& reference);
