#pragma once
// The picture record: size and layout of decoded files, PNG files, frames, and where
// their pixels are.
#include <cstddef>
#include <cstdint>

// A view, not an owner: copying the record copies the pointer, and no copy frees it.
// The pixels belong to an owning handle (SImageHandle, see imagehandle.h) or a scratch
// buffer, which must outlive every record that points into it.
struct SImage {
    int mWidth = -1;  // -1 in the failure record
    int mHeight = -1;
    int mChannels = 3;  // samples per pixel: 1 gray (or palette index), 2, 3 RGB, 4
    int mBitDepth = 8;  // bits per sample
    // Samples interleaved, rows without gaps (low bit depths: each row starts on a
    // byte), top row first for decoded files.
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

// A picture of camera size is tens of megabytes fresh from the system, written once
// from top to bottom: on small pages its page faults cost a good share of a decode or a
// composite. Asks for huge pages where the system gives them on request.
void adviseHugePages(unsigned char* pixels, size_t size);

// What a decoder's reason says of a decode that its abort flag ended: the caller then
// knows it was stopped even if the flag has been lowered since.
inline constexpr const char kDecodeStopped[] = "stopped";
