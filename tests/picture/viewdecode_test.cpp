// Pictures for the view: colours made RGB, sizes brought under the texture limit, the
// second picture of MPO files and thumbnails, all with the real libjpeg.
#include "viewdecode.h"

#include "jpegfixtures.h"
#include "jpegio.h"
#include "resample.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <jpeglib.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

using namespace jpegfix;
using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

// Samples of pixel (x, y) into out (components of them).
// A horizontal ramp from 0 to 255 in red, a vertical one in green, blue constant.
Bytes cameraPicture(int width, int height) {
    return encodeSamples(width, height, JCS_RGB, 3, [=](int x, int y, unsigned char* out) {
        out[0] = (unsigned char)(x * 255 / (width - 1));
        out[1] = (unsigned char)(y * 255 / (height - 1));
        out[2] = 90;
    });
}

const unsigned char* pixelAt(const SImageHandle& image, int x, int y) {
    return image->mPixels + (size_t(y) * size_t(image->mWidth) + size_t(x)) * 3;
}

void expectFailureHandle(const SImageHandle& image) {
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->mWidth, -1);
    EXPECT_EQ(image->mHeight, -1);
    EXPECT_EQ(image->mPixels, nullptr);
}

class ViewDecode : public testing::Test {
protected:
    std::string write(const std::string& name, const Bytes& bytes) {
        return mDir.write(name, bytes);
    }
    SImageHandle decode(const std::string& path, EViewPicture picture = EViewPicture::Left,
                        long offset = 0, int maxSize = kViewMaxSize) {
        return decodeForView(SViewDecode{path, picture, offset, maxSize}, mRecycler);
    }
    CTempDir mDir;
    std::shared_ptr<CPixelRecycler> mRecycler = std::make_shared<CPixelRecycler>();
};

}  // namespace

TEST(ViewSize, LongerSideBecomesTheLimitWithTheAspectKept) {
    const int cases[][5] = {{6000, 4000, 4416, 4416, 2944}, {4000, 6000, 4416, 2944, 4416},
                            {4416, 4416, 4416, 4416, 4416}, {4417, 100, 4416, 4416, 99},
                            {100000, 3, 4416, 4416, 1},     {640, 480, 4416, 640, 480}};
    for (const auto& c : cases) {
        const SViewSize size = viewTargetSize(c[0], c[1], c[2]);
        EXPECT_EQ(size.mWidth, c[3]) << c[0] << "x" << c[1];
        EXPECT_EQ(size.mHeight, c[4]) << c[0] << "x" << c[1];
    }
}

// Only the decoder's fast scales count: halving, quartering and eighthing.
TEST(ViewSize, TheDecoderScaleIsTheSmallestFastOneThatStillCoversTheTarget) {
    EXPECT_EQ(jpegScaleEighths(6000, 4000, 4416, 2944), 8);  // 6/8 would be slower
    EXPECT_EQ(jpegScaleEighths(9000, 6000, 4416, 2944), 4);  // 4500 x 3000
    EXPECT_EQ(jpegScaleEighths(8833, 8833, 4416, 4416), 4);  // 4417 x 4417, rounded up
    EXPECT_EQ(jpegScaleEighths(8831, 8831, 4416, 4416), 4);  // 4416 x 4416, rounded up
    EXPECT_EQ(jpegScaleEighths(8830, 8830, 4416, 4416), 8);  // 4415 would be too small
    EXPECT_EQ(jpegScaleEighths(20000, 100, 4416, 22), 2);
    EXPECT_EQ(jpegScaleEighths(35328, 100, 4416, 12), 1);
}

TEST_F(ViewDecode, LargePictureIsResampledToTheLimitWithOneWarning) {
    const std::string path = write("big.jpg", cameraPicture(6000, 4000));
    CaptureStderr();
    const SImageHandle image = decode(path);
    const std::string messages = GetCapturedStderr();
    ASSERT_NE(image->mPixels, nullptr);
    EXPECT_EQ(image->mWidth, 4416);
    EXPECT_EQ(image->mHeight, 2944);
    EXPECT_EQ(image->mChannels, 3);
    const std::string warning = "WARNING: width>maxTexSize() || height >maxTexSize()\n";
    EXPECT_THAT(messages, HasSubstr(warning));
    EXPECT_EQ(messages.find(warning), messages.rfind(warning));  // once
    // The ramps still run from edge to edge: corners, middle, last row and column.
    const int probes[][2] = {{0, 0}, {4415, 0}, {0, 2943}, {4415, 2943}, {2208, 1472}};
    for (const auto& p : probes) {
        const unsigned char* px = pixelAt(image, p[0], p[1]);
        EXPECT_NEAR(px[0], (p[0] + 0.5) * 255.0 / 4416, 3) << p[0] << "," << p[1];
        EXPECT_NEAR(px[1], (p[1] + 0.5) * 255.0 / 2944, 3) << p[0] << "," << p[1];
        EXPECT_NEAR(px[2], 90, 2);
    }
}

// 1000 x 600 under a limit of 240: decoded at 2/8 (250 x 150), then resampled.
TEST_F(ViewDecode, ScaledDecodeThenResampleKeepsTheRampsFromEdgeToEdge) {
    const std::string path = write("quarter.jpg", cameraPicture(1000, 600));
    CaptureStderr();
    const SImageHandle image = decode(path, EViewPicture::Left, 0, 240);
    GetCapturedStderr();
    ASSERT_NE(image->mPixels, nullptr);
    EXPECT_EQ(image->mWidth, 240);
    EXPECT_EQ(image->mHeight, 144);
    for (int x : {0, 60, 120, 239})
        EXPECT_NEAR(pixelAt(image, x, 143)[0], (x + 0.5) * 255.0 / 240, 4) << x;
    for (int y : {0, 72, 143})
        EXPECT_NEAR(pixelAt(image, 239, y)[1], (y + 0.5) * 255.0 / 144, 4) << y;
}

TEST_F(ViewDecode, PicturesWithinTheLimitKeepTheirSizeSilently) {
    const std::string path = write("small.jpg", cameraPicture(300, 200));
    CaptureStderr();
    const SImageHandle image = decode(path, EViewPicture::Left, 0, 300);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_EQ(image->mWidth, 300);
    EXPECT_EQ(image->mHeight, 200);
    CaptureStderr();
    const SImageHandle smaller = decode(path, EViewPicture::Left, 0, 299);
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("maxTexSize"));
    EXPECT_EQ(smaller->mWidth, 299);
    EXPECT_EQ(smaller->mHeight, 199);
}

TEST_F(ViewDecode, GrayAndCmykJpegsBecomeRgb) {
    const Fill gray = [](int x, int, unsigned char* out) { out[0] = x < 32 ? 40 : 220; };
    const SImageHandle fromGray =
        decode(write("gray.jpg", encodeSamples(64, 32, JCS_GRAYSCALE, 1, gray)));
    ASSERT_NE(fromGray->mPixels, nullptr);
    EXPECT_EQ(fromGray->mChannels, 3);
    EXPECT_THAT(std::vector<int>(pixelAt(fromGray, 8, 8), pixelAt(fromGray, 8, 8) + 3),
                testing::Each(testing::AllOf(testing::Ge(38), testing::Le(42))));

    // Left half pure cyan ink, right half no ink at all; files with the Adobe marker
    // store the amounts inverted, others as they are.
    for (bool adobe : {true, false}) {
        SCOPED_TRACE(adobe ? "Adobe" : "plain");
        const Fill cmyk = [adobe](int x, int, unsigned char* out) {
            const unsigned char ink[4] = {(unsigned char)(x < 32 ? 255 : 0), 0, 0, 0};
            for (int c = 0; c < 4; ++c)
                out[c] = adobe ? (unsigned char)(255 - ink[c]) : ink[c];
        };
        const std::string path = write("cmyk.jpg", encodeSamples(64, 32, JCS_CMYK, 4, cmyk, adobe));
        const SImageHandle image = decode(path);
        ASSERT_NE(image->mPixels, nullptr);
        EXPECT_EQ(image->mChannels, 3);
        const unsigned char* cyan = pixelAt(image, 8, 16);
        const unsigned char* white = pixelAt(image, 56, 16);
        EXPECT_LE(cyan[0], 3);
        EXPECT_GE(cyan[1], 252);
        EXPECT_GE(cyan[2], 252);
        EXPECT_GE(white[0], 252);

        // Every pixel is the rounded product of the library's own CMYK samples.
        const SImageHandle raw = readJpegFile(path.c_str(), 0);
        ASSERT_EQ(raw->mChannels, 4);
        int wrong = 0;
        for (int i = 0; i < 64 * 32; ++i) {
            const unsigned char* s = raw->mPixels + i * 4;
            for (int c = 0; c < 3; ++c) {
                const double a = adobe ? s[c] : 255 - s[c], k = adobe ? s[3] : 255 - s[3];
                wrong += std::abs(image->mPixels[i * 3 + c] - int(a * k / 255 + 0.5)) > 0;
            }
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(ViewDecode, AskedForFourBytesAPixelEveryJpegKindGivesTheSameColoursOpaque) {
    const Fill gray = [](int x, int, unsigned char* out) { out[0] = x < 32 ? 40 : 220; };
    const Fill cmyk = [](int x, int, unsigned char* out) {
        const unsigned char ink[4] = {(unsigned char)(x < 32 ? 255 : 0), 0, 90, 20};
        for (int c = 0; c < 4; ++c)
            out[c] = (unsigned char)(255 - ink[c]);
    };
    const std::vector<std::string> paths = {
        write("g.jpg", encodeSamples(64, 32, JCS_GRAYSCALE, 1, gray)),
        write("k.jpg", encodeSamples(64, 32, JCS_CMYK, 4, cmyk, true)),
        write("c.jpg", cameraPicture(5000, 300))};  // resampled to the limit as well
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const SImageHandle rgb = decode(path, EViewPicture::Left, 0, kViewMaxSize);
        const SImageHandle rgba =
            decodeForView(SViewDecode{path, EViewPicture::Left, 0, kViewMaxSize, true}, mRecycler);
        ASSERT_NE(rgba->mPixels, nullptr);
        ASSERT_EQ(rgba->mChannels, 4);
        ASSERT_EQ(rgba->mWidth, rgb->mWidth);
        int wrong = 0;
        for (int i = 0; i < rgb->mWidth * rgb->mHeight; ++i) {
            wrong += rgba->mPixels[i * 4 + 3] != 255;
            for (int c = 0; c < 3; ++c)
                wrong += std::abs(rgba->mPixels[i * 4 + c] - rgb->mPixels[i * 3 + c]) > 1;
        }
        EXPECT_EQ(wrong, 0);
    }
}

TEST_F(ViewDecode, RightPictureOfAnMpoAndTheThumbnailAtItsOffset) {
    const Bytes left = cameraPicture(80, 60);
    const Bytes right = encodeSamples(48, 40, JCS_RGB, 3, [](int, int, unsigned char* out) {
        out[0] = 10, out[1] = 200, out[2] = 30;
    });
    const SMpo mpo = buildMpo(left, right, SMpoFixture());
    const std::string path = write("pair.mpo", mpo.mBytes);
    const SImageHandle first = decode(path, EViewPicture::Left);
    const SImageHandle second = decode(path, EViewPicture::Right);
    EXPECT_EQ(first->mWidth, 80);
    EXPECT_EQ(second->mWidth, 48);
    EXPECT_EQ(second->mHeight, 40);
    ASSERT_NE(second->mPixels, nullptr);
    EXPECT_NEAR(pixelAt(second, 20, 20)[1], 200, 3);

    const SImageHandle thumbnail = decode(path, EViewPicture::Thumbnail, long(mpo.mSecondOffset));
    EXPECT_EQ(thumbnail->mWidth, 48);

    CaptureStderr();
    const SImageHandle noSecond = decode(write("one.jpg", left), EViewPicture::Right);
    const SImageHandle badOffset = decode(path, EViewPicture::Thumbnail, 5);
    GetCapturedStderr();
    expectFailureHandle(noSecond);
    expectFailureHandle(badOffset);
}

TEST_F(ViewDecode, MissingAndBrokenFilesGiveTheFailureRecord) {
    CaptureStderr();
    const SImageHandle missing = decode(mDir.path("gone.jpg"));
    const SImageHandle text = decode(write("text.jpg", Bytes{'h', 'e', 'l', 'l', 'o'}));
    Bytes cut = cameraPicture(200, 100);
    cut.resize(entropyStart(cut) + 50);
    const SImageHandle truncated = decode(write("cut.jpg", cut));
    const std::string messages = GetCapturedStderr();
    expectFailureHandle(missing);
    expectFailureHandle(text);
    expectFailureHandle(truncated);
    EXPECT_THAT(messages, HasSubstr("gone.jpg"));
    EXPECT_EQ(mRecycler->keptBuffers(), 1u);  // the truncated picture's buffer came back
}

TEST_F(ViewDecode, BuffersComeBackAndServeTheNextPicture) {
    const std::string path = write("again.jpg", cameraPicture(640, 480));
    const unsigned char* first = nullptr;
    {
        const SImageHandle image = decode(path);
        first = image->mPixels;
        EXPECT_EQ(mRecycler->keptBuffers(), 0u);
    }
    EXPECT_EQ(mRecycler->keptBuffers(), 1u);
    const SImageHandle again = decode(path);
    EXPECT_EQ(again->mPixels, first);
    EXPECT_EQ(mRecycler->keptBuffers(), 0u);
}

// The picture is shrunk while it decodes, on another thread: the result must be exactly
// what decoding it whole and then resampling gives, also with four bytes a pixel, and a
// file cut short or a decode stopped half-way must leave nothing behind (the sanitizers
// watch the rows the other thread reads).
TEST_F(ViewDecode, ShrinkingWhileDecodingGivesWhatResamplingAfterwardsGives) {
    const Bytes bytes = encodeSamples(3000, 2000, JCS_RGB, 3, [](int x, int y, unsigned char* out) {
        out[0] = (unsigned char)((x * 7 + y * 3) & 255);
        out[1] = (unsigned char)((x ^ y) & 255);
        out[2] = (unsigned char)((x * y) >> 5);
    });
    const std::string path = write("wide.jpg", bytes);
    for (const bool rgba : {false, true}) {
        SCOPED_TRACE(rgba ? "RGBA" : "RGB");
        CaptureStderr();
        const SImageHandle shrunk =
            decodeForView(SViewDecode{path, EViewPicture::Left, 0, 2000, rgba}, mRecycler);
        GetCapturedStderr();
        ASSERT_NE(shrunk->mPixels, nullptr);
        ASSERT_EQ(shrunk->mWidth, 2000);
        ASSERT_EQ(shrunk->mHeight, 1333);

        // The same decode (the faster transform that shrinking allows), then resampled.
        FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        SJpegDecodeRequest whole;
        whole.mRgb = true;
        whole.mRgba = rgba;
        whole.mFastAbove = 2000;
        const SImageHandle full = decodeJpegStreamScaled(file, whole);
        std::fclose(file);
        const int channels = rgba ? 4 : 3;
        std::vector<unsigned char> expected(size_t(2000) * 1333 * size_t(channels));
        ASSERT_TRUE(resamplePixels(full->mPixels, full->mWidth, full->mHeight, channels,
                                   expected.data(), 2000, 1333));
        EXPECT_EQ(std::memcmp(shrunk->mPixels, expected.data(), expected.size()), 0);
    }

    // Cut inside its entropy data: the failure record, after the rows done so far.
    const std::string cut =
        write("cut.jpg", Bytes(bytes.begin(), bytes.begin() + long(bytes.size() / 2)));
    CaptureStderr();
    expectFailureHandle(decode(cut, EViewPicture::Left, 0, 2000));
    GetCapturedStderr();
    // Stopped from outside while decoding.
    std::atomic<bool> stop{false};
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        stop = true;
    });
    std::string why;
    const SImageHandle stopped =
        decodeForView(SViewDecode{path, EViewPicture::Left, 0, 2000, true, &stop}, mRecycler, &why);
    stopper.join();
    if (!stopped->mPixels) {
        EXPECT_EQ(why, "stopped");
    }
}
