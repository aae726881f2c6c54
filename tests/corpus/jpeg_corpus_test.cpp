// Real-world JPEG and MPO files against the corpus tables.
#include "corpus.h"
#include "jpegio.h"
#include "picturekind.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

struct SDecodedSize {
    int mWidth, mHeight, mChannels;
    bool mPixels;
};

SDecodedSize decodedSize(const SImageHandle& image) {
    return {image->mWidth, image->mHeight, image->mChannels, image->mPixels != nullptr};
}

int cellInt(const CorpusRow& row, const std::string& column) {
    const auto cell = row.find(column);
    return cell == row.end() || cell->second.empty() ? -1 : std::stoi(cell->second);
}

// Library messages about the broken files are expected; keep them out of the log.
class CQuietStderr {
public:
    CQuietStderr() { testing::internal::CaptureStderr(); }
    ~CQuietStderr() { testing::internal::GetCapturedStderr(); }
};

// Rows where the program does not show what the reference decoder delivers, and why.
// All three are progressive: the library reads every scan inside jpeg_start_decompress,
// issues "Corrupt JPEG data: premature end of data segment" there, and its stand-in
// end-of-image marker replaces that message code before the first scan line is read.
// The program treats that early end like one found while reading scan lines: the
// failure record, not a picture padded with grey.
const std::map<std::string, std::string> kStoppedAtPrematureEnd = {
    {"broken/imagetestsuite/1cbb1bb37d62c44f67374cd451643dc4.jpg",
     "progressive, data segment ends early while all scans are read"},
    {"broken/imagetestsuite/8e5e74dbf9b68a322fbb9512db837329.jpg",
     "progressive, data segment ends early (8 times) while all scans are read"},
    {"broken/imagetestsuite/c3018ebe53d0046eecb58858ca869a99.jpg",
     "progressive, data segment ends early (3 times) while all scans are read"},
};

// Broken MPO files whose right picture the program still finds, not through the index.
const std::map<std::string, long> kSecondPictureOfBrokenFiles = {
    // MP header byte order " M": the index is unreadable; the marker search finds it.
    {"broken/pillow/sugarshack_bad_mpo_header.jpg", 60008},
    // MP entry 2 points past the end of the file; the marker search finds it.
    {"broken/pillow/sugarshack_no_data.mpo", 60008},
};

// Plain JPEGs that still hold a second JPEG stream after the end of the first one.
const std::map<std::string, long> kSecondPictureOfExifFiles = {
    // A JFIF picture at 4096, after the first stream's end at 2757.
    {"exif/metadata-extractor/Pentax_Optio_S4.jpg", 4096},
};

}  // namespace

TEST(JpegCorpus, FirstPictureSizesMatchTheExifTable) {
    RUV_REQUIRE_CORPUS();
    const std::vector<CorpusRow> rows = readCorpusTable("exif.tsv");
    ASSERT_FALSE(rows.empty());
    for (const CorpusRow& row : rows) {
        const std::string& file = row.at("file");
        SCOPED_TRACE(file);
        CQuietStderr quiet;
        const SDecodedSize size = decodedSize(readJpegFile(corpusPath(file).c_str(), 0));
        EXPECT_TRUE(size.mPixels);
        EXPECT_EQ(size.mWidth, cellInt(row, "width"));
        EXPECT_EQ(size.mHeight, cellInt(row, "height"));
        EXPECT_EQ(size.mChannels, cellInt(row, "components"));
    }
}

TEST(JpegCorpus, PlainJpegsHaveNoSecondPicture) {
    RUV_REQUIRE_CORPUS();
    for (const CorpusRow& row : readCorpusTable("exif.tsv")) {
        const std::string& file = row.at("file");
        if (file.rfind("exif/", 0) != 0)
            continue;
        SCOPED_TRACE(file);
        const auto known = kSecondPictureOfExifFiles.find(file);
        EXPECT_EQ(secondPictureOffset(corpusPath(file).c_str()),
                  known == kSecondPictureOfExifFiles.end() ? -1 : known->second);
    }
}

TEST(JpegCorpus, SecondPicturesMatchTheMpoTable) {
    RUV_REQUIRE_CORPUS();
    const std::vector<CorpusRow> rows = readCorpusTable("mpo.tsv");
    ASSERT_FALSE(rows.empty());
    for (const CorpusRow& row : rows) {
        const std::string& file = row.at("file");
        SCOPED_TRACE(file);
        const std::string path = corpusPath(file);
        EXPECT_EQ(secondPictureOffset(path.c_str()), cellInt(row, "picture2_offset"));
        CQuietStderr quiet;
        const SDecodedSize right = decodedSize(readStereoJpegFile(path.c_str(), true));
        EXPECT_TRUE(right.mPixels);
        EXPECT_EQ(right.mWidth, cellInt(row, "width2"));
        EXPECT_EQ(right.mHeight, cellInt(row, "height2"));
        EXPECT_EQ(right.mChannels, cellInt(row, "components2"));
        const SDecodedSize left = decodedSize(readStereoJpegFile(path.c_str(), false));
        EXPECT_EQ(left.mWidth, cellInt(row, "width1"));
        EXPECT_EQ(left.mHeight, cellInt(row, "height1"));
        EXPECT_EQ(left.mChannels, cellInt(row, "components1"));
    }
}

// Every MPO file is a stereo pair but the one whose second picture is a grey map of
// another size with an undefined MP type.
TEST(JpegCorpus, OnlyPairsOfViewsAreStereo) {
    RUV_REQUIRE_CORPUS();
    const std::vector<CorpusRow> rows = readCorpusTable("mpo.tsv");
    ASSERT_FALSE(rows.empty());
    for (const CorpusRow& row : rows) {
        const std::string& file = row.at("file");
        SCOPED_TRACE(file);
        const SPictureKind kind = identifyPicture(corpusPath(file));
        if (file == "mpo/pillow_frame_size.mpo") {
            EXPECT_EQ(kind.mKind, EPictureKind::Jpeg);
            EXPECT_EQ(kind.mSecondOffset, -1);
            EXPECT_EQ(kind.mWhy,
                      "the second picture (349 x 434, MP type 0x000000) is not a second view: "
                      "the first picture is 56 x 70");
        } else {
            EXPECT_EQ(kind.mKind, EPictureKind::Mpo);
            EXPECT_EQ(kind.mSecondOffset, cellInt(row, "picture2_offset"));
        }
    }
}

TEST(JpegCorpus, BrokenFilesGiveTheReferenceOutcome) {
    RUV_REQUIRE_CORPUS();
    int checked = 0;
    for (const CorpusRow& row : readCorpusTable("broken.tsv")) {
        const std::string& file = row.at("file");
        const std::string& kind = row.at("kind");
        if (kind != "jpeg" && kind != "mpo" && kind != "empty")
            continue;
        SCOPED_TRACE(file);
        ++checked;
        const std::string& outcome = row.at("reference_decode_result");
        const std::string path = corpusPath(file);
        SDecodedSize size;
        {
            CQuietStderr quiet;
            size = decodedSize(readJpegFile(path.c_str(), 0));
        }
        const bool picture = outcome.rfind("ok ", 0) == 0 || outcome.rfind("warnings ", 0) == 0;
        const auto stopped = kStoppedAtPrematureEnd.find(file);
        if (!picture || stopped != kStoppedAtPrematureEnd.end()) {
            // fatal, hit_marker, or a row listed above
            EXPECT_FALSE(size.mPixels) << outcome;
            EXPECT_EQ(size.mWidth, -1);
            EXPECT_EQ(size.mHeight, -1);
        } else {
            int width = 0, height = 0, channels = 0;
            ASSERT_EQ(std::sscanf(outcome.c_str() + outcome.find(' ') + 1, "%dx%dx%d", &width,
                                  &height, &channels),
                      3)
                << outcome;
            EXPECT_TRUE(size.mPixels) << outcome;
            EXPECT_EQ(size.mWidth, width);
            EXPECT_EQ(size.mHeight, height);
            EXPECT_EQ(size.mChannels, channels);
        }
        const auto second = kSecondPictureOfBrokenFiles.find(file);
        EXPECT_EQ(secondPictureOffset(path.c_str()),
                  second == kSecondPictureOfBrokenFiles.end() ? -1 : second->second);
    }
    EXPECT_GE(checked, 18);
}
