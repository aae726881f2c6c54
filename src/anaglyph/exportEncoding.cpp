#include "exportEncoding.h"

#include "diagnostics.h"
#include "exifcopy.h"
#include "exifwrite.h"
#include "jpegwrite.h"
#include "pngwrite.h"

#include <utility>

std::vector<uint8_t> exifFor(const std::string& source, int width, int height) {
    SExifCopy copy = copyExifBlock(source, width, height);
    if (!copy.mWhy.empty()) {
        RUV_WARNING(source + ": its Exif block is not carried over: " + copy.mWhy);
        return {};
    }
    if (copy.mFound)
        return std::move(copy.mTiff);
    SExifWrite own;
    own.mOrientation = 1;
    own.mPixelWidth = width;
    own.mPixelHeight = height;
    const std::vector<uint8_t> payload = buildExifPayload(own);
    const std::vector<uint8_t> identifier = exifApp1Payload({});
    if (payload.size() < identifier.size())
        return {};
    return std::vector<uint8_t>(payload.begin() + long(identifier.size()), payload.end());
}

std::vector<uint8_t> encodeAsJpeg(const SImage& image, const std::string& exifSource, int quality,
                                  std::vector<uint8_t> app3) {
    const std::vector<uint8_t> exif = exifFor(exifSource, image.mWidth, image.mHeight);
    SJpegWrite options;
    options.mQuality = quality;
    if (!exif.empty())
        options.mApp1 = exifApp1Payload(exif);
    options.mApp3 = std::move(app3);
    return encodeJpeg(image, options);
}

std::vector<uint8_t> encodeAsPng(const SImage& image, const std::string& exifSource,
                                 std::string* why) {
    std::vector<uint8_t> png = encodePng(image.mPixels, image.mWidth, image.mHeight, why);
    const std::vector<uint8_t> exif = exifFor(exifSource, image.mWidth, image.mHeight);
    if (!png.empty() && !exif.empty())
        addPngExif(png, exif);
    return png;
}

// The JPS marker of a side-by-side picture: the identifier, the length of the descriptor
// block, and the descriptor as a big-endian 32-bit word: bits 0-7 the media type (1: a
// stereo picture), 8-15 the layout (2: side by side), 16-23 flags (4: the left eye's
// picture is the left half), 24-31 the gap between the halves (none). Readers take a
// descriptor without the left-first flag for the right eye's picture on the left, the
// cross-eyed order, so the parallel order sets it. An empty comment block ends it.
std::vector<uint8_t> jpsMarker(bool leftFirst, bool overUnder, bool halfWidth, bool halfHeight) {
    const std::string identifier = "_JPSJPS_";
    std::vector<uint8_t> marker(identifier.begin(), identifier.end());
    // Media type 1 (stereo); layout 2 side by side or 3 over-under; flags: half height 1,
    // half width 2, left field first 4.
    const uint32_t flags =
        (halfHeight ? 0x01u : 0u) | (halfWidth ? 0x02u : 0u) | (leftFirst ? 0x04u : 0u);
    const uint32_t descriptor = 0x01u | (overUnder ? 0x03u : 0x02u) << 8 | flags << 16;
    marker.insert(marker.end(), {0x00, 0x04});
    for (int shift = 24; shift >= 0; shift -= 8)
        marker.push_back(uint8_t(descriptor >> shift));
    marker.insert(marker.end(), {0x00, 0x00});
    return marker;
}
