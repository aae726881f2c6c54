#include "CViewRows.h"
#include "orientation.h"

#include <algorithm>
#include <cmath>
#include <cstring>

CViewRows::CViewRows(const uint8_t* pixels, int width, int height, int orientation, float shift)
    : mPixels(pixels), mWidth(width), mHeight(height), mOrientation(orientation) {
    mTurnedWidth = turnsSideways(orientation) ? height : width;
    const double whole = std::floor(double(shift));
    mWhole = int(std::clamp(whole, -double(mTurnedWidth) - 1, double(mTurnedWidth) + 1));
    mFraction = int(std::lround((double(shift) - whole) * 256.0));
    if (mFraction == 256) {
        mFraction = 0;
        ++mWhole;
    }
    mShift = double(mWhole) + mFraction / 256.0;
    mStep = step();
}

void CViewRows::rows(int Y, int count, uint8_t* block, const uint8_t** rows) const {
    const size_t rowBytes = size_t(mTurnedWidth) * 3;
    if (mOrientation == 1 && mWhole == 0 && mFraction == 0) {
        for (int j = 0; j < count; ++j)
            rows[j] = mPixels + size_t(Y + j) * rowBytes;
        return;
    }
    const uint8_t* lines[kBlockRows];
    uint8_t* out[kBlockRows];
    for (int j = 0; j < count; ++j) {
        lines[j] = mPixels + base(Y + j) * 3;
        rows[j] = out[j] = block + size_t(j) * rowBytes;
    }
    if (turnsSideways(mOrientation) && mFraction == 0) {
        // Across first: pixel X of the rows lie side by side in the stored picture.
        const int64_t next = (base(Y + 1) - base(Y)) * 3;
        for (int X = 0; X < mTurnedWidth; ++X) {
            const int q = X + mWhole;
            const size_t at = size_t(X) * 3;
            if (q < 0 || q >= mTurnedWidth) {
                for (int j = 0; j < count; ++j)
                    out[j][at] = out[j][at + 1] = out[j][at + 2] = 0;
                continue;
            }
            const uint8_t* p = lines[0] + q * mStep * 3;
            for (int j = 0; j < count; ++j, p += next) {
                out[j][at] = p[0];
                out[j][at + 1] = p[1];
                out[j][at + 2] = p[2];
            }
        }
    } else if (turnsSideways(mOrientation)) {
        for (int X = 0; X < mTurnedWidth; ++X)
            for (int j = 0; j < count; ++j)
                sample(lines[j], X, out[j] + size_t(X) * 3);
    } else {
        for (int j = 0; j < count; ++j)
            row(lines[j], out[j]);
    }
}

int64_t CViewRows::step() const {
    switch (mOrientation) {
        case 2:
        case 3:
            return -1;
        case 5:
        case 8:
            return mWidth;
        case 6:
        case 7:
            return -int64_t(mWidth);
        default:
            return 1;
    }
}

int64_t CViewRows::base(int Y) const {
    const int64_t w = mWidth, h = mHeight;
    switch (mOrientation) {
        case 2:
            return Y * w + w - 1;
        case 3:
            return (h - 1 - Y) * w + w - 1;
        case 4:
            return (h - 1 - Y) * w;
        case 5:
            return Y;
        case 6:
            return (h - 1) * w + Y;
        case 7:
            return (h - 1) * w + (w - 1 - Y);
        case 8:
            return w - 1 - Y;
        default:
            return Y * w;
    }
}

// Between two pixels the screen interpolates linearly, at the picture's edges with the
// edge pixel itself; beyond them it shows black.
void CViewRows::sample(const uint8_t* line, int X, uint8_t* out) const {
    const int W = mTurnedWidth;
    if (mFraction == 0) {
        const int q = X + mWhole;
        if (q < 0 || q >= W) {
            out[0] = out[1] = out[2] = 0;
        } else {
            const uint8_t* p = line + q * mStep * 3;
            out[0] = p[0], out[1] = p[1], out[2] = p[2];
        }
        return;
    }
    const double centre = X + mShift + 0.5;
    if (centre < 0.0 || centre >= double(W)) {
        out[0] = out[1] = out[2] = 0;
        return;
    }
    const int i0 = std::clamp(X + mWhole, 0, W - 1), i1 = std::min(X + mWhole + 1, W - 1);
    const uint8_t* a = line + i0 * mStep * 3;
    const uint8_t* b = line + i1 * mStep * 3;
    const int w1 = mFraction, w0 = 256 - w1;
    for (int c = 0; c < 3; ++c)
        out[c] = uint8_t((a[c] * w0 + b[c] * w1 + 128) >> 8);
}

void CViewRows::row(const uint8_t* line, uint8_t* out) const {
    const int W = mTurnedWidth;
    if (mFraction != 0 || mStep != 1) {
        for (int X = 0; X < W; ++X)
            sample(line, X, out + size_t(X) * 3);
        return;
    }
    const int begin = std::clamp(-mWhole, 0, W), end = std::clamp(W - mWhole, begin, W);
    std::memset(out, 0, size_t(begin) * 3);
    std::memcpy(out + size_t(begin) * 3, line + int64_t(begin + mWhole) * 3,
                size_t(end - begin) * 3);
    std::memset(out + size_t(end) * 3, 0, size_t(W - end) * 3);
}
