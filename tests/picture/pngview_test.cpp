// Every kind of PNG as the view takes it: 8-bit RGB, or RGBA where the file has
// transparency. The files are written with libpng here, with known samples.
#include "pngio.h"

#include "tempfolder.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

struct SPngFixture {
    int width;
    int height;
    int colorType;
    int bitDepth;
    std::vector<std::vector<unsigned>> samples;  // per pixel, row by row, as in the file
    std::vector<png_color> palette;
    std::vector<png_byte> paletteAlpha;  // tRNS of a palette
    bool grayOrRgbKey = false;           // tRNS of a gray or RGB picture: key below
    png_color_16 key{};
};

int channelsOf(int colorType) {
    return colorType == PNG_COLOR_TYPE_GRAY_ALPHA  ? 2
           : colorType == PNG_COLOR_TYPE_RGB       ? 3
           : colorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                                                   : 1;
}

// Packs the samples MSB first for low bit depths, big-endian for 16 bits.
Bytes packRow(const SPngFixture& picture, int y) {
    const int channels = channelsOf(picture.colorType);
    Bytes row(size_t((picture.width * channels * picture.bitDepth + 7) / 8), 0);
    size_t bit = 0;
    for (int x = 0; x < picture.width; ++x) {
        for (int c = 0; c < channels; ++c, bit += size_t(picture.bitDepth)) {
            const unsigned value = picture.samples[size_t(y * picture.width + x)][size_t(c)];
            if (picture.bitDepth == 16) {
                row[bit / 8] = (unsigned char)(value >> 8);
                row[bit / 8 + 1] = (unsigned char)value;
            } else {
                row[bit / 8] |= (unsigned char)(value << (8 - picture.bitDepth - bit % 8));
            }
        }
    }
    return row;
}

std::string writePng(const CTempFolder& folder, const std::string& name,
                     const SPngFixture& picture) {
    const std::string path = folder.path(name);
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(picture.width), png_uint_32(picture.height),
                 picture.bitDepth, picture.colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!picture.palette.empty())
        png_set_PLTE(png, info, picture.palette.data(), int(picture.palette.size()));
    if (!picture.paletteAlpha.empty())
        png_set_tRNS(png, info, picture.paletteAlpha.data(), int(picture.paletteAlpha.size()),
                     nullptr);
    if (picture.grayOrRgbKey) {
        png_color_16 key = picture.key;
        png_set_tRNS(png, info, nullptr, 0, &key);
    }
    png_write_info(png, info);
    for (int y = 0; y < picture.height; ++y) {
        Bytes row = packRow(picture, y);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return path;
}

// A row of width pixels whose samples run through values.
SPngFixture ramp(int colorType, int bitDepth, int width, int height,
                 const std::vector<std::vector<unsigned>>& values) {
    SPngFixture picture{width, height, colorType, bitDepth, {}, {}, {}, false, {}};
    for (int i = 0; i < width * height; ++i)
        picture.samples.push_back(values[size_t(i) % values.size()]);
    return picture;
}

using Pixel = std::vector<int>;

void expectPixels(const SImageHandle& image, int channels, const std::vector<Pixel>& expected,
                  int width, int height) {
    ASSERT_NE(image->mPixels, nullptr);
    ASSERT_EQ(image->mWidth, width);
    ASSERT_EQ(image->mHeight, height);
    ASSERT_EQ(image->mChannels, channels);
    ASSERT_EQ(image->mBitDepth, 8);
    for (int i = 0; i < width * height; ++i) {
        const Pixel& want = expected[size_t(i) % expected.size()];
        for (int c = 0; c < channels; ++c)
            ASSERT_EQ(image->mPixels[size_t(i * channels + c)], want[size_t(c)])
                << "pixel " << i << " channel " << c;
    }
}

class PngForView : public testing::Test {
protected:
    SImageHandle read(const std::string& name, const SPngFixture& picture) {
        return readPngFileForView(writePng(mDir, name, picture).c_str());
    }
    CTempFolder mDir;
};

}  // namespace

TEST_F(PngForView, GrayBecomesRgbAndGrayWithAlphaRgba) {
    expectPixels(read("g8.png", ramp(PNG_COLOR_TYPE_GRAY, 8, 5, 3, {{0}, {77}, {255}})), 3,
                 {{0, 0, 0}, {77, 77, 77}, {255, 255, 255}}, 5, 3);
    expectPixels(
        read("ga8.png", ramp(PNG_COLOR_TYPE_GRAY_ALPHA, 8, 3, 2, {{10, 255}, {200, 0}, {90, 128}})),
        4, {{10, 10, 10, 255}, {200, 200, 200, 0}, {90, 90, 90, 128}}, 3, 2);
    // A gray key in tRNS makes that one value transparent.
    SPngFixture keyed = ramp(PNG_COLOR_TYPE_GRAY, 8, 4, 1, {{5}, {6}});
    keyed.grayOrRgbKey = true;
    keyed.key.gray = 6;
    expectPixels(read("gk.png", keyed), 4, {{5, 5, 5, 255}, {6, 6, 6, 0}}, 4, 1);
}

// Odd widths end rows inside a byte: each row must start afresh.
TEST_F(PngForView, LowBitDepthsGrowToFullRange) {
    expectPixels(read("g1.png", ramp(PNG_COLOR_TYPE_GRAY, 1, 5, 3, {{1}, {0}})), 3,
                 {{255, 255, 255}, {0, 0, 0}}, 5, 3);
    expectPixels(read("g2.png", ramp(PNG_COLOR_TYPE_GRAY, 2, 7, 3, {{0}, {1}, {2}, {3}})), 3,
                 {{0, 0, 0}, {85, 85, 85}, {170, 170, 170}, {255, 255, 255}}, 7, 3);
    // Seven values over three-pixel rows: the pattern runs on across rows.
    expectPixels(read("g4.png", ramp(PNG_COLOR_TYPE_GRAY, 4, 3, 7, {{0}, {1}, {9}, {15}, {4}})), 3,
                 {{0, 0, 0}, {17, 17, 17}, {153, 153, 153}, {255, 255, 255}, {68, 68, 68}}, 3, 7);
}

TEST_F(PngForView, PalettesBecomeColoursAndTheirTransparencyAlpha) {
    const std::vector<png_color> palette = {{255, 0, 0}, {0, 128, 0}, {10, 20, 30}, {1, 2, 3}};
    for (int depth : {1, 2, 4, 8}) {
        SCOPED_TRACE(depth);
        const int entries = depth == 1 ? 2 : 4;
        SPngFixture picture =
            ramp(PNG_COLOR_TYPE_PALETTE, depth, 5, 2, {{0}, {1}, {unsigned(entries - 1)}});
        picture.palette.assign(palette.begin(), palette.begin() + entries);
        const png_color last = palette[size_t(entries - 1)];
        expectPixels(read("p.png", picture), 3,
                     {{255, 0, 0}, {0, 128, 0}, {last.red, last.green, last.blue}}, 5, 2);
        // tRNS shorter than the palette: the entries after it stay opaque.
        picture.paletteAlpha = {0};
        expectPixels(read("pt.png", picture), 4,
                     {{255, 0, 0, 0}, {0, 128, 0, 255}, {last.red, last.green, last.blue, 255}}, 5,
                     2);
    }
}

// 16-bit samples are rounded to the nearest 8-bit value (v * 255 / 65535), the way
// other decoders show such files; the high byte alone would differ by one for some.
TEST_F(PngForView, SixteenBitSamplesAreRoundedToEightBits) {
    expectPixels(read("rgb16.png", ramp(PNG_COLOR_TYPE_RGB, 16, 3, 2,
                                        {{0, 65535, 0x01FF}, {0x00FF, 0x7F80, 0x017F}})),
                 3, {{0, 255, 2}, {1, 127, 1}}, 3, 2);
    expectPixels(read("ga16.png", ramp(PNG_COLOR_TYPE_GRAY_ALPHA, 16, 2, 2,
                                       {{0x1234, 0xFFFF}, {0xFF00, 0x0000}})),
                 4, {{18, 18, 18, 255}, {254, 254, 254, 0}}, 2, 2);
    SPngFixture keyed =
        ramp(PNG_COLOR_TYPE_RGB, 16, 2, 1, {{1000, 2000, 3000}, {1000, 2000, 3001}});
    keyed.grayOrRgbKey = true;
    keyed.key.red = 1000, keyed.key.green = 2000, keyed.key.blue = 3000;
    expectPixels(read("rgbk16.png", keyed), 4, {{4, 8, 12, 0}, {4, 8, 12, 255}}, 2, 1);
}

TEST_F(PngForView, RgbAndRgbaPassUnchangedAndFailuresGiveTheFailureRecord) {
    expectPixels(read("rgb.png", ramp(PNG_COLOR_TYPE_RGB, 8, 3, 3, {{1, 2, 3}, {250, 251, 252}})),
                 3, {{1, 2, 3}, {250, 251, 252}}, 3, 3);
    expectPixels(read("rgba.png", ramp(PNG_COLOR_TYPE_RGB_ALPHA, 8, 2, 2, {{1, 2, 3, 4}})), 4,
                 {{1, 2, 3, 4}}, 2, 2);
    testing::internal::CaptureStderr();
    const SImageHandle missing = readPngFileForView(mDir.path("none.png").c_str());
    const SImageHandle notPng = readPngFileForView(mDir.write("x.png", {1, 2, 3}).c_str());
    testing::internal::GetCapturedStderr();
    for (const SImageHandle& failed : {missing, notPng}) {
        ASSERT_NE(failed, nullptr);
        EXPECT_EQ(failed->mWidth, -1);
        EXPECT_EQ(failed->mPixels, nullptr);
    }
}
