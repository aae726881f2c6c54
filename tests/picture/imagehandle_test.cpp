#include "imagehandle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

SImage pictureIn(unsigned char* pixels, int width, int height) {
    SImage image;
    image.mWidth = width;
    image.mHeight = height;
    image.mChannels = 3;
    image.mPixels = pixels;
    return image;
}

}  // namespace

TEST(PixelHandle, TheLastCopyGivesTheBufferBackForTheNextPicture) {
    auto recycler = std::make_shared<CPixelRecycler>();
    size_t capacity = 0;
    unsigned char* pixels = recycler->take(300, &capacity);
    ASSERT_NE(pixels, nullptr);
    EXPECT_GE(capacity, 300u);
    SImageHandle first = makeImageHandle(pictureIn(pixels, 10, 10), recycler, capacity);
    SImageHandle copy = first;
    first.reset();
    EXPECT_EQ(recycler->keptBuffers(), 0u);  // a copy still shows the pixels
    copy.reset();
    EXPECT_EQ(recycler->keptBuffers(), 1u);
    size_t again = 0;
    EXPECT_EQ(recycler->take(290, &again), pixels);
    EXPECT_EQ(again, capacity);
    recycler->give(pixels, again);
}

TEST(PixelHandle, ATakenPictureGoesBackToItsRecyclerWhole) {
    auto recycler = std::make_shared<CPixelRecycler>();
    SImage shape;
    shape.mWidth = 100;
    shape.mHeight = 50;
    shape.mChannels = 4;
    SImageHandle first = takeImage(shape, recycler);
    ASSERT_NE(first->mPixels, nullptr);
    EXPECT_EQ(first->mWidth, 100);
    EXPECT_EQ(first->mHeight, 50);
    EXPECT_EQ(first->mChannels, 4);
    std::memset(first->mPixels, 1, 100 * 50 * 4);  // every byte of the picture is there
    unsigned char* const pixels = first->mPixels;
    first.reset();
    EXPECT_EQ(recycler->keptBuffers(), 1u);
    EXPECT_GE(recycler->keptBytes(), 100u * 50u * 4u);
    const SImageHandle again = takeImage(shape, recycler);
    EXPECT_EQ(again->mPixels, pixels);
    EXPECT_EQ(recycler->keptBuffers(), 0u);
}

TEST(PixelRecycler, KeepsOnlyAFewBuffersAndNeverHandsOutAFarLargerOne) {
    CPixelRecycler recycler(2, 10000);
    size_t a = 0, b = 0, c = 0, big = 0;
    unsigned char* first = recycler.take(1000, &a);
    unsigned char* second = recycler.take(2000, &b);
    unsigned char* third = recycler.take(3000, &c);
    recycler.give(first, a);
    recycler.give(second, b);
    recycler.give(third, c);  // the oldest goes
    EXPECT_EQ(recycler.keptBuffers(), 2u);
    EXPECT_LE(recycler.keptBytes(), 10000u);
    unsigned char* huge = recycler.take(20000, &big);
    recycler.give(huge, big);  // above the byte limit: freed at once
    EXPECT_EQ(recycler.keptBuffers(), 2u);

    CPixelRecycler large;
    size_t camera = 0, thumb = 0;
    unsigned char* cameraBuffer = large.take(size_t(40) << 20, &camera);
    large.give(cameraBuffer, camera);
    unsigned char* thumbnail = large.take(160 * 120 * 3, &thumb);
    EXPECT_NE(thumbnail, cameraBuffer);
    EXPECT_LT(thumb, size_t(1) << 20);
    large.give(thumbnail, thumb);
}

TEST(PixelRecycler, HandlesFromManyThreadsComeBackWhole) {
    auto recycler = std::make_shared<CPixelRecycler>(4, size_t(1) << 20);
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                const size_t bytes = size_t(3000 + 64 * ((i + t) % 7));
                size_t capacity = 0;
                unsigned char* pixels = recycler->take(bytes, &capacity);
                for (size_t k = 0; k < bytes; ++k)
                    pixels[k] = (unsigned char)t;
                SImageHandle handle =
                    makeImageHandle(pictureIn(pixels, int(bytes / 3), 1), recycler, capacity);
                SImageHandle passed = handle;  // as a queued call holds its copy
                handle.reset();
                for (size_t k = 0; k < bytes; ++k)
                    if (passed->mPixels[k] != (unsigned char)t)
                        ++bad;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_LE(recycler->keptBuffers(), 4u);
}
