#pragma once
// Resizing of 8-bit pictures for display: fixed-point and separable, so that a camera
// picture is brought to the texture limit in a few tens of milliseconds.
#include <cstdint>
#include <vector>

// Weights of one axis: output pixel j is the sum over t < mTaps of
// mWeights[j * mTaps + t] * input[mFirst[j] + t], the weights of each pixel adding up
// to exactly kResampleOne.
struct SResampleAxis {
    int mTaps = 0;
    std::vector<int> mFirst;
    std::vector<int32_t> mWeights;
};

constexpr int32_t kResampleOne = 1 << 14;

// Shrinking averages the stretch of input each output pixel covers (no pixel is
// skipped, so fine patterns do not alias); enlarging interpolates linearly between
// pixel centres. Equal sizes copy. Sizes must be at least 1.
SResampleAxis resampleAxis(int inSize, int outSize);

// Resizes src (srcWidth x srcHeight, channels 1 to 4 interleaved, rows without gaps)
// into dst (dstWidth x dstHeight, same layout). Returns false for sizes below 1 or
// other channel counts, leaving dst untouched.
bool resamplePixels(const unsigned char* src, int srcWidth, int srcHeight, int channels,
                    unsigned char* dst, int dstWidth, int dstHeight);

// The horizontal weights in pairs, two 16-bit weights in one word, for multiply-adds.
struct SResamplePairs {
    int mPairs = 0;
    std::vector<int32_t> mWeights;
};

// The same resizing, output row by output row, for callers that have the input only a
// part at a time (a decoder handing over rows as it decodes them).
class CRowResampler {
public:
    // Sizes as resamplePixels takes them; valid() is false for the ones it refuses.
    CRowResampler(int srcWidth, int srcHeight, int channels, int dstWidth, int dstHeight);
    bool valid() const { return mValid; }
    int dstHeight() const { return mDstHeight; }
    // How many input rows, from the top, output row i needs.
    int sourceRowsFor(int i) const;
    // Output rows [firstRow, endRow) of dst from src. Any thread; rows apart from
    // another call's may be made at the same time.
    void run(const unsigned char* src, unsigned char* dst, int firstRow, int endRow) const;

private:
    bool mValid = false;
    int mSrcWidth = 0, mSrcHeight = 0, mChannels = 0, mDstWidth = 0, mDstHeight = 0;
    SResampleAxis mHorizontal, mVertical;
    SResamplePairs mPaired;
};
