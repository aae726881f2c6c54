#pragma once
// The picture record that all pixels travel in: decoded files, PNG files, frames.
#include <cstddef>
#include <cstdint>

struct SImage {
    int mWidth = -1;  // -1 in the failure record
    int mHeight = -1;
    int mChannels = 3;  // samples per pixel: 1 gray (or palette index), 2, 3 RGB, 4
    int mBitDepth = 8;  // bits per sample
    // Samples interleaved, rows without gaps (low bit depths: each row starts on a
    // byte), top row first for decoded files. Allocated with new[] by the decoder and
    // owned by whoever receives the record last; the record never frees it.
    unsigned char* mPixels = nullptr;
};

// No picture buffer may exceed this; larger pictures give the failure record.
constexpr int64_t kMaxImageBytes = int64_t(1) << 30;

// The record that every decoder returns on failure: -1 × -1, 3 channels, 8 bits,
// no pixels.
inline SImage failedImage() {
    return SImage();
}

// Bytes of one row: whole bytes, also for bit depths below 8.
int64_t imageRowBytes(const SImage& image);
// Bytes of the whole buffer; 0 for a record without a positive size.
int64_t imageByteSize(const SImage& image);

// Allocates mPixels with imageByteSize bytes. Refuses, with a warning naming the size,
// a record without a positive size or one above kMaxImageBytes; mPixels stays null then.
bool allocatePixels(SImage& image);
// Frees mPixels (new[]) and sets it to null.
void freePixels(SImage& image);

// A picture of camera size is tens of megabytes fresh from the system, written once
// from top to bottom: on small pages its page faults cost a good share of a decode or a
// composite. Asks for huge pages where the system gives them on request.
void adviseHugePages(unsigned char* pixels, size_t size);
