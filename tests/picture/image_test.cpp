#include "image.h"
#include "imagehandle.h"
#include "pixelformat.h"

#include <gmock/gmock.h>

#include <vector>

using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

TEST(ImageRecord, FailureRecord) {
    const SImage failed = failedImage();
    EXPECT_EQ(failed.mWidth, -1);
    EXPECT_EQ(failed.mHeight, -1);
    EXPECT_EQ(failed.mChannels, 3);
    EXPECT_EQ(failed.mBitDepth, 8);
    EXPECT_EQ(failed.mPixels, nullptr);
    EXPECT_EQ(imageByteSize(failed), 0);
}

TEST(ImageRecord, SizesAreSixtyFourBitAndRowsWholeBytes) {
    SImage image;
    image.mWidth = 3;
    image.mHeight = 2;
    image.mChannels = 3;
    image.mBitDepth = 16;
    EXPECT_EQ(imageRowBytes(image), 18);
    EXPECT_EQ(imageByteSize(image), 36);

    image.mChannels = 1;
    image.mBitDepth = 1;  // 3 bits per row still take a whole byte
    EXPECT_EQ(imageRowBytes(image), 1);
    image.mWidth = 9;
    image.mBitDepth = 4;
    EXPECT_EQ(imageRowBytes(image), 5);

    // 50000 x 50000 x 4 overflows 32 bits.
    image.mWidth = image.mHeight = 50000;
    image.mChannels = 4;
    image.mBitDepth = 8;
    EXPECT_EQ(imageByteSize(image), int64_t(10000000000));
}

TEST(ImageRecord, AllocationRefusesEmptyAndHugePictures) {
    SImage shape;
    shape.mWidth = 4;
    shape.mHeight = 2;
    shape.mChannels = 3;
    const SImageHandle image = allocateImage(shape);
    ASSERT_NE(image->mPixels, nullptr);
    EXPECT_EQ(image->mWidth, 4);
    EXPECT_EQ(image->mHeight, 2);
    EXPECT_EQ(image->mChannels, 3);
    image->mPixels[23] = 7;  // the last byte is there

    shape.mWidth = 20000;
    shape.mHeight = 20000;  // 1.2 GB
    CaptureStderr();
    const SImageHandle huge = allocateImage(shape);
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("1144 MiB, more than the limit of 1024 MiB"));
    EXPECT_EQ(huge->mPixels, nullptr);
    EXPECT_EQ(huge->mWidth, -1);  // the failure record

    shape.mWidth = -1;
    CaptureStderr();
    EXPECT_EQ(allocateImage(shape)->mPixels, nullptr);
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("WARNING"));
}

TEST(PixelFormat, AlphaWeighsTheColoursAndOpaquePicturesRoundTrip) {
    // Every sample value, widened to opaque RGBA and narrowed again: unchanged.
    std::vector<unsigned char> rgb(256 * 3);
    for (int i = 0; i < 256; ++i) {
        rgb[size_t(i) * 3] = (unsigned char)i;
        rgb[size_t(i) * 3 + 1] = (unsigned char)(255 - i);
        rgb[size_t(i) * 3 + 2] = (unsigned char)(i * 7);
    }
    std::vector<unsigned char> rgba(256 * 4, 0);
    rgbToRgba(rgb.data(), rgba.data(), 256);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(rgba[size_t(i) * 4 + 3], 255) << i;
    std::vector<unsigned char> back(256 * 3, 1);
    rgbaToRgbOverBlack(rgba.data(), back.data(), 256);
    EXPECT_EQ(back, rgb);

    // Half transparent: weighed and rounded to nearest; fully transparent: black.
    const unsigned char seeThrough[8] = {255, 128, 1, 128, 200, 100, 50, 0};
    unsigned char out[6];
    rgbaToRgbOverBlack(seeThrough, out, 2);
    EXPECT_EQ(std::vector<unsigned char>(out, out + 6),
              std::vector<unsigned char>({128, 64, 1, 0, 0, 0}));
}
