// Which files are stereo pairs: MPO files made with the program's own writers, their MP
// index patched where other writers put other types, real files on disk throughout.
#include "picturekind.h"

#include "jpegwrite.h"
#include "mpowrite.h"
#include "pngio.h"
#include "tempfolder.h"
#include "viewdecode.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <fstream>

using Bytes = std::vector<uint8_t>;

namespace {

// Noise, so that the entropy-coded data is most of the file.
Bytes picture(int width, int height) {
    Bytes rgb(size_t(width) * size_t(height) * 3);
    uint32_t state = 12345;
    for (uint8_t& sample : rgb)
        sample = uint8_t((state = state * 1103515245u + 12345u) >> 24);
    return encodeJpeg(rgb.data(), width, height, SJpegWrite());
}

size_t indexOf(const Bytes& file, std::vector<uint8_t> what, size_t from = 0) {
    return size_t(std::search(file.begin() + long(from), file.end(), what.begin(), what.end()) -
                  file.begin());
}

// MP entry 2's attribute: 16 bytes after entry 1's (0x20020002, big-endian).
size_t secondAttributeAt(const Bytes& mpo) {
    return indexOf(mpo, {0x20, 0x02, 0x00, 0x02}, indexOf(mpo, {'M', 'P', 'F', 0})) + 16;
}

// A left picture of leftSide x 3/4 leftSide, a right one of rightSide x 3/4 rightSide.
Bytes mpo(int leftSide, int rightSide, uint32_t attribute) {
    Bytes file = buildMpoFile(picture(leftSide, leftSide * 3 / 4),
                              picture(rightSide, rightSide * 3 / 4), 0.065);
    for (size_t i = 0; i < 4; ++i)
        file[secondAttributeAt(file) + i] = uint8_t(attribute >> (24 - 8 * i));
    return file;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Bytes the process has read from files so far.
size_t bytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string name;
    size_t bytes = 0;
    io >> name >> bytes;
    EXPECT_EQ(name, "rchar:");
    return bytes;
}

class PictureKind : public testing::Test {
protected:
    SPictureKind identify(const Bytes& bytes) { return identifyPicture(mDir.write("f", bytes)); }

    // Bytes of the file read to find it a stereo pair.
    size_t bytesRead(const Bytes& bytes) {
        const std::string path = mDir.write("counted", bytes);
        const size_t before = bytesReadSoFar();
        EXPECT_EQ(identifyPicture(path).mKind, EPictureKind::Mpo);
        return bytesReadSoFar() - before;
    }

    CTempFolder mDir;
};

}  // namespace

TEST_F(PictureKind, TheMpTypeDecidesAndAnUndefinedTypeOrNoIndexNeedsEqualSizes) {
    const struct {
        Bytes file;
        const char* why;  // nullptr: a stereo pair
    } cases[] = {
        {mpo(64, 40, 0x00020002), nullptr},
        {mpo(64, 40, 0x40020002), nullptr},  // a flag above the type
        {mpo(64, 64, 0x00000000), nullptr},
        {mpo(64, 40, 0x00000000),
         "the second picture (40 x 30, MP type 0x000000) is not a second view: the first "
         "picture is 64 x 48"},
        {mpo(64, 64, 0x00010001),
         "the second picture (64 x 48, MP type 0x010001) is not a second view"},
        {picture(64, 48) + picture(64, 48), nullptr},
        {picture(64, 48) + picture(48, 64),
         "the second picture (48 x 64, no MP index) is not a second view: the first picture "
         "is 64 x 48"},
        {picture(64, 48), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        const SPictureKind kind = identify(c.file);
        EXPECT_EQ(kind.mKind, c.why ? EPictureKind::Jpeg : EPictureKind::Mpo);
        EXPECT_EQ(kind.mWhy, c.why ? c.why : "");
        EXPECT_EQ(kind.mSecondOffset, c.why ? -1 : long(indexOf(c.file, {0xFF, 0xD8, 0xFF}, 2)));
    }
}

TEST_F(PictureKind, AnIndexedPairIsFoundWithoutReadingTheFirstPicturesData) {
    const Bytes left = picture(1200, 900), right = picture(1200, 900);
    ASSERT_GT(left.size(), 800000u);
    EXPECT_LT(bytesRead(buildMpoFile(left, right, 0.065)), left.size() / 4);
    // Without an index only the first picture's end leads to the second one.
    EXPECT_GT(bytesRead(left + right), left.size());
}

TEST_F(PictureKind, CutAndGarbledFilesAreReadOnlyWithinTheirBytes) {
    // Equal sizes and an undefined type: a pair once the second frame header is whole.
    const Bytes file = mpo(32, 32, 0);
    const size_t second = indexOf(file, {0xFF, 0xD8, 0xFF}, 2),
                 frame = indexOf(file, {0xFF, 0xC0}, second);
    const size_t frameEnd = frame + 2 + (size_t(file[frame + 2]) << 8 | file[frame + 3]);
    for (size_t size = 0; size <= file.size();
         size += size < 800 || (size + 300 > second && size < frameEnd + 50) ? 1 : 37) {
        const SPictureKind kind = identify(Bytes(file.begin(), file.begin() + long(size)));
        EXPECT_EQ(kind.mSecondOffset, size >= frameEnd ? long(second) : -1) << size;
    }
    // The index's segment cut short: its payload is read into a buffer of just that size,
    // and without entry 2 the search after the first picture finds the second one.
    const size_t payload = indexOf(file, {'M', 'P', 'F', 0}), end = secondAttributeAt(file) + 12;
    for (size_t length = 2; length < 2 + end - payload; ++length) {
        Bytes cut = file;
        cut[payload - 2] = uint8_t(length >> 8), cut[payload - 1] = uint8_t(length);
        EXPECT_EQ(identify(cut).mSecondOffset, long(second)) << length;
    }
    for (size_t at = payload; at < end; ++at)
        for (uint8_t value : {0x00, 0x01, 0x7F, 0xFF}) {
            Bytes garbled = file;
            garbled[at] = value;
            const SPictureKind kind = identify(garbled);
            EXPECT_TRUE(kind.mKind != EPictureKind::Mpo || kind.mSecondOffset == long(second));
        }
}

TEST_F(PictureKind, PngEmptyTextMissingAndFolder) {
    uint8_t pixels[2 * 2 * 3] = {};
    SImage image;
    image.mWidth = image.mHeight = 2;
    image.mPixels = pixels;
    ASSERT_TRUE(writePngFile(mDir.path("p.png").c_str(), image));
    EXPECT_EQ(identifyPicture(mDir.path("p.png")).mKind, EPictureKind::Png);
    for (const auto& [path, why] :
         {std::pair{mDir.write("empty.jpg", {}), "empty file"},
          std::pair{mDir.write("text.mpo", {0xFF, 0xD8, ' ', 'x'}), "not a JPEG, PNG or MPO file"},
          std::pair{mDir.path("missing.mpo"), "cannot open: No such file or directory"},
          std::pair{mDir.path(), "cannot read: Is a directory"}}) {
        EXPECT_EQ(identifyPicture(path).mKind, EPictureKind::Unreadable) << path;
        EXPECT_EQ(identifyPicture(path).mWhy, why);
    }
}

TEST_F(PictureKind, TheViewShowsNoRightPictureOfANonPairAndSaysWhy) {
    const std::string path = mDir.write("map.mpo", mpo(64, 40, 0));
    testing::internal::CaptureStderr();
    EXPECT_EQ(decodeForView(SViewDecode{path, EViewPicture::Right}, nullptr)->mPixels, nullptr);
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                testing::HasSubstr("WARNING: " + path + ": the second picture (40 x 30"));
    const std::string pair = mDir.write("pair.mpo", mpo(64, 40, 0x00020002));
    EXPECT_EQ(decodeForView(SViewDecode{pair, EViewPicture::Right}, nullptr)->mWidth, 40);
}
