#include "jpegfixtures.h"
#include "jpegio.h"
#include "mpf.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>

using namespace jpegfix;
using testing::HasSubstr;

namespace {

// Holds a decoded picture for the length of a test.
struct SDecoded {
    explicit SDecoded(SImageHandle image) : mHandle(std::move(image)), mImage(*mHandle) {}
    const unsigned char* pixel(int x, int y) const {
        return mImage.mPixels +
               (size_t(y) * size_t(mImage.mWidth) + size_t(x)) * size_t(mImage.mChannels);
    }
    SImageHandle mHandle;
    SImage mImage;  // the handle's record
};

void expectFailureRecord(const SImageHandle& image) {
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->mWidth, -1);
    EXPECT_EQ(image->mHeight, -1);
    EXPECT_EQ(image->mChannels, 3);
    EXPECT_EQ(image->mBitDepth, 8);
    EXPECT_EQ(image->mPixels, nullptr);
}

void expectSize(const SImage& image, int width, int height, int channels) {
    EXPECT_EQ(image.mWidth, width);
    EXPECT_EQ(image.mHeight, height);
    EXPECT_EQ(image.mChannels, channels);
    EXPECT_EQ(image.mBitDepth, 8);
    EXPECT_NE(image.mPixels, nullptr);
}

// Every pixel well inside a quadrant (away from the blurred borders) near the encoded
// colour: catches row strides, channel order and top/bottom mix-ups.
void expectQuadrants(const SDecoded& decoded, const SJpegFixture& request) {
    if (decoded.mImage.mWidth != request.mWidth || decoded.mImage.mHeight != request.mHeight ||
        !decoded.mImage.mPixels) {
        ADD_FAILURE() << "not the encoded picture";
        return;
    }
    const int margin = 8;
    int bad = 0;
    for (int y = 0; y < request.mHeight; ++y) {
        for (int x = 0; x < request.mWidth; ++x) {
            const bool nearBorder = std::abs(2 * x - request.mWidth) < 2 * margin ||
                                    std::abs(2 * y - request.mHeight) < 2 * margin;
            if (nearBorder)
                continue;
            const std::vector<int> expected = patternSample(request, x, y);
            for (size_t c = 0; c < expected.size(); ++c)
                if (std::abs(decoded.pixel(x, y)[c] - expected[c]) > 10 && bad++ < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c << ": "
                                  << int(decoded.pixel(x, y)[c]) << " not near " << expected[c];
        }
    }
    EXPECT_EQ(bad, 0);
}

SJpegFixture quadrants(int width, int height, EJpegColour colour) {
    SJpegFixture request;
    request.mWidth = width;
    request.mHeight = height;
    request.mColour = colour;
    return request;
}

class JpegFiles : public testing::Test {
protected:
    std::string write(const std::string& name, const Bytes& bytes) {
        const std::string path = mDir.path(name);
        writeBytes(path, bytes);
        return path;
    }
    CTempDir mDir;
};

}  // namespace

// ---- Decoding whole pictures ----

TEST_F(JpegFiles, ChannelsAndPixelsFollowTheColourSpace) {
    struct {
        EJpegColour colour;
        int channels;
    } const cases[] = {{EJpegColour::Gray, 1}, {EJpegColour::Rgb, 3}, {EJpegColour::Cmyk, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.channels);
        // An odd width: rows must follow each other without padding.
        const SJpegFixture request = quadrants(67, 45, c.colour);
        SDecoded decoded(readJpegFile(write("q.jpg", encodeJpeg(request)).c_str(), 0));
        expectSize(decoded.mImage, 67, 45, c.channels);
        expectQuadrants(decoded, request);
    }
}

TEST_F(JpegFiles, ProgressivePictureDecodes) {
    SJpegFixture request = quadrants(120, 80, EJpegColour::Rgb);
    request.mProgressive = true;
    SDecoded decoded(readJpegFile(write("p.jpg", encodeJpeg(request)).c_str(), 0));
    expectSize(decoded.mImage, 120, 80, 3);
    expectQuadrants(decoded, request);
}

TEST_F(JpegFiles, StreamAtAnOffsetAndAtTheCurrentPosition) {
    const SJpegFixture request = quadrants(40, 30, EJpegColour::Rgb);
    Bytes bytes(1001, 0xAB);
    const Bytes jpeg = encodeJpeg(request);
    bytes.insert(bytes.end(), jpeg.begin(), jpeg.end());
    const std::string path = write("offset.bin", bytes);

    SDecoded atOffset(readJpegFile(path.c_str(), 1001));
    expectSize(atOffset.mImage, 40, 30, 3);
    expectQuadrants(atOffset, request);

    FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fseek(file, 1001, SEEK_SET), 0);
    SDecoded fromStream(decodeJpegStream(file));
    std::fclose(file);
    expectSize(fromStream.mImage, 40, 30, 3);
}

TEST_F(JpegFiles, Utf8FileNameOpens) {
    const SJpegFixture left = quadrants(48, 32, EJpegColour::Rgb);
    const SJpegFixture right = quadrants(24, 16, EJpegColour::Gray);
    const SMpo mpo = buildMpo(encodeJpeg(left), encodeJpeg(right), SMpoFixture());
    const std::string path = write(
        "Gr\xC3\xB6\xC3\x9F"
        "e 3D.mpo",
        mpo.mBytes);

    SDecoded first(readJpegFile(path.c_str(), 0));
    expectSize(first.mImage, 48, 32, 3);
    SDecoded second(readStereoJpegFile(path.c_str(), true));
    expectSize(second.mImage, 24, 16, 1);
    EXPECT_EQ(secondPictureOffset(path.c_str()), mpo.mSecondOffset);
}

// ---- Failures ----

TEST_F(JpegFiles, MissingFileSaysSoAndFails) {
    const std::string path = mDir.path("missing.jpg");
    testing::internal::CaptureStderr();
    const SImageHandle image = readJpegFile(path.c_str(), 0);
    const SImageHandle right = readStereoJpegFile(path.c_str(), true);
    const long offset = secondPictureOffset(path.c_str());
    const std::string err = testing::internal::GetCapturedStderr();
    expectFailureRecord(image);
    expectFailureRecord(right);
    EXPECT_EQ(offset, -1);
    EXPECT_THAT(err, HasSubstr("Could not open >" + path + "<\n"));
    EXPECT_EQ(err.find('\x1b'), std::string::npos) << "the message is not coloured";
}

TEST_F(JpegFiles, NotAJpegFailsWithTheLibraryMessage) {
    const std::string path = write("text.jpg", Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
    testing::internal::CaptureStderr();
    const SImageHandle image = readJpegFile(path.c_str(), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    expectFailureRecord(image);
    EXPECT_THAT(err, HasSubstr("Not a JPEG file"));
    EXPECT_THAT(err, HasSubstr("jump back\n"));

    testing::internal::CaptureStderr();
    expectFailureRecord(readJpegFile(write("empty.jpg", Bytes()).c_str(), 0));
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("jump back\n"));
}

TEST_F(JpegFiles, TruncationGivesTheFailureRecordNotAGreyPicture) {
    SJpegFixture request = quadrants(256, 192, EJpegColour::Rgb);
    request.mPattern = EJpegPattern::Photo;
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        request.mProgressive = progressive;
        const Bytes whole = encodeJpeg(request);
        const size_t data = entropyStart(whole);
        const size_t cuts[] = {data + (whole.size() - data) / 2, data + 10, data - 20, 100};
        for (size_t cut : cuts) {
            SCOPED_TRACE(cut);
            const Bytes part(whole.begin(), whole.begin() + long(cut));
            testing::internal::CaptureStderr();
            expectFailureRecord(readJpegFile(write("cut.jpg", part).c_str(), 0));
            testing::internal::GetCapturedStderr();
        }
    }
}

TEST_F(JpegFiles, HugeDeclaredSizeIsRefusedBeforeDecoding) {
    // A few hundred bytes claiming 60000 x 60000 RGB (10 GB): with the sanitizers on, an
    // attempt to allocate that much aborts the test program.
    for (bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        SJpegFixture request = quadrants(16, 16, EJpegColour::Rgb);
        request.mProgressive = progressive;
        Bytes bytes = encodeJpeg(request);
        patchFrameSize(bytes, 60000, 60000);
        testing::internal::CaptureStderr();
        const SImageHandle image = readJpegFile(write("huge.jpg", bytes).c_str(), 0);
        const std::string err = testing::internal::GetCapturedStderr();
        expectFailureRecord(image);
        EXPECT_THAT(err, HasSubstr("60000 x 60000"));
        EXPECT_THAT(err, HasSubstr("1024 MiB"));
    }
}

TEST_F(JpegFiles, ProgressiveCoefficientsBeyondTheMemoryCapFail) {
    // 40000 x 26000 gray needs 992 MiB of pixels, under the limit, but the progressive
    // coefficients would need about twice that.
    SJpegFixture request = quadrants(16, 16, EJpegColour::Gray);
    request.mProgressive = true;
    Bytes bytes = encodeJpeg(request);
    patchFrameSize(bytes, 40000, 26000);
    testing::internal::CaptureStderr();
    const SImageHandle image = readJpegFile(write("deep.jpg", bytes).c_str(), 0);
    const std::string err = testing::internal::GetCapturedStderr();
    expectFailureRecord(image);
    EXPECT_THAT(err, HasSubstr("jump back\n"));
}

// ---- The second picture of MPO files ----

class MpoFiles : public JpegFiles {
protected:
    MpoFiles()
        : mLeftFixture(quadrants(64, 48, EJpegColour::Rgb)),
          mRightFixture(quadrants(50, 30, EJpegColour::Rgb)),
          mLeft(encodeJpeg(mLeftFixture)),
          mRight(encodeJpeg(mRightFixture)) {}

    // The right picture found and decoded, the left one still at offset 0.
    void expectPair(const std::string& path, int64_t secondOffset) {
        EXPECT_EQ(secondPictureOffset(path.c_str()), secondOffset);
        SDecoded right(readStereoJpegFile(path.c_str(), true));
        expectSize(right.mImage, 50, 30, 3);
        expectQuadrants(right, mRightFixture);
        SDecoded left(readStereoJpegFile(path.c_str(), false));
        expectSize(left.mImage, 64, 48, 3);
        expectQuadrants(left, mLeftFixture);
    }

    // A left picture whose Exif block embeds a JFIF thumbnail (FF D8 FF E0 ...).
    Bytes leftWithThumbnail() const {
        SJpegFixture request = mLeftFixture;
        request.mJfif = false;
        request.mSegments.push_back(
            {0xE1, exifPayloadWithThumbnail(encodeJpeg(quadrants(16, 12, EJpegColour::Rgb)))});
        return encodeJpeg(request);
    }

    SJpegFixture mLeftFixture, mRightFixture;
    Bytes mLeft, mRight;
};

TEST_F(MpoFiles, IndexFindsThePictureAtAnOddOffsetInBothByteOrders) {
    for (bool little : {false, true}) {
        SCOPED_TRACE(little ? "II" : "MM");
        SMpoFixture request;
        request.mLittleEndian = little;
        request.mGap = 7;
        SMpo mpo = buildMpo(mLeft, mRight, request);
        if (mpo.mSecondOffset % 2 == 0) {
            request.mGap = 8;
            mpo = buildMpo(mLeft, mRight, request);
        }
        ASSERT_EQ(mpo.mSecondOffset % 2, 1);
        expectPair(write("odd.mpo", mpo.mBytes), mpo.mSecondOffset);
    }
}

TEST_F(MpoFiles, IndexFindsAPictureThatStartsWithoutAnAppSegment) {
    // FF D8 FF DB: only the index can find it.
    SJpegFixture request = mRightFixture;
    request.mJfif = false;
    const SMpo mpo = buildMpo(mLeft, encodeJpeg(request), SMpoFixture());
    expectPair(write("bare.mpo", mpo.mBytes), mpo.mSecondOffset);

    SMpoFixture noIndex;
    noIndex.mIndex = false;
    const std::string path =
        write("bare-noindex.mpo", buildMpo(mLeft, encodeJpeg(request), noIndex).mBytes);
    EXPECT_EQ(secondPictureOffset(path.c_str()), -1);
}

TEST_F(MpoFiles, WithoutIndexTheThumbnailIsNotTakenForTheRightPicture) {
    SMpoFixture request;
    request.mIndex = false;
    request.mGap = 3;
    const SMpo mpo = buildMpo(leftWithThumbnail(), mRight, request);
    expectPair(write("noindex.mpo", mpo.mBytes), mpo.mSecondOffset);
}

TEST_F(MpoFiles, UnusableIndexFallsBackToTheMarkerSearch) {
    // The left picture also carries a preview JPEG in an APP3 segment after its MP index.
    SJpegFixture leftFixture = mLeftFixture;
    leftFixture.mJfif = false;
    const Bytes preview = encodeJpeg(quadrants(20, 20, EJpegColour::Gray));
    leftFixture.mSegments = {
        {0xE1, exifPayloadWithThumbnail(encodeJpeg(quadrants(16, 12, EJpegColour::Rgb)))},
        {0xE3, preview}};
    const Bytes left = encodeJpeg(leftFixture);
    SMpoFixture request;
    request.mGap = 1;
    const Bytes layout = buildMpo(left, mRight, request).mBytes;
    const auto at = [&](const Bytes& what) {
        return uint32_t(std::search(layout.begin(), layout.end(), what.begin(), what.end()) -
                        layout.begin());
    };
    const uint32_t mpHeader = at(Bytes{'M', 'P', 'F', 0}) + 4;

    struct {
        const char* what;
        uint32_t offset;
    } const cases[] = {
        {"past the end of the file", 16771688},
        {"not at FF D8", 5},
        {"at the preview inside the first picture", at(preview) - mpHeader},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        request.mOverrideOffset = true;
        request.mOffset = c.offset;
        const SMpo mpo = buildMpo(left, mRight, request);
        expectPair(write("badindex.mpo", mpo.mBytes), mpo.mSecondOffset);
    }
}

TEST_F(MpoFiles, PlainJpegHasNoRightPicture) {
    const std::string path = write("plain.jpg", leftWithThumbnail());
    testing::internal::CaptureStderr();
    const SImageHandle right = readStereoJpegFile(path.c_str(), true);
    testing::internal::GetCapturedStderr();
    expectFailureRecord(right);
    EXPECT_EQ(secondPictureOffset(path.c_str()), -1);
    SDecoded left(readStereoJpegFile(path.c_str(), false));
    expectSize(left.mImage, 64, 48, 3);
}

TEST_F(MpoFiles, LeftAndRightOnTwoThreadsEqualSequentialDecodes) {
    SJpegFixture leftFixture = quadrants(640, 480, EJpegColour::Rgb);
    leftFixture.mPattern = EJpegPattern::Photo;
    SJpegFixture rightFixture = leftFixture;
    rightFixture.mWidth = 600;
    const std::string path =
        write("pair.mpo",
              buildMpo(encodeJpeg(leftFixture), encodeJpeg(rightFixture), SMpoFixture()).mBytes);
    SDecoded left(readStereoJpegFile(path.c_str(), false));
    SDecoded right(readStereoJpegFile(path.c_str(), true));
    const size_t leftBytes = size_t(imageByteSize(left.mImage));
    const size_t rightBytes = size_t(imageByteSize(right.mImage));
    ASSERT_EQ(rightBytes, 600u * 480u * 3u);

    for (int round = 0; round < 4; ++round) {
        SImageHandle leftAgain, rightAgain;
        std::thread leftThread([&] { leftAgain = readStereoJpegFile(path.c_str(), false); });
        std::thread rightThread([&] { rightAgain = readStereoJpegFile(path.c_str(), true); });
        leftThread.join();
        rightThread.join();
        SDecoded l(leftAgain), r(rightAgain);
        ASSERT_EQ(imageByteSize(l.mImage), int64_t(leftBytes));
        ASSERT_EQ(imageByteSize(r.mImage), int64_t(rightBytes));
        EXPECT_EQ(std::memcmp(l.mImage.mPixels, left.mImage.mPixels, leftBytes), 0);
        EXPECT_EQ(std::memcmp(r.mImage.mPixels, right.mImage.mPixels, rightBytes), 0);
    }
}

TEST_F(MpoFiles, IndexParserReadsOnlyInsideItsSegment) {
    const SMpo mpo = buildMpo(mLeft, mRight, SMpoFixture());
    const Bytes& bytes = mpo.mBytes;
    const Bytes id = {'M', 'P', 'F', 0};
    const size_t start =
        size_t(std::search(bytes.begin(), bytes.end(), id.begin(), id.end()) - bytes.begin());
    const size_t length = (size_t(bytes[start - 2]) << 8 | bytes[start - 1]) - 2;
    const Bytes payload(bytes.begin() + long(start), bytes.begin() + long(start + length));
    const int64_t expected = mpo.mSecondOffset - int64_t(start + 4);
    EXPECT_EQ(mpSecondPictureOffset(payload.data(), payload.size()), expected);

    // Every shorter payload, in a buffer of exactly that size: the sanitizers catch any
    // read past it. Entry 2 ends the payload, so every cut loses it.
    for (size_t size = 0; size < payload.size(); ++size) {
        std::unique_ptr<unsigned char[]> cut(new unsigned char[size + 1]);
        std::memcpy(cut.get(), payload.data(), size);
        EXPECT_EQ(mpSecondPictureOffset(cut.get(), size), -1) << size;
    }

    Bytes broken = payload;
    broken[4] = ' ';  // a byte-order mark " M"
    EXPECT_EQ(mpSecondPictureOffset(broken.data(), broken.size()), -1);
    // 65535 IFD entries in a tiny segment and no MP entry tag among them.
    broken = payload;
    broken[4 + 8] = broken[4 + 9] = 0xFF;
    broken[4 + 8 + 2 + 2 * 12 + 1] = 0x03;
    EXPECT_EQ(mpSecondPictureOffset(broken.data(), broken.size()), -1);
}
