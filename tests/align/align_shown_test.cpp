// Alignment as the pair is seen: a pair stored turned aligns along the horizontal it is
// shown with, and a near object cut by a side edge never stands in front of the screen.
// Measured with the independent matches, in the axes the pair is shown in.
#include "align.h"
#include "anaglyphExport.h"
#include "corpus.h"
#include "exifwrite.h"
#include "independent.h"
#include "jpegwrite.h"
#include "mpowrite.h"
#include "picturejob.h"
#include "tempfolder.h"
#include "viewdecode.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>

namespace {

SImage view(const cv::Mat& m) {
    SImage image;
    image.mWidth = m.cols, image.mHeight = m.rows, image.mChannels = m.channels();
    image.mPixels = m.data;
    return image;
}

cv::Mat decodedFile(const std::string& path, EViewPicture which) {
    const SImageHandle p = decodeForView(SViewDecode{path, which, 0, 8000}, nullptr);
    EXPECT_TRUE(p->mPixels) << path;
    return p->mPixels ? cv::Mat(p->mHeight, p->mWidth, CV_8UC3, p->mPixels).clone() : cv::Mat();
}

cv::Mat decoded(const std::string& file, EViewPicture which) {
    return decodedFile(corpusPath(file), which);
}

// The right picture warped by the alignment onto the left one's grid.
cv::Mat warped(const cv::Mat& right, const SStereoAlignment& a) {
    const SImageHandle out = warpRightPicture(view(right), a, right.cols, right.rows);
    EXPECT_TRUE(out->mPixels);
    return out->mPixels ? cv::Mat(out->mHeight, out->mWidth, CV_8UC3, out->mPixels).clone()
                        : cv::Mat();
}

}  // namespace

// Camera pairs stored turned a quarter each way (Exif 6: turned clockwise to show; 8:
// anticlockwise): aligned as shown, the pair agrees vertically as well as the unturned
// pair does, and its nearest object is at the screen along the shown horizontal. The
// camera's parallax, too, shifts along the shown horizontal.
TEST(AlignShown, APairStoredTurnedAlignsAsItIsShown) {
    RUV_REQUIRE_CORPUS();
    for (const char* file : {"mpo/HNI_0008.MPO", "mpo/pillow_sugarshack.mpo"}) {
        const cv::Mat left = decoded(file, EViewPicture::Left);
        const cv::Mat right = decoded(file, EViewPicture::Right);
        ASSERT_FALSE(left.empty() || right.empty());
        for (int orientation : {6, 8}) {
            SCOPED_TRACE(testing::Message() << file << ", orientation " << orientation);
            // Stored as the camera would have stored it, and shown back upright.
            const auto store =
                orientation == 6 ? cv::ROTATE_90_COUNTERCLOCKWISE : cv::ROTATE_90_CLOCKWISE;
            const auto show =
                orientation == 6 ? cv::ROTATE_90_CLOCKWISE : cv::ROTATE_90_COUNTERCLOCKWISE;
            cv::Mat storedLeft, storedRight;
            cv::rotate(left, storedLeft, store);
            cv::rotate(right, storedRight, store);
            SAlignOptions options;
            options.mOrientation = orientation;
            const SStereoAlignment a =
                alignStereoPair(view(storedLeft), view(storedRight), options);
            ASSERT_TRUE(a.mOk) << a.mWhy;
            cv::Mat shownRight;
            cv::rotate(warped(storedRight, a), shownRight, show);
            const SResiduals before = residuals(independentMatches(view(left), view(right)));
            const SResiduals after = residuals(independentMatches(view(left), view(shownRight)));
            std::printf(
                "%s, orientation %d: median |dy| %.3f before, %.3f after, nearest at "
                "%.2f px\n",
                file, orientation, before.mMedianAbsDy, after.mMedianAbsDy, after.mNearDx);
            ASSERT_GE(after.mMatches, 50);
            EXPECT_LE(after.mMedianAbsDy, 0.5);
            EXPECT_LE(after.mMedianAbsDy, before.mMedianAbsDy);
            EXPECT_LE(std::abs(after.mNearDx), 0.003 * left.cols);
        }
    }
    // Nothing to match: the parallax alone, along the shown horizontal.
    const cv::Mat flat(640, 480, CV_8UC3, cv::Scalar::all(128));
    SAlignOptions options;
    options.mParallaxPixels = -12.5;
    options.mOrientation = 6;
    const SStereoAlignment fallback = alignStereoPair(view(flat), view(flat), options);
    ASSERT_TRUE(fallback.mOk && fallback.mFromParallax);
    double horizontal, vertical;
    displayedOffset(fallback, &horizontal, &vertical);
    EXPECT_DOUBLE_EQ(horizontal, -12.5);
    EXPECT_DOUBLE_EQ(vertical, 0.0);
}

// A near object at the left or the right edge, 4 % of the width nearer than the rest,
// with too few features to count among the nearest twentieth of the matches: after the
// alignment, none of its independent matches stands in front of the screen, and the
// depth counts it.
TEST(AlignShown, ANearObjectCutBySideEdgeIsNotInFrontOfTheScreen) {
    RUV_REQUIRE_CORPUS();
    cv::Mat background;
    cv::resize(decoded("exif/metadata-extractor/Samsung_SM-J327T1.jpg", EViewPicture::Left),
               background, cv::Size(1400, 960), 0, 0, cv::INTER_AREA);
    const int W = 1280, H = 960, far = 6, near = far + W / 25;
    // The object: a flat board with a few marks, an eighth of the width wide.
    const int objectWidth = W / 8;
    cv::Mat board(H / 2, objectWidth + near, CV_8UC3, cv::Scalar(60, 140, 190));
    std::mt19937 random(3);
    for (int n = 0; n < 30; ++n) {
        const cv::Point corner(int(random() % unsigned(board.cols - 20)),
                               int(random() % unsigned(board.rows - 20)));
        cv::rectangle(board,
                      cv::Rect(corner, cv::Size(10 + int(random() % 16), 10 + int(random() % 16))),
                      cv::Scalar(double(random() % 256), double(random() % 256), 30), cv::FILLED);
    }
    for (bool atRight : {false, true}) {
        SCOPED_TRACE(atRight ? "at the right edge" : "at the left edge");
        // The left picture sees the scene from x = 60, the right one `far` further on: the
        // same point far px further left; its lower half, nearer, 4 px more (a single
        // plane would leave the independent matches' epipolar fit undetermined). The
        // board, nearer still, moves `near` px.
        cv::Mat left = background(cv::Rect(60, 0, W, H)).clone();
        cv::Mat right = background(cv::Rect(60 + far, 0, W, H)).clone();
        background(cv::Rect(60 + far + 4, H / 2, W, H / 2)).copyTo(right.rowRange(H / 2, H));
        const cv::Range rows(H / 4, H / 4 + board.rows);
        const int x = atRight ? W - objectWidth : 0;
        if (atRight) {
            board.colRange(0, objectWidth).copyTo(left(rows, cv::Range(x, W)));
            board.colRange(0, objectWidth + near).copyTo(right(rows, cv::Range(x - near, W)));
        } else {
            board.colRange(near, near + objectWidth).copyTo(left(rows, cv::Range(0, objectWidth)));
            board.colRange(2 * near, near + objectWidth)
                .copyTo(right(rows, cv::Range(0, objectWidth - near)));
        }
        const SStereoAlignment a = alignStereoPair(view(left), view(right));
        ASSERT_TRUE(a.mOk) << a.mWhy;
        const std::vector<SIndependentMatch> matches =
            independentMatches(view(left), view(warped(right, a)));
        int onBoard = 0;
        double frontmost = -1e9;
        for (const SIndependentMatch& m : matches)
            if (m.mLeftX >= x && m.mLeftX < x + objectWidth && m.mLeftY >= rows.start &&
                m.mLeftY < rows.end && std::abs(m.mDy) < 1.5) {
                ++onBoard;
                frontmost = std::max(frontmost, m.mDx);
            }
        std::printf(
            "%s edge: %d matches on the board, the frontmost at %.2f px; near %.2f far "
            "%.2f\n",
            atRight ? "right" : "left", onBoard, frontmost, a.mNear, a.mFar);
        ASSERT_GE(onBoard, 3);
        EXPECT_LE(frontmost, 0.5);
        EXPECT_NEAR(a.mNear - a.mFar, near - far, 1.0);
    }
}

// The same turned pair as a file, as a camera stores it (Exif orientation 6): the view's
// alignment job and the converter's aligned side-by-side output both align it as shown.
TEST(AlignShown, AFileStoredTurnedIsAlignedAsShownByTheViewAndTheConverter) {
    RUV_REQUIRE_CORPUS();
    const cv::Mat left = decoded("mpo/HNI_0008.MPO", EViewPicture::Left);
    const cv::Mat right = decoded("mpo/HNI_0008.MPO", EViewPicture::Right);
    ASSERT_FALSE(left.empty() || right.empty());
    cv::Mat stored[2];
    cv::rotate(left, stored[0], cv::ROTATE_90_COUNTERCLOCKWISE);
    cv::rotate(right, stored[1], cv::ROTATE_90_COUNTERCLOCKWISE);
    std::vector<uint8_t> jpegs[2];
    for (int i = 0; i < 2; ++i) {
        SExifWrite exif;
        exif.mOrientation = 6;
        exif.mPixelWidth = stored[i].cols;
        exif.mPixelHeight = stored[i].rows;
        SJpegWrite options;
        options.mQuality = 97;
        options.mApp1 = buildExifPayload(exif);
        jpegs[i] = encodeJpeg(stored[i].data, stored[i].cols, stored[i].rows, options);
    }
    CTempFolder folder;
    const std::string file = folder.write("turned.mpo", buildMpoFile(jpegs[0], jpegs[1], 0.0));
    const double before = residuals(independentMatches(view(left), view(right))).mMedianAbsDy;

    // The view: the alignment job on the pictures as stored, with the view's aligner.
    SPictureJob job;
    job.mFile = file;
    job.mPart = EPicturePart::Alignment;
    job.mMaxSize = 8000;
    const std::atomic<bool> abort{false};
    const SPictureResult result =
        runPictureJob(job, nullptr, abort, nullptr, alignStereoPairAsShown);
    ASSERT_EQ(result.mOutcome, EOutcome::Delivered);
    ASSERT_TRUE(result.mAlignment.mOk) << result.mAlignment.mWhy;
    cv::Mat shownRight;
    cv::rotate(warped(stored[1], result.mAlignment), shownRight, cv::ROTATE_90_CLOCKWISE);
    const SResiduals shown = residuals(independentMatches(view(left), view(shownRight)));
    std::printf("view: median |dy| %.3f before, %.3f after\n", before, shown.mMedianAbsDy);
    ASSERT_GE(shown.mMatches, 50);
    EXPECT_LE(shown.mMedianAbsDy, 0.5);

    // The converter: its aligned side-by-side picture, upright, read back as a file.
    SAnaglyphExport options;
    options.mLayout = EStereoLayout::Parallel;
    options.mAlign = true;
    options.mQuality = 100;
    std::string why;
    const std::string output = folder.path("turned-parallel.jpg");
    ASSERT_EQ(exportAnaglyph(options, {file, {}}, output, &why), EExportResult::Written) << why;
    const cv::Mat both = decodedFile(output, EViewPicture::Left);
    ASSERT_FALSE(both.empty());
    const int half = both.cols / 2;
    const cv::Mat outLeft = both(cv::Rect(0, 0, half, both.rows)).clone();
    const cv::Mat outRight = both(cv::Rect(half, 0, half, both.rows)).clone();
    const SResiduals exported = residuals(independentMatches(view(outLeft), view(outRight)));
    std::printf("converter: median |dy| %.3f\n", exported.mMedianAbsDy);
    ASSERT_GE(exported.mMatches, 50);
    EXPECT_LE(exported.mMedianAbsDy, 0.5);
}
