#pragma once
// A small reader of the Exif block of JPEG files: capture date, orientation, the
// thumbnail's file offset, camera make and model, and the stored pixel dimensions.
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

    FILE* mFile = nullptr;
    const uint8_t* mMemory = nullptr;
    std::vector<uint8_t> mBuffer;
    int64_t mLoaded = 0;
    int64_t mFileSize = 0;
};

// path in the 8-bit local encoding (UTF-8 here).
SExifInfo readExif(const std::string& path);
SExifInfo parseExif(SFileBuffer& file);
