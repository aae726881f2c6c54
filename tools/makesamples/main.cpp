// ruvello-makesamples: renders the bundled stereo samples, and photo-like pictures and
// stereo pairs of any size for benchmarks and tests. The same command gives the same
// bytes on every run.
//   ruvello-makesamples OUTDIR
//   ruvello-makesamples --photo WIDTH HEIGHT SEED OUT.jpg [--thumbnail]
//   ruvello-makesamples --mpo WIDTH HEIGHT SEED OUT.mpo [--thumbnail]
#include "photo.h"
#include "samplefiles.h"
#include "scenes.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

constexpr int kQuality = 90;
constexpr int kViewWidth = 1600, kViewHeight = 1200;
// Larger stereo pairs get one ray a pixel, smaller ones four.
constexpr long kSupersampledPixels = 2500000;
const char* const kMake = "Ruvello";
const char* const kStereoModel = "RT-65 Stereo";
const char* const kPhotoModel = "RT-1 Photo";

int usage() {
    std::fputs(
        "usage: ruvello-makesamples OUTDIR\n"
        "       ruvello-makesamples --photo WIDTH HEIGHT SEED OUT.jpg [--thumbnail]\n"
        "       ruvello-makesamples --mpo WIDTH HEIGHT SEED OUT.mpo [--thumbnail]\n",
        stderr);
    return 2;
}

bool parseNumber(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == 0 && value >= low && value <= high;
}

SExifWrite cameraExif(const std::string& date, const char* model, int orientation) {
    SExifWrite exif;
    exif.mDateTime = date;
    exif.mMake = kMake;
    exif.mModel = model;
    exif.mOrientation = orientation;
    return exif;
}

SRgbPicture render(const SSceneShot& shot, int width, int height, double eye, int samples) {
    return {width, height,
            CStereoCamera(shot.mPose).render(shot.mScene, width, height, eye, samples)};
}

bool report(const std::string& path, bool written) {
    if (written) {
        struct stat info {};
        stat(path.c_str(), &info);
        std::printf("%s: %lld KiB\n", path.c_str(), static_cast<long long>(info.st_size) / 1024);
    } else {
        std::fprintf(stderr, "ruvello-makesamples: could not write %s\n", path.c_str());
    }
    return written;
}

bool stereoSample(const std::string& path, const SSceneShot& shot, const std::string& date,
                  bool withThumbnail) {
    const SRgbPicture left = render(shot, kViewWidth, kViewHeight, -1, 2);
    const SRgbPicture right = render(shot, kViewWidth, kViewHeight, +1, 2);
    return report(path, writeStereoFile(path, left, right, cameraExif(date, kStereoModel, 1),
                                        withThumbnail, kQuality));
}

int makeSamples(const std::string& folder) {
    bool ok = stereoSample(folder + "/3d-spheres.mpo", spheresScene(), "2024:05:01 10:00:00", true);
    ok &= stereoSample(folder + "/3d-arcade.mpo", arcadeScene(), "2024:05:02 15:30:00", false);
    // Rendered upright from the middle, stored as a camera held on its side stores it.
    const SRgbPicture upright = render(lighthouseScene(), kViewHeight, kViewWidth, 0, 2);
    const std::string portrait = folder + "/portrait.jpg";
    ok &= report(portrait, writePhotoFile(portrait, storedForOrientation6(upright),
                                          cameraExif("2024:05:03 18:45:00", kStereoModel, 6), true,
                                          kQuality));
    return ok ? 0 : 1;
}

int makeOnDemand(int argc, char** argv) {
    const bool photo = std::strcmp(argv[1], "--photo") == 0;
    if (argc < 6 || argc > 7 || (argc == 7 && std::strcmp(argv[6], "--thumbnail") != 0))
        return usage();
    long width, height, seed;
    const long maxSide = photo ? 65500 : 16384;
    if (!parseNumber(argv[2], 1, maxSide, width) || !parseNumber(argv[3], 1, maxSide, height) ||
        !parseNumber(argv[4], 0, 1L << 40, seed))
        return usage();
    const bool withThumbnail = argc == 7;
    const std::string path = argv[5];
    const std::string date = dateForSeed(uint64_t(seed));
    if (photo) {
        const SRgbPicture picture{int(width), int(height),
                                  photoPixels(int(width), int(height), uint64_t(seed))};
        return report(path, writePhotoFile(path, picture, cameraExif(date, kPhotoModel, 1),
                                           withThumbnail, kQuality))
                   ? 0
                   : 1;
    }
    const SSceneShot shot = randomScene(uint64_t(seed));
    const int samples = width * height <= kSupersampledPixels ? 2 : 1;
    const SRgbPicture left = render(shot, int(width), int(height), -1, samples);
    const SRgbPicture right = render(shot, int(width), int(height), +1, samples);
    return report(path, writeStereoFile(path, left, right, cameraExif(date, kStereoModel, 1),
                                        withThumbnail, kQuality))
               ? 0
               : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && argv[1][0] != '-')
        return makeSamples(argv[1]);
    if (argc >= 2 && (std::strcmp(argv[1], "--photo") == 0 || std::strcmp(argv[1], "--mpo") == 0))
        return makeOnDemand(argc, argv);
    return usage();
}
