// What a photo's Exif block becomes in the converter's outputs, as exiftool reads them:
// the photo's own fields carried over into JPEG and PNG alike, upright and with the new
// size, and nothing from a block that is corrupt.
#include "converterfixture.h"
#include "exifcopy.h"

using testing::HasSubstr;
using namespace convtest;

namespace {

// What exiftool reads of the fields that a copy keeps as the photo has them.
std::string carriedFields(const std::string& path) {
    return runCommand(
               "exiftool -q -s -DateTimeOriginal -Make -Model -ExposureTime -FNumber "
               "-GPSPosition " +
               shellQuote(path))
        .mOutput;
}

// What exiftool reads of the fields that describe the picture itself, numerically.
std::string ownFields(const std::string& path) {
    return runCommand("exiftool -q -n -s3 -Orientation -ExifImageWidth -ExifImageHeight " +
                      shellQuote(path))
        .mOutput;
}

std::vector<uint8_t> photo(int orientation) {
    return cameraMpo(view(64, 48, false), view(64, 48, true), 64, 48, orientation, -10.0f);
}

}  // namespace

TEST_F(Converter, EveryOutputOfOnePictureCarriesThePhotosExifUprightWithItsOwnSize) {
    writeBytes(work("photo.mpo"), photo(6));
    const std::string source = carriedFields(work("photo.mpo"));
    ASSERT_THAT(source, HasSubstr("ExposureTime                    : 1/250\n"));
    ASSERT_THAT(source, HasSubstr("GPSPosition                     : 48 deg 51' 24.00\" N, "
                                  "2 deg 21' 3.00\" E\n"));
    struct SCase {
        const char *arguments, *output;
        int width;  // of the output: the upright pictures are 48 x 64
    };
    for (const SCase& c :
         {SCase{"-o a.jpg photo.mpo", "a.jpg", 48}, SCase{"-o a.png photo.mpo", "a.png", 48},
          SCase{"--layout parallel -o p.jpg photo.mpo", "p.jpg", 96},
          SCase{"--layout cross -o c.jps photo.mpo", "c.jps", 96}}) {
        SCOPED_TRACE(c.arguments);
        const SRun r = run(c.arguments);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string output = work(c.output);
        EXPECT_EQ(carriedFields(output), source);
        EXPECT_EQ(ownFields(output), "1\n" + std::to_string(c.width) + "\n64\n");
        // No thumbnail of the photo, no maker note whose offsets point elsewhere now, and
        // nothing that exiftool finds amiss.
        EXPECT_EQ(runCommand("exiftool -q -s -IFD1:all -MakerNotes:all -Warning -Error " +
                             shellQuote(output))
                      .mOutput,
                  "");
    }
}

TEST_F(Converter, ACorruptExifBlockGivesAnOutputWithoutExifAndALine) {
    // The GPS directory's pointer leads out of the block.
    std::vector<uint8_t> bytes = photo(1);
    const std::vector<uint8_t> pointer = {0x88, 0x25, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01};
    const auto at = std::search(bytes.begin(), bytes.end(), pointer.begin(), pointer.end());
    ASSERT_NE(at, bytes.end());
    std::fill(at + 8, at + 12, uint8_t(0x7F));
    writeBytes(work("photo.mpo"), bytes);
    for (const char* output : {"a.jpg", "a.png"}) {
        const SRun r = run(std::string("-o ") + output + " photo.mpo");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_THAT(r.err, HasSubstr("photo.mpo: its Exif block is not carried over: a "
                                     "directory starts outside the block\n"));
        EXPECT_EQ(runCommand("exiftool -q -s -EXIF:all " + shellQuote(work(output))).mOutput, "");
        SDecoded picture(output == std::string("a.png") ? readPngFile(work(output).c_str())
                                                        : readJpegFile(work(output).c_str(), 0));
        EXPECT_EQ(picture.image.mWidth, 64);
    }
}

TEST(ExifCopy, EveryCutOfTheBlockIsCopiedWholeOrRefused) {
    // The block cut at every length, as a segment whose file ends early: a field that the
    // cut reaches refuses the block, so that each copy is the whole block's, and ASan sees
    // every read.
    const std::vector<uint8_t> payload = cameraExif(3, 1.0f);
    std::vector<uint8_t> file = {
        0xFF, 0xD8, 0xFF, 0xE1, uint8_t((payload.size() + 2) >> 8), uint8_t(payload.size() + 2)};
    file.insert(file.end(), payload.begin(), payload.end());
    SFileBuffer buffer;
    buffer.openMemory(file.data(), file.size());
    const SExifCopy whole = copyExifBlock(buffer, 30, 20);
    ASSERT_FALSE(whole.mTiff.empty()) << whole.mWhy;
    for (size_t size = 16; size < file.size(); ++size) {
        buffer.openMemory(file.data(), size);
        const SExifCopy copy = copyExifBlock(buffer, 30, 20);
        EXPECT_TRUE(copy.mFound) << size;
        if (copy.mTiff.empty())
            EXPECT_NE(copy.mWhy, "") << size;
        else
            EXPECT_EQ(copy.mTiff, whole.mTiff) << size;
    }
    // The copy reads back as the photo's, upright, of the new size, without thumbnail.
    const std::vector<uint8_t> app1 = exifApp1Payload(whole.mTiff);
    std::vector<uint8_t> again = {
        0xFF, 0xD8, 0xFF, 0xE1, uint8_t((app1.size() + 2) >> 8), uint8_t(app1.size() + 2)};
    again.insert(again.end(), app1.begin(), app1.end());
    buffer.openMemory(again.data(), again.size());
    const SExifInfo info = parseExif(buffer);
    EXPECT_EQ(info.mDateTime, kDate);
    EXPECT_EQ(info.mModel, kCameraModel);
    EXPECT_EQ(info.mOrientation, 1);
    EXPECT_EQ(info.mPixelXDimension, 30);
    EXPECT_EQ(info.mPixelYDimension, 20);
    EXPECT_EQ(info.mThumbnailOffset, -1);
}
