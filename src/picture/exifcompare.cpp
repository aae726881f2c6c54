#include "exifcompare.h"

#include "exif.h"
#include "filecloser.h"
#include "mpf.h"
#include "parallax.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <vector>

#include <sys/stat.h>

namespace {
using Bytes = std::vector<uint8_t>;

// Real blocks hold a handful of directories of a few dozen entries.
constexpr int kMaxDirectories = 32;
constexpr int kMaxEntries = 1024;
constexpr int64_t kMaxFile = int64_t(1) << 30;

constexpr uint16_t kTagOrientation = 0x0112;
constexpr uint16_t kTagStripOffsets = 0x0111;
constexpr uint16_t kTagTileOffsets = 0x0144;
constexpr uint16_t kTagThumbnail = 0x0201;
constexpr uint16_t kTagThumbnailLength = 0x0202;
constexpr uint16_t kTagExif = 0x8769;
constexpr uint16_t kTagGps = 0x8825;
constexpr uint16_t kTagInterop = 0xA005;
constexpr uint16_t kTagMakerNote = 0x927C;

// Maker notes whose offsets count from the note itself (or from a TIFF header of its
// own): their bytes mean the same wherever the note lies.
const char* const kSelfContainedNotes[] = {"FUJIFILM", "Nikon\0\2", "Apple iOS", "OLYMPUS\0"};
const size_t kSelfContainedSizes[] = {8, 7, 9, 8};
// Where a maker note's directory may start, after its maker's header.
const int64_t kNoteDirectoryStarts[] = {0, 6, 8, 10, 12};

struct SSnapshot {
    bool mRead = false;
    std::map<std::string, std::string> mFields;
    std::string mThumbnail;
    int64_t mNoteStart = -3;  // the note's reading: a directory start, or -1 / -2 below
    std::string mNote;
    std::vector<std::string> mSegments;  // the other segments before the picture data
    int64_t mScan = -1;                  // file offset of the first picture's data
    SSecondPicture mSecond;
};
constexpr int64_t kNoteSelfContained = -1;
constexpr int64_t kNoteAsStored = -2;  // read as bytes at their place in the block

std::string hex4(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04x", value & 0xFFFF);
    return text;
}

// Reads inside one Exif block, [tiff, end) of the file's bytes, in its byte order.
class CBlock {
public:
    CBlock(const Bytes& data, int64_t tiff, int64_t end, bool little)
        : mData(data), mTiff(tiff), mEnd(end), mLittle(little) {}
    int64_t tiff() const { return mTiff; }
    bool little() const { return mLittle; }
    bool has(int64_t pos, int64_t bytes) const {
        return bytes >= 0 && pos >= mTiff && pos <= mEnd - bytes;
    }
    uint16_t u16(int64_t pos, bool little) const {
        const unsigned a = mData[size_t(pos)], b = mData[size_t(pos + 1)];
        return uint16_t(little ? a | b << 8 : a << 8 | b);
    }
    uint16_t u16(int64_t pos) const { return u16(pos, mLittle); }
    uint32_t u32(int64_t pos, bool little) const {
        const uint32_t a = u16(pos, little), b = u16(pos + 2, little);
        return little ? a | b << 16 : a << 16 | b;
    }
    uint32_t u32(int64_t pos) const { return u32(pos, mLittle); }
    std::string bytes(int64_t pos, int64_t count) const {
        if (!has(pos, count))
            return "<outside the block>";
        return std::string(mData.begin() + pos, mData.begin() + pos + count);
    }

    // An entry as the value it stands for: type, count and the bytes of its value,
    // wherever they lie.
    std::string value(int64_t entry, bool little) const {
        const uint16_t type = u16(entry + 2, little);
        const uint32_t count = u32(entry + 4, little);
        const int64_t size = tiffTypeSize(type) * int64_t(count);
        std::string text = std::to_string(type) + "/" + std::to_string(count) + ":";
        if (size == 0)
            return text + bytes(entry + 8, 4);
        if (size <= 4)
            return text + bytes(entry + 8, size);
        return text + bytes(mTiff + u32(entry + 8, little), size);
    }

    // A directory whose count, entries and values all fit: a plausible maker note.
    bool plausibleDirectory(int64_t dir, int64_t end) const {
        if (!has(dir, 2) || dir + 2 > end)
            return false;
        const int count = u16(dir);
        if (count < 1 || count > 512 || dir + 2 + 12 * int64_t(count) > end)
            return false;
        for (int k = 0; k < count; ++k) {
            const int64_t entry = dir + 2 + 12 * int64_t(k);
            if (!has(entry, 12))
                return false;
            const int64_t size = tiffTypeSize(u16(entry + 2)) * int64_t(u32(entry + 4));
            if (size == 0 || (size > 4 && !has(mTiff + u32(entry + 8), size)))
                return false;
        }
        return true;
    }

private:
    const Bytes& mData;
    int64_t mTiff, mEnd;
    bool mLittle;
};

bool startsWith(const Bytes& data, int64_t pos, int64_t end, const char* text, size_t size) {
    return pos + int64_t(size) <= end && std::memcmp(data.data() + pos, text, size) == 0;
}

// The note as its camera reads it. forcedStart: the reading chosen for the other file,
// so that both are read alike; -3 chooses.
std::string noteText(const Bytes& data, const CBlock& block, int64_t pos, int64_t size,
                     int64_t forcedStart, int64_t* chosen) {
    const int64_t end = pos + size;
    int64_t start = forcedStart;
    if (start == -3) {
        start = kNoteAsStored;
        for (size_t k = 0; k < std::size(kSelfContainedNotes); ++k)
            if (startsWith(data, pos, end, kSelfContainedNotes[k], kSelfContainedSizes[k]))
                start = kNoteSelfContained;
        for (int64_t offset : kNoteDirectoryStarts) {
            if (start != kNoteAsStored)
                break;
            if (block.plausibleDirectory(pos + offset, end))
                start = offset;
        }
    }
    *chosen = start;
    if (start == kNoteSelfContained)
        return block.bytes(pos, size);
    if (start == kNoteAsStored)  // its place in the block is part of what it means
        return std::to_string(pos - block.tiff()) + "@" + block.bytes(pos, size);
    const int64_t dir = pos + start;
    if (!block.has(dir, 2))
        return "<none>";
    std::string text = block.bytes(pos, start);
    const int count = std::min(int(block.u16(dir)), kMaxEntries);
    for (int k = 0; k < count; ++k) {
        const int64_t entry = dir + 2 + 12 * int64_t(k);
        if (entry + 12 > end || !block.has(entry, 12))
            return text + "<cut>";
        text += hex4(block.u16(entry)) + "=" + block.value(entry, block.little()) + ";";
    }
    return text;
}

// Every field of every directory, keyed by directory and tag.
void walkBlock(const Bytes& data, const CBlock& block, SSnapshot& shot, int64_t forcedNote) {
    struct SDir {
        int64_t pos;
        std::string name;
    };
    std::vector<SDir> queue{{block.tiff() + block.u32(block.tiff() + 4), "IFD0"}};
    std::vector<int64_t> visited;
    int64_t thumbnail = -1, thumbnailLength = 0;
    for (size_t q = 0; q < queue.size() && int(visited.size()) < kMaxDirectories; ++q) {
        const SDir dir = queue[q];
        if (!block.has(dir.pos, 2) ||
            std::find(visited.begin(), visited.end(), dir.pos) != visited.end())
            continue;
        visited.push_back(dir.pos);
        const int count = std::min(int(block.u16(dir.pos)), kMaxEntries);
        for (int k = 0; k < count; ++k) {
            const int64_t entry = dir.pos + 2 + 12 * int64_t(k);
            if (!block.has(entry, 12))
                break;
            const uint16_t tag = block.u16(entry);
            const uint32_t field = block.u32(entry + 8);
            std::string key = dir.name + " " + hex4(tag);
            while (shot.mFields.count(key))
                key += "+";
            if (tag == kTagExif || tag == kTagGps || tag == kTagInterop) {
                queue.push_back({block.tiff() + field, tag == kTagExif  ? "Exif"
                                                       : tag == kTagGps ? "GPS"
                                                                        : "Interoperability"});
            } else if (tag == kTagMakerNote && dir.name == "Exif") {
                const int64_t size =
                    tiffTypeSize(block.u16(entry + 2)) * int64_t(block.u32(entry + 4));
                const int64_t pos = size <= 4 ? entry + 8 : block.tiff() + field;
                if (block.has(pos, 1))
                    shot.mNote = noteText(data, block, pos, size, forcedNote, &shot.mNoteStart);
            } else if (tag == kTagThumbnail && dir.name == "IFD1") {
                thumbnail = block.tiff() + field;
            } else if (tag == kTagOrientation && dir.name == "IFD0") {
                continue;  // the one field that may change
            } else if (tag == kTagStripOffsets || tag == kTagTileOffsets) {
                shot.mFields[key] = "offsets";  // places, which move with the block
            } else {
                if (tag == kTagThumbnailLength && dir.name == "IFD1")
                    thumbnailLength = field;
                shot.mFields[key] = block.value(entry, block.little());
            }
        }
        const int64_t link = dir.pos + 2 + 12 * int64_t(count);
        if (dir.name.compare(0, 3, "IFD") == 0 && block.has(link, 4) && block.u32(link) != 0)
            queue.push_back({block.tiff() + block.u32(link),
                             "IFD" + std::to_string(std::stoi(dir.name.substr(3)) + 1)});
    }
    if (thumbnail >= 0)
        shot.mThumbnail = block.bytes(thumbnail, thumbnailLength);
}

bool readWhole(const std::string& path, Bytes* data) {
    const FilePtr file(std::fopen(path.c_str(), "rb"));
    struct stat st;
    if (!file || fstat(fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size > kMaxFile)
        return false;
    data->resize(size_t(st.st_size));
    return std::fread(data->data(), 1, data->size(), file.get()) == data->size();
}

SSnapshot snapshotOf(const std::string& path, int64_t forcedNote) {
    SSnapshot shot;
    Bytes data;
    if (!readWhole(path, &data) || data.size() < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return shot;
    bool exifSeen = false;
    int64_t pos = 2;
    const int64_t size = int64_t(data.size());
    while (pos + 4 <= size && data[size_t(pos)] == 0xFF) {
        const uint8_t marker = data[size_t(pos + 1)];
        if (marker == 0xFF) {
            ++pos;
            continue;
        }
        if (marker == 0xDA) {
            shot.mScan = pos;
            break;
        }
        const int64_t length = int64_t(data[size_t(pos + 2)]) << 8 | data[size_t(pos + 3)];
        const int64_t end = std::min(pos + 2 + length, size);
        if (length < 2)
            break;
        const bool exif = marker == 0xE1 && startsWith(data, pos + 4, end, "Exif\0\0", 6);
        const bool mpf = marker == 0xE2 && startsWith(data, pos + 4, end, "MPF\0", 4);
        const int64_t tiff = pos + 10;
        if (exif && !exifSeen && tiff + 8 <= end &&
            (startsWith(data, tiff, end, "II", 2) || startsWith(data, tiff, end, "MM", 2))) {
            exifSeen = true;
            walkBlock(data, CBlock(data, tiff, end, data[size_t(tiff)] == 'I'), shot, forcedNote);
        } else if (!mpf) {
            // The index of a Multi-Picture file states sizes that change with the block;
            // what it leads to is compared below.
            shot.mSegments.emplace_back(data.begin() + pos, data.begin() + end);
        }
        pos = end;
    }
    FILE* memory = fmemopen(data.data(), data.size(), "rb");
    if (memory) {
        const FilePtr guard(memory);
        shot.mSecond = inspectSecondPicture(memory);
    }
    shot.mRead = shot.mScan > 0;
    return shot;
}

bool samePictureData(const std::string& beforePath, int64_t before, const std::string& afterPath,
                     int64_t after) {
    Bytes a, b;
    if (!readWhole(beforePath, &a) || !readWhole(afterPath, &b))
        return false;
    return int64_t(a.size()) - before == int64_t(b.size()) - after &&
           std::equal(a.begin() + before, a.end(), b.begin() + after);
}

std::string fieldDifference(const SSnapshot& before, const SSnapshot& after) {
    for (const auto& [key, value] : before.mFields) {
        const auto other = after.mFields.find(key);
        if (other == after.mFields.end() || other->second != value)
            return "the Exif field " + key;
    }
    for (const auto& [key, value] : after.mFields)
        if (!before.mFields.count(key))
            return "the Exif field " + key;
    return {};
}
}  // namespace

std::string metadataDifference(const std::string& beforePath, const std::string& afterPath) {
    const SSnapshot before = snapshotOf(beforePath, -3);
    const SSnapshot after = snapshotOf(afterPath, before.mNoteStart);
    if (!before.mRead)
        return "segments that cannot be read to the picture data";
    if (!after.mRead)
        return "the file's segments";
    if (before.mNote != after.mNote)
        return "the maker note";
    const std::string field = fieldDifference(before, after);
    if (!field.empty())
        return field;
    if (before.mThumbnail != after.mThumbnail)
        return "the thumbnail";
    if (before.mSegments != after.mSegments)
        return "the metadata outside the Exif block";
    if (!samePictureData(beforePath, before.mScan, afterPath, after.mScan))
        return "the picture data";
    const SSecondPicture& a = before.mSecond;
    const SSecondPicture& b = after.mSecond;
    if ((a.mOffset < 0) != (b.mOffset < 0) ||
        (a.mOffset >= 0 &&
         (a.mOffset - before.mScan != b.mOffset - after.mScan || a.mIndexed != b.mIndexed ||
          a.mType != b.mType || a.mSecond.mWidth != b.mSecond.mWidth ||
          a.mSecond.mHeight != b.mSecond.mHeight)))
        return "the second picture";
    const SCameraParallax p = readCameraParallax(beforePath);
    const SCameraParallax q = readCameraParallax(afterPath);
    if (p.mFound != q.mFound || p.mValue != q.mValue)
        return "the camera's parallax";
    return {};
}

bool isMakerNoteDifference(const std::string& difference) {
    return difference == "the maker note" || difference == "the camera's parallax";
}
