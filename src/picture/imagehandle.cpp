#include "imagehandle.h"

#include "diagnostics.h"

#include <new>
#include <string>

namespace {

// Buffers are allocated in steps, so that pictures of nearly the same size (one
// camera's landscape and portrait shots, scaled decodes) fit each other's buffers.
size_t roundedCapacity(size_t bytes) {
    const size_t step = bytes >= (size_t(16) << 20) ? size_t(1) << 20 : size_t(4096);
    return (bytes + step - 1) / step * step;
}

// A kept buffer serves a request only when it is not far larger: a thumbnail must not
// hold on to a camera-sized buffer.
bool fits(size_t capacity, size_t bytes) {
    return capacity >= bytes && capacity - bytes <= bytes / 4 + (size_t(1) << 20);
}

// The other half of makePixelBuffer, for buffers that were let go of to a recycler or a
// handle's deleter.
void releasePixelBuffer(unsigned char* buffer) {
    delete[] buffer;
}

// Allocates through the recycler when there is one, else fresh.
unsigned char* takePixels(CPixelRecycler* recycler, size_t bytes, size_t* capacity) {
    if (recycler)
        return recycler->take(bytes, capacity);
    unsigned char* buffer = makePixelBuffer(bytes).release();
    if (capacity)
        *capacity = buffer ? bytes : 0;
    return buffer;
}

// Gives back to the recycler when there is one, else frees.
void givePixels(CPixelRecycler* recycler, unsigned char* buffer, size_t capacity) {
    if (recycler)
        recycler->give(buffer, capacity);
    else
        releasePixelBuffer(buffer);
}

struct SPixelRelease {
    std::shared_ptr<CPixelRecycler> mRecycler;
    size_t mCapacity;

    void operator()(const SImage* image) const {
        if (image)
            givePixels(mRecycler.get(), image->mPixels, mCapacity);
        delete image;
    }
};

}  // namespace

CPixelRecycler::CPixelRecycler(size_t maxBuffers, size_t maxBytes)
    : mMaxBuffers(maxBuffers), mMaxBytes(maxBytes) {}

CPixelRecycler::~CPixelRecycler() {
    for (const SKept& kept : mKept)
        releasePixelBuffer(kept.mBuffer);
}

unsigned char* CPixelRecycler::take(size_t bytes, size_t* capacity) {
    {
        std::lock_guard<std::mutex> lock(mMutex);
        size_t best = mKept.size();
        for (size_t i = 0; i < mKept.size(); ++i) {
            if (fits(mKept[i].mCapacity, bytes) &&
                (best == mKept.size() || mKept[i].mCapacity < mKept[best].mCapacity))
                best = i;
        }
        if (best < mKept.size()) {
            const SKept found = mKept[best];
            mKept.erase(mKept.begin() + std::ptrdiff_t(best));
            mKeptBytes -= found.mCapacity;
            if (capacity)
                *capacity = found.mCapacity;
            return found.mBuffer;
        }
    }
    const size_t size = roundedCapacity(bytes);
    unsigned char* buffer = makePixelBuffer(size).release();
    if (capacity)
        *capacity = buffer ? size : 0;
    return buffer;
}

void CPixelRecycler::give(unsigned char* buffer, size_t capacity) {
    if (!buffer)
        return;
    std::vector<unsigned char*> dropped;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (capacity > mMaxBytes || mMaxBuffers == 0) {
            dropped.push_back(buffer);
        } else {
            while (!mKept.empty() &&
                   (mKept.size() >= mMaxBuffers || mKeptBytes + capacity > mMaxBytes)) {
                dropped.push_back(mKept.front().mBuffer);
                mKeptBytes -= mKept.front().mCapacity;
                mKept.erase(mKept.begin());
            }
            mKept.push_back({buffer, capacity});
            mKeptBytes += capacity;
        }
    }
    // Freeing tens of megabytes returns pages to the system: not under the lock.
    for (unsigned char* old : dropped)
        releasePixelBuffer(old);
}

size_t CPixelRecycler::keptBuffers() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mKept.size();
}

size_t CPixelRecycler::keptBytes() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mKeptBytes;
}

std::unique_ptr<unsigned char[]> makePixelBuffer(size_t bytes) {
    return std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[bytes]);
}

SImageHandle makeImageHandle(SImage image, std::shared_ptr<CPixelRecycler> recycler,
                             size_t capacity) {
    if (!image.mPixels)
        recycler.reset();
    if (capacity == 0)
        capacity = size_t(imageByteSize(image));
    SImage* owned = new SImage(image);
    return SImageHandle(owned, SPixelRelease{std::move(recycler), capacity});
}

SImageHandle takeImage(const SImage& shape, const std::shared_ptr<CPixelRecycler>& recycler) {
    SImage image = shape;
    size_t capacity = 0;
    image.mPixels = takePixels(recycler.get(), size_t(imageByteSize(image)), &capacity);
    if (!image.mPixels)
        return makeImageHandle(failedImage());
    return makeImageHandle(image, recycler, capacity);
}

SImageHandle allocateImage(const SImage& shape) {
    const int64_t size = imageByteSize(shape);
    if (size <= 0) {
        RUV_WARNING("picture of " + std::to_string(shape.mWidth) + " x " +
                    std::to_string(shape.mHeight) + " pixels has no pixels to hold");
        return makeImageHandle(failedImage());
    }
    if (size > kMaxImageBytes) {
        RUV_WARNING("picture of " + std::to_string(shape.mWidth) + " x " +
                    std::to_string(shape.mHeight) + " pixels would need " +
                    std::to_string(size >> 20) + " MiB, more than the limit of " +
                    std::to_string(kMaxImageBytes >> 20) + " MiB");
        return makeImageHandle(failedImage());
    }
    SImageHandle image = takeImage(shape, nullptr);
    if (!image->mPixels)
        RUV_WARNING("out of memory for a picture of " + std::to_string(size >> 20) + " MiB");
    return image;
}
