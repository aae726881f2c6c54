#pragma once
// What the tests of the JPEG, Exif and MPO writers share: pictures with known colours,
// an owner for decoded records, and the real command-line readers run on a file.
#include "image.h"
#include "jpegwrite.h"

#include <cstdint>
#include <string>
#include <vector>

namespace writetest {

// RGB rows, top row first: four quadrants of distinct solid colours (top left red, top
// right green, bottom left blue, bottom right yellow), scaled by shade (0..1).
std::vector<uint8_t> quadrants(int width, int height, double shade = 1.0);
// The colour quadrants() gives at (x, y).
void quadrantColour(int width, int height, int x, int y, double shade, int rgb[3]);

// Encoder options with nothing but a quality.
inline SJpegWrite atQuality(int quality) {
    SJpegWrite options;
    options.mQuality = quality;
    return options;
}

// Owns a decoded record for the length of a test.
struct SDecoded {
    explicit SDecoded(const SImage& image) : mImage(image) {}
    ~SDecoded() { delete[] mImage.mPixels; }
    SDecoded(const SDecoded&) = delete;
    SDecoded& operator=(const SDecoded&) = delete;
    const uint8_t* pixel(int x, int y) const;
    SImage mImage;
};

// Largest difference of a channel between the decoded picture and quadrants(), measured
// at the centre of each quadrant.
int quadrantError(const SDecoded& decoded, double shade);

struct SCommandResult {
    int mStatus = -1;  // exit status, -1 when the command could not run
    std::string mOutput;
};

// Runs a shell command line and collects its standard output.
SCommandResult runCommand(const std::string& command);
std::string shellQuote(const std::string& text);
// Output with the trailing line end removed.
std::string trimmed(const std::string& text);

}  // namespace writetest
