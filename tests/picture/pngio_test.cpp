#include "diagnostics.h"
#include "pngio.h"

#include "exif.h"
#include "jpegio.h"
#include "picturekind.h"

#include "jpegfixtures.h"

#include "filesizelimit.h"

#include <gmock/gmock.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace fs = std::filesystem;
using jpegfix::Bytes;
using testing::HasSubstr;
using testing::Not;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// These tests read the console's informational lines, which show only when verbose.
[[maybe_unused]] static const bool kConsoleVerbose = (setConsoleVerbose(true), true);

namespace {

// A fresh folder per test, removed with everything in it afterwards.
class PngFiles : public testing::Test {
protected:
    std::string path(const std::string& name) const { return mDir.path(name); }

    jpegfix::CTempDir mDir;
};

struct STestPng {
    int width;
    int height;
    int bitDepth;
    int colorType;
    bool interlaced;
    Bytes pixels;  // rows top first, each starting on a byte, as the reader returns them
};

int channelsOf(int colorType) {
    switch (colorType) {
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            return 2;
        case PNG_COLOR_TYPE_RGB:
            return 3;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            return 4;
        default:
            return 1;
    }
}

int64_t strideOf(const STestPng& png) {
    return (int64_t(png.width) * channelsOf(png.colorType) * png.bitDepth + 7) / 8;
}

// Deterministic samples; the bits after the last pixel of a row stay zero, as in a file.
STestPng pattern(int width, int height, int bitDepth, int colorType, bool interlaced = false,
                 int seed = 0) {
    STestPng png{width, height, bitDepth, colorType, interlaced, {}};
    const int64_t stride = strideOf(png);
    const int64_t usedBits = int64_t(width) * channelsOf(colorType) * bitDepth;
    png.pixels.resize(size_t(stride * height));
    for (int y = 0; y < height; ++y) {
        unsigned char* row = png.pixels.data() + y * stride;
        for (int64_t i = 0; i < stride; ++i)
            row[i] = (unsigned char)(i * 37 + y * 11 + seed);
        if (colorType == PNG_COLOR_TYPE_PALETTE && bitDepth == 8)
            for (int64_t i = 0; i < stride; ++i)
                row[i] %= 16;  // the palette below has sixteen entries
        if (usedBits % 8)
            row[stride - 1] &= (unsigned char)(0xff << (8 - usedBits % 8));
    }
    return png;
}

bool encode(FILE* file, const STestPng* png, png_bytep* rows) {
    png_structp ptr = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(ptr);
    if (setjmp(png_jmpbuf(ptr))) {
        png_destroy_write_struct(&ptr, &info);
        return false;
    }
    png_init_io(ptr, file);
    png_set_IHDR(ptr, info, png->width, png->height, png->bitDepth, png->colorType,
                 png->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[16];
    for (int i = 0; i < 16; ++i)
        palette[i] = {png_byte(i * 16), png_byte(255 - i), png_byte(i * 3)};
    if (png->colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(ptr, info, palette, std::min(16, 1 << png->bitDepth));
    png_set_rows(ptr, info, rows);
    png_write_png(ptr, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&ptr, &info);
    return true;
}

void writeTestPng(const std::string& path, STestPng png) {
    std::vector<png_bytep> rows;
    for (int y = 0; y < png.height; ++y)
        rows.push_back(png.pixels.data() + y * strideOf(png));
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    const bool written = encode(file, &png, rows.data());
    std::fclose(file);
    ASSERT_TRUE(written);
}

Bytes fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes pixelsOf(const SImage& image) {
    if (!image.mPixels)
        return {};
    return Bytes(image.mPixels, image.mPixels + imageByteSize(image));
}

// What the library itself makes of a file, through its simple reading interface.
struct SLibpngView {
    png_uint_32 format = 0;
    int width = 0;
    int height = 0;
    Bytes pixels;
};

SLibpngView readWithLibpng(const std::string& path) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    SLibpngView view;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return view;
    view.format = image.format;
    view.width = int(image.width);
    view.height = int(image.height);
    view.pixels.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, view.pixels.data(), 0, nullptr))
        view.pixels.clear();
    png_image_free(&image);
    return view;
}

SImage frame(int width, int height, int channels, Bytes& pixels) {
    SImage image;
    image.mWidth = width;
    image.mHeight = height;
    image.mChannels = channels;
    image.mBitDepth = 8;
    image.mPixels = pixels.data();
    return image;
}

void expectFailureRecord(const SImageHandle& image) {
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->mPixels, nullptr);
    EXPECT_EQ(image->mWidth, -1);
    EXPECT_EQ(image->mHeight, -1);
    EXPECT_EQ(image->mChannels, 3);
    EXPECT_EQ(image->mBitDepth, 8);
}

// Reads path expecting a picture equal to png.
void expectReadsAs(const std::string& path, const STestPng& png) {
    const SImageHandle image = readPngFile(path.c_str());
    EXPECT_EQ(image->mWidth, png.width);
    EXPECT_EQ(image->mHeight, png.height);
    EXPECT_EQ(image->mChannels, channelsOf(png.colorType));
    EXPECT_EQ(image->mBitDepth, png.bitDepth);
    EXPECT_EQ(pixelsOf(*image), png.pixels);
}

}  // namespace

TEST_F(PngFiles, ReadKeepsChannelsDepthsAndSamplesAsStored) {
    const STestPng cases[] = {
        pattern(5, 3, 8, PNG_COLOR_TYPE_RGB),   pattern(4, 4, 8, PNG_COLOR_TYPE_RGB_ALPHA),
        pattern(7, 2, 8, PNG_COLOR_TYPE_GRAY),  pattern(3, 5, 8, PNG_COLOR_TYPE_GRAY_ALPHA),
        pattern(3, 2, 16, PNG_COLOR_TYPE_RGB),  pattern(6, 3, 8, PNG_COLOR_TYPE_PALETTE),
        pattern(5, 2, 16, PNG_COLOR_TYPE_GRAY), pattern(9, 4, 4, PNG_COLOR_TYPE_PALETTE),
        pattern(3, 3, 1, PNG_COLOR_TYPE_GRAY),  pattern(5, 4, 2, PNG_COLOR_TYPE_GRAY),
        pattern(7, 3, 4, PNG_COLOR_TYPE_GRAY),  pattern(17, 2, 1, PNG_COLOR_TYPE_GRAY),
    };
    for (const STestPng& png : cases) {
        SCOPED_TRACE(testing::Message() << png.width << "x" << png.height << " type "
                                        << png.colorType << " depth " << png.bitDepth);
        const std::string file = path("case.png");
        writeTestPng(file, png);
        expectReadsAs(file, png);
    }

    // 16-bit samples keep the file's byte order: 6 bytes per RGB pixel, high byte first.
    STestPng deep = pattern(2, 1, 16, PNG_COLOR_TYPE_RGB);
    deep.pixels = {0x12, 0x34, 0x00, 0xff, 0xab, 0xcd, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    writeTestPng(path("deep.png"), deep);
    expectReadsAs(path("deep.png"), deep);
}

TEST_F(PngFiles, InterlacedFilesReadWhole) {
    for (const int bitDepth : {1, 2, 8, 16}) {
        SCOPED_TRACE(bitDepth);
        const int type = bitDepth == 8 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_GRAY;
        STestPng png = pattern(13, 11, bitDepth, type, false, bitDepth);
        writeTestPng(path("plain.png"), png);
        png.interlaced = true;
        writeTestPng(path("interlaced.png"), png);
        ASSERT_NE(fileBytes(path("plain.png")), fileBytes(path("interlaced.png")));
        expectReadsAs(path("plain.png"), png);
        expectReadsAs(path("interlaced.png"), png);
    }
}

TEST_F(PngFiles, WriteTurnsBottomUpFramesUpright) {
    // Row 0 of a frame is its bottom row: red at the bottom, blue on top.
    Bytes rgb = {255, 0, 0, 255, 0, 0, 0, 0, 255, 0, 0, 255};
    CaptureStderr();
    ASSERT_TRUE(writePngFile(path("rgb.png").c_str(), frame(2, 2, 3, rgb)));
    EXPECT_EQ(GetCapturedStderr(),
              "img.mWidth = 2\nimg.mHeight = 2\nfilename = " + path("rgb.png") + "\n");
    const SLibpngView view = readWithLibpng(path("rgb.png"));
    EXPECT_EQ(view.format, PNG_FORMAT_RGB);
    EXPECT_EQ(view.pixels, Bytes({0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 0, 0}));

    Bytes rgba = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_TRUE(writePngFile(path("rgba.png").c_str(), frame(1, 3, 4, rgba)));
    const SLibpngView alpha = readWithLibpng(path("rgba.png"));
    EXPECT_EQ(alpha.format, PNG_FORMAT_RGBA);
    EXPECT_EQ(alpha.pixels, Bytes({9, 10, 11, 12, 5, 6, 7, 8, 1, 2, 3, 4}));

    // Our own reader gives the top row first.
    const SImageHandle back = readPngFile(path("rgba.png").c_str());
    EXPECT_EQ(back->mChannels, 4);
    EXPECT_EQ(pixelsOf(*back), alpha.pixels);
}

TEST_F(PngFiles, WriteRefusesWhatItCannotWriteAndLeavesNoFile) {
    Bytes pixels(64, 7);
    const std::string target = path("out.png");
    SImage deep = frame(2, 2, 3, pixels);
    deep.mBitDepth = 16;
    SImage empty = frame(2, 2, 3, pixels);
    empty.mPixels = nullptr;
    for (const SImage& image : {deep, frame(2, 2, 1, pixels), empty, failedImage()}) {
        CaptureStderr();
        EXPECT_FALSE(writePngFile(target.c_str(), image));
        EXPECT_THAT(GetCapturedStderr(), HasSubstr("ERROR: cannot write " + target));
        EXPECT_FALSE(fs::exists(target));
    }

    // No folder; a regular file where a folder should be (the tests may run as root).
    jpegfix::writeBytes(path("plain"), {1});
    for (const std::string& bad : {path("missing/out.png"), path("plain/out.png")}) {
        CaptureStderr();
        EXPECT_FALSE(writePngFile(bad.c_str(), frame(2, 2, 4, pixels)));
        EXPECT_THAT(GetCapturedStderr(), HasSubstr("ERROR: could not write " + bad + ": "));
        EXPECT_FALSE(fs::exists(bad));
    }
}

TEST_F(PngFiles, AWriteThatFailsMidwayKeepsTheOldFileAndLeavesNothingElse) {
    // Incompressible samples, more than the file size limit lets through.
    Bytes noise(300 * 300 * 3);
    uint32_t state = 12345;
    for (unsigned char& sample : noise)
        sample = (unsigned char)((state = state * 1103515245u + 12345u) >> 24);
    // An earlier screenshot of that name: a failed write must not cost it.
    Bytes small = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    ASSERT_TRUE(writePngFile(path("full.png").c_str(), frame(2, 2, 3, small)));
    const Bytes old = fileBytes(path("full.png"));

    bool written = true;
    std::string messages;
    {
        CFileSizeLimit limit(50000);
        CaptureStderr();
        written = writePngFile(path("full.png").c_str(), frame(300, 300, 3, noise));
        messages = GetCapturedStderr();
    }

    EXPECT_FALSE(written);
    EXPECT_THAT(messages,
                HasSubstr("ERROR: could not write " + path("full.png") + ": File too large"));
    EXPECT_EQ(fileBytes(path("full.png")), old);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path("")))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"full.png"});

    // With room again the same frame is written and reads back bottom row last.
    ASSERT_TRUE(writePngFile(path("full.png").c_str(), frame(300, 300, 3, noise)));
    const SImageHandle back = readPngFile(path("full.png").c_str());
    ASSERT_NE(back->mPixels, nullptr);
    EXPECT_EQ(std::memcmp(back->mPixels, noise.data() + 299 * 900, 900), 0);
}

TEST_F(PngFiles, FilesThatAreNoPngGiveTheFailureRecord) {
    // A real JPEG, a text file, an empty file and one shorter than the signature.
    jpegfix::writeBytes(path("photo.png"), jpegfix::encodeJpeg({}));
    jpegfix::writeBytes(path("notes.png"), Bytes({'h', 'e', 'l', 'l', 'o', '\n'}));
    jpegfix::writeBytes(path("empty.png"), {});
    jpegfix::writeBytes(path("short.png"), {0x89, 'P', 'N', 'G'});

    for (const char* name : {"photo.png", "notes.png", "empty.png", "short.png"}) {
        CaptureStderr();
        expectFailureRecord(readPngFile(path(name).c_str()));
        EXPECT_THAT(GetCapturedStderr(), HasSubstr("WARNING: [read_png_file] File " + path(name) +
                                                   " is not recognized as a PNG file\n"));
    }
    CaptureStderr();
    expectFailureRecord(readPngFile(path("absent.png").c_str()));
    EXPECT_THAT(GetCapturedStderr(),
                HasSubstr("WARNING: [read_png_file] File " + path("absent.png") +
                          " could not be opened for reading\n"));
}

TEST_F(PngFiles, BrokenFilesFailAndLaterReadsStillWork) {
    const STestPng png = pattern(64, 64, 8, PNG_COLOR_TYPE_RGB, false, 3);
    writeTestPng(path("whole.png"), png);
    const Bytes whole = fileBytes(path("whole.png"));

    // Cut inside the image data, before the end chunk, and inside the header chunk.
    jpegfix::writeBytes(path("cut.png"), Bytes(whole.begin(), whole.begin() + whole.size() / 2));
    jpegfix::writeBytes(path("noend.png"), Bytes(whole.begin(), whole.end() - 12));
    jpegfix::writeBytes(path("head.png"), Bytes(whole.begin(), whole.begin() + 20));
    CaptureStderr();
    expectFailureRecord(readPngFile(path("cut.png").c_str()));
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("WARNING: [read_png_file] Error during read_image"));
    // Cut after the last row's data: every pixel is there, the picture reads whole.
    CaptureStderr();
    expectReadsAs(path("noend.png"), png);
    GetCapturedStderr();
    CaptureStderr();
    expectFailureRecord(readPngFile(path("head.png").c_str()));
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("WARNING: [read_png_file] Error during init_io"));

    CaptureStderr();
    expectReadsAs(path("whole.png"), png);
    EXPECT_THAT(GetCapturedStderr(), Not(HasSubstr("WARNING")));

    // The same file read from a stream that starts with other bytes.
    const std::string lead = "lead-in";
    Bytes joined(lead.begin(), lead.end());
    joined.insert(joined.end(), whole.begin(), whole.end());
    FILE* stream = fmemopen(joined.data(), joined.size(), "rb");
    ASSERT_NE(stream, nullptr);
    std::fseek(stream, long(lead.size()), SEEK_SET);
    const SImageHandle fromStream = readPngStream(stream, "joined");
    std::fclose(stream);
    EXPECT_EQ(pixelsOf(*fromStream), png.pixels);
}

// Open descriptors of this process; the listing's own descriptor counts every time.
size_t openDescriptors() {
    size_t count = 0;
    for (auto it = fs::directory_iterator("/proc/self/fd"); it != fs::directory_iterator(); ++it)
        ++count;
    return count;
}

TEST_F(PngFiles, EveryWayOutOfAReadOrWriteClosesTheFile) {
    const STestPng png = pattern(32, 32, 8, PNG_COLOR_TYPE_RGB_ALPHA, false, 5);
    writeTestPng(path("whole.png"), png);
    const Bytes whole = fileBytes(path("whole.png"));
    jpegfix::writeBytes(path("cut.png"), Bytes(whole.begin(), whole.begin() + whole.size() / 2));
    jpegfix::writeBytes(path("head.png"), Bytes(whole.begin(), whole.begin() + 20));
    jpegfix::writeBytes(path("notes.png"), Bytes({'h', 'e', 'l', 'l', 'o', '\n'}));
    const Bytes jpeg = jpegfix::encodeJpeg({});
    jpegfix::writeBytes(path("cut.jpg"), Bytes(jpeg.begin(), jpeg.begin() + 100));
    Bytes noise(200 * 200 * 3);
    uint32_t state = 777;
    for (unsigned char& sample : noise)
        sample = (unsigned char)((state = state * 1103515245u + 12345u) >> 24);

    const size_t before = openDescriptors();
    CaptureStderr();
    for (const char* name : {"whole.png", "cut.png", "head.png", "notes.png"}) {
        readPngFile(path(name).c_str());
        readPngFileForView(path(name).c_str());
    }
    readJpegFile(path("cut.jpg").c_str(), 0);
    readJpegFile(path("cut.jpg").c_str(), 1 << 20);  // no picture at that offset
    readStereoJpegFile(path("cut.jpg").c_str(), true);
    // The Exif reader and the kind test, on a file, a cut one, a folder and a missing one.
    for (const std::string& name :
         {path("cut.jpg"), path("whole.png"), path("."), path("missing.jpg")}) {
        readExif(name);
        identifyPicture(name);
    }
    {
        CFileSizeLimit limit(20000);
        EXPECT_FALSE(writePngFile(path("full.png").c_str(), frame(200, 200, 3, noise)));
    }
    EXPECT_TRUE(writePngFile(path("out.png").c_str(), frame(200, 200, 3, noise)));
    GetCapturedStderr();
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(PngFiles, HugeSizesInTheFileFailBeforeAllocating) {
    writeTestPng(path("small.png"), pattern(4, 4, 8, PNG_COLOR_TYPE_RGB_ALPHA));
    const Bytes small = fileBytes(path("small.png"));
    // IHDR: length at 8, type at 12, width at 16, height at 20, CRC over type and data at 29.
    auto withSize = [&](uint32_t width, uint32_t height) {
        Bytes bytes = small;
        for (int i = 0; i < 4; ++i) {
            bytes[16 + i] = (unsigned char)(width >> (24 - 8 * i));
            bytes[20 + i] = (unsigned char)(height >> (24 - 8 * i));
        }
        const uint32_t crc = uint32_t(crc32(0, bytes.data() + 12, 17));
        for (int i = 0; i < 4; ++i)
            bytes[29 + i] = (unsigned char)(crc >> (24 - 8 * i));
        return bytes;
    };

    // 60000 x 60000 RGBA is 13 GiB: within the library's limits, above ours.
    jpegfix::writeBytes(path("huge.png"), withSize(60000, 60000));
    CaptureStderr();
    expectFailureRecord(readPngFile(path("huge.png").c_str()));
    std::string messages = GetCapturedStderr();
    EXPECT_THAT(messages, HasSubstr("more than the limit of 1024 MiB"));
    EXPECT_THAT(messages, HasSubstr("[read_png_file] File " + path("huge.png") + " is too large"));

    // Sides above the library's own limit are refused while reading the header.
    jpegfix::writeBytes(path("wide.png"), withSize(0x7fffffff, 4));
    CaptureStderr();
    expectFailureRecord(readPngFile(path("wide.png").c_str()));
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("[read_png_file] Error during init_io"));

    // A text chunk after the header that claims 2 GiB but holds a few bytes.
    Bytes claim = {0x7f, 0xff, 0xff, 0xff, 't', 'E', 'X', 't', 'a', 0, 'b'};
    Bytes liar = small;
    liar.insert(liar.begin() + 33, claim.begin(), claim.end());
    jpegfix::writeBytes(path("liar.png"), liar);
    CaptureStderr();
    expectFailureRecord(readPngFile(path("liar.png").c_str()));
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("[read_png_file] Error during init_io"));
}

TEST_F(PngFiles, Utf8FileNamesOpen) {
    Bytes pixels = {10, 20, 30, 40, 50, 60};
    const std::string name = path("Größe 3D.png");
    ASSERT_TRUE(writePngFile(name.c_str(), frame(1, 2, 3, pixels)));
    const SImageHandle image = readPngFile(name.c_str());
    EXPECT_EQ(pixelsOf(*image), Bytes({40, 50, 60, 10, 20, 30}));
}

TEST(PngLibrary, NoticeNamesTheRunningVersion) {
    const std::string notice = pngLibraryNotice();
    EXPECT_THAT(notice, HasSubstr(std::string("libpng version ") + png_get_libpng_ver(nullptr)));
    EXPECT_THAT(notice, HasSubstr("Copyright"));
}
