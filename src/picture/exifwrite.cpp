#include "exifwrite.h"

#include "diagnostics.h"
#include "jpegwrite.h"
#include "tiffwrite.h"

namespace {

enum : uint16_t {
    kTagCompression = 0x0103,
    kTagMake = 0x010F,
    kTagModel = 0x0110,
    kTagOrientation = 0x0112,
    kTagXResolution = 0x011A,
    kTagYResolution = 0x011B,
    kTagResolutionUnit = 0x0128,
    kTagDateTime = 0x0132,
    kTagThumbnailOffset = 0x0201,
    kTagThumbnailLength = 0x0202,
    kTagYCbCrPositioning = 0x0213,
    kTagExifDirectory = 0x8769,
    kTagExifVersion = 0x9000,
    kTagDateTimeOriginal = 0x9003,
    kTagDateTimeDigitized = 0x9004,
    kTagComponents = 0x9101,
    kTagFlashPixVersion = 0xA000,
    kTagColorSpace = 0xA001,
    kTagPixelX = 0xA002,
    kTagPixelY = 0xA003,
};

constexpr size_t kTiffHeaderBytes = 8;
const std::vector<uint8_t> kExifIdentifier = {'E', 'x', 'i', 'f', 0, 0};

// 72 dots per inch, the value that every reader assumes anyway.
void addResolution(CTiffDirectory& dir) {
    dir.rational(kTagXResolution, 72, 1);
    dir.rational(kTagYResolution, 72, 1);
    dir.shortValue(kTagResolutionUnit, 2);
}

CTiffDirectory imageDirectory(const SExifWrite& exif) {
    CTiffDirectory ifd0;
    if (!exif.mMake.empty())
        ifd0.ascii(kTagMake, exif.mMake);
    if (!exif.mModel.empty())
        ifd0.ascii(kTagModel, exif.mModel);
    if (exif.mOrientation >= 1 && exif.mOrientation <= 8)
        ifd0.shortValue(kTagOrientation, uint16_t(exif.mOrientation));
    addResolution(ifd0);
    if (!exif.mDateTime.empty())
        ifd0.ascii(kTagDateTime, exif.mDateTime);
    ifd0.shortValue(kTagYCbCrPositioning, 1);
    ifd0.longValue(kTagExifDirectory, 0);  // placed below
    return ifd0;
}

CTiffDirectory exifDirectory(const SExifWrite& exif) {
    CTiffDirectory sub;
    sub.undefined(kTagExifVersion, {'0', '2', '3', '2'});
    if (!exif.mDateTime.empty()) {
        sub.ascii(kTagDateTimeOriginal, exif.mDateTime);
        sub.ascii(kTagDateTimeDigitized, exif.mDateTime);
    }
    sub.undefined(kTagComponents, {1, 2, 3, 0});  // Y, Cb, Cr
    sub.undefined(kTagFlashPixVersion, {'0', '1', '0', '0'});
    sub.shortValue(kTagColorSpace, 1);  // sRGB
    if (exif.mPixelWidth > 0)
        sub.longValue(kTagPixelX, uint32_t(exif.mPixelWidth));
    if (exif.mPixelHeight > 0)
        sub.longValue(kTagPixelY, uint32_t(exif.mPixelHeight));
    return sub;
}

CTiffDirectory thumbnailDirectory(const SExifWrite& exif) {
    CTiffDirectory ifd1;
    ifd1.shortValue(kTagCompression, 6);  // JPEG
    addResolution(ifd1);
    ifd1.longValue(kTagThumbnailOffset, 0);  // placed below
    ifd1.longValue(kTagThumbnailLength, uint32_t(exif.mThumbnail.size()));
    return ifd1;
}

}  // namespace

std::vector<uint8_t> buildExifPayload(const SExifWrite& exif) {
    CTiffDirectory ifd0 = imageDirectory(exif);
    const CTiffDirectory sub = exifDirectory(exif);
    const bool withThumbnail = !exif.mThumbnail.empty();
    CTiffDirectory ifd1 = thumbnailDirectory(exif);

    // Offsets count from the TIFF header: IFD0, the Exif directory, IFD1, thumbnail.
    const size_t ifd0At = kTiffHeaderBytes;
    const size_t subAt = ifd0At + ifd0.byteSize();
    const size_t ifd1At = subAt + sub.byteSize();
    const size_t thumbnailAt = ifd1At + (withThumbnail ? ifd1.byteSize() : 0);
    const size_t total =
        kExifIdentifier.size() + thumbnailAt + (withThumbnail ? exif.mThumbnail.size() : 0);
    if (total > kMaxSegmentPayload) {
        RUV_WARNING("Exif block of " + std::to_string(total) +
                    " bytes does not fit into a JPEG segment of " +
                    std::to_string(kMaxSegmentPayload) + "; the thumbnail has " +
                    std::to_string(exif.mThumbnail.size()) + " bytes");
        return {};
    }
    ifd0.setLong(kTagExifDirectory, uint32_t(subAt));
    ifd1.setLong(kTagThumbnailOffset, uint32_t(thumbnailAt));

    const bool little = !exif.mBigEndian;
    std::vector<uint8_t> out = kExifIdentifier;
    out.reserve(total);
    const size_t origin = out.size();
    out.push_back(little ? 'I' : 'M');
    out.push_back(little ? 'I' : 'M');
    appendUnsigned(out, 42, 2, little);
    appendUnsigned(out, uint32_t(ifd0At), 4, little);
    ifd0.write(out, origin, little, withThumbnail ? uint32_t(ifd1At) : 0);
    sub.write(out, origin, little, 0);
    if (withThumbnail) {
        ifd1.write(out, origin, little, 0);
        out.insert(out.end(), exif.mThumbnail.begin(), exif.mThumbnail.end());
    }
    return out;
}
