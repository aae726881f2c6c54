#include "writehelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

namespace writetest {

namespace {
const int kColours[4][3] = {{220, 30, 30}, {30, 200, 40}, {40, 50, 210}, {230, 220, 60}};
}

void quadrantColour(int width, int height, int x, int y, double shade, int rgb[3]) {
    const int quadrant = (y * 2 >= height ? 2 : 0) + (x * 2 >= width ? 1 : 0);
    for (int c = 0; c < 3; ++c)
        rgb[c] = int(std::lround(kColours[quadrant][c] * shade));
}

std::vector<uint8_t> quadrants(int width, int height, double shade) {
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int colour[3];
            quadrantColour(width, height, x, y, shade, colour);
            for (int c = 0; c < 3; ++c)
                rgb[(size_t(y) * size_t(width) + size_t(x)) * 3 + size_t(c)] = uint8_t(colour[c]);
        }
    }
    return rgb;
}

const uint8_t* SDecoded::pixel(int x, int y) const {
    return mImage.mPixels +
           (size_t(y) * size_t(mImage.mWidth) + size_t(x)) * size_t(mImage.mChannels);
}

int quadrantError(const SDecoded& decoded, double shade) {
    const SImage& image = decoded.mImage;
    if (!image.mPixels || image.mChannels != 3)
        return 256;
    int worst = 0;
    for (int qy = 0; qy < 2; ++qy) {
        for (int qx = 0; qx < 2; ++qx) {
            const int x = image.mWidth * (1 + 2 * qx) / 4, y = image.mHeight * (1 + 2 * qy) / 4;
            int expected[3];
            quadrantColour(image.mWidth, image.mHeight, x, y, shade, expected);
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(decoded.pixel(x, y)[c] - expected[c]));
        }
    }
    return worst;
}

SCommandResult runCommand(const std::string& command) {
    SCommandResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.mOutput.append(buffer, got);
    const int status = pclose(pipe);
    result.mStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

std::string trimmed(const std::string& text) {
    std::string out = text;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

}  // namespace writetest
