// Any bytes as a PNG file. Pictures that read as 8-bit RGB or RGBA frames are also
// encoded as a frame is written and read back: the bytes must hold the same picture
// upside down.
#include "pngio.h"
#include "pngwrite.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void checkRoundTrip(const SImage& image) {
    // Small pictures only: compressing large ones would slow the search down.
    if (image.mBitDepth != 8 || (image.mChannels != 3 && image.mChannels != 4) ||
        int64_t(image.mWidth) * image.mHeight > 256 * 256)
        return;
    // As writePngFile hands a frame to the encoder, bottom row first; in memory, since the
    // file writer's flush to the disk would slow the search down.
    const size_t stride = size_t(imageRowBytes(image));
    std::vector<const uint8_t*> rows(size_t(image.mHeight));
    for (int row = 0; row < image.mHeight; ++row)
        rows[size_t(image.mHeight - 1 - row)] = image.mPixels + row * stride;
    std::vector<uint8_t> bytes =
        encodePngRows(rows.data(), image.mWidth, image.mHeight, image.mChannels, nullptr);
    if (bytes.empty())
        std::abort();
    FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
    if (!file)
        return;
    const SImageHandle back = readPngStream(file, "round trip");
    std::fclose(file);
    if (back->mWidth != image.mWidth || back->mHeight != image.mHeight ||
        back->mChannels != image.mChannels || back->mBitDepth != 8)
        std::abort();
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
