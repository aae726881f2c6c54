// The stereo pairs of real cameras in the corpus: after alignment, matches found without
// the aligner's features agree vertically, and the nearest of them is at the screen.
#include "align.h"
#include "corpus.h"
#include "independent.h"
#include "parallax.h"
#include "picturejob.h"
#include "viewdecode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>

namespace {

SImageHandle picture(const std::string& file, EViewPicture which) {
    return decodeForView(SViewDecode{corpusPath(file), which}, nullptr);
}

}  // namespace

// Every camera pair of the corpus, before and after: the median vertical disparity of the
// independent matches at most 0.5 px (1 px for pairs with fewer than 100 of them, whose
// median says less), never worse than before, no more than a quarter of a degree of
// rotation left in it, and the nearest object within 0.3 % of the width of the screen
// plane.
TEST(AlignCorpus, CameraPairsAgreeVerticallyOnceAligned) {
    RUV_REQUIRE_CORPUS();
    const char* files[] = {"mpo/HNI_0008.MPO", "mpo/libmpo_3ds.mpo", "mpo/pillow_sugarshack.mpo",
                           "mpo/libmpo_fujifilm_w3.mpo"};
    for (const char* file : files) {
        SCOPED_TRACE(file);
        const SImageHandle left = picture(file, EViewPicture::Left);
        const SImageHandle right = picture(file, EViewPicture::Right);
        ASSERT_TRUE(left->mPixels && right->mPixels);
        const SStereoAlignment a = alignStereoPair(*left, *right);
        ASSERT_TRUE(a.mOk) << a.mWhy;
        const SImageHandle aligned = warpRightPicture(*right, a, left->mWidth, left->mHeight);
        ASSERT_TRUE(aligned->mPixels);
        const SResiduals before = residuals(independentMatches(*left, *right));
        const SResiduals after = residuals(independentMatches(*left, *aligned));
        std::printf(
            "%s %d x %d: dx %.2f dy %.2f rotation %.4f deg scale %.5f, %d matches, "
            "near %.2f far %.2f | before: %d matches, median |dy| %.3f | after: %d "
            "matches, median |dy| %.3f, rotation %.3f deg, nearest at %.2f px\n",
            file, left->mWidth, left->mHeight, a.mDx, a.mDy, a.mRotation * 180 / M_PI, a.mScale,
            a.mMatches, a.mNear, a.mFar, before.mMatches, before.mMedianAbsDy, after.mMatches,
            after.mMedianAbsDy, after.mRotationDegrees, after.mNearDx);
        ASSERT_GE(after.mMatches, 10);
        EXPECT_LE(after.mMedianAbsDy, after.mMatches >= 100 ? 0.5 : 1.0);
        EXPECT_LE(after.mMedianAbsDy, before.mMedianAbsDy);
        // A fit that follows a few matches of a part of the picture turns the rest.
        EXPECT_LE(std::abs(after.mRotationDegrees), 0.25);
        EXPECT_LE(std::abs(after.mNearDx), 0.003 * left->mWidth);
        EXPECT_FALSE(a.mFromParallax);
        EXPECT_LE(a.mFar, a.mNear);
    }
}

// The corpus's other MPO files hold no camera pair: a picture of one size and a map of
// another, and a tool-made tiny one. Each is refused with a reason.
TEST(AlignCorpus, FilesWithoutAPairAreRefused) {
    RUV_REQUIRE_CORPUS();
    for (const char* file : {"mpo/pillow_frame_size.mpo", "mpo/pillow_ignore_frame_size.mpo"}) {
        SCOPED_TRACE(file);
        const SStereoAlignment a = alignStereoPair(*picture(file, EViewPicture::Left),
                                                   *picture(file, EViewPicture::Right));
        EXPECT_FALSE(a.mOk);
        EXPECT_FALSE(a.mWhy.empty());
        std::printf("%s: %s\n", file, a.mWhy.c_str());
    }
}

// The cameras' own parallax, read as pixels, against the shift the aligner finds: within
// 15 % of the nearest-at-the-screen shift for the 3DS, between the median's and the
// nearest's for the W3. And a pair without features gets it, through the loader's job.
TEST(AlignCorpus, TheCamerasParallaxIsTheShiftTheAlignerFinds) {
    RUV_REQUIRE_CORPUS();
    for (const char* file : {"mpo/HNI_0008.MPO", "mpo/libmpo_3ds.mpo", "mpo/pillow_sugarshack.mpo",
                             "mpo/libmpo_fujifilm_w3.mpo"}) {
        SCOPED_TRACE(file);
        const SImageHandle left = picture(file, EViewPicture::Left);
        const SImageHandle right = picture(file, EViewPicture::Right);
        ASSERT_TRUE(left->mPixels && right->mPixels);
        const SCameraParallax camera = readCameraParallax(corpusPath(file));
        ASSERT_TRUE(camera.mFound);
        const double pixels = cameraParallaxPixels(camera, left->mWidth);
        SAlignOptions options;
        const double nearest = alignStereoPair(*left, *right, options).mDx;
        options.mDepth = EDepthChoice::MedianAtScreen;
        const double median = alignStereoPair(*left, *right, options).mDx;
        std::printf("%s: %s parallax %.3f = %.2f px; aligner: nearest %.2f, median %.2f\n", file,
                    camera.mSource.c_str(), camera.mValue, pixels, nearest, median);
        if (camera.mSource == "Nintendo") {
            EXPECT_NEAR(pixels, nearest, 0.15 * std::abs(nearest));
        } else {
            EXPECT_GT(pixels, std::min(nearest, median));
            EXPECT_LT(pixels, std::max(nearest, median));
        }

        // Two featureless pictures of the file's size, as if the scene had nothing to
        // match: the job reads the file's parallax and the aligner falls back on it.
        SImage grey;
        grey.mWidth = left->mWidth;
        grey.mHeight = left->mHeight;
        grey.mChannels = 3;
        grey.mBitDepth = 8;
        const SImageHandle flat = allocateImage(grey);
        ASSERT_NE(flat->mPixels, nullptr);
        std::fill(flat->mPixels, flat->mPixels + imageByteSize(*flat), uint8_t(128));
        SPictureJob job;
        job.mFile = corpusPath(file);
        job.mPart = EPicturePart::Alignment;
        job.mLeft = flat;
        job.mRight = flat;
        const std::atomic<bool> abort{false};
        const SPictureResult result =
            runPictureJob(job, nullptr, abort, nullptr,
                          // Whatever else the job hands on (the pictures' orientation) does not
                          // matter for pictures without features.
                          [](const SImage& l, const SImage& r, double parallax, auto...) {
                              SAlignOptions fallback;
                              fallback.mParallaxPixels = parallax;
                              return alignStereoPair(l, r, fallback);
                          });
        ASSERT_EQ(result.mOutcome, EOutcome::Delivered);
        EXPECT_TRUE(result.mAlignment.mOk);
        EXPECT_TRUE(result.mAlignment.mFromParallax);
        EXPECT_DOUBLE_EQ(result.mAlignment.mDx, pixels);
        EXPECT_EQ(result.mAlignment.mDy, 0.0);
    }
}
