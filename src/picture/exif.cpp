#include "exif.h"

#include "diagnostics.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <utility>

namespace {
constexpr int64_t kBlock = 4096;
constexpr int64_t kLookAhead = 512;

// Limits that only hostile files reach: real blocks have a handful of directories of
// a few dozen entries and texts of a few dozen bytes.
constexpr int kMaxDirectories = 32;
constexpr int kMaxEntries = 1024;
constexpr int64_t kMaxText = 1024;

// Offsets in the console notes about a block that ends too soon, in lower-case hex.
std::string hex(unsigned long long value) {
    char text[24];
    std::snprintf(text, sizeof text, "%llx", value);
    return text;
}

constexpr uint16_t kTagMake = 0x010F;
constexpr uint16_t kTagModel = 0x0110;
constexpr uint16_t kTagOrientation = 0x0112;
constexpr uint16_t kTagDateTime = 0x0132;
constexpr uint16_t kTagThumbnail = 0x0201;
constexpr uint16_t kTagExifDirectory = 0x8769;
constexpr uint16_t kTagDateTimeOriginal = 0x9003;
constexpr uint16_t kTagMakerNote = 0x927C;
constexpr uint16_t kTagPixelX = 0xA002;
constexpr uint16_t kTagPixelY = 0xA003;

constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
}  // namespace

SFileBuffer::~SFileBuffer() {
    close();
}

void SFileBuffer::reset() {
    mMemory = nullptr;
    mLoaded = 0;
    mFileSize = 0;
}

bool SFileBuffer::open(const char* path) {
    return openAt(path, 0);
}

bool SFileBuffer::openAt(const char* path, int64_t origin) {
    close();
    FilePtr file(std::fopen(path, "rb"));
    if (!file)
        return false;
    // A folder or a device opens too, but has no size to walk.
    struct stat info;
    if (fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode) || origin < 0 ||
        origin > info.st_size)
        return false;
    // The blocks go straight into our buffer; a stdio buffer would only copy them twice.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    if (origin > 0 && fseeko(file.get(), static_cast<off_t>(origin), SEEK_SET) != 0)
        return false;
    mFile = std::move(file);
    mFileSize = info.st_size - origin;
    ensure(0);
    return true;
}

void SFileBuffer::openMemory(const uint8_t* bytes, size_t size) {
    close();
    mMemory = bytes;
    mFileSize = bytes ? static_cast<int64_t>(size) : 0;
    ensure(0);
}

void SFileBuffer::close() {
    mFile.reset();
    reset();
}

void SFileBuffer::ensure(int64_t pos) {
    if (pos < 0)
        pos = 0;
    const int64_t target = std::min(((pos + kLookAhead - 1) / kBlock + 1) * kBlock, mFileSize);
    if (target <= mLoaded)
        return;
    if (static_cast<int64_t>(mBuffer.size()) < target)
        mBuffer.resize(static_cast<size_t>(target));
    while (mLoaded < target) {
        const size_t want = static_cast<size_t>(target - mLoaded);
        size_t got = 0;
        if (mMemory) {
            std::memcpy(mBuffer.data() + mLoaded, mMemory + mLoaded, want);
            got = want;
        } else if (mFile) {
            got = std::fread(mBuffer.data() + mLoaded, 1, want, mFile.get());
        }
        if (got == 0) {
            // The file shrank since it was opened, or cannot be read further: it ends here.
            mFileSize = mLoaded;
            return;
        }
        mLoaded += static_cast<int64_t>(got);
    }
}

uint8_t SFileBuffer::at(int64_t pos) {
    if (pos < 0 || pos >= mFileSize)
        return 0;
    if (pos >= mLoaded)
        ensure(pos);
    return pos < mLoaded ? mBuffer[static_cast<size_t>(pos)] : 0;
}

namespace {
enum class EDirectory { Ifd0, ExifSub, Ifd1, Later };

// Reads the TIFF structure of one Exif segment: every read is checked against
// [tiff, end), the segment clipped to the file, in the byte order of the header.
class CTiffReader {
public:
    CTiffReader(SFileBuffer& file, int64_t tiff, int64_t end, bool little)
        : mFile(file), mTiff(tiff), mEnd(end), mLittle(little) {}

    int64_t tiff() const { return mTiff; }
    int64_t end() const { return mEnd; }
    bool has(int64_t pos, int64_t bytes) const { return pos >= mTiff && pos <= mEnd - bytes; }

    uint16_t u16(int64_t pos) {
        const unsigned a = mFile.at(pos), b = mFile.at(pos + 1);
        return static_cast<uint16_t>(mLittle ? a | b << 8 : a << 8 | b);
    }
    uint32_t u32(int64_t pos) {
        const uint32_t a = u16(pos), b = u16(pos + 2);
        return mLittle ? a | b << 16 : a << 16 | b;
    }

    // At most count bytes, cut at the first zero byte: many writers leave out the
    // terminating zero, and a count that runs past the segment is cut there.
    std::string text(int64_t pos, uint32_t count) {
        std::string out;
        if (!has(pos, 1))
            return out;
        const int64_t end = std::min({pos + int64_t(count), mEnd, pos + kMaxText});
        for (int64_t p = pos; p < end; ++p) {
            const char c = static_cast<char>(mFile.at(p));
            if (c == 0)
                break;
            out += c;
        }
        return out;
    }

private:
    SFileBuffer& mFile;
    int64_t mTiff;
    int64_t mEnd;
    bool mLittle;
};

struct SDirectory {
    int64_t mPos;
    EDirectory mKind;
};

// Collects the record from the directories. Earlier directories win: IFD0 is walked
// first, so its camera and date beat the copies a thumbnail directory may carry;
// only the capture date beats a date found before it.
class CExifWalk {
public:
    CExifWalk(CTiffReader& tiff, int64_t fileSize, SExifInfo& info, SMakerNote* makerNote,
              SOrientationEntry* orientation)
        : mTiff(tiff),
          mFileSize(fileSize),
          mInfo(info),
          mMakerNote(makerNote),
          mOrientation(orientation) {}

    void run(int64_t ifd0) {
        std::deque<SDirectory> queue{{ifd0, EDirectory::Ifd0}};
        std::vector<int64_t> visited;
        while (!queue.empty() && static_cast<int>(visited.size()) < kMaxDirectories) {
            const SDirectory dir = queue.front();
            queue.pop_front();
            if (std::find(visited.begin(), visited.end(), dir.mPos) != visited.end())
                continue;
            visited.push_back(dir.mPos);
            walkDirectory(dir, queue);
        }
    }

private:
    void walkDirectory(const SDirectory& dir, std::deque<SDirectory>& queue) {
        if (!mTiff.has(dir.mPos, 2))
            return;
        const int count = mTiff.u16(dir.mPos);
        const int64_t first = dir.mPos + 2;
        for (int k = 0; k < std::min(count, kMaxEntries); ++k) {
            const int64_t entry = first + 12 * int64_t(k);
            if (!mTiff.has(entry, 12))
                return;  // the count overruns the segment: no link word to follow either
            readEntry(dir.mKind, entry, queue);
        }
        const int64_t link = first + 12 * int64_t(count);
        if (!mTiff.has(link, 4))
            return;
        const uint32_t next = mTiff.u32(link);
        if (next == 0)
            return;
        const int64_t entries = mTiff.tiff() + 2 + next;
        if (entries >= mTiff.end()) {
            consoleLine("endDesc[" + hex(link) + "]  (1)  : WARNING exifEnd < offset = [" +
                        hex(entries) + "]=[" + hex(next) + "]+[" + hex(mTiff.tiff() + 2) + "]");
            return;
        }
        const EDirectory kind =
            dir.mKind == EDirectory::Ifd0 ? EDirectory::Ifd1 : EDirectory::Later;
        queue.push_back({mTiff.tiff() + next, kind});
    }

    void readEntry(EDirectory kind, int64_t entry, std::deque<SDirectory>& queue) {
        const uint16_t tag = mTiff.u16(entry);
        const uint16_t type = mTiff.u16(entry + 2);
        const uint32_t count = mTiff.u32(entry + 4);
        const int64_t field = entry + 8;
        const uint32_t value = mTiff.u32(field);
        switch (tag) {
            case kTagExifDirectory:
                queue.push_back({mTiff.tiff() + value, EDirectory::ExifSub});
                break;
            case kTagThumbnail:
                if (kind == EDirectory::Ifd1)
                    setThumbnail(mTiff.tiff() + value);
                break;
            case kTagDateTime:
            case kTagDateTimeOriginal: {
                const int rank = tag == kTagDateTimeOriginal ? 2 : 1;
                if (rank > mDateRank) {
                    std::string date = textOf(field, count);
                    if (!date.empty()) {
                        mInfo.mDateTime = date;
                        mInfo.mDateTag = tag;
                        mDateRank = rank;
                    }
                }
                break;
            }
            case kTagOrientation:
                if (kind == EDirectory::Ifd0 && count > 0 && !mOrientationSet) {
                    const uint32_t code = type == kTypeLong ? value : mTiff.u16(field);
                    if (code <= 0xFFFF) {  // never one of the reader's own negative codes
                        mInfo.mOrientation = static_cast<int>(code);
                        mOrientationSet = true;
                        if (mOrientation) {
                            mOrientation->mEntry = entry;
                            mOrientation->mType = type;
                            mOrientation->mCount = count;
                        }
                    }
                }
                break;
            case kTagPixelX:
            case kTagPixelY:
                if (count > 0) {
                    const uint32_t size = type == kTypeShort ? mTiff.u16(field) : value;
                    if (size <= INT32_MAX)
                        (tag == kTagPixelX ? mInfo.mPixelXDimension : mInfo.mPixelYDimension) =
                            static_cast<int>(size);
                }
                break;
            case kTagMake:
                takeCamera(mInfo.mMake, mMakeSet, field, count);
                break;
            case kTagModel:
                takeCamera(mInfo.mModel, mModelSet, field, count);
                break;
            case kTagMakerNote:
                if (kind == EDirectory::ExifSub)
                    takeMakerNote(field, count);
                break;
            default:
                break;
        }
    }

    // Texts of up to four bytes are stored in the entry itself.
    std::string textOf(int64_t field, uint32_t count) {
        return mTiff.text(count <= 4 ? field : mTiff.tiff() + mTiff.u32(field), count);
    }

    void takeCamera(std::string& target, bool& set, int64_t field, uint32_t count) {
        if (set)
            return;
        std::string text = textOf(field, count);
        if (text.empty())
            return;
        target = text;
        set = true;
    }

    // The first maker note of the Exif sub-IFD, cut where the segment ends; one that
    // starts outside the segment is none.
    void takeMakerNote(int64_t field, uint32_t count) {
        if (!mMakerNote || mMakerNote->mPos >= 0 || count == 0)
            return;
        const int64_t pos = count <= 4 ? field : mTiff.tiff() + mTiff.u32(field);
        if (!mTiff.has(pos, 1))
            return;
        mMakerNote->mPos = pos;
        mMakerNote->mSize = std::min(int64_t(count), mTiff.end() - pos);
    }

    // An offset outside the file cannot hold a thumbnail; one inside is passed on
    // even when it holds none, for the decoder to refuse.
    void setThumbnail(int64_t offset) {
        if (mInfo.mThumbnailOffset < 0 && offset < mFileSize && offset <= INT32_MAX)
            mInfo.mThumbnailOffset = static_cast<int>(offset);
    }

    CTiffReader& mTiff;
    int64_t mFileSize;
    SExifInfo& mInfo;
    SMakerNote* mMakerNote;
    SOrientationEntry* mOrientation;
    int mDateRank = 0;
    bool mOrientationSet = false;
    bool mMakeSet = false;
    bool mModelSet = false;
};

// The APP1 segment at pos with its length field; the identifier is already checked.
SExifInfo parseExifSegment(SFileBuffer& file, int64_t pos, int64_t length, SMakerNote* makerNote,
                           SOrientationEntry* orientation) {
    SExifInfo info;
    const int64_t end = std::min(pos + 2 + length, file.size());
    const int64_t tiff = pos + 10;
    const uint8_t order = file.at(tiff);
    if (tiff + 2 > end || order != file.at(tiff + 1) || (order != 'I' && order != 'M'))
        return info;  // no byte order, no usable Exif data
    info.mDateTime = "no DateTime in Exif data";
    if (makerNote) {
        makerNote->mTiff = tiff;
        makerNote->mLittle = order == 'I';
    }
    if (orientation)
        orientation->mLittle = order == 'I';
    CTiffReader reader(file, tiff, end, order == 'I');
    if (!reader.has(tiff + 4, 4))
        return info;
    const int64_t ifd0 = tiff + reader.u32(tiff + 4);
    if (ifd0 + 2 >= end) {
        consoleLine("endDesc[" + hex(tiff) + "]       : WARNING exifEnd < offset = [" +
                    hex(ifd0 + 2) + "]");
        return info;
    }
    CExifWalk walk(reader, file.size(), info, makerNote, orientation);
    walk.run(ifd0);
    return info;
}

bool isExifIdentifier(SFileBuffer& file, int64_t pos) {
    static const uint8_t kIdentifier[6] = {'E', 'x', 'i', 'f', 0, 0};
    for (int k = 0; k < 6; ++k) {
        if (file.at(pos + k) != kIdentifier[k])
            return false;
    }
    return true;
}
}  // namespace

SExifInfo parseExif(SFileBuffer& file) {
    return parseExif(file, nullptr);
}

SExifInfo parseExif(SFileBuffer& file, SMakerNote* makerNote) {
    return parseExif(file, makerNote, nullptr);
}

SExifInfo parseExif(SFileBuffer& file, SMakerNote* makerNote, SOrientationEntry* orientation) {
    if (makerNote)
        *makerNote = SMakerNote();
    if (orientation)
        *orientation = SOrientationEntry();
    SExifInfo info;
    if (file.loaded() < kLookAhead + 1)
        file.ensure(0);
    if (file.size() < 1 || file.at(0) != 0xFF) {
        info.mDateTime = "no jpeg file";
        return info;
    }
    // Segments up to the picture data; the first APP1 that says "Exif" holds the block
    // (XMP and other makers' data also come in APP1 segments, sometimes before it).
    int64_t pos = 0;
    while (pos + 2 <= file.size() && file.at(pos) == 0xFF) {
        const uint8_t marker = file.at(pos + 1);
        if (marker == 0xFF) {  // fill byte before a marker
            ++pos;
            continue;
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;  // markers without a length
            continue;
        }
        if (marker == 0x00 || marker == 0xD9 || marker == 0xDA || pos + 4 > file.size())
            break;  // not a marker, end of image, start of scan, or cut off
        const int64_t length = int64_t(file.at(pos + 2)) << 8 | file.at(pos + 3);
        if (length < 2)
            break;
        if (marker == 0xE1 && length >= 8 && isExifIdentifier(file, pos + 4))
            return parseExifSegment(file, pos, length, makerNote, orientation);
        pos += 2 + length;
    }
    return info;
}

SExifInfo readExif(const std::string& path) {
    // One buffer per thread for the whole run, so that reading a folder allocates only
    // when a file needs more of it than any before, and two threads never share one.
    static thread_local SFileBuffer file;
    if (!file.open(path.c_str())) {
        SExifInfo info;
        info.mDateTime = "could not open file";
        info.mOrientation = -1;
        return info;
    }
    SExifInfo info = parseExif(file);
    file.close();
    return info;
}

int64_t tiffTypeSize(uint16_t type) {
    switch (type) {
        case 1:  // BYTE
        case 2:  // ASCII
        case 6:  // SBYTE
        case 7:  // UNDEFINED
            return 1;
        case 3:  // SHORT
        case 8:  // SSHORT
            return 2;
        case 4:   // LONG
        case 9:   // SLONG
        case 11:  // FLOAT
            return 4;
        case 5:   // RATIONAL
        case 10:  // SRATIONAL
        case 12:  // DOUBLE
            return 8;
        default:
            return 0;
    }
}

bool findDirectoryEntry(SFileBuffer& file, int64_t begin, int64_t end, bool littleEndian,
                        int64_t dir, int64_t base, uint16_t tag, SDirectoryEntry* entry) {
    CTiffReader reader(file, begin, end, littleEndian);
    if (!reader.has(dir, 2))
        return false;
    const int count = std::min(int(reader.u16(dir)), kMaxEntries);
    for (int k = 0; k < count; ++k) {
        const int64_t at = dir + 2 + 12 * int64_t(k);
        if (!reader.has(at, 12))
            return false;  // the count overruns the range
        if (reader.u16(at) != tag)
            continue;
        const uint16_t type = reader.u16(at + 2);
        const uint32_t values = reader.u32(at + 4);
        const int64_t bytes = tiffTypeSize(type) * int64_t(values);
        if (bytes == 0)
            return false;
        const int64_t value = bytes <= 4 ? at + 8 : base + reader.u32(at + 8);
        if (!reader.has(value, bytes))
            return false;
        *entry = SDirectoryEntry{type, values, value, bytes};
        return true;
    }
    return false;
}
