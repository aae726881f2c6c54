#include "exif.h"
#include "exiffixtures.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <cstring>

using namespace exiffix;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {
int64_t find(const Bytes& haystack, const Bytes& needle) {
    const auto it = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end());
    return it == haystack.end() ? -1 : it - haystack.begin();
}

SExifInfo parseOnly(const Bytes& tiff) {
    return parseBytes(jpegFile({app1Exif(tiff)}));
}
}  // namespace

TEST(ExifStatus, FilesWithoutExifGiveTheirStatusText) {
    CTempFolder folder;
    const SExifInfo missing = readExif(folder.path() + "/missing.jpg");
    EXPECT_EQ(missing.mDateTime, "could not open file");
    EXPECT_EQ(missing.mOrientation, -1);
    EXPECT_EQ(readExif(folder.path()).mDateTime, "could not open file");  // a folder

    const SExifInfo png =
        readExif(folder.write("a.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13}));
    EXPECT_EQ(describe(png),
              "date 'no jpeg file' orientation -2 thumbnail -1 make 'unknown' "
              "model 'unknown' pixels 0x0");
    EXPECT_EQ(readExif(folder.write("empty.jpg", {})).mDateTime, "no jpeg file");

    EXPECT_EQ(readExif(folder.write("jfif.jpg", jpegFile({app0Jfif()}))).mDateTime, "no Exif data");
    // An Exif segment after the start of scan belongs to the picture data.
    const Bytes afterScan =
        jpegFile({app0Jfif(), segment(0xDA, {1, 2, 3}), app1Exif(cameraTiff(true))});
    EXPECT_EQ(parseBytes(afterScan).mDateTime, "no Exif data");

    // A block with neither date tag, and one whose byte-order mark is neither II nor MM.
    CTiffBuilder tiff(true);
    tiff.shortValue(tiff.addDirectory(), 0x0112, 3);
    const SExifInfo undated = parseOnly(tiff.bytes());
    EXPECT_EQ(undated.mDateTime, "no DateTime in Exif data");
    EXPECT_EQ(undated.mOrientation, 3);
    Bytes badOrder = cameraTiff(true);
    badOrder[0] = badOrder[1] = 0xFF;
    EXPECT_EQ(describe(parseOnly(badOrder)), describe(SExifInfo()));
}

TEST(ExifCamera, CameraBlockInBothByteOrders) {
    const Bytes file = jpegFile({app1Exif(cameraTiff(true))});
    const SExifInfo info = parseBytes(file);
    EXPECT_EQ(info.mDateTime, kCameraCapture);  // the capture date, not IFD0's 0x0132
    EXPECT_EQ(info.mOrientation, kCameraOrientation);
    EXPECT_EQ(info.mMake, kCameraMake);
    EXPECT_EQ(info.mModel, kCameraModel);
    EXPECT_EQ(info.mPixelXDimension, kCameraWidth);
    EXPECT_EQ(info.mPixelYDimension, kCameraHeight);
    ASSERT_EQ(info.mThumbnailOffset, find(file, kThumbnail));

    const SExifInfo bigEndian = parseBytes(jpegFile({app1Exif(cameraTiff(false))}));
    EXPECT_EQ(describe(bigEndian), describe(info));

    // Behind other segments the offset is still one of the file, not of the segment.
    const Bytes later = jpegFile({app0Jfif(), app1Exif(cameraTiff(false))});
    EXPECT_EQ(parseBytes(later).mThumbnailOffset, find(later, kThumbnail));
}

TEST(ExifCamera, OnlyTheFirstExifSegmentCounts) {
    const SExifInfo afterXmp = parseBytes(jpegFile(
        {app0Jfif(), app1Xmp("<x:xmpmeta>dc:date 1999</x:xmpmeta>"), app1Exif(cameraTiff(false))}));
    EXPECT_EQ(afterXmp.mDateTime, kCameraCapture);
    EXPECT_EQ(afterXmp.mMake, kCameraMake);

    CTiffBuilder second(true);
    second.ascii(second.addDirectory(), 0x0132, "1999:01:01 00:00:00");
    const SExifInfo twice =
        parseBytes(jpegFile({app1Exif(cameraTiff(true)), app1Exif(second.bytes())}));
    EXPECT_EQ(twice.mDateTime, kCameraCapture);

    // Fill bytes before a marker, and another APP segment before the block.
    const Bytes padded =
        jpegFile({segment(0xE2, Bytes(300, 7)), {0xFF, 0xFF}, app1Exif(cameraTiff(true))});
    EXPECT_EQ(parseBytes(padded).mModel, kCameraModel);
}

TEST(ExifCamera, SegmentsLongerThan64000BytesAreWalked) {
    CTiffBuilder tiff(false);
    const int ifd0 = tiff.addDirectory();
    tiff.blob(ifd0, 0x927C, kUndefined, 64500, Bytes(64500, 0x55));  // a maker note
    tiff.ascii(ifd0, 0x0132, kCameraDate);                           // stored behind it
    const Bytes file = jpegFile({app1Exif(tiff.bytes())});
    ASSERT_GT(file.size(), 64000u);
    EXPECT_EQ(parseBytes(file).mDateTime, kCameraDate);
}

TEST(ExifPrecedence, FirstDirectoriesWinOverTheThumbnailDirectory) {
    for (bool little : {true, false}) {
        SCOPED_TRACE(little ? "II" : "MM");
        CTiffBuilder tiff(little);
        const int ifd0 = tiff.addDirectory();
        const int ifd1 = tiff.addDirectory();
        const int exif = tiff.addDirectory();
        tiff.ascii(ifd0, 0x010F, "Maker");
        tiff.ascii(ifd0, 0x0110, "Model 1");
        tiff.shortValue(ifd0, 0x0112, 8);
        tiff.ascii(ifd0, 0x0132, kCameraDate);
        tiff.pointer(ifd0, 0x8769, exif);
        tiff.link(ifd0, ifd1);
        // The thumbnail directory repeats everything with other values.
        tiff.ascii(ifd1, 0x010F, "Other maker");
        tiff.ascii(ifd1, 0x0110, "Other model");
        tiff.shortValue(ifd1, 0x0112, 1);
        tiff.ascii(ifd1, 0x0132, "2030:01:01 00:00:00");
        tiff.thumbnail(ifd1, kThumbnail);
        tiff.ascii(exif, 0x9003, kCameraCapture);
        const SExifInfo info = parseOnly(tiff.bytes());
        EXPECT_EQ(info.mDateTime, kCameraCapture);
        EXPECT_EQ(info.mMake, "Maker");
        EXPECT_EQ(info.mModel, "Model 1");
        EXPECT_EQ(info.mOrientation, 8);
        EXPECT_GT(info.mThumbnailOffset, 0);

        // Without a capture date IFD0's date holds, not the thumbnail directory's.
        CTiffBuilder noCapture(little);
        const int first = noCapture.addDirectory();
        const int thumb = noCapture.addDirectory();
        noCapture.ascii(first, 0x0132, kCameraDate);
        noCapture.link(first, thumb);
        noCapture.ascii(thumb, 0x0132, "2030:01:01 00:00:00");
        noCapture.shortValue(thumb, 0x0112, 3);
        const SExifInfo dated = parseOnly(noCapture.bytes());
        EXPECT_EQ(dated.mDateTime, kCameraDate);
        EXPECT_EQ(dated.mOrientation, -2);
    }
}

TEST(ExifPrecedence, CaptureDateInIfd0AndThumbnailOnlyFromIfd1) {
    CTiffBuilder tiff(true);
    const int ifd0 = tiff.addDirectory();
    tiff.ascii(ifd0, 0x9003, kCameraCapture);
    tiff.ascii(ifd0, 0x0132, kCameraDate);  // after the capture date: must not replace it
    tiff.thumbnail(ifd0, kThumbnail);       // IFD0 holds the main picture's tags only
    const SExifInfo info = parseOnly(tiff.bytes());
    EXPECT_EQ(info.mDateTime, kCameraCapture);
    EXPECT_EQ(info.mThumbnailOffset, -1);
}

TEST(ExifTexts, InlineUnterminatedAndPaddedTexts) {
    for (bool little : {true, false}) {
        SCOPED_TRACE(little ? "II" : "MM");
        CTiffBuilder tiff(little);
        const int ifd0 = tiff.addDirectory();
        tiff.ascii(ifd0, 0x010F, "HTC", false);        // three bytes in the entry, no zero
        tiff.ascii(ifd0, 0x0110, "X1", true);          // three bytes in the entry with the zero
        tiff.ascii(ifd0, 0x0132, kCameraDate, false);  // the last bytes of the segment
        const Bytes file = jpegFile({app1Exif(tiff.bytes()), app0Jfif()});
        const SExifInfo info = parseBytes(file);
        EXPECT_EQ(info.mMake, "HTC");
        EXPECT_EQ(info.mModel, "X1");
        EXPECT_EQ(info.mDateTime, kCameraDate);

        CTiffBuilder four(little);
        const int dir = four.addDirectory();
        four.ascii(dir, 0x010F, "ABCD", false);  // four bytes fill the entry
        four.ascii(dir, 0x0110, "RDC-5300        ");
        four.ascii(dir, 0x0132, "    :  :     :  :  ");  // a camera without a clock
        const SExifInfo spaced = parseOnly(four.bytes());
        EXPECT_EQ(spaced.mMake, "ABCD");
        EXPECT_EQ(spaced.mModel, "RDC-5300        ");
        EXPECT_EQ(spaced.mDateTime, "    :  :     :  :  ");
    }
}

TEST(ExifTexts, TextsStopAtTheirCountAndAtTheSegment) {
    CTiffBuilder tiff(true);
    const int ifd0 = tiff.addDirectory();
    // Counts that cover only part of the bytes: the text after them belongs to others.
    tiff.blob(ifd0, 0x010F, kAscii, 5, bytesOf("Kodak ProBack"));
    tiff.blob(ifd0, 0x0132, kAscii, 19, bytesOf("2004:03:13 12:33:04<?xml version"));
    tiff.rawField(ifd0, 0x0110, kAscii, 0, 0);  // an empty model
    const SExifInfo info = parseOnly(tiff.bytes());
    EXPECT_EQ(info.mMake, "Kodak");
    EXPECT_EQ(info.mDateTime, "2004:03:13 12:33:04");
    EXPECT_EQ(info.mModel, "unknown");

    // A count that runs past the segment is cut at its end: the next segment's bytes
    // are no part of the text.
    CTiffBuilder over(false);
    const int dir = over.addDirectory();
    over.blob(dir, 0x0110, kAscii, 400, bytesOf("Cut"));
    const SExifInfo cut = parseBytes(jpegFile({app1Exif(over.bytes()), app0Jfif()}));
    EXPECT_EQ(cut.mModel, "Cut");
}

TEST(ExifDimensions, ShortAndLongValuesByTheirType) {
    for (bool little : {true, false}) {
        SCOPED_TRACE(little ? "II" : "MM");
        CTiffBuilder tiff(little);
        const int ifd0 = tiff.addDirectory();
        const int exif = tiff.addDirectory();
        tiff.pointer(ifd0, 0x8769, exif);
        // SHORT 320 followed by bytes that a 32-bit read would take in.
        tiff.rawBytes(exif, 0xA002, kShort, 1,
                      little ? std::array<uint8_t, 4>{0x40, 0x01, 0xAA, 0xBB}
                             : std::array<uint8_t, 4>{0x01, 0x40, 0xAA, 0xBB});
        tiff.longValue(exif, 0xA003, 100000);
        const SExifInfo info = parseOnly(tiff.bytes());
        EXPECT_EQ(info.mPixelXDimension, 320);
        EXPECT_EQ(info.mPixelYDimension, 100000);
    }
}

TEST(ExifBounds, DirectoryCyclesEndTheWalk) {
    for (bool little : {true, false}) {
        SCOPED_TRACE(little ? "II" : "MM");
        CTiffBuilder tiff(little);
        const int ifd0 = tiff.addDirectory();
        const int exif = tiff.addDirectory();
        const int ifd1 = tiff.addDirectory();
        tiff.ascii(ifd0, 0x010F, kCameraMake);
        tiff.pointer(ifd0, 0x8769, exif);
        tiff.link(ifd0, ifd1);
        tiff.pointer(exif, 0x8769, ifd0);  // back to IFD0
        tiff.link(exif, exif);             // to itself
        tiff.ascii(exif, 0x9003, kCameraCapture);
        tiff.thumbnail(ifd1, kThumbnail);
        tiff.link(ifd1, ifd0);
        const Bytes file = jpegFile({app1Exif(tiff.bytes())});
        const SExifInfo info = parseBytes(file);
        EXPECT_EQ(info.mMake, kCameraMake);
        EXPECT_EQ(info.mDateTime, kCameraCapture);
        EXPECT_EQ(info.mThumbnailOffset, find(file, kThumbnail));
    }
}

TEST(ExifBounds, OffsetsOutsideTheSegmentAreNotFollowed) {
    // IFD0 beyond the segment: the diagnostic line names the TIFF header and the
    // position of the first entry.
    CTiffBuilder far(true);
    far.ascii(far.addDirectory(), 0x0132, kCameraDate);
    far.setIfd0Offset(0x4000);
    CaptureStderr();
    const SExifInfo beyond = parseBytes(jpegFile({app1Exif(far.bytes()), app0Jfif()}));
    EXPECT_EQ(GetCapturedStderr(), "endDesc[c]       : WARNING exifEnd < offset = [400e]\n");
    EXPECT_EQ(beyond.mDateTime, "no DateTime in Exif data");

    // Values that point past the segment, or wrap around 32 bits.
    CTiffBuilder bad(false);
    const int ifd0 = bad.addDirectory();
    bad.rawField(ifd0, 0x010F, kAscii, 20, 0xFFFFFFF0);
    bad.rawField(ifd0, 0x0110, kAscii, 20, 0x8000);
    bad.rawField(ifd0, 0x0132, kAscii, 20, 0xFFFFFFFF);
    bad.rawField(ifd0, 0x8769, kLong, 1, 0xFFFFFFF8);
    bad.rawLink(ifd0, 0x7000);
    const Bytes file = jpegFile({app1Exif(bad.bytes())});
    CaptureStderr();
    const SExifInfo info = parseBytes(file);
    // The link word follows IFD0's four entries: 12 + 8 + 2 + 4 * 12 = 0x46.
    EXPECT_EQ(GetCapturedStderr(),
              "endDesc[46]  (1)  : WARNING exifEnd < offset = [700e]=[7000]+[e]\n");
    SExifInfo undated;
    undated.mDateTime = "no DateTime in Exif data";
    EXPECT_EQ(describe(info), describe(undated));

    // A thumbnail offset past the end of the file is no thumbnail.
    CTiffBuilder thumb(true);
    const int first = thumb.addDirectory();
    const int second = thumb.addDirectory();
    thumb.link(first, second);
    thumb.rawField(second, 0x0201, kLong, 1, 0x100000);
    EXPECT_EQ(parseOnly(thumb.bytes()).mThumbnailOffset, -1);
}

TEST(ExifBounds, EntryCountsThatOverrunTheSegment) {
    CTiffBuilder tiff(true);
    const int ifd0 = tiff.addDirectory();
    tiff.ascii(ifd0, 0x010F, kCameraMake);
    tiff.setEntryCount(ifd0, 0xFFFF);
    const SExifInfo info = parseBytes(jpegFile({app1Exif(tiff.bytes()), app0Jfif()}));
    EXPECT_EQ(info.mMake, kCameraMake);
    EXPECT_EQ(info.mDateTime, "no DateTime in Exif data");
}

TEST(ExifBounds, EveryTruncationOfACameraFile) {
    // Cut at every length, each parse reusing one buffer that first held the whole file:
    // a cut file must give what a fresh buffer gives, never values from the stale bytes.
    const Bytes whole = jpegFile({app0Jfif(), app1Exif(cameraTiff(false))});
    SFileBuffer reused;
    for (size_t size = 0; size < whole.size(); ++size) {
        SCOPED_TRACE(size);
        reused.openMemory(whole.data(), whole.size());
        parseExif(reused);
        const Bytes cut(whole.begin(), whole.begin() + size);
        reused.openMemory(cut.data(), cut.size());
        CaptureStderr();
        const SExifInfo info = parseExif(reused);
        const SExifInfo fresh = parseBytes(cut);
        GetCapturedStderr();
        ASSERT_EQ(describe(info), describe(fresh));
        EXPECT_LT(info.mThumbnailOffset, static_cast<int>(size));
        if (int64_t(size) < find(whole, bytesOf(kCameraCapture)) + 19) {
            EXPECT_NE(info.mDateTime, kCameraCapture);
        }
    }
}

TEST(ExifFileBuffer, ReadsOnlyTheBlocksItNeeds) {
    CTempFolder folder;
    Bytes big = jpegFile({app1Exif(cameraTiff(true)), segment(0xDA, Bytes(60000, 1))});
    big.resize(3 << 20, 0x11);  // picture data nobody needs to read
    const std::string bigPath = folder.write("big.jpg", big);

    SFileBuffer buffer;
    ASSERT_TRUE(buffer.open(bigPath.c_str()));
    EXPECT_EQ(buffer.size(), int64_t(big.size()));
    EXPECT_EQ(buffer.loaded(), 4096);
    buffer.ensure(3584);  // 3584 + 512 still fits the first block
    EXPECT_EQ(buffer.loaded(), 4096);
    buffer.ensure(3585);
    EXPECT_EQ(buffer.loaded(), 8192);
    EXPECT_EQ(buffer.at(int64_t(big.size())), 0);  // past the end: no read, no byte
    EXPECT_EQ(parseExif(buffer).mDateTime, kCameraCapture);
    EXPECT_EQ(buffer.loaded(), 8192);
    EXPECT_LT(buffer.capacity(), 65536u);
    EXPECT_EQ(std::memcmp(buffer.data(), big.data(), 8192), 0);

    // The last block is cut at the end of the file.
    const Bytes tiny = jpegFile({app1Exif(cameraTiff(false))});
    ASSERT_TRUE(buffer.open(folder.write("tiny.jpg", tiny).c_str()));
    buffer.ensure(100000);
    EXPECT_EQ(buffer.loaded(), int64_t(tiny.size()));
    buffer.close();
    EXPECT_EQ(buffer.size(), 0);
}

TEST(ExifFileBuffer, BufferReusedAcrossFilesOfAnySize) {
    CTempFolder folder;
    // The big file's block lies far in, so that the smaller files' reads fall on bytes
    // that the big file left in the buffer.
    const Bytes skip = segment(0xE2, Bytes(60000, 3));
    const Bytes bigFile = jpegFile({skip, skip, app1Exif(cameraTiff(true))});
    CTiffBuilder plain(true);
    plain.shortValue(plain.addDirectory(), 0x0112, 1);
    const Bytes small = jpegFile({skip, skip, app1Exif(plain.bytes())});
    // Cut inside IFD0: its first two entries are there, the texts they point to are not.
    const int64_t tiff = find(bigFile, bytesOf("Exif")) + 6;
    const Bytes cut(bigFile.begin(), bigFile.begin() + tiff + 8 + 2 + 2 * 12);
    const std::string bigPath = folder.write("big.jpg", bigFile);
    const std::string smallPath = folder.write("small.jpg", small);
    const std::string cutPath = folder.write("cut.jpg", cut);

    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(readExif(bigPath).mDateTime, kCameraCapture);
        const SExifInfo plainInfo = readExif(smallPath);
        EXPECT_EQ(plainInfo.mDateTime, "no DateTime in Exif data");
        EXPECT_EQ(plainInfo.mMake, "unknown");
        EXPECT_EQ(plainInfo.mPixelXDimension, 0);
        EXPECT_EQ(readExif(bigPath).mModel, kCameraModel);
        const SExifInfo cutInfo = readExif(cutPath);
        EXPECT_EQ(describe(cutInfo), describe(parseBytes(cut)));
        EXPECT_EQ(cutInfo.mMake, "unknown");
        EXPECT_EQ(cutInfo.mModel, "unknown");
        EXPECT_EQ(cutInfo.mDateTime, "no DateTime in Exif data");
    }
}

TEST(ExifFileBuffer, Utf8FileNames) {
    CTempFolder folder;
    const std::string path = folder.write("Größe 3D.jpg", jpegFile({app1Exif(cameraTiff(true))}));
    EXPECT_EQ(readExif(path).mDateTime, kCameraCapture);
}
