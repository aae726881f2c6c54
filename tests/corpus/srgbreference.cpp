#include "srgbreference.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

// Reads the picture, converts its embedded profile to sRGB with Pillow's own colour
// management, writes a PPM.
const char kScript[] = R"(
import io, sys
from PIL import Image, ImageCms
picture = Image.open(sys.argv[1])
profile = picture.info.get('icc_profile')
if picture.mode not in ('L', 'RGB'):
    picture = picture.convert('RGB')
if profile:
    picture = ImageCms.profileToProfile(picture, ImageCms.ImageCmsProfile(io.BytesIO(profile)),
                                        ImageCms.createProfile('sRGB'), renderingIntent=0,
                                        outputMode='RGB')
picture.convert('RGB').save(sys.argv[2], 'PPM')
)";

std::string scratch(const std::string& what) {
    return testing::TempDir() + "ruvello-srgb-" + std::to_string(getpid()) + "-" + what;
}

}  // namespace

bool runPython(const std::string& script, const std::string& arguments) {
    const std::string file = scratch("script.py");
    std::ofstream(file) << script;
    const int status =
        std::system(("/usr/bin/python3 '" + file + "' " + arguments + " 2>/dev/null").c_str());
    std::remove(file.c_str());
    return status == 0;
}

bool havePillowCms() {
    static const bool have = runPython("from PIL import ImageCms\n", "");
    return have;
}

SRgbPicture readPpm(const std::string& path) {
    SRgbPicture picture;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return picture;
    int maxValue = 0;
    char magic[3] = {};
    if (std::fscanf(file, "%2s %d %d %d", magic, &picture.mWidth, &picture.mHeight, &maxValue) ==
            4 &&
        std::string(magic) == "P6" && maxValue == 255 && std::fgetc(file) != EOF) {
        picture.mRgb.resize(size_t(picture.mWidth) * size_t(picture.mHeight) * 3);
        picture.mRgb.resize(std::fread(picture.mRgb.data(), 1, picture.mRgb.size(), file));
    }
    std::fclose(file);
    return picture;
}

SRgbPicture pillowInSrgb(const std::string& path) {
    const std::string out = scratch("reference.ppm");
    SRgbPicture picture;
    if (runPython(kScript, "'" + path + "' '" + out + "'"))
        picture = readPpm(out);
    std::remove(out.c_str());
    return picture;
}

int largestDifference(const SImage& image, const SRgbPicture& reference) {
    const size_t pixels =
        size_t(std::max(0, reference.mWidth)) * size_t(std::max(0, reference.mHeight));
    if (!image.mPixels || image.mWidth != reference.mWidth || image.mHeight != reference.mHeight ||
        reference.mRgb.size() != pixels * 3 || (image.mChannels != 3 && image.mChannels != 4))
        return 256;
    int largest = 0;
    for (size_t i = 0; i < pixels; ++i)
        for (size_t c = 0; c < 3; ++c)
            largest =
                std::max(largest, std::abs(int(image.mPixels[i * size_t(image.mChannels) + c]) -
                                           int(reference.mRgb[i * 3 + c])));
    return largest;
}
