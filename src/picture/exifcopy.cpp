#include "exifcopy.h"

#include "exif.h"
#include "jpegwrite.h"
#include "tiffwrite.h"

#include <algorithm>
#include <array>

namespace {

// Real blocks have a few dozen entries a directory; more is a corrupt count.
constexpr uint32_t kMaxEntries = 1024;

enum : uint16_t {
    kTagImageWidth = 0x0100,
    kTagImageLength = 0x0101,
    kTagStripOffsets = 0x0111,
    kTagOrientation = 0x0112,
    kTagStripByteCounts = 0x0117,
    kTagTileOffsets = 0x0144,
    kTagTileByteCounts = 0x0145,
    kTagSubDirectories = 0x014A,
    kTagJpegOffset = 0x0201,
    kTagJpegLength = 0x0202,
    kTagColourProfile = 0x8773,
    kTagExifDirectory = 0x8769,
    kTagGpsDirectory = 0x8825,
    kTagMakerNote = 0x927C,
    kTagPixelX = 0xA002,
    kTagPixelY = 0xA003,
    kTagInteropDirectory = 0xA005,
    kTagOffsetSchema = 0xEA1D,  // where a moved maker note used to be
    kTagPrivateData = 0xC634,
};

enum : uint16_t { kTypeShort = 3, kTypeLong = 4, kTypeDirectory = 13 };

// Fields whose values are offsets into the photo, that describe its pixels, or that are
// written anew below.
bool isLeftOut(uint16_t tag, uint16_t type) {
    switch (tag) {
        case kTagImageWidth:
        case kTagImageLength:
        case kTagStripOffsets:
        case kTagOrientation:
        case kTagStripByteCounts:
        case kTagTileOffsets:
        case kTagTileByteCounts:
        case kTagSubDirectories:
        case kTagJpegOffset:
        case kTagJpegLength:
        case kTagColourProfile:
        case kTagExifDirectory:
        case kTagGpsDirectory:
        case kTagMakerNote:
        case kTagPixelX:
        case kTagPixelY:
        case kTagInteropDirectory:
        case kTagOffsetSchema:
        case kTagPrivateData:
            return true;
        default:
            return type == kTypeDirectory;
    }
}

// One field as the photo stores it: the value's bytes in the photo's byte order, the
// four bytes of the entry itself for a value that fits there.
struct SField {
    uint16_t mTag = 0, mType = 0;
    uint32_t mCount = 0;
    std::vector<uint8_t> mValue;
};

// The block's bytes [mTiff, mEnd) of the buffer, read in its byte order.
class CBlock {
public:
    CBlock(SFileBuffer& file, int64_t tiff, int64_t end, bool little)
        : mFile(file), mTiff(tiff), mEnd(end), mLittle(little) {}

    bool little() const { return mLittle; }
    // offset .. offset + bytes from the TIFF header lies inside the block.
    bool has(uint64_t offset, uint64_t bytes) const {
        const uint64_t size = uint64_t(mEnd - mTiff);
        return offset <= size && bytes <= size - offset;
    }
    uint16_t u16(uint64_t offset) {
        const unsigned a = byte(offset), b = byte(offset + 1);
        return uint16_t(mLittle ? a | b << 8 : a << 8 | b);
    }
    uint32_t u32(uint64_t offset) {
        const uint32_t a = u16(offset), b = u16(offset + 2);
        return mLittle ? a | b << 16 : a << 16 | b;
    }
    std::vector<uint8_t> bytes(uint64_t offset, uint64_t count) {
        std::vector<uint8_t> out(count);
        for (uint64_t k = 0; k < count; ++k)
            out[k] = byte(offset + k);
        return out;
    }

    // The fields of the directory at offset that are carried over, in *fields, and the
    // values of the pointers to the sub-directories that are followed; false with *why
    // when the directory is not whole in the block.
    bool directory(uint32_t offset, std::vector<SField>* fields, uint32_t* exif, uint32_t* gps,
                   std::string* why) {
        if (!has(offset, 2))
            return fail(why, "a directory starts outside the block");
        const uint32_t count = u16(offset);
        if (count > kMaxEntries || !has(uint64_t(offset) + 2, uint64_t(count) * 12))
            return fail(why, "a directory's entries run past the block");
        for (uint32_t k = 0; k < count; ++k) {
            const uint64_t entry = uint64_t(offset) + 2 + uint64_t(k) * 12;
            SField field;
            field.mTag = u16(entry);
            field.mType = u16(entry + 2);
            field.mCount = u32(entry + 4);
            if ((field.mTag == kTagExifDirectory && exif) ||
                (field.mTag == kTagGpsDirectory && gps)) {
                // Writers that give the pointer another type still put the offset into
                // the entry, where readers take it from; an empty one points nowhere.
                if (field.mCount > 0)
                    *(field.mTag == kTagExifDirectory ? exif : gps) =
                        field.mType == kTypeShort ? u16(entry + 8) : u32(entry + 8);
                continue;
            }
            const uint64_t bytes = uint64_t(tiffTypeSize(field.mType)) * field.mCount;
            if (bytes == 0 || isLeftOut(field.mTag, field.mType))
                continue;  // a type no reader knows, an empty field, or one left out
            if (bytes <= 4) {
                field.mValue = this->bytes(entry + 8, 4);
            } else {
                const uint32_t at = u32(entry + 8);
                if (!has(at, bytes))
                    return fail(
                        why, "the value of tag 0x" + hex(field.mTag) + " lies outside the block");
                field.mValue = this->bytes(at, bytes);
            }
            const bool seen = std::any_of(fields->begin(), fields->end(),
                                          [&](const SField& f) { return f.mTag == field.mTag; });
            if (!seen)  // the first of a tag that is there twice, as readers take it
                fields->push_back(std::move(field));
        }
        return true;
    }

private:
    uint8_t byte(uint64_t offset) { return mFile.at(mTiff + int64_t(offset)); }
    static bool fail(std::string* why, const std::string& text) {
        *why = text;
        return false;
    }
    static std::string hex(uint16_t value) {
        static const char kDigits[] = "0123456789abcdef";
        std::string out;
        for (int shift = 12; shift >= 0; shift -= 4)
            out += kDigits[value >> shift & 0xF];
        return out;
    }

    SFileBuffer& mFile;
    int64_t mTiff, mEnd;
    bool mLittle;
};

// A field of the program's own, in the block's byte order.
SField ownField(uint16_t tag, uint16_t type, uint32_t value, bool little) {
    SField field;
    field.mTag = tag;
    field.mType = type;
    field.mCount = 1;
    std::vector<uint8_t> bytes;
    if (type == kTypeShort) {
        appendUnsigned(bytes, value, 2, little);
        bytes.resize(4, 0);
    } else {
        appendUnsigned(bytes, value, 4, little);
    }
    field.mValue = bytes;
    return field;
}

size_t even(size_t n) {
    return n + (n & 1);
}

// Bytes that a directory of these fields takes: count, entries, link, and the values
// that do not fit into their entries, each at an even offset.
size_t directoryBytes(const std::vector<SField>& fields) {
    size_t size = 2 + 12 * fields.size() + 4;
    for (const SField& field : fields)
        if (field.mValue.size() > 4)
            size += even(field.mValue.size());
    return size;
}

// Appends the directory, sorted by tag, and its values after it; out starts with the
// TIFF header that offsets count from.
void writeDirectory(std::vector<uint8_t>& out, std::vector<SField> fields, bool little) {
    std::sort(fields.begin(), fields.end(),
              [](const SField& a, const SField& b) { return a.mTag < b.mTag; });
    const size_t start = out.size();
    size_t value = start + 2 + 12 * fields.size() + 4;
    appendUnsigned(out, uint32_t(fields.size()), 2, little);
    for (const SField& field : fields) {
        appendUnsigned(out, field.mTag, 2, little);
        appendUnsigned(out, field.mType, 2, little);
        appendUnsigned(out, field.mCount, 4, little);
        if (field.mValue.size() <= 4) {
            out.insert(out.end(), field.mValue.begin(), field.mValue.end());
        } else {
            appendUnsigned(out, uint32_t(value), 4, little);
            value += even(field.mValue.size());
        }
    }
    appendUnsigned(out, 0, 4, little);  // no next directory: no thumbnail
    for (const SField& field : fields)
        if (field.mValue.size() > 4) {
            out.insert(out.end(), field.mValue.begin(), field.mValue.end());
            if (field.mValue.size() & 1)
                out.push_back(0);
        }
}

}  // namespace

SExifCopy copyExifBlock(SFileBuffer& file, int width, int height) {
    SExifCopy copy;
    SMakerNote where;
    parseExif(file, &where);
    if (where.mTiff < 0)
        return copy;  // no Exif block, or one without a byte order: nothing to carry
    copy.mFound = true;
    // The segment's length field lies 8 bytes before the TIFF header ("Exif\0\0" between).
    const int64_t segment = where.mTiff - 10;
    const int64_t length = int64_t(file.at(segment + 2)) << 8 | file.at(segment + 3);
    const int64_t end = std::min(segment + 2 + length, file.size());
    CBlock block(file, where.mTiff, end, where.mLittle);
    const bool little = block.little();
    auto refuse = [&copy](const std::string& why) {
        copy.mWhy = why;
        return copy;
    };
    if (!block.has(0, 8) || block.u16(2) != 42)
        return refuse("the block has no TIFF header");

    std::vector<SField> ifd0, exif, gps;
    uint32_t exifAt = 0, gpsAt = 0;
    std::string why;
    if (!block.directory(block.u32(4), &ifd0, &exifAt, &gpsAt, &why) ||
        (exifAt != 0 && !block.directory(exifAt, &exif, nullptr, nullptr, &why)) ||
        (gpsAt != 0 && !block.directory(gpsAt, &gps, nullptr, nullptr, &why)))
        return refuse(why);

    ifd0.push_back(ownField(kTagOrientation, kTypeShort, 1, little));
    ifd0.push_back(ownField(kTagExifDirectory, kTypeLong, 0, little));
    if (!gps.empty())
        ifd0.push_back(ownField(kTagGpsDirectory, kTypeLong, 0, little));
    if (width > 0 && height > 0) {
        exif.push_back(ownField(kTagPixelX, kTypeLong, uint32_t(width), little));
        exif.push_back(ownField(kTagPixelY, kTypeLong, uint32_t(height), little));
    }
    // IFD0 after the header, the Exif directory after it, then the GPS directory.
    const size_t exifOffset = 8 + directoryBytes(ifd0);
    const size_t gpsOffset = exifOffset + directoryBytes(exif);
    const size_t total = gpsOffset + (gps.empty() ? 0 : directoryBytes(gps));
    if (total + 6 > kMaxSegmentPayload)
        return refuse("the block's fields take more than one segment");
    for (SField& field : ifd0)
        if (field.mTag == kTagExifDirectory || field.mTag == kTagGpsDirectory)
            field = ownField(field.mTag, kTypeLong,
                             uint32_t(field.mTag == kTagExifDirectory ? exifOffset : gpsOffset),
                             little);

    std::vector<uint8_t>& out = copy.mTiff;
    out.reserve(total);
    out.push_back(little ? 'I' : 'M');
    out.push_back(little ? 'I' : 'M');
    appendUnsigned(out, 42, 2, little);
    appendUnsigned(out, 8, 4, little);
    writeDirectory(out, ifd0, little);
    writeDirectory(out, exif, little);
    if (!gps.empty())
        writeDirectory(out, gps, little);
    return copy;
}

SExifCopy copyExifBlock(const std::string& path, int width, int height) {
    SFileBuffer file;
    if (!file.open(path.c_str()))
        return SExifCopy();
    return copyExifBlock(file, width, height);
}

std::vector<uint8_t> exifApp1Payload(const std::vector<uint8_t>& tiff) {
    std::vector<uint8_t> payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    return payload;
}

namespace {
uint32_t crc32(const uint8_t* bytes, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k)
            crc = crc >> 1 ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}
}  // namespace

bool addPngExif(std::vector<uint8_t>& png, const std::vector<uint8_t>& tiff) {
    static const std::array<uint8_t, 16> kHead = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                                                  0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    constexpr size_t kAfterHeader = 8 + 4 + 4 + 13 + 4;
    if (png.size() < kAfterHeader || !std::equal(kHead.begin(), kHead.end(), png.begin()))
        return false;
    std::vector<uint8_t> chunk;
    appendUnsigned(chunk, uint32_t(tiff.size()), 4, false);
    chunk.insert(chunk.end(), {'e', 'X', 'I', 'f'});
    chunk.insert(chunk.end(), tiff.begin(), tiff.end());
    appendUnsigned(chunk, crc32(chunk.data() + 4, chunk.size() - 4), 4, false);
    png.insert(png.begin() + long(kAfterHeader), chunk.begin(), chunk.end());
    return true;
}
