#include "image.h"

#include "diagnostics.h"

#include <sys/mman.h>

#include <new>
#include <cstdint>
#include <string>

int64_t imageRowBytes(const SImage& image) {
    if (image.mWidth <= 0 || image.mChannels <= 0 || image.mBitDepth <= 0)
        return 0;
    return (int64_t(image.mWidth) * image.mChannels * image.mBitDepth + 7) / 8;
}

int64_t imageByteSize(const SImage& image) {
    if (image.mHeight <= 0)
        return 0;
    return imageRowBytes(image) * image.mHeight;
}

bool allocatePixels(SImage& image) {
    image.mPixels = nullptr;
    const int64_t size = imageByteSize(image);
    if (size <= 0) {
        warning(__FILE__, __LINE__,
                "picture of " + std::to_string(image.mWidth) + " x " +
                    std::to_string(image.mHeight) + " pixels has no pixels to hold");
        return false;
    }
    if (size > kMaxImageBytes) {
        warning(__FILE__, __LINE__,
                "picture of " + std::to_string(image.mWidth) + " x " +
                    std::to_string(image.mHeight) + " pixels would need " +
                    std::to_string(size >> 20) + " MiB, more than the limit of " +
                    std::to_string(kMaxImageBytes >> 20) + " MiB");
        return false;
    }
    image.mPixels = new (std::nothrow) unsigned char[size_t(size)];
    if (!image.mPixels) {
        warning(__FILE__, __LINE__,
                "out of memory for a picture of " + std::to_string(size >> 20) + " MiB");
        return false;
    }
    return true;
}

void freePixels(SImage& image) {
    delete[] image.mPixels;
    image.mPixels = nullptr;
}

void adviseHugePages(unsigned char* pixels, size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const uintptr_t huge = uintptr_t(2) << 20;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(pixels) + huge - 1) & ~(huge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(pixels) + size) & ~(huge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)pixels;
    (void)size;
#endif
}
