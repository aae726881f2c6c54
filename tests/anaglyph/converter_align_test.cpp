// ruvello-anaglyph's alignment as a user runs it: MPO files of a scene that features are
// found on, the real binary, and its aligned outputs and layouts read back.
#include "converterfixture.h"

using testing::HasSubstr;
using testing::StartsWith;
using namespace convtest;

namespace {

// Mean difference of the samples of two pictures of one size.
double meanDifference(const SImage& a, const SImage& b) {
    EXPECT_EQ(a.mWidth, b.mWidth);
    EXPECT_EQ(a.mHeight, b.mHeight);
    if (a.mWidth != b.mWidth || a.mHeight != b.mHeight)
        return 1e9;
    double sum = 0;
    for (size_t i = 0; i < size_t(imageByteSize(a)); ++i)
        sum += std::abs(int(a.mPixels[i]) - int(b.mPixels[i]));
    return sum / double(imageByteSize(a));
}

SImageHandle crop(const SImage& image, int x0, int y0, int x1, int y1) {
    std::vector<uint8_t> rgb;
    for (int y = y0; y < y1; ++y) {
        const uint8_t* row = image.mPixels + (size_t(y) * size_t(image.mWidth) + size_t(x0)) * 3;
        rgb.insert(rgb.end(), row, row + size_t(x1 - x0) * 3);
    }
    return picture(x1 - x0, y1 - y0, rgb.data());
}

SImageHandle turnedClockwise(const SImage& image) {
    return picture(image.mHeight, image.mWidth,
                   turn(image.mPixels, image.mWidth, image.mHeight, true).data());
}

// Mean difference that JPEG coding (at quality 100 for the outputs) leaves in the scene
// below: its noise and sharp colour edges lose most in the halved colour resolution.
constexpr double kJpegError = 2.5;

// A photograph's stand-in that features are found on: grain and a gradient under
// overlapping discs and boxes of many colours, painted on one canvas for both views. The
// left view is the canvas's lower left part, the right view its upper right part: the
// right picture shows the scene 12 px lower and 30 px further left, all at one depth. The
// right view is duller, as a second camera's may be, so that the two tell apart.
constexpr int kSceneWidth = 480, kSceneHeight = 360, kMovedLeft = 30, kMovedDown = 12;

std::vector<uint8_t> sceneMpo(int orientation) {
    const size_t cw = kSceneWidth + kMovedLeft, ch = kSceneHeight + kMovedDown;
    uint32_t random = 2024;
    auto next = [&random](size_t range) {
        random = random * 1664525u + 1013904223u;
        return int((random >> 8) % range);
    };
    std::vector<uint8_t> canvas(cw * ch * 3);
    for (size_t i = 0; i < canvas.size(); ++i)
        canvas[i] = uint8_t(50 + i % 3 * 40 + i / 3 % cw / 6 + size_t(next(17)));
    for (int shape = 0; shape < 160; ++shape) {
        const int mx = next(cw), my = next(ch), r = 4 + next(26), disc = next(2);
        const uint8_t colour[3] = {uint8_t(next(256)), uint8_t(next(256)), uint8_t(next(256))};
        for (int y = std::max(0, my - r); y < std::min(int(ch), my + r); ++y)
            for (int x = std::max(0, mx - r); x < std::min(int(cw), mx + r); ++x)
                if (!disc || (x - mx) * (x - mx) + (y - my) * (y - my) < r * r)
                    std::copy_n(colour, 3, &canvas[(size_t(y) * cw + size_t(x)) * 3]);
    }
    std::vector<uint8_t> views[2];
    for (size_t y = 0; y < kSceneHeight; ++y)
        for (size_t i = 0; i < kSceneWidth * 3; ++i) {
            views[0].push_back(canvas[(y + kMovedDown) * cw * 3 + i]);
            views[1].push_back(uint8_t(45 + canvas[y * cw * 3 + kMovedLeft * 3 + i] * 3 / 4));
        }
    return mpoOf(views[0], views[1], kSceneWidth, kSceneHeight, orientation);
}

// What an aligned output is made of: the file's pictures, the right one warped by the
// alignment, both cut to the part that both eyes see, rounded inwards to whole pixels. By
// default the aligner's answer for the pictures as the decoder gives them, aligned as the
// file's orientation shows them, which is what the converter applies (the aligner is
// deterministic).
struct SAlignedPair {
    SImageHandle left, right;
};

SAlignedPair alignedPair(const std::string& mpoFile,
                         const std::optional<SStereoAlignment>& given = std::nullopt) {
    const SImageHandle left = readStereoJpegFile(mpoFile.c_str(), false);
    const SImageHandle right = readStereoJpegFile(mpoFile.c_str(), true);
    const SStereoAlignment a =
        given ? *given
              : alignStereoPairAsShown(*left, *right, NAN, readExif(mpoFile).mOrientation);
    const int w = left->mWidth, h = left->mHeight;
    const SImageHandle warped = warpRightPicture(*right, a, w, h);
    const SAlignedOverlap o = alignedOverlap(a, w, h);
    const int x0 = int(std::ceil(o.x0 - 1e-3)), y0 = int(std::ceil(o.y0 - 1e-3));
    const int x1 = int(std::floor(o.x1 + 1e-3)), y1 = int(std::floor(o.y1 + 1e-3));
    return {crop(*left, x0, y0, x1, y1), crop(*warped, x0, y0, x1, y1)};
}

// The payload of the first APP3 segment of a JPEG file; empty when there is none.
std::vector<uint8_t> app3Of(const std::string& bytes) {
    for (size_t at = 2; at + 4 <= bytes.size() && uint8_t(bytes[at]) == 0xFF;) {
        const size_t length = size_t(uint8_t(bytes[at + 2])) << 8 | uint8_t(bytes[at + 3]);
        if (uint8_t(bytes[at + 1]) == 0xE3 && at + 2 + length <= bytes.size())
            return std::vector<uint8_t>(&bytes[at + 4], &bytes[at + 2 + length]);
        at += 2 + length;
    }
    return {};
}

// Two views of one grey each: nothing that a feature could be found on.
std::vector<uint8_t> flatMpo(int width, int height) {
    const size_t size = size_t(width) * size_t(height) * 3;
    return mpoOf(std::vector<uint8_t>(size, 120), std::vector<uint8_t>(size, 100), width, height,
                 1);
}

}  // namespace

TEST_F(Converter, PrintAlignmentTellsHowTheRightPictureIsBroughtOntoTheLeftOneAndWritesNothing) {
    writeBytes(work("pair.mpo"), sceneMpo(1));
    writeBytes(work("flat.mpo"), flatMpo(160, 120));
    // Nothing to match either, but the camera states its parallax: -10 of the console's
    // units are 20 px to the left in a picture 640 wide.
    const std::vector<uint8_t> grey(640 * 480 * 3, 110);
    writeBytes(work("console.mpo"), cameraMpo(grey, grey, 640, 480, 1, -10.0f));
    const SRun r = run("--print-alignment pair.mpo flat.mpo console.mpo");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string number = "-?[0-9]+\\.[0-9]{2}";
    EXPECT_THAT(r.out,
                testing::MatchesRegex(
                    "pair\\.mpo\tdy=" + number + " rotation=" + number +
                    " scale=[0-9]\\.[0-9]{5} dx=" + number + " matches=[0-9]+ near=" + number +
                    " far=" + number + " source=matches\n" + "flat\\.mpo\tno alignment: [^\n]+\n" +
                    "console\\.mpo\tdy=0\\.00 rotation=0\\.00 scale=1\\.00000 "
                    "dx=-20\\.00 matches=0 near=0\\.00 far=0\\.00 source=camera-parallax\n"));
    // The right picture shows the scene 12 px lower and 30 px further left: it is brought
    // up and to the right; everything lies at one depth, which goes to the screen.
    double dy, degrees, scale, dx, nearest, farthest;
    ASSERT_EQ(std::sscanf(r.out.c_str(),
                          "pair.mpo\tdy=%lf rotation=%lf scale=%lf dx=%lf %*s near=%lf far=%lf",
                          &dy, &degrees, &scale, &dx, &nearest, &farthest),
              6);
    EXPECT_NEAR(dy, -kMovedDown, 0.5);
    EXPECT_NEAR(dx, kMovedLeft, 0.5);
    EXPECT_NEAR(degrees, 0.0, 0.05);
    EXPECT_NEAR(scale, 1.0, 0.002);
    EXPECT_NEAR(nearest, 0.0, 0.5);
    EXPECT_NEAR(farthest, 0.0, 0.5);
    // Nothing composed: no filters chosen, no file written.
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(filesIn(mWork.path()),
              (std::vector<std::string>{"console.mpo", "flat.mpo", "pair.mpo"}));
}

TEST_F(Converter, AnAlignedAnaglyphIsTheWarpedPairCutToWhatBothEyesSeeOrThePairWithALine) {
    writeBytes(work("pair.mpo"), sceneMpo(1));
    writeBytes(work("flat.mpo"), flatMpo(160, 120));
    SRun r = run("--print-alignment --align --quality 100 pair.mpo flat.mpo");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, testing::ContainsRegex("^pair\\.mpo\tdy=.*\nflat\\.mpo\tno alignment: "));
    const SAlignedPair aligned = alignedPair(work("pair.mpo"));
    EXPECT_NEAR(aligned.left->mWidth, kSceneWidth - kMovedLeft, 1);
    EXPECT_NEAR(aligned.left->mHeight, kSceneHeight - kMovedDown, 1);
    SDecoded anaglyph(readJpegFile(work("pair-anaglyph.jpg").c_str(), 0));
    EXPECT_LT(meanDifference(anaglyph.image, *expected(*aligned.left, *aligned.right, 1)),
              kJpegError);
    // Nothing to align: the pair as it is, and a line that says why.
    EXPECT_THAT(r.err, testing::ContainsRegex("\nflat\\.mpo: not aligned: [^\n]+\n$"));
    EXPECT_THAT(r.err, testing::Not(HasSubstr("pair.mpo")));
    SDecoded flat(readJpegFile(work("flat-anaglyph.jpg").c_str(), 0));
    EXPECT_EQ(flat.image.mWidth, 160);

    // Without --align the whole pair, as before; over the same part it is another picture.
    r = run("--quality 100 -o plain.jpg pair.mpo");
    ASSERT_EQ(r.status, 0) << r.err;
    SDecoded plain(readJpegFile(work("plain.jpg").c_str(), 0));
    ASSERT_EQ(plain.image.mWidth, kSceneWidth);
    ASSERT_EQ(plain.image.mHeight, kSceneHeight);
    const int x0 = kSceneWidth - aligned.left->mWidth;
    EXPECT_GT(meanDifference(anaglyph.image,
                             *crop(plain.image, x0, 0, kSceneWidth, aligned.left->mHeight)),
              4 * kJpegError);
}

TEST_F(Converter, LayoutsHoldTheUprightAlignedPicturesInTheirOrderWithTheLeftOnesExif) {
    // Stored sideways: the pictures stand upright, as high as the stored part is wide.
    writeBytes(work("pair.mpo"), sceneMpo(6));
    const SAlignedPair aligned = alignedPair(work("pair.mpo"));
    const SImageHandle left = turnedClockwise(*aligned.left);
    const SImageHandle right = turnedClockwise(*aligned.right);
    const int w = left->mWidth, h = left->mHeight;
    struct SCase {
        const char *arguments, *output;
        bool cross, marker;
    };
    for (const SCase& c : {SCase{"--layout parallel pair.mpo", "pair-parallel.jpg", false, false},
                           SCase{"--layout parallel -o p.JPS pair.mpo", "p.JPS", false, true},
                           SCase{"--layout cross pair.mpo", "pair-cross.jpg", true, false},
                           SCase{"--layout cross -o c.jps pair.mpo", "c.jps", true, true}}) {
        SCOPED_TRACE(c.arguments);
        const SRun r = run(std::string("--align --quality 100 ") + c.arguments);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");  // no filters for pictures that are no anaglyph
        SDecoded both(readJpegFile(work(c.output).c_str(), 0));
        ASSERT_EQ(both.image.mWidth, 2 * w);
        ASSERT_EQ(both.image.mHeight, h);
        const SImageHandle first = crop(both.image, 0, 0, w, h);
        EXPECT_LT(meanDifference(*first, c.cross ? *right : *left), kJpegError);
        EXPECT_LT(meanDifference(*crop(both.image, w, 0, 2 * w, h), c.cross ? *left : *right),
                  kJpegError);
        EXPECT_GT(meanDifference(*first, c.cross ? *left : *right), 4 * kJpegError);
        EXPECT_EQ(readExif(work(c.output)).mDateTime, kDate);
        // The JPS marker as a reader of stereo JPEGs takes it: side by side, and the
        // left eye's half first only in the parallel order.
        const std::vector<uint8_t> marker = app3Of(readText(work(c.output)));
        ASSERT_EQ(marker.size(), c.marker ? 16u : 0u);
        if (c.marker) {
            const std::string jps =
                runCommand("exiftool -s -JPS:all " + shellQuote(work(c.output))).mOutput;
            EXPECT_THAT(jps, testing::ContainsRegex("JPSType +: Stereo\n"));
            EXPECT_THAT(jps, testing::ContainsRegex("JPSLayout +: Side By Side\n"));
            if (c.cross)
                EXPECT_THAT(jps, testing::ContainsRegex("JPSFlags +: \\(none\\)\n"));
            else
                EXPECT_THAT(jps, testing::ContainsRegex("JPSFlags +: Left field first\n"));
        }
    }

    SRun r = run("--align --layout mpo --quality 100 pair.mpo");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string output = work("pair-aligned.mpo");
    EXPECT_EQ(identifyPicture(output).mKind, EPictureKind::Mpo);
    SDecoded first(readStereoJpegFile(output.c_str(), false));
    SDecoded second(readStereoJpegFile(output.c_str(), true));
    EXPECT_LT(meanDifference(first.image, *left), kJpegError);
    EXPECT_LT(meanDifference(second.image, *right), kJpegError);
    const SExifInfo info = readExif(output);
    EXPECT_EQ(info.mDateTime, kDate);
    EXPECT_EQ(info.mModel, "FinePix REAL 3D W3");
    EXPECT_EQ(info.mOrientation, 1);
    // Not aligned: the whole pair, under another name; and only .mpo names hold one.
    r = run("--layout mpo pair.mpo");
    ASSERT_EQ(r.status, 0) << r.err;
    SDecoded whole(readStereoJpegFile(work("pair-stereo.mpo").c_str(), true));
    EXPECT_EQ(whole.image.mHeight, kSceneWidth);
    r = run("--layout mpo -o pair.jpg pair.mpo");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("ERROR: pair.mpo: the output's name of a Multi-Picture file "
                                 "does not end in .mpo"));
    EXPECT_FALSE(exists(work("pair.jpg")));
}

TEST_F(Converter, TheViewersAlignmentIsAppliedAsGiven) {
    writeBytes(work("pair.mpo"), sceneMpo(1));
    SAnaglyphExport options;
    options.mAlign = true;
    SStereoAlignment given;
    given.mOk = true;
    given.mDx = 20;
    given.mDy = -7.5;
    given.mRotation = 0.02;
    given.mScale = 1.03;
    options.mAlignment = given;
    SStereoPair pair;
    std::string why;
    ASSERT_TRUE(prepareStereoPair(options, {work("pair.mpo"), {}}, &pair, &why)) << why;
    const SAlignedPair wanted = alignedPair(work("pair.mpo"), given);
    EXPECT_EQ(meanDifference(*pair.mLeft, *wanted.left), 0.0);
    // Up to the warp's fixed-point positions, which start elsewhere.
    EXPECT_LT(meanDifference(*pair.mRight, *wanted.right), 0.1);
}
