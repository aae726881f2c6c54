#include "stereoFrame.h"

#include "resample.h"

#include <cstring>

namespace {

// The view squeezed to width x height, or itself when it has that size already.
SImageHandle squeezed(const SImage& view, int width, int height) {
    SImage shape;
    shape.mWidth = width;
    shape.mHeight = height;
    shape.mChannels = 3;
    SImageHandle out = allocateImage(shape);
    if (out->mPixels &&
        !resamplePixels(view.mPixels, view.mWidth, view.mHeight, 3, out->mPixels, width, height))
        return makeImageHandle(failedImage());
    return out;
}

// Puts a at the top left and b right of it or below it.
void place(const SImage& out, const SImage& a, const SImage& b, bool below) {
    const size_t outRow = size_t(out.mWidth) * 3, aRow = size_t(a.mWidth) * 3;
    for (int y = 0; y < a.mHeight; ++y)
        std::memcpy(out.mPixels + size_t(y) * outRow, a.mPixels + size_t(y) * aRow, aRow);
    for (int y = 0; y < b.mHeight; ++y) {
        uint8_t* row = below ? out.mPixels + size_t(y + a.mHeight) * outRow
                             : out.mPixels + size_t(y) * outRow + aRow;
        std::memcpy(row, b.mPixels + size_t(y) * size_t(b.mWidth) * 3, size_t(b.mWidth) * 3);
    }
}

}  // namespace

SImageHandle composeStereoFrame(const SImage& first, const SImage& second, EStereoFrame frame,
                                bool half) {
    const int w = first.mWidth, h = first.mHeight;
    if (!first.mPixels || !second.mPixels || w <= 0 || h <= 0 || second.mWidth != w ||
        second.mHeight != h || first.mChannels != 3 || second.mChannels != 3)
        return makeImageHandle(failedImage());
    const bool sideBySide = frame == EStereoFrame::SideBySide;
    if (sideBySide || frame == EStereoFrame::OverUnder) {
        SImage shape;
        shape.mChannels = 3;
        shape.mWidth = sideBySide && !half ? 2 * w : w;
        shape.mHeight = !sideBySide && !half ? 2 * h : h;
        SImageHandle out = allocateImage(shape);
        if (!out->mPixels)
            return out;
        if (!half) {
            place(*out, first, second, !sideBySide);
            return out;
        }
        // Half size: the first view takes the rounded-up half, so that odd sizes fill.
        const int aw = sideBySide ? (w + 1) / 2 : w, ah = sideBySide ? h : (h + 1) / 2;
        const int bw = sideBySide ? w - aw : w, bh = sideBySide ? h : h - ah;
        if (bw < 1 || bh < 1)
            return makeImageHandle(failedImage());  // a view one pixel across has no half
        const SImageHandle a = squeezed(first, aw, ah);
        const SImageHandle b = squeezed(second, bw, bh);
        if (!a->mPixels || !b->mPixels)
            return makeImageHandle(failedImage());
        place(*out, *a, *b, !sideBySide);
        return out;
    }
    SImage shape;
    shape.mWidth = w;
    shape.mHeight = h;
    shape.mChannels = 3;
    SImageHandle out = allocateImage(shape);
    if (!out->mPixels)
        return out;
    const size_t row = size_t(w) * 3;
    for (int y = 0; y < h; ++y) {
        uint8_t* to = out->mPixels + size_t(y) * row;
        const uint8_t* a = first.mPixels + size_t(y) * row;
        const uint8_t* b = second.mPixels + size_t(y) * row;
        if (frame == EStereoFrame::Rows) {
            std::memcpy(to, y % 2 == 0 ? a : b, row);
            continue;
        }
        for (int x = 0; x < w; ++x) {
            const bool even = frame == EStereoFrame::Columns ? x % 2 == 0 : (x + y) % 2 == 0;
            std::memcpy(to + size_t(x) * 3, (even ? a : b) + size_t(x) * 3, 3);
        }
    }
    return out;
}
