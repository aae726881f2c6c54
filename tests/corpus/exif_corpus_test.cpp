// The Exif reader against real camera files and the values listed for them.
#include "corpus.h"
#include "exif.h"

#include <gtest/gtest.h>

#include <map>

namespace {
std::string cellOr(const CorpusRow& row, const std::string& column, const std::string& absent) {
    const auto it = row.find(column);
    return it == row.end() || it->second.empty() ? absent : it->second;
}

int numberOr(const CorpusRow& row, const std::string& column, int absent) {
    const std::string cell = cellOr(row, column, "");
    return cell.empty() ? absent : std::stoi(cell);
}

// What the reader gives for a row: the listed values, with the reader's defaults for
// the empty cells.
SExifInfo expectedRecord(const CorpusRow& row) {
    SExifInfo info;
    const std::string date = cellOr(row, "datetime_original", cellOr(row, "datetime", ""));
    if (!date.empty())
        info.mDateTime = date;
    else if (cellOr(row, "byte_order", "none") != "none")
        info.mDateTime = "no DateTime in Exif data";
    info.mOrientation = numberOr(row, "orientation", -2);
    info.mThumbnailOffset = numberOr(row, "thumbnail_offset", -1);
    info.mMake = cellOr(row, "make", "unknown");
    info.mModel = cellOr(row, "model", "unknown");
    info.mPixelXDimension = numberOr(row, "pixel_x", 0);
    info.mPixelYDimension = numberOr(row, "pixel_y", 0);
    return info;
}
}  // namespace

TEST(ExifCorpus, EveryListedFileGivesItsValues) {
    RUV_REQUIRE_CORPUS();
    const std::vector<CorpusRow> rows = readCorpusTable("exif.tsv");
    ASSERT_GT(rows.size(), 100u);
    for (const CorpusRow& row : rows) {
        const std::string file = row.at("file");
        SCOPED_TRACE(file);
        const SExifInfo expected = expectedRecord(row);
        const SExifInfo info = readExif(corpusPath(file));
        EXPECT_EQ(info.mDateTime, expected.mDateTime);
        EXPECT_EQ(info.mOrientation, expected.mOrientation);
        EXPECT_EQ(info.mThumbnailOffset, expected.mThumbnailOffset);
        EXPECT_EQ(info.mMake, expected.mMake);
        EXPECT_EQ(info.mModel, expected.mModel);
        EXPECT_EQ(info.mPixelXDimension, expected.mPixelXDimension);
        EXPECT_EQ(info.mPixelYDimension, expected.mPixelYDimension);
    }
}

TEST(ExifCorpus, BrokenFilesGiveAStatusOrValues) {
    RUV_REQUIRE_CORPUS();
    // Broken files whose Exif block is intact: they read as the files they came from.
    const std::map<std::string, std::string> intactBlock = {
        {"broken/derived/truncated_60pct_entropy.jpg", "exif/ianare/gps/DSCN0010.jpg"},
        {"broken/pillow/sugarshack_bad_mpo_header.jpg", "mpo/pillow_sugarshack.mpo"},
        {"broken/pillow/sugarshack_no_data.mpo", "mpo/pillow_sugarshack.mpo"},
    };
    const std::vector<CorpusRow> rows = readCorpusTable("broken.tsv");
    ASSERT_GT(rows.size(), 20u);
    for (const CorpusRow& row : rows) {
        const std::string file = row.at("file");
        SCOPED_TRACE(file);
        testing::internal::CaptureStderr();
        const SExifInfo info = readExif(corpusPath(file));
        testing::internal::GetCapturedStderr();
        const std::string kind = row.at("kind");
        if (kind == "png" || kind == "empty") {
            EXPECT_EQ(info.mDateTime, "no jpeg file");
            EXPECT_EQ(info.mOrientation, -2);
            continue;
        }
        EXPECT_NE(info.mDateTime, "no jpeg file");
        EXPECT_NE(info.mDateTime, "could not open file");
        EXPECT_LT(info.mThumbnailOffset, std::stoll(row.at("bytes")));
        const auto source = intactBlock.find(file);
        if (source != intactBlock.end()) {
            const SExifInfo original = readExif(corpusPath(source->second));
            EXPECT_EQ(info.mDateTime, original.mDateTime);
            EXPECT_EQ(info.mThumbnailOffset, original.mThumbnailOffset);
            EXPECT_EQ(info.mModel, original.mModel);
        }
    }
}
