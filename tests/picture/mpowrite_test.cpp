#include "exif.h"
#include "exifwrite.h"
#include "jpegio.h"
#include "jpegwrite.h"
#include "mpf.h"
#include "mpowrite.h"
#include "tempfolder.h"
#include "writehelpers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

using namespace writetest;
using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

struct SPair {
    std::vector<uint8_t> mLeft;
    std::vector<uint8_t> mRight;
    std::vector<uint8_t> mMpo;
};

// A left view of 96 x 64 with an Exif block and thumbnail, a darker right view of
// another size, so that a mix-up of the two shows.
SPair stereoPair() {
    SPair pair;
    SExifWrite exif;
    exif.mDateTime = "2024:05:02 15:30:00";
    exif.mMake = "Ruvello";
    exif.mModel = "RT-65 Stereo";
    exif.mPixelWidth = 96;
    exif.mPixelHeight = 64;
    const std::vector<uint8_t> small = quadrants(32, 24);
    exif.mThumbnail = encodeJpeg(small.data(), 32, 24, atQuality(80));
    SJpegWrite options = atQuality(92);
    options.mApp1 = buildExifPayload(exif);
    const std::vector<uint8_t> left = quadrants(96, 64), right = quadrants(80, 60, 0.5);
    pair.mLeft = encodeJpeg(left.data(), 96, 64, options);
    pair.mRight = encodeJpeg(right.data(), 80, 60, atQuality(92));
    pair.mMpo = buildMpoFile(pair.mLeft, pair.mRight, 0.065);
    return pair;
}

// Position of the first APP2 "MPF\0" payload of the stream at start.
size_t mpfPayload(const std::vector<uint8_t>& file, size_t start, size_t* size) {
    size_t pos = start + 2;
    while (pos + 4 <= file.size() && file[pos] == 0xFF && file[pos + 1] != 0xDA) {
        const size_t length = size_t(file[pos + 2]) << 8 | file[pos + 3];
        if (file[pos + 1] == 0xE2 && std::memcmp(&file[pos + 4], "MPF", 4) == 0) {
            *size = length - 2;
            return pos + 4;
        }
        pos += 2 + length;
    }
    return 0;
}

}  // namespace

TEST(MpoWrite, IndexLeadsToTheRightViewAndBothViewsDecode) {
    const SPair pair = stereoPair();
    ASSERT_FALSE(pair.mMpo.empty());
    size_t indexSize = 0;
    const size_t index = mpfPayload(pair.mMpo, 0, &indexSize);
    ASSERT_GT(index, 0u);
    // After the Exif block, so that APP1 stays right after the start of image.
    EXPECT_EQ(pair.mMpo[3], 0xE1);
    EXPECT_EQ(index, 2 + 2 + pair.mLeft[4] * 256u + pair.mLeft[5] + 4);

    // The index counts its own segment in the left picture's size and the offset.
    const size_t leftSize = pair.mLeft.size() + 4 + indexSize;
    const size_t mpHeader = index + 4;
    EXPECT_EQ(mpSecondPictureOffset(&pair.mMpo[index], indexSize), int64_t(leftSize - mpHeader));
    CTempFolder folder;
    const std::string path = folder.write("pair.mpo", pair.mMpo);
    EXPECT_EQ(secondPictureOffset(path.c_str()), long(leftSize));
    EXPECT_EQ(pair.mMpo[leftSize], 0xFF);
    EXPECT_EQ(pair.mMpo[leftSize + 1], 0xD8);
    // The right picture carries its own attribute segment, numbered 2.
    size_t rightSize = 0;
    EXPECT_GT(mpfPayload(pair.mMpo, leftSize, &rightSize), leftSize);
    EXPECT_EQ(pair.mMpo.size(), leftSize + pair.mRight.size() + 4 + rightSize);

    SDecoded left(readStereoJpegFile(path.c_str(), false));
    SDecoded right(readStereoJpegFile(path.c_str(), true));
    EXPECT_EQ(left.mImage.mWidth, 96);
    EXPECT_EQ(left.mImage.mHeight, 64);
    EXPECT_LE(quadrantError(left, 1.0), 12);
    EXPECT_EQ(right.mImage.mWidth, 80);
    EXPECT_EQ(right.mImage.mHeight, 60);
    EXPECT_LE(quadrantError(right, 0.5), 12);

    // The left picture's Exif block and thumbnail read as in a plain JPEG.
    const SExifInfo info = readExif(path);
    EXPECT_EQ(info.mDateTime, "2024:05:02 15:30:00");
    SDecoded preview(readJpegFile(path.c_str(), info.mThumbnailOffset));
    EXPECT_EQ(preview.mImage.mWidth, 32);
}

TEST(MpoWrite, ExiftoolAndExiv2ReadTheIndex) {
    const SPair pair = stereoPair();
    CTempFolder folder;
    const std::string path = folder.write("pair.mpo", pair.mMpo);
    const std::string file = shellQuote(path);
    const SCommandResult tags = runCommand(
        "exiftool -n -s -s -s -MPFVersion -NumberOfImages -MPImageStart -MPImageLength "
        "-BaselineLength " +
        file + " 2>&1");
    EXPECT_EQ(tags.mStatus, 0);
    const size_t second = size_t(secondPictureOffset(path.c_str()));
    EXPECT_EQ(tags.mOutput, "0100\n2\n" + std::to_string(second) + "\n" +
                                std::to_string(pair.mMpo.size() - second) + "\n0.065\n");
    // exiftool cuts the second picture out by the index: exactly the file's tail.
    const std::string extracted = folder.path("right.jpg");
    ASSERT_EQ(runCommand("exiftool -b -MPImage2 " + file + " > " + shellQuote(extracted)).mStatus,
              0);
    SDecoded right(readJpegFile(extracted.c_str(), 0));
    EXPECT_EQ(right.mImage.mWidth, 80);
    EXPECT_EQ(runCommand("cmp -s -i " + std::to_string(second) + ":0 " + file + " " +
                         shellQuote(extracted))
                  .mStatus,
              0);
    const SCommandResult validate =
        runCommand("exiftool -validate -warning -a -s " + file + " 2>&1");
    EXPECT_EQ(trimmed(validate.mOutput), "Validate                        : OK");

    const SCommandResult exiv2 =
        runCommand("exiv2 -Pv -K Exif.Photo.DateTimeOriginal " + file + " 2>&1");
    EXPECT_EQ(exiv2.mStatus, 0);
    EXPECT_EQ(exiv2.mOutput, "2024:05:02 15:30:00\n");
}

TEST(MpoWrite, RefusesPicturesThatAreNoJpegStream) {
    const SPair pair = stereoPair();
    std::vector<uint8_t> cut(pair.mLeft.begin(), pair.mLeft.begin() + 20);  // inside APP1
    CaptureStderr();
    EXPECT_TRUE(buildMpoFile({1, 2, 3, 4, 5}, pair.mRight, 0.065).empty());
    EXPECT_TRUE(buildMpoFile(pair.mLeft, {}, 0.065).empty());
    EXPECT_TRUE(buildMpoFile(cut, pair.mRight, 0.065).empty());
    const std::string messages = GetCapturedStderr();
    EXPECT_THAT(messages, HasSubstr("WARNING: cannot build a stereo file: the left picture"));
    EXPECT_THAT(messages, HasSubstr("the right picture is no JPEG stream"));
}
