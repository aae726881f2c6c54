#include "samplefiles.h"

#include "filewrite.h"
#include "jpegwrite.h"
#include "mpowrite.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kThumbnailWidth = 160, kThumbnailHeight = 120;
constexpr int kThumbnailQuality = 80;
constexpr double kEyeSeparation = 0.065;

std::vector<uint8_t> jpegWithExif(const SRgbPicture& picture, SExifWrite exif, bool withThumbnail,
                                  int quality) {
    exif.mPixelWidth = picture.mWidth;
    exif.mPixelHeight = picture.mHeight;
    if (withThumbnail) {
        const SRgbPicture small = thumbnailOf(picture);
        SJpegWrite options;
        options.mQuality = kThumbnailQuality;
        exif.mThumbnail = encodeJpeg(small.mPixels.data(), small.mWidth, small.mHeight, options);
        if (exif.mThumbnail.empty())
            return {};
    }
    SJpegWrite options;
    options.mQuality = quality;
    options.mApp1 = buildExifPayload(exif);
    if (options.mApp1.empty())
        return {};
    return encodeJpeg(picture.mPixels.data(), picture.mWidth, picture.mHeight, options);
}

}  // namespace

SRgbPicture thumbnailOf(const SRgbPicture& picture) {
    SRgbPicture small;
    const double scale = std::min(double(kThumbnailWidth) / picture.mWidth,
                                  double(kThumbnailHeight) / picture.mHeight);
    small.mWidth = std::max(1, int(picture.mWidth * scale + 0.5));
    small.mHeight = std::max(1, int(picture.mHeight * scale + 0.5));
    small.mPixels.resize(size_t(small.mWidth) * size_t(small.mHeight) * 3);
    // Each thumbnail pixel is the mean of the source pixels that fall into it.
    for (int ty = 0; ty < small.mHeight; ++ty) {
        const int y0 = int(int64_t(ty) * picture.mHeight / small.mHeight);
        const int y1 = std::max(y0 + 1, int(int64_t(ty + 1) * picture.mHeight / small.mHeight));
        for (int tx = 0; tx < small.mWidth; ++tx) {
            const int x0 = int(int64_t(tx) * picture.mWidth / small.mWidth);
            const int x1 = std::max(x0 + 1, int(int64_t(tx + 1) * picture.mWidth / small.mWidth));
            uint64_t sum[3] = {0, 0, 0};
            for (int y = y0; y < y1; ++y) {
                const uint8_t* p =
                    &picture.mPixels[(size_t(y) * size_t(picture.mWidth) + size_t(x0)) * 3];
                for (int x = x0; x < x1; ++x, p += 3) {
                    sum[0] += p[0];
                    sum[1] += p[1];
                    sum[2] += p[2];
                }
            }
            const uint64_t count = uint64_t(y1 - y0) * uint64_t(x1 - x0);
            uint8_t* out = &small.mPixels[(size_t(ty) * size_t(small.mWidth) + size_t(tx)) * 3];
            for (int c = 0; c < 3; ++c)
                out[c] = uint8_t((sum[c] + count / 2) / count);
        }
    }
    return small;
}

SRgbPicture storedForOrientation6(const SRgbPicture& upright) {
    SRgbPicture stored;
    stored.mWidth = upright.mHeight;
    stored.mHeight = upright.mWidth;
    stored.mPixels.resize(upright.mPixels.size());
    // Stored row 0 is the upright picture's right column, read from its top down.
    for (int y = 0; y < stored.mHeight; ++y) {
        for (int x = 0; x < stored.mWidth; ++x) {
            const int ux = upright.mWidth - 1 - y, uy = x;
            const uint8_t* from =
                &upright.mPixels[(size_t(uy) * size_t(upright.mWidth) + size_t(ux)) * 3];
            std::copy(from, from + 3,
                      &stored.mPixels[(size_t(y) * size_t(stored.mWidth) + size_t(x)) * 3]);
        }
    }
    return stored;
}

std::string dateForSeed(uint64_t seed) {
    char text[32];
    std::snprintf(text, sizeof text, "2023:%02d:%02d %02d:%02d:%02d", int(1 + seed % 12),
                  int(1 + (seed / 12) % 28), int(7 + (seed * 5) % 13), int((seed * 7) % 60),
                  int((seed * 13) % 60));
    return text;
}

bool writePhotoFile(const std::string& path, const SRgbPicture& picture, SExifWrite exif,
                    bool withThumbnail, int quality) {
    const std::vector<uint8_t> jpeg = jpegWithExif(picture, exif, withThumbnail, quality);
    return !jpeg.empty() && writeFileAtomically(path, jpeg);
}

bool writeStereoFile(const std::string& path, const SRgbPicture& left, const SRgbPicture& right,
                     SExifWrite exif, bool withThumbnail, int quality) {
    const std::vector<uint8_t> first = jpegWithExif(left, exif, withThumbnail, quality);
    SJpegWrite options;
    options.mQuality = quality;
    const std::vector<uint8_t> second =
        encodeJpeg(right.mPixels.data(), right.mWidth, right.mHeight, options);
    if (first.empty() || second.empty())
        return false;
    const std::vector<uint8_t> mpo = buildMpoFile(first, second, kEyeSeparation);
    return !mpo.empty() && writeFileAtomically(path, mpo);
}
