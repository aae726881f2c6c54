// What the view hears of a file it asks for, on the loader threads' own path with the
// real libjpeg and libpng: a cut file shows as far as it goes with a note, and a file
// that cannot be read says why in the words the window shows.
#include "picturejob.h"

#include "jpegfixtures.h"
#include "pngio.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <jpeglib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace jpegfix;
using testing::MatchesRegex;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

// Busy pictures (noise over ramps), so that the compressed data spreads evenly over the
// rows and a cut at half the data is a cut near half the picture.
unsigned char noisy(int x, int y, int c) {
    unsigned v = unsigned(x * 73856093u) ^ unsigned(y * 19349663u) ^ unsigned(c * 83492791u);
    v ^= v >> 13;
    v *= 0x5bd1e995u;
    return (unsigned char)(((v >> 15) & 63) + (c == 0 ? x : c == 1 ? y : 90) % 192);
}

SPictureResult runLeft(const std::string& path) {
    const std::atomic<bool> never{false};
    SPictureJob job;
    job.mId = 1;
    job.mFile = path;
    job.mRgba = false;
    CaptureStderr();  // the libraries' own words about the damage
    SPictureResult result = runPictureJob(job, nullptr, never, nullptr);
    GetCapturedStderr();
    return result;
}

int percentIn(const std::string& reason) {
    return std::atoi(reason.c_str() + reason.find_first_of("0123456789"));
}

// Rows at the top equal the whole picture's; the last row is the decoders' grey.
void expectTopShownBottomGrey(const SImage& cut, const SImage& whole, int goodRows) {
    ASSERT_EQ(cut.mWidth, whole.mWidth);
    ASSERT_EQ(cut.mHeight, whole.mHeight);
    const size_t row = size_t(whole.mWidth) * 3;
    for (int y = 0; y < goodRows; y += 7)
        EXPECT_EQ(std::memcmp(cut.mPixels + row * y, whole.mPixels + row * y, row), 0)
            << "row " << y;
    const unsigned char* last = cut.mPixels + row * size_t(cut.mHeight - 1);
    for (size_t i = 0; i < row; i += 31)
        EXPECT_NEAR(last[i], 128, 2) << "sample " << i << " of the last row";
}

// A cut file is delivered with the share of it that was there, between low and high
// percent, and shows that share of the whole picture's rows.
void expectCutShowsItsTop(const SPictureResult& cut, const SPictureResult& whole, int low,
                          int high) {
    ASSERT_EQ(whole.mOutcome, EOutcome::Delivered);
    ASSERT_EQ(cut.mOutcome, EOutcome::Delivered) << cut.mReason;
    EXPECT_THAT(cut.mReason, MatchesRegex("truncated after [0-9]+ %"));
    const int percent = percentIn(cut.mReason);
    EXPECT_GE(percent, low);
    EXPECT_LE(percent, high);
    expectTopShownBottomGrey(*cut.mImage, *whole.mImage, whole.mImage->mHeight * percent / 100);
}

class PictureJob : public testing::Test {
protected:
    CTempDir mDir;
};

}  // namespace

TEST_F(PictureJob, ACutJpegShowsAsFarAsItGoesWithHowMuchWasThere) {
    const Bytes whole = encodeSamples(320, 240, JCS_RGB, 3, [](int x, int y, unsigned char* out) {
        for (int c = 0; c < 3; ++c)
            out[c] = noisy(x, y, c);
    });
    const size_t start = entropyStart(whole);
    Bytes cut(whole.begin(), whole.begin() + long(start + (whole.size() - start) / 2));
    const SPictureResult full = runLeft(mDir.write("whole.jpg", whole));
    const SPictureResult half = runLeft(mDir.write("cut.jpg", cut));
    EXPECT_EQ(full.mReason, "");
    expectCutShowsItsTop(half, full, 40, 55);

    // An end-of-image marker in the middle: the data is damaged, not cut.
    Bytes damaged = whole;
    const size_t middle = start + (whole.size() - start) / 2;
    damaged[middle] = 0xFF;
    damaged[middle + 1] = 0xD9;
    const SPictureResult broken = runLeft(mDir.write("damaged.jpg", damaged));
    ASSERT_EQ(broken.mOutcome, EOutcome::Delivered);
    EXPECT_THAT(broken.mReason, MatchesRegex("damaged after [0-9]+ %"));
}

TEST_F(PictureJob, ACutPngShowsAsFarAsItGoesWithHowMuchWasThere) {
    SImage picture;
    picture.mWidth = 400;
    picture.mHeight = 300;
    std::vector<unsigned char> pixels(400 * 300 * 3);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 400; ++x)
            for (int c = 0; c < 3; ++c)
                pixels[(size_t(y) * 400 + x) * 3 + c] = noisy(x, y, c);
    picture.mPixels = pixels.data();
    const std::string wholePath = mDir.path() + "/whole.png";
    ASSERT_TRUE(writePngFile(wholePath.c_str(), picture));
    FILE* file = std::fopen(wholePath.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    Bytes whole(size_t(1) << 20);
    whole.resize(std::fread(whole.data(), 1, whole.size(), file));
    std::fclose(file);
    // Cut at three tenths of the picture data (the writer splits it into several chunks).
    const char idat[] = "IDAT";
    const size_t at =
        size_t(std::search(whole.begin(), whole.end(), idat, idat + 4) - whole.begin());
    ASSERT_LT(at, whole.size());
    const Bytes cut(whole.begin(), whole.begin() + long(at + (whole.size() - at) * 3 / 10));

    const SPictureResult full = runLeft(wholePath);
    const SPictureResult part = runLeft(mDir.write("cut.png", cut));
    expectCutShowsItsTop(part, full, 20, 35);
}

TEST_F(PictureJob, AFileThatCannotBeReadSaysWhyInOneForm) {
    const std::pair<std::string, std::string> cases[] = {
        {mDir.write("empty.jpg", {}), "cannot read: the file is empty"},
        {mDir.write("notes.jpg", {'h', 'e', 'l', 'l', 'o'}),
         "cannot read: not a JPEG, PNG or MPO file"},
        {mDir.path() + "/gone.jpg", "cannot read: No such file or directory"},
    };
    for (const auto& [path, reason] : cases) {
        const SPictureResult result = runLeft(path);
        EXPECT_EQ(result.mOutcome, EOutcome::Failed) << path;
        EXPECT_EQ(result.mReason, reason) << path;
    }
    // A decoder's own words come in the same form.
    Bytes header = encodeSamples(
        16, 16, JCS_RGB, 3, [](int, int, unsigned char* out) { out[0] = out[1] = out[2] = 7; });
    header.resize(entropyStart(header) - 40);
    const SPictureResult early = runLeft(mDir.write("header.jpg", header));
    EXPECT_EQ(early.mOutcome, EOutcome::Failed);
    EXPECT_THAT(early.mReason, MatchesRegex("cannot read: .+"));
}

TEST_F(PictureJob, AFileThatMayNotBeReadSaysPermissionDenied) {
    const std::string path = mDir.write("private.jpg", {0xFF, 0xD8, 0xFF, 0xE0});
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    if (::geteuid() != 0) {
        EXPECT_EQ(runLeft(path).mReason, "cannot read: Permission denied");
        return;
    }
    // The superuser reads everything: the job runs as nobody, in a child process.
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeEnds[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(2);
        const std::string reason = runLeft(path).mReason;
        const ssize_t written = ::write(pipeEnds[1], reason.data(), reason.size());
        ::_exit(written == ssize_t(reason.size()) ? 0 : 3);
    }
    ::close(pipeEnds[1]);
    char buffer[256];
    const ssize_t got = ::read(pipeEnds[0], buffer, sizeof buffer);
    ::close(pipeEnds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(std::string(buffer, size_t(std::max<ssize_t>(got, 0))),
              "cannot read: Permission denied");
}
