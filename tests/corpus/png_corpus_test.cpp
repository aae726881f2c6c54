#include "corpus.h"
#include "pngio.h"

#include <cstring>
#include <set>
#include <string>

namespace {

// Rows where the program is meant to differ from a plain library read, with the reason.
// Empty: every file reads as the table says.
const std::map<std::string, std::string> kDiffersOnPurpose = {};

bool sameSamples(const SImage& a, const SImage& b) {
    return a.mWidth == b.mWidth && a.mHeight == b.mHeight && a.mChannels == b.mChannels &&
           a.mBitDepth == b.mBitDepth && a.mPixels && b.mPixels &&
           std::memcmp(a.mPixels, b.mPixels, size_t(imageByteSize(a))) == 0;
}

}  // namespace

TEST(PngCorpus, EveryFileReadsAsTheTableSays) {
    RUV_REQUIRE_CORPUS();
    const std::vector<CorpusRow> rows = readCorpusTable("png.tsv");
    ASSERT_GT(rows.size(), 200u);
    int read = 0;
    for (const CorpusRow& row : rows) {
        const std::string& file = row.at("file");
        SCOPED_TRACE(file);
        const auto purpose = kDiffersOnPurpose.find(file);
        if (purpose != kDiffersOnPurpose.end()) {
            std::printf("%s: %s\n", file.c_str(), purpose->second.c_str());
            continue;
        }
        const SImageHandle image = readPngFile(corpusPath(file).c_str());
        if (row.at("libpng_full_read") == "ok") {
            ++read;
            EXPECT_NE(image->mPixels, nullptr);
            EXPECT_EQ(std::to_string(image->mWidth), row.at("width"));
            EXPECT_EQ(std::to_string(image->mHeight), row.at("height"));
            EXPECT_EQ(std::to_string(image->mBitDepth), row.at("bit_depth"));
            EXPECT_EQ(std::to_string(image->mChannels), row.at("channels"));
        } else {
            EXPECT_EQ(image->mPixels, nullptr) << row.at("libpng_full_read");
            EXPECT_EQ(image->mWidth, -1);
            EXPECT_EQ(image->mHeight, -1);
        }
    }
    EXPECT_GT(read, 180);
}

// The suite holds many pictures twice, plain (e.g. basn0g01, s05n3p02) and interlaced
// (basi0g01, s05i3p02); the odd sizes among them end rows inside a byte.
TEST(PngCorpus, InterlacedSuitePicturesEqualTheirPlainTwins) {
    RUV_REQUIRE_CORPUS();
    std::set<std::string> files;
    for (const CorpusRow& row : readCorpusTable("png.tsv"))
        files.insert(row.at("file"));
    const std::string folder = "png/pngsuite/";
    int pairs = 0;
    for (const std::string& file : files) {
        if (file.compare(0, folder.size(), folder) != 0 || file[folder.size() + 3] != 'i')
            continue;
        std::string twin = file;
        twin[folder.size() + 3] = 'n';
        if (!files.count(twin))
            continue;
        SCOPED_TRACE(file);
        const SImageHandle interlaced = readPngFile(corpusPath(file).c_str());
        const SImageHandle plain = readPngFile(corpusPath(twin).c_str());
        EXPECT_TRUE(sameSamples(*interlaced, *plain));
        ++pairs;
    }
    EXPECT_GE(pairs, 33);
}
