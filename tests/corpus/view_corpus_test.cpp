// Real-world files as the view shows them, against other decoders: djpeg for JPEG and
// MPO pictures, Qt's QImage for PNG files.
#include "corpus.h"
#include "srgbreference.h"
#include "viewdecode.h"

#include <QColorSpace>
#include <QImage>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

struct SReference {
    int mWidth = -1;
    int mHeight = -1;
    std::vector<unsigned char> mRgb;
};

// The picture of a JPEG stream as djpeg gives it (RGB for colour and CMYK files alike),
// gray ones spread to RGB.
SReference djpeg(const std::string& path) {
    SReference ref;
    const std::string command = std::string(RUVELLO_DJPEG) + " -pnm '" + path + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return ref;
    int maxValue = 0;
    char magic[3] = {};
    if (std::fscanf(pipe, "%2s %d %d %d", magic, &ref.mWidth, &ref.mHeight, &maxValue) == 4 &&
        maxValue == 255 && std::fgetc(pipe) != EOF) {
        const int channels = std::string(magic) == "P6" ? 3 : std::string(magic) == "P5" ? 1 : 0;
        std::vector<unsigned char> samples(size_t(ref.mWidth) * size_t(ref.mHeight) *
                                           size_t(channels));
        samples.resize(std::fread(samples.data(), 1, samples.size(), pipe));
        for (unsigned char sample : samples)
            ref.mRgb.insert(ref.mRgb.end(), channels == 1 ? 3 : 1, sample);
    }
    pclose(pipe);
    return ref;
}

// The largest difference of any sample; 256 for different sizes.
int largestDifference(const SImageHandle& image, const SReference& ref) {
    if (!image->mPixels || image->mChannels != 3 || image->mWidth != ref.mWidth ||
        image->mHeight != ref.mHeight || ref.mRgb.size() != size_t(ref.mWidth * ref.mHeight * 3))
        return 256;
    int largest = 0;
    for (size_t i = 0; i < ref.mRgb.size(); ++i)
        largest = std::max(largest, std::abs(int(image->mPixels[i]) - int(ref.mRgb[i])));
    return largest;
}

SImageHandle view(const std::string& file, EViewPicture picture = EViewPicture::Left) {
    return decodeForView(SViewDecode{corpusPath(file), picture, 0, kViewMaxSize}, nullptr);
}

int cellInt(const CorpusRow& row, const std::string& column) {
    const std::string& cell = row.at(column);
    return cell.empty() ? -1 : std::stoi(cell);
}

}  // namespace

TEST(ViewCorpus, CmykJpegShowsAsDjpegShowsIt) {
    RUV_REQUIRE_CORPUS();
    const std::string file = "exif/pillow/pil_sample_cmyk.jpg";
    const SImageHandle image = view(file);
    EXPECT_EQ(image->mChannels, 3);
    EXPECT_EQ(largestDifference(image, djpeg(corpusPath(file))), 0);
}

// Both pictures of every stereo MPO file at their own sizes. The file whose second
// picture is a grey map of another size shows its first picture only; both of its
// streams are compared sample by sample against djpeg.
TEST(ViewCorpus, MpoPicturesKeepTheirOwnSizes) {
    RUV_REQUIRE_CORPUS();
    for (const CorpusRow& row : readCorpusTable("mpo.tsv")) {
        const std::string& file = row.at("file");
        SCOPED_TRACE(file);
        const bool pair = file != "mpo/pillow_frame_size.mpo";
        const SImageHandle left = view(file, EViewPicture::Left);
        testing::internal::CaptureStderr();
        const SImageHandle right = view(file, EViewPicture::Right);
        const std::string warnings = testing::internal::GetCapturedStderr();
        EXPECT_EQ(left->mWidth, cellInt(row, "width1"));
        EXPECT_EQ(left->mHeight, cellInt(row, "height1"));
        EXPECT_EQ(right->mWidth, pair ? cellInt(row, "width2") : -1);
        EXPECT_EQ(right->mHeight, pair ? cellInt(row, "height2") : -1);
        EXPECT_EQ(warnings.find("is not a second view") != std::string::npos, !pair);
        if (pair)
            continue;
        // Its first picture names Display P3, its grey map no colours.
        if (havePillowCms())
            EXPECT_LE(largestDifference(*left, pillowInSrgb(corpusPath(file))), 1);
        std::ifstream in(corpusPath(file), std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        const long offset = cellInt(row, "picture2_offset");
        ASSERT_LT(size_t(offset), bytes.size());
        const std::string second = testing::TempDir() + "ruvello-second-picture.jpg";
        std::ofstream(second, std::ios::binary)
            .write(bytes.data() + offset, std::streamsize(bytes.size() - size_t(offset)));
        const SImageHandle map = decodeForView(
            SViewDecode{corpusPath(file), EViewPicture::Thumbnail, offset, kViewMaxSize}, nullptr);
        EXPECT_EQ(largestDifference(map, djpeg(second)), 0);
        std::remove(second.c_str());
    }
}

// Whether the view takes the colours Qt reads as sRGB: none named, sRGB, or a gamma of
// 2.2 with sRGB's primaries, which writers put for sRGB.
bool meansSrgb(const QColorSpace& space) {
    return !space.isValid() || space == QColorSpace(QColorSpace::SRgb) ||
           (space.transferFunction() == QColorSpace::TransferFunction::Gamma &&
            std::abs(space.gamma() - 2.2f) < 0.005f &&
            space == QColorSpace(QColorSpace::Primaries::SRgb, QColorSpace::TransferFunction::Gamma,
                                 space.gamma()));
}

// Every readable PNG: RGBA exactly where Qt sees transparency, the same colours where
// a pixel shows (after Qt's own conversion to sRGB where the file names other colours,
// within two levels where they show fully), the same alpha everywhere.
TEST(ViewCorpus, PngFilesShowAsQtShowsThem) {
    RUV_REQUIRE_CORPUS();
    // Qt leaves out the tRNS colour key of 16-bit RGB files; libpng and the PNG rules
    // make that one colour transparent.
    const std::map<std::string, std::string> differs = {
        {"png/pngsuite/tbbn2c16.png", "16-bit RGB with a tRNS key"},
        {"png/pngsuite/tbgn2c16.png", "16-bit RGB with a tRNS key"}};
    std::map<std::string, int> kinds;  // colour type and depth -> files compared
    for (const CorpusRow& row : readCorpusTable("png.tsv")) {
        const std::string& file = row.at("file");
        if (row.at("libpng_full_read") != "ok" || differs.count(file))
            continue;
        SCOPED_TRACE(file);
        const SImageHandle image = view(file);
        const QImage reference(QString::fromStdString(corpusPath(file)));
        ASSERT_NE(image->mPixels, nullptr);
        ASSERT_FALSE(reference.isNull());
        const bool alpha = reference.hasAlphaChannel();
        ASSERT_EQ(image->mChannels, alpha ? 4 : 3);
        QImage expected =
            reference.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
        const QColorSpace space = reference.colorSpace();
        const bool converted = !meansSrgb(space);
        if (converted && space.primaries() == QColorSpace::Primaries::SRgb &&
            space.transferFunction() == QColorSpace::TransferFunction::Gamma) {
            // A gamma alone: sRGB's encoding of the linear light, channel by channel.
            // Qt's own conversion rounds the darkest levels of linear files to 8 bits.
            unsigned char table[256];
            for (int v = 0; v < 256; ++v) {
                const double linear = std::pow(v / 255.0, double(space.gamma()));
                table[v] = (unsigned char)std::lround(
                    255 * (linear <= 0.0031308 ? 12.92 * linear
                                               : 1.055 * std::pow(linear, 1 / 2.4) - 0.055));
            }
            for (int y = 0; y < expected.height(); ++y) {
                unsigned char* line = expected.scanLine(y);
                for (int x = 0; x < expected.width() * image->mChannels; ++x)
                    if (!alpha || x % 4 != 3)
                        line[x] = table[line[x]];
            }
            ++kinds["converted"];
        } else if (converted) {
            expected.convertToColorSpace(QColorSpace::SRgb);
            ++kinds["converted"];
        }
        ASSERT_EQ(image->mWidth, expected.width());
        ASSERT_EQ(image->mHeight, expected.height());
        int wrong = 0;
        const int n = image->mChannels;
        for (int y = 0; y < expected.height(); ++y) {
            const unsigned char* want = expected.constScanLine(y);
            const unsigned char* got = image->mPixels + size_t(y) * size_t(image->mWidth * n);
            for (int x = 0; x < expected.width() * n; x += n) {
                // Qt clears the colour of fully transparent pixels; it shows nowhere.
                const bool shows = n == 3 || want[x + 3] > 0;
                // Qt converts colours under partial alpha premultiplied, to 8 bits.
                const int tolerance = !converted ? 0 : n == 3 || want[x + 3] == 255 ? 2 : 255;
                for (int c = shows ? 0 : 3; c < n; ++c)
                    wrong += std::abs(got[x + c] - want[x + c]) > (c == 3 ? 0 : tolerance);
            }
        }
        EXPECT_EQ(wrong, 0);
        ++kinds[row.at("color_type") + "/" + row.at("bit_depth")];
    }
    // Among them the kinds that went wrong before: 16 bits, palettes, gray with alpha.
    EXPECT_GE(kinds["2/16"] + kinds["6/16"] + kinds["0/16"], 20);
    EXPECT_GE(kinds["3/1"] + kinds["3/2"] + kinds["3/4"] + kinds["3/8"], 50);
    EXPECT_GE(kinds["4/8"] + kinds["4/16"], 8);
    // And the files whose gamma is not sRGB's: most of the suite says 1.0.
    EXPECT_GE(kinds["converted"], 140);
}
