#include "image.h"
#include "imagehandle.h"

#include <gmock/gmock.h>

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
