#pragma once
// What the tests of the JPEG, Exif and MPO writers share: pictures with known colours,
// a holder for decoded pictures, and the real command-line readers run on a file.
#include "image.h"
#include "imagehandle.h"
#include "jpegwrite.h"

#include <cstdint>
#include <string>
#include <utility>
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

// Holds a decoded picture for the length of a test.
struct SDecoded {
    explicit SDecoded(SImageHandle image) : mHandle(std::move(image)), mImage(*mHandle) {}
    const uint8_t* pixel(int x, int y) const;
    SImageHandle mHandle;
    SImage mImage;  // the handle's record
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
