// ruvello-anaglyph as a user runs it: real MPO files made with the program's own writers,
// the real binary, its outputs read back with the project's decoders and Exif reader
// and with exiv2.
#include "converterfixture.h"

using testing::HasSubstr;
using testing::StartsWith;
using namespace convtest;

namespace {

int largestDifference(const SImage& a, const SImage& b) {
    int worst = 0;
    for (size_t i = 0; i < size_t(a.mWidth) * size_t(a.mHeight) * 3; ++i)
        worst = std::max(worst, std::abs(int(a.mPixels[i]) - int(b.mPixels[i])));
    return worst;
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

TEST_F(Converter, AFullDiskKeepsTheOutputThatWasThereAndSaysWhy) {
    CSmallFileSystem disk;
    if (!disk.available())
        GTEST_SKIP() << disk.skipReason();
    writeBytes(work("p.mpo"), mpo(64, 48, 1));
    const std::string output = disk.path("p.jpg");
    writeBytes(output, std::vector<uint8_t>(3000, 'o'));
    const std::string old = readText(output);
    ASSERT_TRUE(disk.fill());

    const SRun r = run("--overwrite -o " + shellQuote(output) + " p.mpo");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err,
                HasSubstr("ERROR: p.mpo: cannot write " + output + ": No space left on device\n"));
    EXPECT_EQ(readText(output), old);
    EXPECT_EQ(filesIn(disk.path()), (std::vector<std::string>{".filler", "p.jpg"}));
}

TEST_F(Converter, AnOutputWrittenEarlierInTheRunIsNeverReplacedInThatRun) {
    std::filesystem::create_directory(work("d1"));
    std::filesystem::create_directory_symlink("d1", work("link"));
    // Two different pairs whose names differ only in the case of the suffix.
    writeBytes(work("d1/x.mpo"), mpo(32, 24, 1));
    writeBytes(work("d1/x.MPO"), mpo(24, 32, 1));
    writeBytes(work("d1/y.mpo"), mpo(16, 16, 1));
    ASSERT_EQ(run("d1/x.mpo").status, 0);
    const std::string first = readText(work("d1/x-anaglyph.jpg"));
    ASSERT_FALSE(first.empty());

    // The second input by the same name, by another spelling of it, and through a link
    // to the folder, which only the written file's identity gives away.
    const std::pair<const char*, const char*> seconds[] = {{"d1/x.MPO", "d1/x-anaglyph.jpg"},
                                                           {"./d1/x.MPO", "./d1/x-anaglyph.jpg"},
                                                           {"link/x.MPO", "link/x-anaglyph.jpg"}};
    for (const auto& [second, output] : seconds) {
        SCOPED_TRACE(second);
        std::remove(work("d1/x-anaglyph.jpg").c_str());
        std::remove(work("d1/y-anaglyph.jpg").c_str());
        const SRun r = run(std::string("--overwrite d1/x.mpo ") + second + " d1/y.mpo");
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.err, HasSubstr(std::string("ERROR: ") + second + ": " + output +
                                     " was written from d1/x.mpo in this run; not replaced\n"));
        EXPECT_TRUE(readText(work("d1/x-anaglyph.jpg")) == first) << "the first output replaced";
        EXPECT_TRUE(exists(work("d1/y-anaglyph.jpg")));  // the others are still converted
    }
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
