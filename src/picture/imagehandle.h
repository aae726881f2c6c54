#pragma once
// Pixels travel in an owning handle: whoever drops the last copy frees them, also when a
// queued call on another thread is thrown away unopened. Freed buffers go back
// to a recycler, because a fresh buffer of camera size costs a noticeable share of a
// decode in page faults alone.
#include "image.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

// Keeps a few freed pixel buffers for the next picture. Thread-safe.
class CPixelRecycler {
public:
    // At most maxBuffers buffers and maxBytes bytes are kept; older ones are freed.
    explicit CPixelRecycler(size_t maxBuffers = 4, size_t maxBytes = size_t(512) << 20);
    ~CPixelRecycler();
    CPixelRecycler(const CPixelRecycler&) = delete;
    CPixelRecycler& operator=(const CPixelRecycler&) = delete;

    // A buffer of at least bytes (a kept one that is not much larger, else a new one);
    // its capacity goes to *capacity. Null only when memory runs out.
    unsigned char* take(size_t bytes, size_t* capacity);
    // Hands a buffer from take() (or one of that capacity from makePixelBuffer) back.
    void give(unsigned char* buffer, size_t capacity);

    size_t keptBuffers() const;
    size_t keptBytes() const;

private:
    struct SKept {
        unsigned char* mBuffer;
        size_t mCapacity;
    };

    const size_t mMaxBuffers;
    const size_t mMaxBytes;
    mutable std::mutex mMutex;
    std::vector<SKept> mKept;  // oldest first
    size_t mKeptBytes = 0;
};

using SImageHandle = std::shared_ptr<const SImage>;

// Fresh memory for pixels; null when it runs out. Every pixel buffer comes from here,
// directly, through a handle or through a recycler, so each has one owner that frees it.
std::unique_ptr<unsigned char[]> makePixelBuffer(size_t bytes);

// Takes ownership of image.mPixels, a buffer from makePixelBuffer or from the
// recycler's take() (capacity bytes; 0 means imageByteSize(image)). The last copy of
// the handle gives the buffer back to the recycler, or frees it when there is none.
// Never null: a failure record gives a handle without pixels.
SImageHandle makeImageHandle(SImage image, std::shared_ptr<CPixelRecycler> recycler = nullptr,
                             size_t capacity = 0);

// A handle to fresh pixels of shape's size and layout (shape.mPixels is not read), from
// the recycler when there is one. Says nothing: when memory runs out it is the failure
// record's handle, and the caller reports what that means to it.
SImageHandle takeImage(const SImage& shape, const std::shared_ptr<CPixelRecycler>& recycler);

// Fresh pixels of shape's size and layout, without a recycler. Refuses, with a warning
// naming the size, a shape without a positive size or one above kMaxImageBytes, and warns
// when memory runs out: the failure record's handle then.
SImageHandle allocateImage(const SImage& shape);
