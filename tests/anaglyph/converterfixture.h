#pragma once
// What the converter's tests share: pictures and MPO files made with the program's own
// writers, the real binary run in a working directory of its own, and the files it
// leaves.
#include "align.h"
#include "anaglyphExport.h"
#include "anaglyphImage.h"
#include "calibFit.h"
#include "exif.h"
#include "exifwrite.h"
#include "jpegio.h"
#include "jpegwrite.h"
#include "mpowrite.h"
#include "picturekind.h"
#include "pngwrite.h"
#include "pngio.h"
#include "scopedenv.h"
#include "smallfs.h"
#include "tempfolder.h"
#include "writehelpers.h"

#include <gmock/gmock.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>
#include <sstream>

namespace convtest {

using writetest::runCommand;
using writetest::SCommandResult;
using writetest::shellQuote;

inline const char* const kDate = "2021:06:05 14:03:02";

// Smooth colours that differ between the views, so that a swapped, turned or shifted
// view shows in the anaglyph.
inline std::vector<uint8_t> view(int width, int height, bool right) {
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
            p[0] = uint8_t(right ? 40 + x * 2 : 30 + x * 3);
            p[1] = uint8_t(right ? 200 - y * 2 : 60 + y);
            p[2] = uint8_t(right ? 90 + x + y : 180 - x);
        }
    return rgb;
}

inline std::vector<uint8_t> jpeg(int width, int height, bool right, const SExifWrite* exif) {
    SJpegWrite options;
    options.mQuality = 95;
    if (exif)
        options.mApp1 = buildExifPayload(*exif);
    return encodeJpeg(view(width, height, right).data(), width, height, options);
}

// A stereo MPO as a camera writes it: the date, camera and orientation in the left
// picture's Exif block.
inline std::vector<uint8_t> mpoOf(const std::vector<uint8_t>& left,
                                  const std::vector<uint8_t>& right, int width, int height,
                                  int orientation) {
    SExifWrite exif;
    exif.mDateTime = kDate;
    exif.mOrientation = orientation;
    exif.mMake = "FUJIFILM";
    exif.mModel = "FinePix REAL 3D W3";
    SJpegWrite options;
    options.mQuality = 95;
    const std::vector<uint8_t> second = encodeJpeg(right.data(), width, height, options);
    options.mApp1 = buildExifPayload(exif);
    return buildMpoFile(encodeJpeg(left.data(), width, height, options), second, 0.075);
}

inline std::vector<uint8_t> mpo(int width, int height, int orientation) {
    return mpoOf(view(width, height, false), view(width, height, true), width, height, orientation);
}

struct SDecoded {
    explicit SDecoded(SImageHandle decoded) : handle(std::move(decoded)), image(*handle) {}
    SImageHandle handle;
    SImage image;  // the handle's record
};

inline bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

inline std::string readText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

inline std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct SRun {
    int status;
    std::string out, err;
};

class Converter : public testing::Test {
protected:
    // Runs the converter in the test's working directory with a configuration folder of
    // its own.
    SRun run(const std::string& arguments) {
        const std::string errFile = mScratch.path("stderr.txt");
        const SCommandResult result =
            runCommand("cd " + shellQuote(mWork.path()) + " && " + RUVELLO_ANAGLYPH + " " +
                       arguments + " 2>" + shellQuote(errFile));
        return {result.mStatus, result.mOutput, readText(errFile)};
    }
    std::string work(const std::string& name) const { return mWork.path(name); }

    // What the anaglyph of the two pictures must be: the library's composite of what
    // the decoder makes of them.
    static SImageHandle expected(const SImage& left, const SImage& right, int orientation,
                                 const SAnaglyphSettings& base = SAnaglyphSettings()) {
        SAnaglyphSettings settings = base;
        settings.mOrientation = orientation;
        return composeAnaglyph(left, right, settings);
    }

    CTempFolder mWork, mScratch, mConfig;
    CScopedEnv mConfigHome{"XDG_CONFIG_HOME", mConfig.path()};
};

// Turned a quarter clockwise (as orientation 6 shows a picture) or back: w x h RGB in,
// h x w out.
inline std::vector<uint8_t> turn(const uint8_t* rgb, int w, int h, bool clockwise) {
    std::vector<uint8_t> out(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < w; ++y)
        for (int x = 0; x < h; ++x)
            std::copy_n(
                rgb + (clockwise ? size_t(h - 1 - x) * w + y : size_t(x) * w + w - 1 - y) * 3, 3,
                &out[(size_t(y) * h + x) * 3]);
    return out;
}

inline SImageHandle picture(int width, int height, const uint8_t* rgb) {
    SImage shape;
    shape.mWidth = width;
    shape.mHeight = height;
    const SImageHandle image = allocateImage(shape);
    EXPECT_NE(image->mPixels, nullptr);
    if (image->mPixels)
        std::copy_n(rgb, size_t(width) * size_t(height) * 3, image->mPixels);
    return image;
}

}  // namespace convtest
