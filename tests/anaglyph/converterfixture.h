#pragma once
// What the converter's tests share: pictures and MPO files made with the program's own
// writers, the real binary run in a working directory of its own, and the files it
// leaves.
#include "align.h"
#include "anaglyphExport.h"
#include "anaglyphImage.h"
#include "calibFit.h"
#include "exif.h"
#include "exiffixtures.h"
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
#include <cstring>
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

// A 3D camera's Exif block as the console writes it, big-endian: camera, dates,
// orientation, exposure, the stale size of the full picture, a GPS position, a thumbnail
// in IFD1, and the maker note's camera record with the parallax, whose offset counts
// from the TIFF header as the console's does.
inline const char* const kCameraModel = "Nintendo 3DS";
inline std::vector<uint8_t> cameraExif(int orientation, float parallax) {
    using namespace exiffix;
    auto rationals = [](std::vector<uint32_t> values) {
        Bytes out;
        for (const uint32_t v : values)
            for (int k = 24; k >= 0; k -= 8)
                out.push_back(uint8_t(v >> k));
        return out;
    };
    constexpr size_t kRecord = 18;  // the note's directory, then the 64-byte record
    Bytes note(kRecord + 64, 0);
    const Bytes entry = {0x11, 0x01, 0, 7, 0, 0, 0, 64};
    note[1] = 1;
    std::copy(entry.begin(), entry.end(), note.begin() + 2);
    std::memcpy(&note[kRecord], "3DS1", 4);
    uint32_t bits;
    std::memcpy(&bits, &parallax, 4);
    for (int k = 0; k < 4; ++k)
        note[kRecord + 0x28 + size_t(k)] = uint8_t(bits >> (8 * k));

    CTiffBuilder tiff(false);
    const int ifd0 = tiff.addDirectory(), exif = tiff.addDirectory(), gps = tiff.addDirectory(),
              ifd1 = tiff.addDirectory();
    tiff.ascii(ifd0, 0x010F, "Nintendo");
    tiff.ascii(ifd0, 0x0110, kCameraModel);
    tiff.shortValue(ifd0, 0x0112, uint16_t(orientation));
    tiff.ascii(ifd0, 0x0132, "2021:06:06 10:00:00");
    tiff.pointer(ifd0, 0x8769, exif);
    tiff.pointer(ifd0, 0x8825, gps);
    tiff.link(ifd0, ifd1);
    tiff.blob(exif, 0x829A, 5, 1, rationals({1, 250}));  // ExposureTime
    tiff.blob(exif, 0x829D, 5, 1, rationals({28, 10}));  // FNumber
    tiff.ascii(exif, 0x9003, kDate);
    tiff.blob(exif, 0x927C, kUndefined, uint32_t(note.size()), note);
    tiff.longValue(exif, 0xA002, 4000);
    tiff.longValue(exif, 0xA003, 3000);
    tiff.rawBytes(gps, 0x0000, 1, 4, {2, 3, 0, 0});
    tiff.ascii(gps, 0x0001, "N");
    tiff.blob(gps, 0x0002, 5, 3, rationals({48, 1, 51, 1, 2400, 100}));
    tiff.ascii(gps, 0x0003, "E");
    tiff.blob(gps, 0x0004, 5, 3, rationals({2, 1, 21, 1, 300, 100}));
    tiff.thumbnail(ifd1, kThumbnail);
    Bytes bytes = tiff.bytes();
    const size_t at =
        size_t(std::search(bytes.begin(), bytes.end(), note.begin(), note.end()) - bytes.begin());
    const uint32_t record = uint32_t(at + kRecord);
    for (int k = 0; k < 4; ++k)
        bytes[at + 10 + size_t(k)] = uint8_t(record >> (24 - 8 * k));
    Bytes payload = bytesOf(std::string("Exif\0\0", 6));
    payload.insert(payload.end(), bytes.begin(), bytes.end());
    return payload;
}

// An MPO of the two views whose left picture carries cameraExif().
inline std::vector<uint8_t> cameraMpo(const std::vector<uint8_t>& left,
                                      const std::vector<uint8_t>& right, int width, int height,
                                      int orientation, float parallax) {
    SJpegWrite options;
    options.mQuality = 95;
    const std::vector<uint8_t> second = encodeJpeg(right.data(), width, height, options);
    options.mApp1 = cameraExif(orientation, parallax);
    return buildMpoFile(encodeJpeg(left.data(), width, height, options), second, 0.0);
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
