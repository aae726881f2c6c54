#include "exif.h"
#include "exifwrite.h"
#include "jpegio.h"
#include "filewrite.h"
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

const char* const kDate = "2024:05:01 10:00:00";

std::vector<uint8_t> thumbnail() {
    const std::vector<uint8_t> rgb = quadrants(160, 120);
    return encodeJpeg(rgb.data(), 160, 120, atQuality(75));
}

SExifWrite cameraBlock(bool bigEndian) {
    SExifWrite exif;
    exif.mDateTime = kDate;
    exif.mOrientation = 6;
    exif.mMake = "Ruvello";
    exif.mModel = "RT-65 Stereo";
    exif.mPixelWidth = 64;
    exif.mPixelHeight = 48;
    exif.mThumbnail = thumbnail();
    exif.mBigEndian = bigEndian;
    return exif;
}

// A 64 x 48 picture carrying the block, written to the folder.
std::string pictureWith(const CTempFolder& folder, const std::string& name,
                        const std::vector<uint8_t>& payload) {
    SJpegWrite options;
    options.mApp1 = payload;
    const std::vector<uint8_t> rgb = quadrants(64, 48, 0.5);
    const std::string path = folder.path(name);
    EXPECT_TRUE(writeFileAtomically(path, encodeJpeg(rgb.data(), 64, 48, options)));
    return path;
}

}  // namespace

TEST(ExifWrite, ReaderTakesEveryFieldInBothByteOrders) {
    CTempFolder folder;
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        const std::vector<uint8_t> payload = buildExifPayload(cameraBlock(big));
        ASSERT_FALSE(payload.empty());
        EXPECT_EQ(payload[6], big ? 'M' : 'I');
        const std::string path = pictureWith(folder, big ? "mm.jpg" : "ii.jpg", payload);
        const SExifInfo info = readExif(path);
        EXPECT_EQ(info.mDateTime, kDate);
        EXPECT_EQ(info.mOrientation, 6);
        EXPECT_EQ(info.mMake, "Ruvello");
        EXPECT_EQ(info.mModel, "RT-65 Stereo");
        EXPECT_EQ(info.mPixelXDimension, 64);
        EXPECT_EQ(info.mPixelYDimension, 48);
        // The offset leads to the thumbnail itself, which decodes on its own.
        ASSERT_GT(info.mThumbnailOffset, 0);
        SDecoded preview(readJpegFile(path.c_str(), info.mThumbnailOffset));
        EXPECT_EQ(preview.mImage.mWidth, 160);
        EXPECT_EQ(preview.mImage.mHeight, 120);
        EXPECT_LE(quadrantError(preview, 1.0), 12);
        // And the picture around the block is untouched.
        SDecoded main(readJpegFile(path.c_str(), 0));
        EXPECT_LE(quadrantError(main, 0.5), 12);
    }
}

TEST(ExifWrite, AbsentPartsAreLeftOutAndShortTextsFitTheEntry) {
    SExifWrite exif;
    exif.mMake = "Ruv";  // up to four bytes with its zero: stored in the entry itself
    exif.mOrientation = 0;
    CTempFolder folder;
    const SExifInfo info = readExif(pictureWith(folder, "bare.jpg", buildExifPayload(exif)));
    EXPECT_EQ(info.mDateTime, "no DateTime in Exif data");
    EXPECT_EQ(info.mOrientation, -2);
    EXPECT_EQ(info.mMake, "Ruv");
    EXPECT_EQ(info.mModel, "unknown");
    EXPECT_EQ(info.mThumbnailOffset, -1);
    EXPECT_EQ(info.mPixelXDimension, 0);

    // A block that cannot fit into one segment is refused, not cut.
    exif.mThumbnail.assign(70000, 0xAB);
    CaptureStderr();
    EXPECT_TRUE(buildExifPayload(exif).empty());
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("WARNING: Exif block of"));
}

TEST(ExifWrite, Exiv2ReadsEveryFieldWithoutComplaint) {
    CTempFolder folder;
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        const std::string path =
            pictureWith(folder, big ? "mm.jpg" : "ii.jpg", buildExifPayload(cameraBlock(big)));
        const std::string file = shellQuote(path);
        const SCommandResult values = runCommand(
            "exiv2 -Pkv -K Exif.Image.Make -K Exif.Image.Model -K Exif.Image.Orientation "
            "-K Exif.Image.DateTime -K Exif.Photo.DateTimeOriginal "
            "-K Exif.Photo.PixelXDimension -K Exif.Photo.PixelYDimension "
            "-K Exif.Thumbnail.JPEGInterchangeFormatLength " +
            file + " 2>&1");
        ASSERT_EQ(values.mStatus, 0) << values.mOutput;
        EXPECT_THAT(values.mOutput,
                    testing::MatchesRegex("Exif.Image.Make +Ruvello\n"
                                          "Exif.Image.Model +RT-65 Stereo\n"
                                          "Exif.Image.Orientation +6\n"
                                          "Exif.Image.DateTime +2024:05:01 10:00:00\n"
                                          "Exif.Photo.DateTimeOriginal +2024:05:01 10:00:00\n"
                                          "Exif.Photo.PixelXDimension +64\n"
                                          "Exif.Photo.PixelYDimension +48\n"
                                          "Exif.Thumbnail.JPEGInterchangeFormatLength +[0-9]+\n"));
        // The whole block, with exiv2's warnings if it found anything odd.
        const SCommandResult all = runCommand("exiv2 -pa " + file + " 2>&1");
        EXPECT_EQ(all.mStatus, 0);
        EXPECT_THAT(all.mOutput, testing::Not(HasSubstr("Warning")));
        EXPECT_THAT(all.mOutput, testing::Not(HasSubstr("Error")));
        const SCommandResult previews = runCommand("exiv2 -pp " + file + " 2>&1");
        EXPECT_THAT(previews.mOutput, HasSubstr("image/jpeg, 160x120 pixels"));
    }
}

TEST(ExifWrite, ExiftoolFindsTheBlockValid) {
    CTempFolder folder;
    const std::string path = pictureWith(folder, "photo.jpg", buildExifPayload(cameraBlock(false)));
    const SCommandResult result =
        runCommand("exiftool -validate -warning -error -a -s " + shellQuote(path) + " 2>&1");
    EXPECT_EQ(result.mStatus, 0);
    EXPECT_EQ(trimmed(result.mOutput), "Validate                        : OK");
}
