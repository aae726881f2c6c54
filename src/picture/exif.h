#pragma once
// A small reader of the Exif block of JPEG files: capture date, orientation, the
// thumbnail's file offset, camera make and model, and the stored pixel dimensions; and
// where the block keeps its maker note, with a bounded look-up in a maker note's directory.
#include "filecloser.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct SExifInfo {
    // Capture date "yyyy:MM:dd hh:mm:ss" as stored, or one of the status texts
    // "could not open file", "no jpeg file", "no Exif data", "no DateTime in Exif data".
    std::string mDateTime = "no Exif data";
    int mOrientation = -2;      // 1..8; -2 none found; -1 file cannot be opened
    int mThumbnailOffset = -1;  // absolute file offset of the Exif thumbnail JPEG
    std::string mMake = "unknown";
    std::string mModel = "unknown";
    int mPixelXDimension = 0;
    int mPixelYDimension = 0;
    // The tag the date came from: 0x9003 (DateTimeOriginal) or 0x0132 (DateTime); 0 none.
    int mDateTag = 0;
};

// Reads a file lazily, in 4 KiB blocks, keeping its buffer for the next file, so that
// reading the Exif blocks of a folder touches only their first blocks. The buffer
// grows only as far as the parser reads, never to the whole file.
class SFileBuffer {
public:
    SFileBuffer() = default;
    ~SFileBuffer();
    SFileBuffer(const SFileBuffer&) = delete;
    SFileBuffer& operator=(const SFileBuffer&) = delete;

    // Regular files only; false when the file cannot be opened or is not one.
    bool open(const char* path);
    // The file from byte origin on, which then reads as position 0: a picture inside a
    // file (the second picture of an MPO file) reads as if it were a file of its own,
    // without loading what lies before it. False as open(), or when origin is past the end.
    bool openAt(const char* path, int64_t origin);
    // Bytes in memory read through the same blocks; they must outlive close().
    void openMemory(const uint8_t* bytes, size_t size);
    void close();

    // Makes at least pos + 512 bytes available (fewer at the end of the file).
    void ensure(int64_t pos);
    int64_t size() const { return mFileSize; }
    int64_t loaded() const { return mLoaded; }
    // The byte at pos, loading as needed; 0 for a position outside the file.
    uint8_t at(int64_t pos);
    const uint8_t* data() const { return mBuffer.data(); }
    size_t capacity() const { return mBuffer.size(); }

private:
    void reset();

    FilePtr mFile;
    const uint8_t* mMemory = nullptr;
    std::vector<uint8_t> mBuffer;
    int64_t mLoaded = 0;
    int64_t mFileSize = 0;
};

// path in the 8-bit local encoding (UTF-8 here).
SExifInfo readExif(const std::string& path);
SExifInfo parseExif(SFileBuffer& file);

// Where an Exif block keeps its maker note (0x927C of the Exif sub-IFD): its bytes,
// cut where the segment ends, and the block's TIFF header and byte order, from which
// many makers count the offsets inside their notes.
struct SMakerNote {
    int64_t mPos = -1;  // buffer position of its first byte; -1: the block has none
    int64_t mSize = 0;
    int64_t mTiff = -1;  // buffer position of the block's TIFF header
    bool mLittle = false;
};
// parseExif that also says where the maker note lies (makerNote->mPos -1 when nowhere).
SExifInfo parseExif(SFileBuffer& file, SMakerNote* makerNote);

// Where IFD0's Orientation entry lies: the entry's buffer position, its type and count,
// and the block's byte order. mEntry -1 when the block has none.
struct SOrientationEntry {
    int64_t mEntry = -1;
    uint16_t mType = 0;
    uint32_t mCount = 0;
    bool mLittle = false;
};
// parseExif that also says where the orientation is stored (the tag the record's
// mOrientation came from).
SExifInfo parseExif(SFileBuffer& file, SMakerNote* makerNote, SOrientationEntry* orientation);

// An entry found by findDirectoryEntry: its type and count, and where its value lies.
struct SDirectoryEntry {
    uint16_t mType = 0;
    uint32_t mCount = 0;
    int64_t mValue = -1;  // buffer position: in the entry itself when it fits 4 bytes
    int64_t mBytes = 0;   // count times the type's size
};
// Looks for tag in the TIFF-style directory at buffer position dir, in the given byte
// order, with value offsets counted from base. Reads nothing outside [begin, end): false
// when the tag is missing, when the entries up to it or its value reach outside that
// range, or when its type is unknown or it has no value. Maker notes are such
// directories, with offsets from a base of their maker's choosing; the range keeps a
// corrupt one from leading anywhere.
bool findDirectoryEntry(SFileBuffer& file, int64_t begin, int64_t end, bool littleEndian,
                        int64_t dir, int64_t base, uint16_t tag, SDirectoryEntry* entry);

// Bytes per value of the TIFF types; 0 for a type that TIFF does not define.
int64_t tiffTypeSize(uint16_t type);
