#include "image.h"

#include <sys/mman.h>

#include <cstdint>

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
