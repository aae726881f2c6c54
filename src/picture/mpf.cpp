#include "mpf.h"

#include "jpegio.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// What a walk over the markers of a JPEG stream in a file finds.
struct SStreamLayout {
    int64_t mEnd = -1;           // file offset just past its end-of-image marker; -1 if none
    int64_t mEntropyStart = -1;  // file offset just past its first SOS segment; -1 if none
    int64_t mMpfPos = -1;        // file offset of its first APP2 "MPF\0" payload; -1 if none
    int64_t mMpfSize = 0;        // bytes of that payload
    SFrameSize mFrame;           // from its first SOF segment
};

// A file read through one window of bytes, so that a multi-megabyte picture is never
// loaded whole and every read is checked against the file's size.
class CFileBytes {
public:
    explicit CFileBytes(FILE* file) : mFile(file), mWindow(kWindowBytes) {
        if (file && fseeko(file, 0, SEEK_END) == 0)
            mSize = ftello(file);
    }

    bool ok() const { return mSize >= 0; }
    int64_t size() const { return mSize; }

    // The byte at pos, or -1 outside the file or on a read error.
    int at(int64_t pos) {
        if (!cover(pos))
            return -1;
        return mWindow[size_t(pos - mStart)];
    }

    // First position >= pos holding value, or -1.
    int64_t find(int64_t pos, unsigned char value) {
        while (cover(pos)) {
            const unsigned char* begin = mWindow.data() + (pos - mStart);
            const size_t left = mLength - size_t(pos - mStart);
            if (const void* hit = std::memchr(begin, value, left))
                return pos + (static_cast<const unsigned char*>(hit) - begin);
            pos += int64_t(left);
        }
        return -1;
    }

    bool read(int64_t pos, unsigned char* out, size_t count) {
        if (pos < 0 || mSize < 0 || int64_t(count) > mSize - pos)
            return false;
        for (size_t i = 0; i < count; ++i) {
            const int byte = at(pos + int64_t(i));
            if (byte < 0)
                return false;
            out[i] = static_cast<unsigned char>(byte);
        }
        return true;
    }

private:
    static constexpr size_t kWindowBytes = 64 * 1024;

    // Makes pos part of the window; false when it lies outside the file.
    bool cover(int64_t pos) {
        if (pos < 0 || pos >= mSize)
            return false;
        if (pos >= mStart && pos < mStart + int64_t(mLength))
            return true;
        mLength = 0;
        mStart = pos;
        if (fseeko(mFile, pos, SEEK_SET) != 0)
            return false;
        mLength = fread(mWindow.data(), 1, mWindow.size(), mFile);
        return mLength > 0;
    }

    FILE* mFile;
    std::vector<unsigned char> mWindow;
    int64_t mSize = -1;
    int64_t mStart = 0;
    size_t mLength = 0;
};

// Markers and stuffed zero bytes looked at before the walk gives up on a stream.
constexpr int kMaxMarkerSteps = 1 << 20;

uint32_t readUnsigned(const unsigned char* p, int bytes, bool littleEndian) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= uint32_t(p[littleEndian ? i : bytes - 1 - i]) << (8 * i);
    return value;
}

bool isStandaloneMarker(int marker) {
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8);
}

// Position of the FF that starts the marker ending the entropy-coded data at pos, or
// -1 when the file ends first. FF 00 is a stuffed data byte, FF D0..D7 restart markers
// belong to the data, and FF FF is fill before a marker.
int64_t skipEntropyData(CFileBytes& in, int64_t pos) {
    while (true) {
        int64_t ff = in.find(pos, 0xFF);
        if (ff < 0)
            return -1;
        int64_t next = ff + 1;
        int byte = in.at(next);
        while (byte == 0xFF) {
            ff = next++;
            byte = in.at(next);
        }
        if (byte < 0)
            return -1;
        if (byte != 0x00 && !(byte >= 0xD0 && byte <= 0xD7))
            return ff;
        pos = next + 1;
    }
}

// Start-of-frame markers: SOF0..SOF15 but for DHT (C4), JPG (C8) and DAC (CC).
bool isFrameMarker(int marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Walks the segments of the JPEG stream at start, passing over whatever APP segments
// hold (such as an Exif thumbnail): up to its first SOS segment when headersOnly, else
// on through the entropy-coded data to its end-of-image marker.
SStreamLayout walk(CFileBytes& in, int64_t start, bool headersOnly) {
    SStreamLayout layout;
    if (in.at(start) != 0xFF || in.at(start + 1) != 0xD8)
        return layout;
    int64_t pos = start + 2;
    for (int step = 0; step < kMaxMarkerSteps; ++step) {
        // Like the decoder, pass over stray bytes between segments.
        pos = in.find(pos, 0xFF);
        if (pos < 0)
            return layout;
        int marker = in.at(pos + 1);
        while (marker == 0xFF)
            marker = in.at(++pos + 1);
        if (marker < 0)
            return layout;
        pos += 2;
        if (marker == 0x00)
            continue;
        if (marker == 0xD9) {
            layout.mEnd = pos;
            return layout;
        }
        if (isStandaloneMarker(marker))
            continue;
        unsigned char field[2];
        if (!in.read(pos, field, 2))
            return layout;
        const int64_t length = (int64_t(field[0]) << 8) | field[1];
        if (length < 2 || length > in.size() - pos)
            return layout;
        if (marker == 0xE2 && layout.mMpfPos < 0 && length >= 2 + 4) {
            unsigned char id[4];
            if (in.read(pos + 2, id, 4) && std::memcmp(id, "MPF\0", 4) == 0) {
                layout.mMpfPos = pos + 2;
                layout.mMpfSize = length - 2;
            }
        }
        // Precision, height, width.
        unsigned char frame[5];
        if (isFrameMarker(marker) && layout.mFrame.mWidth < 0 && length >= 2 + 5 &&
            in.read(pos + 2, frame, 5)) {
            layout.mFrame.mHeight = (frame[1] << 8) | frame[2];
            layout.mFrame.mWidth = (frame[3] << 8) | frame[4];
        }
        pos += length;
        if (marker == 0xDA) {
            if (layout.mEntropyStart < 0)
                layout.mEntropyStart = pos;
            if (headersOnly)
                return layout;
            pos = skipEntropyData(in, pos);
            if (pos < 0)
                return layout;
        }
    }
    return layout;
}

// The MP index's idea of the second picture, if it lands on a start of image inside
// the file, at or after notBefore; entry receives what the index says of it.
int64_t secondPictureFromIndex(CFileBytes& in, const SStreamLayout& first, int64_t notBefore,
                               SMpEntry* entry) {
    if (first.mMpfPos < 0)
        return -1;
    std::vector<unsigned char> payload(size_t(first.mMpfSize));
    if (!in.read(first.mMpfPos, payload.data(), payload.size()))
        return -1;
    if (!mpSecondPictureEntry(payload.data(), payload.size(), entry) || entry->mOffset <= 0)
        return -1;
    const int64_t offset = first.mMpfPos + 4 + entry->mOffset;
    if (offset < notBefore)
        return -1;
    if (in.at(offset) != 0xFF || in.at(offset + 1) != 0xD8)
        return -1;
    return offset;
}

// First FF D8 FF E0 or FF D8 FF E1 at or after pos, at any byte offset.
int64_t findStartOfImage(CFileBytes& in, int64_t pos) {
    while ((pos = in.find(pos, 0xFF)) >= 0) {
        if (in.at(pos + 1) == 0xD8 && in.at(pos + 2) == 0xFF) {
            const int app = in.at(pos + 3);
            if (app == 0xE0 || app == 0xE1)
                return pos;
        }
        ++pos;
    }
    return -1;
}

}  // namespace

bool mpSecondPictureEntry(const unsigned char* payload, size_t size, SMpEntry* entry) {
    if (!payload || !entry || size < 4 + 8 || std::memcmp(payload, "MPF\0", 4) != 0)
        return false;
    // Offsets inside the index count from the MP header, the byte-order mark.
    const unsigned char* header = payload + 4;
    const size_t length = size - 4;
    bool little;
    if (header[0] == 'I' && header[1] == 'I')
        little = true;
    else if (header[0] == 'M' && header[1] == 'M')
        little = false;
    else
        return false;
    if (readUnsigned(header + 2, 2, little) != 42)
        return false;
    const uint64_t ifd = readUnsigned(header + 4, 4, little);
    if (ifd < 8 || ifd + 2 > length)
        return false;
    const uint64_t count = readUnsigned(header + ifd, 2, little);
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t field = ifd + 2 + 12 * i;
        if (field + 12 > length)
            return false;
        if (readUnsigned(header + field, 2, little) != 0xB002)
            continue;
        // MP entries: 16 bytes each (attribute, size, offset, two dependent entries).
        const uint64_t bytes = readUnsigned(header + field + 4, 4, little);
        const uint64_t table = readUnsigned(header + field + 8, 4, little);
        if (bytes < 2 * 16 || table > length || length - table < 2 * 16)
            return false;
        const unsigned char* second = header + table + 16;
        entry->mAttribute = readUnsigned(second, 4, little);
        entry->mSize = readUnsigned(second + 4, 4, little);
        const int64_t offset = readUnsigned(second + 8, 4, little);
        entry->mOffset = offset > 0 ? offset : -1;
        return true;
    }
    return false;
}

int64_t mpSecondPictureOffset(const unsigned char* payload, size_t size) {
    SMpEntry entry;
    return mpSecondPictureEntry(payload, size, &entry) ? entry.mOffset : -1;
}

namespace {

SSecondPicture locateSecondPicture(CFileBytes& in) {
    SSecondPicture second;
    SStreamLayout first = walk(in, 0, true);
    second.mFirst = first.mFrame;
    SMpEntry entry;
    // Inside entropy-coded data FF is followed only by 00 or a restart marker, so an
    // FF D8 past the first scan's header is no byte of the first picture's data: the
    // index is taken without reading that data, which is most of the file.
    if (first.mEntropyStart >= 0)
        second.mOffset = secondPictureFromIndex(in, first, first.mEntropyStart, &entry);
    if (second.mOffset < 0) {
        first = walk(in, 0, false);
        // An index found only after the first scan, or a stream without a scan.
        second.mOffset = secondPictureFromIndex(in, first, first.mEnd, &entry);
    }
    if (second.mOffset >= 0) {
        second.mIndexed = true;
        second.mType = entry.mAttribute & kMpTypeMask;
    } else if (first.mEnd >= 0) {
        second.mOffset = findStartOfImage(in, first.mEnd);
    }
    return second;
}

std::string sizeText(const SFrameSize& size) {
    if (size.mWidth < 0)
        return "unknown size";
    return std::to_string(size.mWidth) + " x " + std::to_string(size.mHeight);
}

}  // namespace

SSecondPicture inspectSecondPicture(FILE* file) {
    CFileBytes in(file);
    if (!in.ok())
        return {};
    SSecondPicture second = locateSecondPicture(in);
    if (second.mOffset >= 0)
        second.mSecond = walk(in, second.mOffset, true).mFrame;
    return second;
}

bool isSecondView(const SSecondPicture& second, std::string* why) {
    std::string reason;
    if (second.mOffset < 0) {
        reason = "no second picture";
    } else if (second.mIndexed && second.mType == kMpTypeDisparity) {
        return true;
    } else if (second.mFirst.mWidth >= 0 && second.mSecond.mWidth == second.mFirst.mWidth &&
               second.mSecond.mHeight == second.mFirst.mHeight &&
               (!second.mIndexed || second.mType == kMpTypeUndefined)) {
        return true;
    } else {
        char type[32];
        std::snprintf(type, sizeof type, "MP type 0x%06x", unsigned(second.mType));
        reason = "the second picture (" + sizeText(second.mSecond) + ", " +
                 (second.mIndexed ? type : "no MP index") + ") is not a second view";
        if (!second.mIndexed || second.mType == kMpTypeUndefined)
            reason += ": the first picture is " + sizeText(second.mFirst);
    }
    if (why)
        *why = reason;
    return false;
}

long findSecondPicture(FILE* file) {
    CFileBytes in(file);
    if (!in.ok())
        return -1;
    return long(locateSecondPicture(in).mOffset);
}
