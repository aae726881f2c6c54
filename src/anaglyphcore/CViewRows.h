#pragma once
// The rows of one view of a stereo pair as the screen shows them: the stored picture
// turned by its Exif orientation, then moved sideways by the view's shift, with black
// where the view no longer reaches. Row Y of the turned picture runs through the stored
// one in a straight line: pixel X of it is stored pixel base(Y) + X * step.
#include <cstddef>
#include <cstdint>

class CViewRows {
public:
    // Rows read at a time: a sideways picture's rows are columns of the stored one, and
    // reading a block of them pixel by pixel across walks through neighbouring bytes.
    static constexpr int kBlockRows = 32;

    // pixels: width x height, 8-bit RGB, top row first; orientation 1..8; shift: screen
    // pixel X shows the turned picture at X + shift.
    CViewRows(const uint8_t* pixels, int width, int height, int orientation, float shift);

    // Screen rows Y .. Y + count - 1 (count <= kBlockRows): rows[j] points at row Y + j,
    // in block (count rows of 3 bytes a pixel) or, when it is a plain row of the
    // picture, right there.
    void rows(int Y, int count, uint8_t* block, const uint8_t** rows) const;

private:
    int64_t step() const;
    // Where screen row Y starts in the stored picture, in pixels.
    int64_t base(int Y) const;
    // Screen pixel X of the row that starts at line.
    void sample(const uint8_t* line, int X, uint8_t* out) const;
    // A whole row of a picture that is not turned sideways.
    void row(const uint8_t* line, uint8_t* out) const;

    const uint8_t* mPixels;
    int mWidth, mHeight, mOrientation;
    int mTurnedWidth;
    int64_t mStep;  // from one pixel of a screen row to the next, in stored pixels
    int mWhole;     // whole pixels of the shift, rounded down
    int mFraction;  // and the rest in 1/256
    double mShift;  // both together
};
