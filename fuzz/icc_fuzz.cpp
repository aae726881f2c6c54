// The putting together of ICC profiles from APP2 pieces, and the colour library's reading
// of what comes out, over arbitrary bytes. The input is a run of pieces as a JPEG file
// holds them: a two-byte big-endian length, then that many bytes (cut at the input's end).
#include "colourprofile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const bool grey = data[0] & 1;
    std::vector<std::pair<const uint8_t*, size_t>> segments;
    for (size_t at = 1; at + 2 <= size;) {
        const size_t length = std::min<size_t>(size_t(data[at]) << 8 | data[at + 1], size - at - 2);
        segments.emplace_back(data + at + 2, length);
        at += 2 + length;
    }
    std::string why;
    SPictureColour colour;
    colour.mModel = grey ? EColourModel::Grey : EColourModel::Rgb;
    colour.mIcc = assembleIccProfile(segments, &why);
    // Nothing comes out that did not go in.
    if (colour.mIcc.size() > size)
        __builtin_trap();
    if (colour.mIcc.empty())
        return 0;
    if (const auto transform = colourTransformFor(colour, &why)) {
        // Every way of converting, on every byte value, three and four channels.
        std::vector<unsigned char> pixels(256 * 4);
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = (unsigned char)(i * 7);
        SImage image;
        image.mWidth = 64;
        image.mHeight = 4;
        for (int channels : {3, 4}) {
            image.mChannels = channels;
            image.mPixels = pixels.data();
            convertToSrgb(*transform, image);
        }
    }
    return 0;
}
