#include "stereolayout.h"

#include "resample.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <sys/types.h>

namespace {

// Reads n bytes at offset into dst; false when the source ends before.
using ReadAt = std::function<bool(uint64_t offset, uint8_t* dst, size_t n)>;

// Segments and chunks walked at most before giving up: a real header has a few dozen,
// and a file of lying lengths must not keep the reader busy.
constexpr int kMaxJpegSegments = 512;
constexpr int kMaxPngChunks = 4096;

uint32_t bigEndian(const uint8_t* bytes, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

ReadAt bytesReader(const uint8_t* bytes, size_t size) {
    return [bytes, size](uint64_t offset, uint8_t* dst, size_t n) {
        if (!bytes || offset > size || n > size - offset)
            return false;
        std::memcpy(dst, bytes + offset, n);
        return true;
    };
}

ReadAt fileReader(FILE* file) {
    return [file](uint64_t offset, uint8_t* dst, size_t n) {
        if (!file || offset > uint64_t(INT64_MAX) || fseeko(file, off_t(offset), SEEK_SET) != 0)
            return false;
        return std::fread(dst, 1, n, file) == n;
    };
}

// The descriptor's lowest byte is the media type (1 stereo), the next the layout
// (2 side by side, 3 over-under; 0 mono, 1 interleaved, 4 anaglyph give nothing to cut),
// the third the flags: 0x01 half height, 0x02 half width, 0x04 left view first.
SStoredLayout jpsLayout(uint32_t descriptor) {
    const uint32_t type = descriptor & 0xFF, layout = descriptor >> 8 & 0xFF,
                   flags = descriptor >> 16 & 0xFF;
    const bool leftFirst = (flags & 0x04) != 0;
    if (type != 1)
        return {};
    if (layout == 2)
        return {leftFirst ? EStoredLayout::SideBySideLR : EStoredLayout::SideBySideRL,
                (flags & 0x02) != 0};
    if (layout == 3)
        return {leftFirst ? EStoredLayout::OverUnderLR : EStoredLayout::OverUnderRL,
                (flags & 0x01) != 0};
    return {};
}

std::optional<SStoredLayout> walkJpeg(const ReadAt& read) {
    uint8_t head[2];
    if (!read(0, head, 2) || head[0] != 0xFF || head[1] != 0xD8)
        return std::nullopt;
    uint64_t pos = 2;
    for (int step = 0; step < kMaxJpegSegments; ++step) {
        uint8_t marker[4];
        if (!read(pos, marker, 2) || marker[0] != 0xFF)
            return std::nullopt;
        const uint8_t code = marker[1];
        if (code == 0xFF) {  // fill byte before a marker
            ++pos;
            continue;
        }
        if (code == 0xDA || code == 0xD9)  // the record comes before the first scan
            return std::nullopt;
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {  // markers without a length
            pos += 2;
            continue;
        }
        if (!read(pos + 2, marker + 2, 2))
            return std::nullopt;
        const uint32_t length = bigEndian(marker + 2, 2);
        if (length < 2)
            return std::nullopt;
        // "_JPSJPS_", the block length, then the 4-byte descriptor that the block starts
        // with.
        constexpr size_t kRecord = 8 + 2 + 4;
        uint8_t record[kRecord];
        if (code == 0xE3 && length - 2 >= kRecord && read(pos + 4, record, kRecord) &&
            std::memcmp(record, "_JPSJPS_", 8) == 0) {
            const uint32_t block = bigEndian(record + 8, 2);
            if (block < 4 || 10 + block > length - 2)
                return std::nullopt;
            return jpsLayout(bigEndian(record + 10, 4));
        }
        pos += 2 + length;
    }
    return std::nullopt;
}

std::optional<SStoredLayout> walkPng(const ReadAt& read) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    uint8_t head[8];
    if (!read(0, head, 8) || std::memcmp(head, kSignature, 8) != 0)
        return std::nullopt;
    uint64_t pos = 8;
    for (int step = 0; step < kMaxPngChunks; ++step) {
        uint8_t chunk[8];
        if (!read(pos, chunk, 8))
            return std::nullopt;
        const uint32_t length = bigEndian(chunk, 4);
        if (length > 0x7FFFFFFFu || std::memcmp(chunk + 4, "IDAT", 4) == 0 ||
            std::memcmp(chunk + 4, "IEND", 4) == 0)
            return std::nullopt;
        if (std::memcmp(chunk + 4, "sTER", 4) == 0) {
            uint8_t mode = 0xFF;
            if (length != 1 || !read(pos + 8, &mode, 1) || mode > 1)
                return std::nullopt;
            return SStoredLayout{
                mode == 1 ? EStoredLayout::SideBySideLR : EStoredLayout::SideBySideRL, false};
        }
        pos += 12 + uint64_t(length);  // length, type, data, CRC
    }
    return std::nullopt;
}

std::string lowered(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::optional<SStoredLayout> hintLayout(const std::string& word) {
    static const struct {
        const char* mWord;
        EStoredLayout mLayout;
    } kHints[] = {{"sbs", EStoredLayout::SideBySideLR}, {"lr", EStoredLayout::SideBySideLR},
                  {"rl", EStoredLayout::SideBySideRL},  {"tb", EStoredLayout::OverUnderLR},
                  {"ou", EStoredLayout::OverUnderLR},   {"bt", EStoredLayout::OverUnderRL}};
    for (const auto& hint : kHints) {
        const std::string base = hint.mWord;
        if (word == base)
            return SStoredLayout{hint.mLayout, false};
        if (word == "h" + base || word == base + "h")
            return SStoredLayout{hint.mLayout, true};
    }
    return std::nullopt;
}

bool isSeparator(char c) {
    return c == '_' || c == '-' || c == '.' || c == ' ';
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Copies a width x height block at (x, y) of src into dst, rows without gaps.
void copyBlock(const SImage& src, int x, int y, int width, int height, unsigned char* dst) {
    const size_t channels = size_t(src.mChannels), rowBytes = size_t(width) * channels;
    const size_t stride = size_t(imageRowBytes(src));
    for (int row = 0; row < height; ++row)
        std::memcpy(dst + size_t(row) * rowBytes,
                    src.mPixels + size_t(y + row) * stride + size_t(x) * channels, rowBytes);
}

// One view: the block at (x, y), stretched to outWidth x outHeight when that differs.
SImageHandle cutView(const SImage& both, int x, int y, int width, int height, int outWidth,
                     int outHeight, const std::shared_ptr<CPixelRecycler>& recycler) {
    SImage shape = both;
    shape.mWidth = outWidth;
    shape.mHeight = outHeight;
    if (imageByteSize(shape) > kMaxImageBytes)
        return makeImageHandle(failedImage());
    SImageHandle view = takeImage(shape, recycler);
    if (!view->mPixels)
        return view;
    unsigned char* out = view->mPixels;
    if (outWidth == width && outHeight == height) {
        copyBlock(both, x, y, width, height, out);
        return view;
    }
    if (width == both.mWidth) {  // whole rows: the block is already without gaps
        resamplePixels(both.mPixels + size_t(y) * size_t(imageRowBytes(both)), width, height,
                       both.mChannels, out, outWidth, outHeight);
        return view;
    }
    SImage blockShape = both;
    blockShape.mWidth = width;
    blockShape.mHeight = height;
    const SImageHandle block = takeImage(blockShape, recycler);
    if (!block->mPixels)
        return block;
    copyBlock(both, x, y, width, height, block->mPixels);
    resamplePixels(block->mPixels, width, height, both.mChannels, out, outWidth, outHeight);
    return view;
}

// The mark of one eye at the end of a stem, after a separator: the mark's position, or
// npos.
size_t markAt(const std::string& lowerStem, const std::string& mark) {
    if (lowerStem.size() < mark.size() + 2)
        return std::string::npos;
    const size_t at = lowerStem.size() - mark.size();
    if (lowerStem.compare(at, mark.size(), mark) != 0 || !isSeparator(lowerStem[at - 1]) ||
        lowerStem[at - 1] == ' ')
        return std::string::npos;
    return at;
}

// The other eye's word written in the case pattern of the word found.
std::string inCaseOf(const std::string& found, const std::string& other) {
    const auto upper = [](char c) { return std::isupper(static_cast<unsigned char>(c)) != 0; };
    std::string result = other;
    const bool allUpper = std::all_of(found.begin(), found.end(), upper);
    for (size_t i = 0; i < result.size(); ++i) {
        const bool up = allUpper || (i == 0 && upper(found[0]));
        result[i] = char(up ? std::toupper(static_cast<unsigned char>(result[i]))
                            : std::tolower(static_cast<unsigned char>(result[i])));
    }
    return result;
}

}  // namespace

std::optional<SStoredLayout> readJpsMarker(const uint8_t* bytes, size_t size) {
    return walkJpeg(bytesReader(bytes, size));
}

std::optional<SStoredLayout> readJpsMarker(FILE* file) {
    return walkJpeg(fileReader(file));
}

std::optional<SStoredLayout> readPnsOrder(const uint8_t* bytes, size_t size) {
    return walkPng(bytesReader(bytes, size));
}

std::optional<SStoredLayout> readPnsOrder(FILE* file) {
    return walkPng(fileReader(file));
}

SStoredLayout layoutFromName(const std::string& fileName) {
    const std::string name = lowered(baseName(fileName));
    const size_t dot = name.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string stem = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot + 1) : std::string();
    std::optional<SStoredLayout> found;
    for (size_t i = 0; i < stem.size(); ++i) {
        if (stem[i] != '_' && stem[i] != '-')
            continue;
        size_t end = i + 1;
        while (end < stem.size() && !isSeparator(stem[end]))
            ++end;
        if (const auto hint = hintLayout(stem.substr(i + 1, end - i - 1)))
            found = hint;
    }
    if (found)
        return *found;
    if (extension == "jps" || extension == "pns")
        return {EStoredLayout::SideBySideRL, false};
    return {};
}

std::pair<SImageHandle, SImageHandle> splitStereoImage(
    const SImage& both, SStoredLayout layout, const std::shared_ptr<CPixelRecycler>& recycler) {
    const auto failed = [] {
        return std::make_pair(makeImageHandle(failedImage()), makeImageHandle(failedImage()));
    };
    if (!both.mPixels || both.mBitDepth != 8 || both.mChannels < 1 || both.mChannels > 4 ||
        both.mWidth < 1 || both.mHeight < 1)
        return failed();
    const bool sideBySide = layout.mLayout == EStoredLayout::SideBySideLR ||
                            layout.mLayout == EStoredLayout::SideBySideRL;
    const bool leftFirst = layout.mLayout == EStoredLayout::SideBySideLR ||
                           layout.mLayout == EStoredLayout::OverUnderLR;
    if (layout.mLayout == EStoredLayout::Mono)
        return failed();
    const int width = sideBySide ? both.mWidth / 2 : both.mWidth;
    const int height = sideBySide ? both.mHeight : both.mHeight / 2;
    if (width < 1 || height < 1)
        return failed();
    const int outWidth = sideBySide && layout.mHalf ? 2 * width : width;
    const int outHeight = !sideBySide && layout.mHalf ? 2 * height : height;
    // The first half's and the second half's corners.
    const int secondX = sideBySide ? width : 0, secondY = sideBySide ? 0 : height;
    SImageHandle first = cutView(both, 0, 0, width, height, outWidth, outHeight, recycler);
    SImageHandle second =
        cutView(both, secondX, secondY, width, height, outWidth, outHeight, recycler);
    if (!first->mPixels || !second->mPixels)
        return failed();
    if (!leftFirst)
        std::swap(first, second);
    return {first, second};
}

SPairPartner pairPartner(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = path.substr(folder.size());
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0)
        dot = name.size();
    const std::string stem = name.substr(0, dot), extension = name.substr(dot);
    const std::string lowerStem = lowered(stem);
    static const char* const kMarks[][2] = {{"left", "right"}, {"l", "r"}};
    for (const auto& marks : kMarks)
        for (int eye = 0; eye < 2; ++eye) {
            const size_t at = markAt(lowerStem, marks[eye]);
            if (at == std::string::npos)
                continue;
            return {
                folder + stem.substr(0, at) + inCaseOf(stem.substr(at), marks[1 - eye]) + extension,
                eye == 1};
        }
    // NAME in a folder L/ (or left/) and its partner in the sibling folder R/ (right/).
    if (folder.size() < 2)
        return {};
    const size_t parentSlash = folder.find_last_of('/', folder.size() - 2);
    const size_t parentStart = parentSlash == std::string::npos ? 0 : parentSlash + 1;
    const std::string parent = folder.substr(parentStart, folder.size() - 1 - parentStart);
    const std::string lowerParent = lowered(parent);
    for (const auto& marks : kMarks)
        for (int eye = 0; eye < 2; ++eye)
            if (lowerParent == marks[eye])
                return {
                    folder.substr(0, parentStart) + inCaseOf(parent, marks[1 - eye]) + "/" + name,
                    eye == 1};
    return {};
}
