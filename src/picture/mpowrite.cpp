#include "mpowrite.h"

#include "diagnostics.h"
#include "jpegwrite.h"
#include "tiffwrite.h"

#include <cmath>
#include <limits>
#include <string>

namespace {

enum : uint16_t {
    kTagVersion = 0xB000,
    kTagNumberOfImages = 0xB001,
    kTagEntries = 0xB002,
    kTagIndividualNumber = 0xB101,
    kTagBaseViewpoint = 0xB204,
    kTagBaseline = 0xB206,
};

// Representative picture flag, JPEG data, multi-frame disparity (stereo) type.
constexpr uint32_t kLeftAttribute = 0x20020002;
constexpr uint32_t kRightAttribute = 0x00020002;
constexpr size_t kHeaderBytes = 8;
// The MP header is a TIFF header; it follows "MPF\0" in the segment.
const std::vector<uint8_t> kIdentifier = {'M', 'P', 'F', 0};
// Big-endian, as cameras write it.
constexpr bool kLittle = false;

// Position just after the APP0/APP1 segments that follow the start of image, or 0 when
// jpeg is no JPEG stream with intact segments there.
size_t afterLeadingAppSegments(const std::vector<uint8_t>& jpeg) {
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8 || jpeg[2] != 0xFF)
        return 0;
    size_t pos = 2;
    while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF &&
           (jpeg[pos + 1] == 0xE0 || jpeg[pos + 1] == 0xE1)) {
        const size_t length = size_t(jpeg[pos + 2]) << 8 | jpeg[pos + 3];
        if (length < 2 || pos + 2 + length > jpeg.size())
            return 0;
        pos += 2 + length;
    }
    return pos + 2 <= jpeg.size() && jpeg[pos] == 0xFF ? pos : 0;
}

void addBaseline(CTiffDirectory& dir, double baselineMetres) {
    if (baselineMetres > 0 && baselineMetres < 1e6)
        dir.rational(kTagBaseline, uint32_t(std::lround(baselineMetres * 1000)), 1000);
}

std::vector<uint8_t> entryTable(uint32_t leftSize, uint32_t rightSize, uint32_t rightOffset) {
    std::vector<uint8_t> table;
    for (uint32_t value : {kLeftAttribute, leftSize, uint32_t(0), uint32_t(0)})
        appendUnsigned(table, value, 4, kLittle);
    for (uint32_t value : {kRightAttribute, rightSize, rightOffset, uint32_t(0)})
        appendUnsigned(table, value, 4, kLittle);
    return table;
}

// "MPF\0", the MP header and the directories: the whole payload of the APP2 segment.
std::vector<uint8_t> payload(const CTiffDirectory& first, const CTiffDirectory* second) {
    std::vector<uint8_t> out = kIdentifier;
    const size_t origin = out.size();
    out.push_back(kLittle ? 'I' : 'M');
    out.push_back(kLittle ? 'I' : 'M');
    appendUnsigned(out, 42, 2, kLittle);
    appendUnsigned(out, uint32_t(kHeaderBytes), 4, kLittle);
    const uint32_t next = second ? uint32_t(kHeaderBytes + first.byteSize()) : 0;
    first.write(out, origin, kLittle, next);
    if (second)
        second->write(out, origin, kLittle, 0);
    return out;
}

CTiffDirectory indexDirectory(uint32_t leftSize, uint32_t rightSize, uint32_t rightOffset) {
    CTiffDirectory index;
    index.undefined(kTagVersion, {'0', '1', '0', '0'});
    index.longValue(kTagNumberOfImages, 2);
    index.undefined(kTagEntries, entryTable(leftSize, rightSize, rightOffset));
    return index;
}

CTiffDirectory attributeDirectory(uint32_t number, double baselineMetres, bool withVersion) {
    CTiffDirectory attributes;
    if (withVersion)
        attributes.undefined(kTagVersion, {'0', '1', '0', '0'});
    attributes.longValue(kTagIndividualNumber, number);
    attributes.longValue(kTagBaseViewpoint, 1);
    addBaseline(attributes, baselineMetres);
    return attributes;
}

// jpeg with an APP2 segment holding payload inserted at position at.
std::vector<uint8_t> withSegment(const std::vector<uint8_t>& jpeg, size_t at,
                                 const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out;
    out.reserve(jpeg.size() + 4 + payload.size());
    out.insert(out.end(), jpeg.begin(), jpeg.begin() + long(at));
    out.push_back(0xFF);
    out.push_back(0xE2);
    appendUnsigned(out, uint32_t(payload.size() + 2), 2, false);
    out.insert(out.end(), payload.begin(), payload.end());
    out.insert(out.end(), jpeg.begin() + long(at), jpeg.end());
    return out;
}

}  // namespace

std::vector<uint8_t> buildMpoFile(const std::vector<uint8_t>& left,
                                  const std::vector<uint8_t>& right, double baselineMetres) {
    const size_t leftAt = afterLeadingAppSegments(left);
    const size_t rightAt = afterLeadingAppSegments(right);
    if (leftAt == 0 || rightAt == 0) {
        RUV_WARNING(std::string("cannot build a stereo file: the ") +
                    (leftAt == 0 ? "left" : "right") + " picture is no JPEG stream");
        return {};
    }

    const CTiffDirectory leftAttributes = attributeDirectory(1, baselineMetres, false);
    const CTiffDirectory rightAttributes = attributeDirectory(2, baselineMetres, true);
    const std::vector<uint8_t> rightPicture =
        withSegment(right, rightAt, payload(rightAttributes, nullptr));
    // The index's own segment is part of the left picture: its size is the same
    // whatever numbers it holds, so a first layout with zeros gives every offset.
    const size_t indexBytes = payload(indexDirectory(0, 0, 0), &leftAttributes).size();
    const size_t leftSize = left.size() + 4 + indexBytes;
    const size_t mpHeader = leftAt + 4 + kIdentifier.size();
    if (leftSize + rightPicture.size() > std::numeric_limits<uint32_t>::max()) {
        RUV_WARNING("cannot build a stereo file of " +
                    std::to_string((leftSize + rightPicture.size()) >> 20) +
                    " MiB: MP offsets end at 4 GiB");
        return {};
    }
    const CTiffDirectory index = indexDirectory(uint32_t(leftSize), uint32_t(rightPicture.size()),
                                                uint32_t(leftSize - mpHeader));
    std::vector<uint8_t> out = withSegment(left, leftAt, payload(index, &leftAttributes));
    out.insert(out.end(), rightPicture.begin(), rightPicture.end());
    return out;
}
