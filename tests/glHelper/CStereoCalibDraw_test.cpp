// The calibration screen on real GL: drawn into a framebuffer object of a known size
// and read back, pixel by pixel where the face picture decides what must show.
#include "glHelper.h"

#include "CStereoCalib.h"
#include "GLTestContext.h"
#include "pngio.h"
#include "tempfolder.h"

#include <gmock/gmock.h>

#include <cstdlib>
#include <memory>
#include <unistd.h>

using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

using RGB8 = std::array<int, 3>;

// One byte per pixel, first row at the top, as the screen is meant to show it.
struct SFace {
    int w = 0, h = 0;
    std::vector<uint8_t> v;
    bool bright(int x, int y) const { return v[size_t(y * w + x)] > 127; }
};

SFace firstChannelOf(const char* path) {
    const SImageHandle image = readPngFile(path);
    SFace face{image->mWidth, image->mHeight, {}};
    for (int i = 0; i < image->mWidth * image->mHeight; ++i)
        face.v.push_back(image->mPixels[i * image->mChannels]);
    return face;
}

struct SBox {
    int x0, y0, x1, y1;  // inclusive, in framebuffer pixels
    bool contains(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

class StereoCalibDraw : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        char buffer[4096];
        mOldFolder = getcwd(buffer, sizeof buffer) ? buffer : ".";
        // No face picture of the build folder may stand in for the compiled-in one.
        ASSERT_EQ(chdir(mFolder.path().c_str()), 0);
        mCalib = std::make_unique<CStereoCalib>();
    }
    void TearDown() override {
        mCalib.reset();
        EXPECT_EQ(chdir(mOldFolder.c_str()), 0);
    }

    // Draws into a new framebuffer and keeps its pixels; returns what was printed.
    std::string draw(int w, int h) {
        TestFramebuffer fb(w, h);
        glClearColor(0, 0, 0, 0);
        CaptureStderr();
        mCalib->draw(w, h);
        mWidth = w;
        mPixels = fb.pixels();
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
        return GetCapturedStderr();
    }
    RGB8 at(int x, int y) const {
        const uint8_t* p = &mPixels[size_t(y * mWidth + x) * 4];
        return {p[0], p[1], p[2]};
    }
    // Pixels of the patch at (x0, y0), pw x ph, that show neither the grey where the
    // face is bright nor the colour elsewhere. A shrunk face's edges may fall either
    // way; those pixels are left out then.
    int wrongPixels(int x0, int y0, int pw, int ph, const SFace& face, RGB8 color, int gray,
                    const std::vector<SBox>& skip = {}) const {
        int wrong = 0;
        for (int py = 0; py < ph; ++py) {
            for (int px = 0; px < pw; ++px) {
                if (std::any_of(skip.begin(), skip.end(),
                                [&](const SBox& b) { return b.contains(x0 + px, y0 + py); }))
                    continue;
                const int tx = int((px + 0.5) * face.w / pw);
                const int ty = face.h - 1 - int((py + 0.5) * face.h / ph);
                const bool bright = face.bright(tx, ty);
                if (pw != face.w) {
                    bool edge = false;
                    for (int dy = -1; dy <= 1; ++dy)
                        for (int dx = -1; dx <= 1; ++dx)
                            edge =
                                edge || face.bright(std::clamp(tx + dx, 0, face.w - 1),
                                                    std::clamp(ty + dy, 0, face.h - 1)) != bright;
                    if (edge)
                        continue;
                }
                const RGB8 expected = bright ? RGB8{gray, gray, gray} : color;
                const RGB8 actual = at(x0 + px, y0 + py);
                for (int k = 0; k < 3; ++k)
                    wrong += std::abs(actual[size_t(k)] - expected[size_t(k)]) > 1;
            }
        }
        return wrong;
    }
    bool black(int x, int y) const { return at(x, y) == RGB8{0, 0, 0}; }
    bool white(int x, int y) const { return at(x, y) == RGB8{255, 255, 255}; }

    CTempFolder mFolder;
    std::string mOldFolder;
    std::unique_ptr<CStereoCalib> mCalib;
    int mWidth = 0;
    std::vector<uint8_t> mPixels;
};

// skip with the frame around the marked patch at (x0, y0): six pixels along each edge.
std::vector<SBox> framed(int x0, int y0, int pw, int ph, std::vector<SBox> skip) {
    const int x1 = x0 + pw - 1, y1 = y0 + ph - 1;
    skip.insert(
        skip.end(),
        {{x0, y0, x1, y0 + 5}, {x0, y1 - 5, x1, y1}, {x0, y0, x0 + 5, y1}, {x1 - 5, y0, x1, y1}});
    return skip;
}

const SFace& storedFace() {
    static const SFace face = firstChannelOf(RUVELLO_SHADER_DIR "/../images/dface.png");
    return face;
}

}  // namespace

TEST_F(StereoCalibDraw, ThreePatchesAtLeftCentreAndRightWithTheFaceInGrey) {
    const SFace& face = storedFace();
    ASSERT_EQ(face.w, 512);
    EXPECT_EQ(draw(1600, 600), "");
    EXPECT_EQ(mCalib->mFaceWidth, 512);
    EXPECT_EQ(mCalib->mFaceHeight, 512);
    // 64 pixels to spare: half of them between two patches.
    const SBox diamond{482 + 9, 512 - 26, 482 + 21, 512 - 14}, arrow{774, 294, 826, 306};
    EXPECT_EQ(
        wrongPixels(0, 0, 512, 512, face, {255, 0, 0}, 128, framed(0, 0, 512, 512, {diamond})), 0);
    // The marked patch's frame: white outside, black inside, on every edge.
    for (const auto& [outer, inner] :
         std::vector<std::pair<std::array<int, 2>, std::array<int, 2>>>{{{1, 256}, {4, 256}},
                                                                        {{510, 256}, {507, 256}},
                                                                        {{256, 1}, {256, 4}},
                                                                        {{256, 510}, {256, 507}}}) {
        EXPECT_TRUE(white(outer[0], outer[1])) << outer[0] << "," << outer[1];
        EXPECT_TRUE(black(inner[0], inner[1])) << inner[0] << "," << inner[1];
    }
    EXPECT_EQ(wrongPixels(544, 0, 512, 512, face, {0, 255, 0}, 128, {arrow}), 0);
    EXPECT_EQ(wrongPixels(1088, 0, 512, 512, face, {0, 0, 255}, 128), 0);
    for (int x : {512, 543, 1056, 1087})
        EXPECT_TRUE(black(x, 100)) << x;
    EXPECT_TRUE(black(100, 512));

    // The diamond on the selected patch, at its top right: black below, white above.
    EXPECT_TRUE(black(482 + 15, 512 - 22));
    const RGB8 top = at(482 + 15, 512 - 17);
    EXPECT_GT(top[0], 100);
    EXPECT_EQ(top[0], top[2]);
    // The arrow points to the left eye.
    EXPECT_TRUE(white(800 - 15, 300));
    EXPECT_FALSE(white(800 + 15, 300));

    mCalib->keyboard('e');
    mCalib->keyboard('d');
    mCalib->mPatches[1][0].level = 200;
    draw(1600, 600);
    EXPECT_TRUE(white(800 + 15, 300));
    EXPECT_FALSE(white(800 - 15, 300));
    EXPECT_EQ(wrongPixels(0, 0, 512, 512, face, {255, 0, 0}, 200), 0);
    EXPECT_TRUE(black(544 + 482 + 15, 512 - 22));  // moved to the green patch
}

TEST_F(StereoCalibDraw, OddTriplesAtTheTopInColourAdjustment) {
    const SFace& face = storedFace();
    mCalib->mAdjustGray = false;
    for (auto& list : mCalib->mPatches) {
        list.push_back({0, 255, 255, 0});
        list.push_back({255, 0, 255, 100});   // towards white
        list.push_back({255, 255, 0, -128});  // towards black
    }
    mCalib->mCurrent = 4;
    draw(1600, 700);
    const int y = 700 - 512;
    // Group 0's grey is 1/2, shown as 128/255.
    const SBox diamond{544 + 9, y + 512 - 26, 544 + 21, y + 512 - 14}, arrow{774, 344, 826, 356};
    EXPECT_EQ(wrongPixels(0, y, 512, 512, face, {0, 255, 255}, 128), 0);
    EXPECT_EQ(wrongPixels(544, y, 512, 512, face, {255, 100, 255}, 128,
                          framed(544, y, 512, 512, {diamond, arrow})),
              0);
    EXPECT_EQ(wrongPixels(1088, y, 512, 512, face, {127, 127, 0}, 128), 0);
    EXPECT_TRUE(black(100, y - 1));
    // The diamond sits at the top left in colour adjustment.
    EXPECT_TRUE(black(544 + 15, y + 512 - 22));
}

TEST_F(StereoCalibDraw, NarrowWindowShrinksAllThreePatchesAlike) {
    const SFace& face = storedFace();
    draw(900, 400);  // 900 / (3 * 512): patches of 300 x 300, side by side
    const SBox diamond{270 + 9, 300 - 26, 270 + 21, 300 - 14}, arrow{424, 194, 476, 206};
    EXPECT_EQ(
        wrongPixels(0, 0, 300, 300, face, {255, 0, 0}, 128, framed(0, 0, 300, 300, {diamond})), 0);
    EXPECT_EQ(wrongPixels(300, 0, 300, 300, face, {0, 255, 0}, 128, {arrow}), 0);
    EXPECT_EQ(wrongPixels(600, 0, 300, 300, face, {0, 0, 255}, 128), 0);
    for (int x : {0, 299, 300, 599, 600, 899}) {
        EXPECT_FALSE(black(x, 299)) << x;
        EXPECT_TRUE(black(x, 300)) << x;
    }
}

TEST_F(StereoCalibDraw, FaceFileOfTheWorkingDirectoryComesFirst) {
    // 48 x 24, three channels: only the first counts. Bright in the top left quarter.
    std::vector<unsigned char> pixels(48 * 24 * 3);
    const SImage image{48, 24, 3, 8, pixels.data()};
    for (int y = 0; y < 24; ++y) {  // row 0 is the bottom one here
        for (int x = 0; x < 48; ++x) {
            const bool bright = x < 24 && y >= 12;
            unsigned char* p = image.mPixels + (y * 48 + x) * 3;
            p[0] = bright ? 200 : 40;
            p[1] = p[2] = bright ? 40 : 200;
        }
    }
    CaptureStderr();
    ASSERT_TRUE(writePngFile("dface.png", image));
    GetCapturedStderr();
    const SFace face = firstChannelOf("dface.png");
    draw(200, 100);
    EXPECT_EQ(mCalib->mFaceWidth, 48);
    const SBox diamond{18 + 9, 24 - 26, 18 + 21, 24 - 14};
    EXPECT_EQ(wrongPixels(0, 0, 48, 24, face, {255, 0, 0}, 128, framed(0, 0, 48, 24, {diamond})),
              0);
    EXPECT_EQ(wrongPixels(76, 0, 48, 24, face, {0, 255, 0}, 128), 0);
    EXPECT_EQ(wrongPixels(152, 0, 48, 24, face, {0, 0, 255}, 128), 0);

    // A file that is no picture: the compiled-in face.
    writeBytes("dface.png", {'n', 'o', 't'});
    mCalib = std::make_unique<CStereoCalib>();
    EXPECT_THAT(draw(1600, 600), HasSubstr("dface.png is not recognized as a PNG file"));
    EXPECT_EQ(mCalib->mFaceWidth, 512);
    EXPECT_EQ(wrongPixels(1088, 0, 512, 512, storedFace(), {0, 0, 255}, 128), 0);
}

TEST_F(StereoCalibDraw, FaceTextureIsMadeOnceAndDeletedWithTheCalibration) {
    EXPECT_EQ(mCalib->mFaceTexture.get(), 0u);
    draw(64, 64);
    const GLuint texture = mCalib->mFaceTexture.get();
    EXPECT_TRUE(glIsTexture(texture));
    draw(64, 64);
    EXPECT_EQ(mCalib->mFaceTexture.get(), texture);
    mCalib.reset();
    EXPECT_FALSE(glIsTexture(texture));
}
