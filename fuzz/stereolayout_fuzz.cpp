// Any bytes as a JPS or PNS file, read in memory and as a stream (both must agree), as a
// file name, and as a small picture cut into two views of the size its layout promises.
#include "stereolayout.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

template <typename Read>
void checkStreamAgrees(const uint8_t* data, size_t size, Read read) {
    FILE* file = size ? fmemopen(const_cast<uint8_t*>(data), size, "rb") : nullptr;
    if (!file)
        return;
    if (read(file) != read(data, size))
        std::abort();
    std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    checkStreamAgrees(data, size, [](auto... a) { return readJpsMarker(a...); });
    checkStreamAgrees(data, size, [](auto... a) { return readPnsOrder(a...); });
    const std::string name(reinterpret_cast<const char*>(data), size);
    layoutFromName(name);
    pairPartner(name);

    // Width, height, channels and layout from the first bytes, the pixels from the rest.
    if (size < 4)
        return 0;
    SImage both;
    both.mWidth = 1 + data[0] % 64;
    both.mHeight = 1 + data[1] % 64;
    both.mChannels = 1 + data[2] % 4;
    const SStoredLayout layout{EStoredLayout(data[3] % 5), (data[3] & 0x80) != 0};
    std::string pixels(size_t(imageByteSize(both)), '\0');
    std::memcpy(pixels.data(), data + 4, std::min(pixels.size(), size - 4));
    both.mPixels = reinterpret_cast<unsigned char*>(pixels.data());
    const auto views = splitStereoImage(both, layout, nullptr);
    const bool sideBySide = layout.mLayout == EStoredLayout::SideBySideLR ||
                            layout.mLayout == EStoredLayout::SideBySideRL;
    int width = sideBySide ? both.mWidth / 2 : both.mWidth;
    int height = sideBySide ? both.mHeight : both.mHeight / 2;
    if (layout.mLayout == EStoredLayout::Mono || width < 1 || height < 1) {
        if (views.first->mPixels || views.second->mPixels)
            std::abort();
        return 0;
    }
    if (layout.mHalf)
        (sideBySide ? width : height) *= 2;
    for (const SImageHandle& view : {views.first, views.second})
        if (!view->mPixels || view->mWidth != width || view->mHeight != height ||
            view->mChannels != both.mChannels)
            std::abort();
    return 0;
}
