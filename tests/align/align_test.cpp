// Alignment of stereo pairs with known answers: a camera photo as the left picture and
// the right one made from it by a chosen transform, both through JPEG and an MPO file;
// bad pairs; and the warp of the right picture, pixel by pixel.
#include "align.h"
#include "corpus.h"
#include "jpegwrite.h"
#include "mpowrite.h"
#include "tempfolder.h"
#include "viewdecode.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr double kDegree = 3.14159265358979323846 / 180;

// A camera photo (2576 x 1932: cobbles, a wall, sky) as the view decodes it.
cv::Mat cameraPhoto(const char* file = "exif/metadata-extractor/Samsung_SM-J327T1.jpg") {
    const SImageHandle photo =
        decodeForView(SViewDecode{corpusPath(file), EViewPicture::Left, 0, 8000}, nullptr);
    EXPECT_TRUE(photo->mPixels) << file;
    return photo->mPixels ? cv::Mat(photo->mHeight, photo->mWidth, CV_8UC3, photo->mPixels).clone()
                          : cv::Mat();
}

// The right picture of a known alignment: right(p) = left(q), q where the header's
// formula puts p. warpAffine takes that map from its output to its input in its own
// positions (pixel centres at whole numbers), whose centre is half a pixel earlier.
cv::Mat rightPicture(const cv::Mat& left, double dx, double dy, double degrees, double scale) {
    const double a = scale * std::cos(degrees * kDegree), b = scale * std::sin(degrees * kDegree);
    const double cx = left.cols / 2.0 - 0.5, cy = left.rows / 2.0 - 0.5;
    const cv::Matx23d rightToLeft(a, -b, cx - a * cx + b * cy + dx, b, a,
                                  cy - b * cx - a * cy + dy);
    cv::Mat right;
    cv::warpAffine(left, right, rightToLeft, left.size(),
                   cv::INTER_LANCZOS4 | cv::WARP_INVERSE_MAP);
    return right;
}

// Both pictures as a camera delivers them: JPEG at quality 90 in one MPO file, decoded.
std::pair<SImageHandle, SImageHandle> throughMpo(const cv::Mat& left, const cv::Mat& right) {
    SJpegWrite options;
    options.mQuality = 90;
    CTempFolder folder;
    const std::string path = folder.write(
        "pair.mpo", buildMpoFile(encodeJpeg(left.data, left.cols, left.rows, options),
                                 encodeJpeg(right.data, right.cols, right.rows, options), 0.075));
    return {decodeForView(SViewDecode{path, EViewPicture::Left, 0, 8000}, nullptr),
            decodeForView(SViewDecode{path, EViewPicture::Right, 0, 8000}, nullptr)};
}

SImage view(const cv::Mat& m) {
    SImage image;
    image.mWidth = m.cols, image.mHeight = m.rows, image.mChannels = m.channels();
    image.mPixels = m.data;
    return image;
}

void expectNeutralRefusal(const SStereoAlignment& a) {
    EXPECT_FALSE(a.mOk);
    EXPECT_FALSE(a.mWhy.empty());
    EXPECT_TRUE(a.mDx == 0 && a.mDy == 0 && a.mRotation == 0 && a.mScale == 1 && a.mNear == 0 &&
                a.mFar == 0 && !a.mFromParallax);
}

}  // namespace

// Offsets, rotations and scales of both signs, alone and together, recovered from the
// pictures: the vertical offset within 0.3 px, the rotation within 0.03 degrees, the
// scale within 0.05 %; the shift, the same for every point here, within 0.3 px too.
TEST(Align, RecoversKnownTransformsOfACameraPhoto) {
    RUV_REQUIRE_CORPUS();
    const cv::Mat left = cameraPhoto();
    ASSERT_FALSE(left.empty());
    struct SCase {
        double dx, dy, degrees, scale;
    };
    const SCase cases[] = {
        {0, 20, 0, 1},        {0, -20, 0, 1},        {0, 0, 1.5, 1},        {0, 0, -1.5, 1},
        {0, 0, 0, 1.02},      {0, 0, 0, 0.98},       {-40, 9.5, 0.8, 1.01}, {60, -7.25, -0.4, 0.99},
        {85, -20, 1.5, 0.98}, {-25, 20, -1.5, 1.02},
    };
    double worst[4] = {};
    for (const SCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "dx " << c.dx << " dy " << c.dy << " rotation "
                                        << c.degrees << " scale " << c.scale);
        const auto pair = throughMpo(left, rightPicture(left, c.dx, c.dy, c.degrees, c.scale));
        ASSERT_TRUE(pair.first->mPixels && pair.second->mPixels);
        const SStereoAlignment a = alignStereoPair(*pair.first, *pair.second);
        ASSERT_TRUE(a.mOk) << a.mWhy;
        const double errors[4] = {a.mDx - c.dx, a.mDy - c.dy, a.mRotation / kDegree - c.degrees,
                                  (a.mScale / c.scale - 1) * 100};
        const double limits[4] = {0.3, 0.3, 0.03, 0.05};
        const char* names[4] = {"dx", "dy", "rotation", "scale"};
        for (int i = 0; i < 4; ++i) {
            EXPECT_LE(std::abs(errors[i]), limits[i]) << names[i];
            worst[i] = std::max(worst[i], std::abs(errors[i]));
        }
        EXPECT_GE(a.mMatches, 100);
        EXPECT_EQ(a.mNear, 0.0);  // the nearest point at the screen; all are as near here
        EXPECT_NEAR(a.mFar, 0.0, 0.5);
    }
    std::printf("worst errors: dx %.3f px, dy %.3f px, rotation %.4f degrees, scale %.4f %%\n",
                worst[0], worst[1], worst[2], worst[3]);
}

// Two depths, the lower half of the picture nearer (a larger left-minus-right disparity)
// than the upper: each depth choice puts its own one at the screen.
TEST(Align, DepthChoicePutsTheChosenDisparityAtTheScreen) {
    RUV_REQUIRE_CORPUS();
    cv::Mat left;
    cv::resize(cameraPhoto(), left, cv::Size(), 0.5, 0.5, cv::INTER_AREA);
    const double far = 8, near = 28;
    cv::Mat right = rightPicture(left, far, 0, 0, 1);
    const cv::Range lower(left.rows / 2, left.rows);
    rightPicture(left, near, 0, 0, 1).rowRange(lower).copyTo(right.rowRange(lower));
    const auto pair = throughMpo(left, right);
    for (EDepthChoice depth : {EDepthChoice::NearestAtScreen, EDepthChoice::MedianAtScreen,
                               EDepthChoice::NoHorizontal}) {
        SCOPED_TRACE(int(depth));
        SAlignOptions options;
        options.mDepth = depth;
        const SStereoAlignment a = alignStereoPair(*pair.first, *pair.second, options);
        ASSERT_TRUE(a.mOk) << a.mWhy;
        EXPECT_NEAR(a.mNear + a.mDx, near, 0.5);  // the disparities before the shift
        EXPECT_NEAR(a.mFar + a.mDx, far, 0.5);
        EXPECT_NEAR(a.mDy, 0, 0.3);
        switch (depth) {
            case EDepthChoice::NearestAtScreen:
                EXPECT_EQ(a.mNear, 0.0);
                break;
            case EDepthChoice::MedianAtScreen:  // either depth can hold the middle
                EXPECT_TRUE(std::abs(a.mDx - near) < 0.5 || std::abs(a.mDx - far) < 0.5) << a.mDx;
                break;
            case EDepthChoice::NoHorizontal:
                EXPECT_EQ(a.mDx, 0.0);
                break;
        }
    }
}

// Pairs that cannot be aligned are refused with a reason and change nothing; the
// camera's parallax stands in only where matches are missing.
TEST(Align, BadPairsAreRefusedWithAReason) {
    RUV_REQUIRE_CORPUS();
    cv::Mat photo, other;
    cv::resize(cameraPhoto(), photo, cv::Size(800, 600), 0, 0, cv::INTER_AREA);
    cv::resize(cameraPhoto("exif/metadata-extractor/Canon_PowerShot_S40_1.jpg"), other,
               cv::Size(800, 600), 0, 0, cv::INTER_AREA);
    const cv::Mat black(600, 800, CV_8UC3, cv::Scalar::all(0));
    const cv::Mat narrower = photo.colRange(0, 760).clone();
    cv::Mat noise(600, 800, CV_8UC3), otherNoise(600, 800, CV_8UC3);
    cv::randu(noise, 0, 256);
    cv::randu(otherNoise, 0, 256);
    const cv::Mat dot(1, 1, CV_8UC3, cv::Scalar(200, 100, 50));
    const cv::Mat turned = rightPicture(photo, 0, 0, 6.5, 1),
                  larger = rightPicture(photo, 0, 0, 0, 1.13);
    SImage deep = view(photo);
    deep.mBitDepth = 16;
    struct SCase {
        const char* name;
        SImage left, right;
        const char* why;  // a word the reason must contain
    };
    const SCase cases[] = {
        {"different sizes", view(photo), view(narrower), "size"},
        {"left all black", view(black), view(photo), "detail"},
        {"right all black", view(photo), view(black), "detail"},
        {"one pixel", view(dot), view(dot), "small"},
        {"turned too far", view(photo), view(turned), "6.50 degrees"},
        {"scaled too far", view(photo), view(larger), "scale"},
        {"nothing in common", view(photo), view(other), "match"},
        {"unrelated noise", view(noise), view(otherNoise), "match"},
        {"no pixels", SImage(), view(photo), "empty"},
        {"16 bits", deep, deep, "8-bit"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        const SStereoAlignment a = alignStereoPair(c.left, c.right);
        expectNeutralRefusal(a);
        EXPECT_NE(a.mWhy.find(c.why), std::string::npos) << a.mWhy;
    }
    SAlignOptions withParallax;
    withParallax.mParallaxPixels = -12.5;
    const SStereoAlignment fallback = alignStereoPair(view(photo), view(other), withParallax);
    EXPECT_TRUE(fallback.mOk && fallback.mFromParallax);
    EXPECT_TRUE(fallback.mDx == -12.5 && fallback.mDy == 0 && fallback.mRotation == 0 &&
                fallback.mScale == 1);
    expectNeutralRefusal(alignStereoPair(view(photo), view(narrower), withParallax));
}

// The warped right picture, pixel by pixel: a picture whose samples are linear in x and
// y (which bilinear interpolation reproduces) must show at each output pixel the value
// at the source alignedSource names, and opaque black where that lies outside.
TEST(Align, WarpShowsEachPixelFromWhereTheAlignmentSays) {
    const int w = 300, h = 200;
    SStereoAlignment a;
    a.mOk = true;
    a.mDx = 12.3, a.mDy = -7.6, a.mRotation = 2 * kDegree, a.mScale = 1.04;
    SStereoAlignment refused = a;
    refused.mOk = false;
    auto value = [](double x, double y, int c) {
        return c == 3 ? 255 : 20 + 0.1 * x + 0.15 * y + 30 * c;
    };
    for (int channels : {1, 3, 4}) {
        SCOPED_TRACE(testing::Message() << channels << " channels");
        cv::Mat pixels(h, w, CV_8UC(channels));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < channels; ++c)
                    pixels.ptr<uint8_t>(y)[x * channels + c] = uint8_t(std::lround(value(x, y, c)));
        const SImageHandle same = warpRightPicture(view(pixels), refused, w, h);
        ASSERT_TRUE(same->mPixels);
        EXPECT_EQ(std::memcmp(same->mPixels, pixels.data, pixels.total() * channels), 0);

        const SImageHandle out = warpRightPicture(view(pixels), a, w, h);
        ASSERT_TRUE(out->mPixels && out->mWidth == w && out->mHeight == h &&
                    out->mChannels == channels);
        int inside = 0, outside = 0, wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double sx, sy;
                alignedSource(a, w, h, x + 0.5, y + 0.5, &sx, &sy);
                sx -= 0.5, sy -= 0.5;  // the source pixel's column and row
                const uint8_t* p = out->mPixels + (y * w + x) * channels;
                const bool in = sx >= 1 && sy >= 1 && sx <= w - 2 && sy <= h - 2;
                if (!in && !(sx < -1.5 || sy < -1.5 || sx > w + 0.5 || sy > h + 0.5))
                    continue;  // at the edge, blended with the black outside
                (in ? inside : outside)++;
                for (int c = 0; c < channels; ++c)
                    wrong += std::abs(p[c] - (in || c == 3 ? value(sx, sy, c) : 0.0)) > 1.0;
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(inside, w * h / 2);
        EXPECT_GT(outside, w * h / 50);
    }
    EXPECT_EQ(warpRightPicture(SImage(), a, w, h)->mPixels, nullptr);
}
