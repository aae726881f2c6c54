// ruvello-anaglyph as a user runs it: real MPO files made with the program's own writers,
// the real binary, its outputs read back with the project's decoders and Exif reader
// and with exiv2.
#include "align.h"
#include "anaglyphExport.h"
#include "anaglyphImage.h"
#include "calibFit.h"
#include "exif.h"
#include "exifwrite.h"
#include "jpegio.h"
#include "jpegwrite.h"
#include "mpowrite.h"
#include "picturekind.h"
#include "pngEncode.h"
#include "pngio.h"
#include "scopedenv.h"
#include "tempfolder.h"
#include "writehelpers.h"

#include <gmock/gmock.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>
#include <sstream>

using testing::HasSubstr;
using testing::StartsWith;
using writetest::runCommand;
using writetest::SCommandResult;
using writetest::shellQuote;

namespace {

const char* const kDate = "2021:06:05 14:03:02";

// Smooth colours that differ between the views, so that a swapped, turned or shifted
// view shows in the anaglyph.
std::vector<uint8_t> view(int width, int height, bool right) {
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
            p[0] = uint8_t(right ? 40 + x * 2 : 30 + x * 3);
            p[1] = uint8_t(right ? 200 - y * 2 : 60 + y);
            p[2] = uint8_t(right ? 90 + x + y : 180 - x);
        }
    return rgb;
}

std::vector<uint8_t> jpeg(int width, int height, bool right, const SExifWrite* exif) {
    SJpegWrite options;
    options.mQuality = 95;
    if (exif)
        options.mApp1 = buildExifPayload(*exif);
    return encodeJpeg(view(width, height, right).data(), width, height, options);
}

// A stereo MPO as a camera writes it: the date, camera and orientation in the left
// picture's Exif block.
std::vector<uint8_t> mpoOf(const std::vector<uint8_t>& left, const std::vector<uint8_t>& right,
                           int width, int height, int orientation) {
    SExifWrite exif;
    exif.mDateTime = kDate;
    exif.mOrientation = orientation;
    exif.mMake = "FUJIFILM";
    exif.mModel = "FinePix REAL 3D W3";
    SJpegWrite options;
    options.mQuality = 95;
    const std::vector<uint8_t> second = encodeJpeg(right.data(), width, height, options);
    options.mApp1 = buildExifPayload(exif);
    return buildMpoFile(encodeJpeg(left.data(), width, height, options), second, 0.075);
}

std::vector<uint8_t> mpo(int width, int height, int orientation) {
    return mpoOf(view(width, height, false), view(width, height, true), width, height, orientation);
}

struct SDecoded {
    explicit SDecoded(SImageHandle decoded) : handle(std::move(decoded)), image(*handle) {}
    SImageHandle handle;
    SImage image;  // the handle's record
};

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string readText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct SRun {
    int status;
    std::string out, err;
};

class Converter : public testing::Test {
protected:
    // Runs the converter in the test's working directory with a configuration folder of
    // its own.
    SRun run(const std::string& arguments) {
        const std::string errFile = mScratch.path("stderr.txt");
        const SCommandResult result =
            runCommand("cd " + shellQuote(mWork.path()) + " && " + RUVELLO_ANAGLYPH + " " +
                       arguments + " 2>" + shellQuote(errFile));
        return {result.mStatus, result.mOutput, readText(errFile)};
    }
    std::string work(const std::string& name) const { return mWork.path(name); }

    // What the anaglyph of the two pictures must be: the library's composite of what
    // the decoder makes of them.
    static SImageHandle expected(const SImage& left, const SImage& right, int orientation,
                                 const SAnaglyphSettings& base = SAnaglyphSettings()) {
        SAnaglyphSettings settings = base;
        settings.mOrientation = orientation;
        return composeAnaglyph(left, right, settings);
    }

    CTempFolder mWork, mScratch, mConfig;
    CScopedEnv mConfigHome{"XDG_CONFIG_HOME", mConfig.path()};
};

int largestDifference(const SImage& a, const SImage& b) {
    int worst = 0;
    for (size_t i = 0; i < size_t(a.mWidth) * size_t(a.mHeight) * 3; ++i)
        worst = std::max(worst, std::abs(int(a.mPixels[i]) - int(b.mPixels[i])));
    return worst;
}

// Turned a quarter clockwise (as orientation 6 shows a picture) or back: w x h RGB in,
// h x w out.
std::vector<uint8_t> turn(const uint8_t* rgb, int w, int h, bool clockwise) {
    std::vector<uint8_t> out(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < w; ++y)
        for (int x = 0; x < h; ++x)
            std::copy_n(
                rgb + (clockwise ? size_t(h - 1 - x) * w + y : size_t(x) * w + w - 1 - y) * 3, 3,
                &out[(size_t(y) * h + x) * 3]);
    return out;
}

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

SImageHandle picture(int width, int height, const uint8_t* rgb) {
    SImage shape;
    shape.mWidth = width;
    shape.mHeight = height;
    const SImageHandle image = allocateImage(shape);
    EXPECT_NE(image->mPixels, nullptr);
    if (image->mPixels)
        std::copy_n(rgb, size_t(width) * size_t(height) * 3, image->mPixels);
    return image;
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
// default the aligner's answer for the pictures as the decoder gives them, which is what
// the converter applies (the aligner is deterministic).
struct SAlignedPair {
    SImageHandle left, right;
};

SAlignedPair alignedPair(const std::string& mpoFile,
                         const std::optional<SStereoAlignment>& given = std::nullopt) {
    const SImageHandle left = readStereoJpegFile(mpoFile.c_str(), false);
    const SImageHandle right = readStereoJpegFile(mpoFile.c_str(), true);
    const SStereoAlignment a = given ? *given : alignStereoPair(*left, *right);
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

TEST_F(Converter, AnMpoBecomesAnUprightJpegWithTheLeftPicturesDateAndCamera) {
    writeBytes(work("pair.mpo"), mpo(64, 48, 6));
    const SRun r = run("--quality 100 --out-dir out pair.mpo");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, StartsWith("calibration: the built-in filters (no ui-calib.txt in the "
                                  "working directory or in " +
                                  mConfig.path() + "/Ruvello/Ruvello)\n"));
    const std::string output = work("out/pair-anaglyph.jpg");
    ASSERT_TRUE(exists(output));

    // Turned upright: the stored 64 x 48 pictures stand 48 wide and 64 high.
    SDecoded anaglyph(readJpegFile(output.c_str(), 0));
    ASSERT_EQ(anaglyph.image.mWidth, 48);
    ASSERT_EQ(anaglyph.image.mHeight, 64);
    SDecoded left(readStereoJpegFile(work("pair.mpo").c_str(), false));
    SDecoded right(readStereoJpegFile(work("pair.mpo").c_str(), true));
    const SImageHandle wanted = expected(left.image, right.image, 6);
    EXPECT_LE(largestDifference(anaglyph.image, *wanted), 8);  // JPEG at quality 100

    const SExifInfo info = readExif(output);
    EXPECT_EQ(info.mDateTime, kDate);
    EXPECT_EQ(info.mOrientation, 1);
    EXPECT_EQ(info.mMake, "FUJIFILM");
    EXPECT_EQ(info.mModel, "FinePix REAL 3D W3");
    const SCommandResult exiv2 =
        runCommand("exiv2 -q -Pkv -K Exif.Photo.DateTimeOriginal -K Exif.Image.Orientation " +
                   shellQuote(output));
    EXPECT_EQ(exiv2.mStatus, 0);
    EXPECT_THAT(exiv2.mOutput,
                testing::ContainsRegex("Exif.Photo.DateTimeOriginal +2021:06:05 14:03:02\n"));
    EXPECT_THAT(exiv2.mOutput, testing::ContainsRegex("Exif.Image.Orientation +1\n"));
}

TEST_F(Converter, APairOfPicturesGivesExactlyTheCompositeAsPng) {
    writeBytes(work("l.jpg"), jpeg(40, 30, false, nullptr));
    writeBytes(work("r.jpg"), jpeg(20, 15, true, nullptr));
    // Of different sizes: no anaglyph, unless the right one may be stretched over the left.
    SRun r = run("--mode half --restricted-range --shift 3 --pair l.jpg r.jpg -o a.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("ERROR: l.jpg: the pictures differ in size: 40 x 30 and "
                                 "20 x 15"));
    EXPECT_FALSE(exists(work("a.png")));
    r = run("--mode half --restricted-range --shift 3 --fit --pair l.jpg r.jpg -o a.png");
    ASSERT_EQ(r.status, 0) << r.err;
    SDecoded png(readPngFile(work("a.png").c_str()));
    ASSERT_EQ(png.image.mWidth, 40);
    ASSERT_EQ(png.image.mChannels, 3);
    SDecoded left(readJpegFile(work("l.jpg").c_str(), 0));
    SDecoded right(readJpegFile(work("r.jpg").c_str(), 0));
    SAnaglyphSettings settings;
    settings.mMode = 1;
    settings.mRestrictedRange = true;
    settings.mShift = 3;
    const SImageHandle wanted = expected(left.image, right.image, 1, settings);
    EXPECT_EQ(largestDifference(png.image, *wanted), 0);
}

TEST_F(Converter, EachPictureOfAPairIsTurnedByItsOwnOrientation) {
    writeBytes(work("l.jpg"), jpeg(40, 32, false, nullptr));
    // The right view stored sideways, 32 x 40, as a camera held upright stores it.
    SExifWrite exif;
    exif.mOrientation = 6;
    SJpegWrite options;
    options.mApp1 = buildExifPayload(exif);
    writeBytes(work("r6.jpg"),
               encodeJpeg(turn(view(40, 32, true).data(), 40, 32, false).data(), 32, 40, options));
    // Its very pixels turned upright by the test, kept exactly in a PNG.
    SDecoded stored(readJpegFile(work("r6.jpg").c_str(), 0));
    ASSERT_EQ(stored.image.mWidth, 32);
    std::string why;
    writeBytes(work("r.png"),
               encodePng(turn(stored.image.mPixels, 32, 40, true).data(), 40, 32, &why));

    for (const char* pairs : {"l.jpg r6.jpg -o a.png", "l.jpg r.png -o b.png",
                              "r6.jpg l.jpg -o c.png", "r.png l.jpg -o d.png"}) {
        const SRun r = run(std::string("--pair ") + pairs);
        ASSERT_EQ(r.status, 0) << pairs << r.err;
    }
    for (const auto& [made, wanted] :
         {std::pair<const char*, const char*>{"a.png", "b.png"}, {"c.png", "d.png"}}) {
        SDecoded turned(readPngFile(work(made).c_str()));
        SDecoded upright(readPngFile(work(wanted).c_str()));
        ASSERT_EQ(turned.image.mWidth, 40) << made;
        ASSERT_EQ(turned.image.mHeight, 32) << made;
        EXPECT_LE(largestDifference(turned.image, upright.image), 2) << made;
    }
}

TEST_F(Converter, TheCalibrationComesFromTheOptionTheWorkingDirectoryOrTheConfiguration) {
    writeBytes(work("l.jpg"), jpeg(16, 8, false, nullptr));
    writeBytes(work("r.jpg"), jpeg(16, 8, true, nullptr));
    std::string text =
        "version = 0.4.0.0\nnum = 3\n255 0 0 200\n0 255 0 90\n0 0 255 40\n"
        "255 0 0 30\n0 255 0 210\n0 0 255 120\n";
    std::ofstream(mScratch.path("mine.txt")) << text;
    SLoadedCalibration loaded;
    ASSERT_TRUE(loadCalibration(mScratch.path("mine.txt"), true, &loaded, nullptr));
    const SCalibFit& fit = loaded.mFit;

    SRun r =
        run("--calib " + shellQuote(mScratch.path("mine.txt")) + " --pair l.jpg r.jpg -o a.png");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, StartsWith("calibration: " + mScratch.path("mine.txt") + ": " +
                                  calibFitSummary(fit) + "\n"));
    SDecoded left(readJpegFile(work("l.jpg").c_str(), 0));
    SDecoded right(readJpegFile(work("r.jpg").c_str(), 0));
    SAnaglyphSettings settings;
    settings.a_l = fit.mFilter[0][0], settings.b_l = fit.mFilter[0][1];
    settings.a_r = fit.mFilter[1][0], settings.b_r = fit.mFilter[1][1];
    settings.gamma = fit.mGamma;
    {
        SDecoded png(readPngFile(work("a.png").c_str()));
        EXPECT_EQ(largestDifference(png.image, *expected(left.image, right.image, 1, settings)), 0);
        EXPECT_GT(largestDifference(png.image, *expected(left.image, right.image, 1)), 10);
    }

    // Without the option: the viewer's start-up search, the configuration folder...
    std::filesystem::create_directories(mConfig.path() + "/Ruvello/Ruvello");
    std::ofstream(mConfig.path() + "/Ruvello/Ruvello/ui-calib.txt") << text;
    r = run("--overwrite --pair l.jpg r.jpg -o a.png");
    EXPECT_THAT(r.err,
                StartsWith("calibration: " + mConfig.path() + "/Ruvello/Ruvello/ui-calib.txt"));
    // ...after the working directory's file, which, broken, leaves the built-in filters.
    std::ofstream(work("ui-calib.txt")) << "version = 0.4.0.0\nnum = 3\n";
    r = run("--overwrite --pair l.jpg r.jpg -o a.png");
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.err, StartsWith("calibration: the built-in filters, because ui-calib.txt: "
                                  "the file ends before"));
    SDecoded png(readPngFile(work("a.png").c_str()));
    EXPECT_EQ(largestDifference(png.image, *expected(left.image, right.image, 1)), 0);

    // A file named on the command line that cannot be used ends the run at once.
    r = run("--calib " + shellQuote(work("ui-calib.txt")) +
            " --overwrite --pair l.jpg r.jpg -o b.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("ERROR: cannot use the calibration: "));
    EXPECT_FALSE(exists(work("b.png")));
}

TEST_F(Converter, AFolderWithBrokenFilesConvertsTheRestAndExitsOne) {
    std::filesystem::create_directories(work("in"));
    writeBytes(work("in/a.mpo"), mpo(32, 24, 1));
    writeBytes(work("in/c.MPO"), mpo(32, 24, 3));
    // The first picture claims a coding process the decoder does not know.
    std::vector<uint8_t> broken = mpo(32, 24, 1);
    for (size_t i = 2; i + 1 < broken.size(); ++i)
        if (broken[i] == 0xFF && broken[i + 1] == 0xC0) {
            broken[i + 1] = 0xC3;
            break;
        }
    writeBytes(work("in/b.mpo"), broken);
    writeBytes(work("in/flat.mpo"), jpeg(32, 24, false, nullptr));  // no second picture
    writeBytes(work("in/notes.txt"), {'x'});

    const SRun r = run("--out-dir out in");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(filesIn(work("out")), (std::vector<std::string>{"a-anaglyph.jpg", "c-anaglyph.jpg"}));
    EXPECT_THAT(r.err,
                testing::ContainsRegex("ERROR: in/b\\.mpo: cannot decode the left picture\n"));
    EXPECT_THAT(r.err,
                testing::ContainsRegex(
                    "ERROR: in/flat\\.mpo: no second picture: not a stereo \\(MPO\\) file\n"));
    EXPECT_THAT(r.err, testing::Not(HasSubstr("[1/4]")));  // no progress into a file
    SDecoded c(readJpegFile(work("out/c-anaglyph.jpg").c_str(), 0));
    EXPECT_EQ(c.image.mWidth, 32);
}

TEST_F(Converter, AnMpoWhoseSecondPictureIsNoViewFailsAndTheNextInputIsConverted) {
    // A grey map of another size, its MP type undefined, as some phones write them.
    std::vector<uint8_t> map =
        buildMpoFile(jpeg(32, 24, false, nullptr), jpeg(20, 26, true, nullptr), 0.075);
    const uint8_t first[] = {0x20, 0x02, 0x00, 0x02};  // MP entry 1's attribute; entry 2's follows
    const auto at = std::search(map.begin(), map.end(), first, first + 4) + 16;
    ASSERT_TRUE(std::equal(first + 1, first + 4, at + 1));
    std::fill(at, at + 4, 0);
    writeBytes(work("map.mpo"), map);
    writeBytes(work("pair.mpo"), mpo(32, 24, 1));

    const SRun r = run("--out-dir out map.mpo pair.mpo");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("ERROR: map.mpo: the second picture (20 x 26, MP type 0x000000) "
                                 "is not a second view: the first picture is 32 x 24\n"));
    EXPECT_EQ(filesIn(work("out")), (std::vector<std::string>{"pair-anaglyph.jpg"}));
}

TEST_F(Converter, ExistingOutputsAreKeptUnlessOverwrittenAndInputsNeverAre) {
    writeBytes(work("p.mpo"), mpo(16, 16, 1));
    std::ofstream(work("p-anaglyph.jpg")) << "mine";
    SRun r = run("p.mpo");
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.err, HasSubstr("p-anaglyph.jpg exists and is kept (--overwrite replaces it)"));
    EXPECT_EQ(readText(work("p-anaglyph.jpg")), "mine");

    // Kept, and still one line of --print-alignment for it.
    r = run("--print-alignment --align p.mpo");
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.out, StartsWith("p.mpo\tno alignment: "));
    EXPECT_EQ(readText(work("p-anaglyph.jpg")), "mine");

    r = run("--overwrite p.mpo");
    EXPECT_EQ(r.status, 0) << r.err;
    SDecoded replaced(readJpegFile(work("p-anaglyph.jpg").c_str(), 0));
    EXPECT_EQ(replaced.image.mWidth, 16);

    const std::string input = readText(work("p.mpo"));
    ASSERT_EQ(std::rename(work("p.mpo").c_str(), work("p.jpg").c_str()), 0);
    r = run("--overwrite -o p.jpg p.jpg");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("p.jpg: its output p.jpg is one of the inputs"));
    EXPECT_EQ(readText(work("p.jpg")), input);
    EXPECT_EQ(filesIn(mWork.path()), (std::vector<std::string>{"p-anaglyph.jpg", "p.jpg"}));
}

TEST_F(Converter, AnOutputFolderThatCannotBeWrittenFailsWithNothingLeftBehind) {
    writeBytes(work("p.mpo"), mpo(16, 16, 1));
    // Below a regular file no folder can be made or written, not even by root, whom
    // permission bits would not stop.
    std::ofstream(work("file")) << "x";
    SRun r = run("--out-dir file/out p.mpo");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("ERROR: cannot make the folder file/out: "));
    r = run("-o file/p.jpg p.mpo");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("ERROR: p.mpo: cannot write into file: Not a directory"));
    EXPECT_EQ(filesIn(mWork.path()), (std::vector<std::string>{"file", "p.mpo"}));
}

TEST_F(Converter, HelpVersionAndWrongCommandLines) {
    SRun r = run("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ruvello-anaglyph 1.1.1\n");
    r = run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.out, StartsWith("Usage: ruvello-anaglyph [options] INPUT...\n"));
    EXPECT_EQ(r.err, "");
    for (const char* wrong :
         {"", "--mode sepia a.mpo", "--quality 0 a.mpo", "--shift x a.mpo", "--frobnicate a.mpo",
          "-o x.jpg --out-dir d a.mpo", "--pair l.jpg", "--pair l.jpg r.jpg more.mpo",
          "--fit a.mpo", "--layout sideways a.mpo", "--layout parallel --shift 2 a.mpo",
          "--layout mpo --no-halo-removal a.mpo"}) {
        r = run(wrong);
        EXPECT_EQ(r.status, 2) << wrong;
        EXPECT_THAT(r.err, HasSubstr("Usage: ")) << wrong;
    }
    writeBytes(work("a.mpo"), mpo(16, 16, 1));
    writeBytes(work("b.mpo"), mpo(16, 16, 1));
    r = run("-o x.jpg a.mpo b.mpo");
    EXPECT_EQ(r.status, 2);
    EXPECT_FALSE(exists(work("x.jpg")));
}

TEST_F(Converter, PrintAlignmentTellsHowTheRightPictureIsBroughtOntoTheLeftOneAndWritesNothing) {
    writeBytes(work("pair.mpo"), sceneMpo(1));
    writeBytes(work("flat.mpo"), flatMpo(160, 120));
    const SRun r = run("--print-alignment pair.mpo flat.mpo");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string number = "-?[0-9]+\\.[0-9]{2}";
    EXPECT_THAT(r.out, testing::MatchesRegex("pair\\.mpo\tdy=" + number + " rotation=" + number +
                                             " scale=[0-9]\\.[0-9]{5} dx=" + number +
                                             " matches=[0-9]+ near=" + number + " far=" + number +
                                             "\nflat\\.mpo\tno alignment: [^\n]+\n"));
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
    EXPECT_EQ(filesIn(mWork.path()), (std::vector<std::string>{"flat.mpo", "pair.mpo"}));
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
        // The JPS marker: "_JPSJPS_", the descriptor's length (4) and the descriptor: a
        // stereo picture (1), side by side (2 << 16), the left eye's half first (4 << 8)
        // only in the parallel order.
        const std::vector<uint8_t> marker = app3Of(readText(work(c.output)));
        ASSERT_EQ(marker.size(), c.marker ? 16u : 0u);
        if (c.marker) {
            EXPECT_EQ(std::string(marker.begin(), marker.begin() + 10),
                      std::string("_JPSJPS_\0\4", 10));
            EXPECT_EQ(uint32_t(marker[10]) << 24 | marker[11] << 16 | marker[12] << 8 | marker[13],
                      c.cross ? 0x00020001u : 0x00020401u);
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
