// Any bytes as a PNG file. Pictures that read as 8-bit RGB or RGBA frames are also
// written out and read back: the file must hold the same picture upside down.
#include "pngio.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

// A scratch file in the system's temporary folder, removed after each use.
bool makeScratch(char (&path)[4096]) {
    const char* dir = std::getenv("TMPDIR");
    std::snprintf(path, sizeof path, "%s/png_fuzz-XXXXXX", dir && *dir ? dir : P_tmpdir);
    const int fd = mkstemp(path);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

void checkRoundTrip(const SImage& image) {
    // Small pictures only: compressing large ones would slow the search down.
    if (image.mBitDepth != 8 || (image.mChannels != 3 && image.mChannels != 4) ||
        int64_t(image.mWidth) * image.mHeight > 256 * 256)
        return;
    char scratch[4096];
    if (!makeScratch(scratch))
        return;
    const bool written = writePngFile(scratch, image);
    const SImageHandle back = readPngFile(scratch);
    std::remove(scratch);
    if (!written || back->mWidth != image.mWidth || back->mHeight != image.mHeight ||
        back->mChannels != image.mChannels || back->mBitDepth != 8)
        std::abort();
    const size_t stride = size_t(imageRowBytes(image));
    for (int row = 0; row < image.mHeight; ++row)
        if (std::memcmp(back->mPixels + row * stride,
                        image.mPixels + (image.mHeight - 1 - row) * stride, stride) != 0)
            std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file)
        return 0;
    const SImageHandle image = readPngStream(file, "fuzz input");
    std::fclose(file);
    if (image->mPixels)
        checkRoundTrip(*image);
    return 0;
}
