#include "anaglyphImage.h"

#include "CAnaglyphKernel.h"
#include "CViewRows.h"
#include "orientation.h"
#include "diagnostics.h"
#include "resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#if defined(__linux__)
#endif

namespace {

bool isRgb8(const SImage& image) {
    return image.mPixels && image.mWidth > 0 && image.mHeight > 0 && image.mChannels == 3 &&
           image.mBitDepth == 8;
}

int threadCount(int asked, int rows) {
    int count = asked > 0 ? asked : int(std::thread::hardware_concurrency());
    // A thread should have some rows to do; small pictures stay on one.
    count = std::min(count, std::max(1, rows / 64));
    return std::clamp(count, 1, 64);
}

}  // namespace

bool anaglyphFitsInPlace(const SAnaglyphSettings& settings) {
    return settings.mOrientation == 2 ||
           !(settings.mOrientation >= 2 && settings.mOrientation <= 8);
}

bool composeAnaglyphInto(const SImage& left, const SImage& right, const SAnaglyphSettings& settings,
                         unsigned char* out) {
    if (!isRgb8(left) || !isRgb8(right) || !out) {
        RUV_WARNING("the anaglyph needs two pictures of 8-bit RGB");
        return false;
    }
    const int orientation =
        settings.mOrientation >= 1 && settings.mOrientation <= 8 ? settings.mOrientation : 1;

    // The screen stretches the right picture over the left one's place.
    std::unique_ptr<unsigned char[]> scaledRight;
    const uint8_t* rightPixels = right.mPixels;
    if (right.mWidth != left.mWidth || right.mHeight != left.mHeight) {
        scaledRight = makePixelBuffer(size_t(imageByteSize(left)));
        if (!scaledRight) {
            RUV_WARNING("out of memory for scaling the right picture");
            return false;
        }
        resamplePixels(right.mPixels, right.mWidth, right.mHeight, 3, scaledRight.get(),
                       left.mWidth, left.mHeight);
        rightPixels = scaledRight.get();
    }

    const bool sideways = turnsSideways(orientation);
    const int width = sideways ? left.mHeight : left.mWidth;
    const int height = sideways ? left.mWidth : left.mHeight;
    const CAnaglyphKernel kernel(settings);
    const CViewRows leftRows(left.mPixels, left.mWidth, left.mHeight, orientation, settings.mShift);
    const CViewRows rightRows(rightPixels, left.mWidth, left.mHeight, orientation,
                              -settings.mShift);
    const size_t rowBytes = size_t(width) * 3;
    auto composeRows = [&](int first, int end) {
        std::vector<uint8_t> blocks(rowBytes * CViewRows::kBlockRows * 2);
        const uint8_t* leftLines[CViewRows::kBlockRows];
        const uint8_t* rightLines[CViewRows::kBlockRows];
        for (int Y = first; Y < end; Y += CViewRows::kBlockRows) {
            const int count = std::min(CViewRows::kBlockRows, end - Y);
            leftRows.rows(Y, count, blocks.data(), leftLines);
            rightRows.rows(Y, count, blocks.data() + rowBytes * CViewRows::kBlockRows, rightLines);
            for (int j = 0; j < count; ++j)
                kernel.compose(leftLines[j], rightLines[j], out + size_t(Y + j) * rowBytes, width);
        }
    };

    const int threads = threadCount(settings.mThreads, height);
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t)
        workers.emplace_back(composeRows, int(int64_t(height) * t / threads),
                             int(int64_t(height) * (t + 1) / threads));
    composeRows(0, int(int64_t(height) / threads));
    for (std::thread& worker : workers)
        worker.join();
    return true;
}

SImageHandle composeAnaglyph(const SImage& left, const SImage& right,
                             const SAnaglyphSettings& settings) {
    if (!isRgb8(left) || !isRgb8(right)) {
        RUV_WARNING("the anaglyph needs two pictures of 8-bit RGB");
        return makeImageHandle(failedImage());
    }
    const bool sideways = turnsSideways(settings.mOrientation);
    SImage shape;
    shape.mWidth = sideways ? left.mHeight : left.mWidth;
    shape.mHeight = sideways ? left.mWidth : left.mHeight;
    shape.mChannels = 3;
    shape.mBitDepth = 8;
    SImageHandle out = allocateImage(shape);
    if (!out->mPixels)
        return out;
    adviseHugePages(out->mPixels, size_t(imageByteSize(*out)));
    if (!composeAnaglyphInto(left, right, settings, out->mPixels))
        return makeImageHandle(failedImage());
    return out;
}
