#include "filewrite.h"
#include "jpegio.h"
#include "jpegwrite.h"
#include "tempfolder.h"
#include "writehelpers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace writetest;
using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

size_t segmentLength(const std::vector<uint8_t>& jpeg, size_t at) {
    return size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
}

}  // namespace

TEST(JpegWrite, ColoursAndRowOrderSurviveTheRoundTrip) {
    CTempFolder folder;
    // Sizes that are no multiple of the 16-pixel blocks, and a one-pixel row.
    for (const auto& [width, height] : {std::pair{64, 48}, {37, 23}, {40, 1}}) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        const std::vector<uint8_t> rgb = quadrants(width, height);
        const std::vector<uint8_t> jpeg = encodeJpeg(rgb.data(), width, height, atQuality(95));
        ASSERT_FALSE(jpeg.empty());
        EXPECT_EQ(jpeg.back(), 0xD9);  // ends at its end-of-image marker, nothing after
        const std::string path = folder.path("round.jpg");
        ASSERT_TRUE(writeFileAtomically(path, jpeg));
        SDecoded decoded(readJpegFile(path.c_str(), 0));
        EXPECT_EQ(decoded.mImage.mWidth, width);
        EXPECT_EQ(decoded.mImage.mHeight, height);
        if (height > 1) {
            EXPECT_LE(quadrantError(decoded, 1.0), 12);
        }
    }
    // The record form takes the same pixels.
    std::vector<uint8_t> rgb = quadrants(32, 32);
    SImage image;
    image.mWidth = image.mHeight = 32;
    image.mPixels = rgb.data();
    EXPECT_EQ(encodeJpeg(image, {}), encodeJpeg(rgb.data(), 32, 32, {}));
}

TEST(JpegWrite, AppSegmentsFollowTheStartOfImageInOrder) {
    const std::vector<uint8_t> rgb = quadrants(16, 16);
    SJpegWrite options;
    options.mApp1 = {'E', 'x', 'i', 'f', 0, 0, 'x'};
    options.mApp2 = {'M', 'P', 'F', 0, 'y', 'z'};
    const std::vector<uint8_t> jpeg = encodeJpeg(rgb.data(), 16, 16, options);
    ASSERT_GT(jpeg.size(), 30u);
    // No JFIF segment in front of the Exif block: SOI, APP1, APP2.
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    EXPECT_EQ(jpeg[3], 0xE1);
    EXPECT_EQ(segmentLength(jpeg, 2), options.mApp1.size() + 2);
    EXPECT_TRUE(std::equal(options.mApp1.begin(), options.mApp1.end(), jpeg.begin() + 6));
    const size_t app2 = 2 + 2 + segmentLength(jpeg, 2);
    EXPECT_EQ(jpeg[app2 + 1], 0xE2);
    EXPECT_EQ(segmentLength(jpeg, app2), options.mApp2.size() + 2);
    EXPECT_TRUE(
        std::equal(options.mApp2.begin(), options.mApp2.end(), jpeg.begin() + long(app2) + 4));

    // Without an Exif block the picture starts with the JFIF segment.
    const std::vector<uint8_t> plain = encodeJpeg(rgb.data(), 16, 16, {});
    EXPECT_EQ(plain[3], 0xE0);
    EXPECT_EQ(std::string(plain.begin() + 6, plain.begin() + 10), "JFIF");
    // Quality outside 1..100 is clamped, not refused; a higher one costs bytes.
    const std::vector<uint8_t> low = encodeJpeg(rgb.data(), 16, 16, atQuality(-5));
    const std::vector<uint8_t> high = encodeJpeg(rgb.data(), 16, 16, atQuality(500));
    EXPECT_EQ(low, encodeJpeg(rgb.data(), 16, 16, atQuality(1)));
    EXPECT_EQ(high, encodeJpeg(rgb.data(), 16, 16, atQuality(100)));
    EXPECT_LT(low.size(), high.size());
}

TEST(JpegWrite, RefusesWhatItCannotEncodeWithAWarning) {
    const std::vector<uint8_t> rgb = quadrants(8, 8);
    SJpegWrite tooLarge;
    tooLarge.mApp1.assign(kMaxSegmentPayload + 1, 0);
    SImage rgba;
    rgba.mWidth = rgba.mHeight = 2;
    rgba.mChannels = 4;
    uint8_t pixels[16] = {};
    rgba.mPixels = pixels;
    SImage deep = rgba;
    deep.mChannels = 3;
    deep.mBitDepth = 16;

    CaptureStderr();
    EXPECT_TRUE(encodeJpeg(nullptr, 8, 8, {}).empty());
    EXPECT_TRUE(encodeJpeg(rgb.data(), 0, 8, {}).empty());
    EXPECT_TRUE(encodeJpeg(rgb.data(), 8, -1, {}).empty());
    EXPECT_TRUE(encodeJpeg(rgb.data(), 70000, 1, {}).empty());  // beyond JPEG's 65500
    EXPECT_TRUE(encodeJpeg(rgb.data(), 8, 8, tooLarge).empty());
    EXPECT_TRUE(encodeJpeg(rgba, {}).empty());
    EXPECT_TRUE(encodeJpeg(deep, {}).empty());
    EXPECT_TRUE(encodeJpeg(SImage(), {}).empty());
    const std::string messages = GetCapturedStderr();
    EXPECT_THAT(messages, HasSubstr("WARNING: cannot encode a JPEG picture of 70000 x 1 pixels"));
    EXPECT_THAT(messages, HasSubstr("65534 bytes does not fit"));
    EXPECT_THAT(messages, HasSubstr("with 4 channels"));
    // Every refusal said so, one line each.
    EXPECT_EQ(std::count(messages.begin(), messages.end(), '\n'), 8);
}
