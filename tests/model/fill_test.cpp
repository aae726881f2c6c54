// The list's columns filling in from the files' Exif data in the background, and the
// list following its folder: real folders, real Exif files, a real event loop, Qt's
// model tester watching every change.
#include "CImageListModel.h"
#include "modeltexts.h"

#include "exifwrite.h"
#include "tempfolder.h"

#include <gmock/gmock.h>

#include <QAbstractItemModelTester>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include <sys/stat.h>
#include <sys/time.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <thread>

using testing::ElementsAre;

static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

// A JPEG-like file with the program's own Exif block; an empty date, make or model
// leaves that tag out, an orientation of 0 leaves out the orientation tag.
std::vector<uint8_t> exifFile(const std::string& date, int orientation, const std::string& make,
                              const std::string& model = "M1") {
    SExifWrite exif;
    exif.mDateTime = date;
    exif.mOrientation = orientation;
    exif.mMake = make;
    exif.mModel = make.empty() ? std::string() : model;
    const std::vector<uint8_t> payload = buildExifPayload(exif);
    std::vector<uint8_t> bytes = {
        0xFF, 0xD8, 0xFF, 0xE1, uint8_t((payload.size() + 2) >> 8), uint8_t(payload.size() + 2)};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    bytes.insert(bytes.end(), {0xFF, 0xD9});
    return bytes;
}

class Fill : public testing::Test {
protected:
    QString dir() const { return QString::fromStdString(mFolder.path()); }
    QString cell(int row, int column) const { return cellText(mModel, row, column); }
    std::vector<QString> column(int column) const { return columnTexts(mModel, column); }
    int rowOf(const QString& name) const {
        for (int row = 0; row < mModel.rowCount(); ++row)
            if (cell(row, 0) == name)
                return row;
        return -1;
    }
    bool filled() {
        return waitUntil([this] { return !mModel.isFilling(); });
    }
    static bool waitUntil(const std::function<bool()>& done, int ms = 10000) {
        for (int waited = 0; !done() && waited < ms; waited += 10)
            QTest::qWait(10);
        return done();
    }

    CTempFolder mFolder;
    CImageListModel mModel;
    QAbstractItemModelTester mTester{&mModel,
                                     QAbstractItemModelTester::FailureReportingMode::Fatal};
};

}  // namespace

TEST_F(Fill, ColumnsFillInWithoutBlockingAndWithoutAChange) {
    mFolder.write("a.jpg", exifFile("2011:01:01 10:00:00", 6, "Alpha"));
    mFolder.write("b.jpg", exifFile("0000:00:00 00:00:00", 0, ""));  // unset clock, no tags
    mFolder.write("c.jpg", exifFile("2009:05:05 05:05:05", 1, "Gamma", "G2"));
    mFolder.write("d.jpg", exifFile("", 3, "Delta"));             // dated by its file time
    const timeval times[2] = {{1262304000, 0}, {1262304000, 0}};  // 2010-01-01 00:00 UTC
    ASSERT_EQ(utimes(mFolder.path("d.jpg").c_str(), times), 0);
    QSignalSpy changed(&mModel, &QAbstractItemModel::dataChanged);
    QSignalSpy modified(&mModel, &CImageListModel::modifiedChanged);

    mModel.setDirPath(dir());
    // Listing reads nothing: the window is back at once.
    EXPECT_THAT(column(2), testing::Each(QString("undefined")));
    ASSERT_TRUE(filled());
    EXPECT_THAT(column(2), ElementsAre("2011:01:01 10:00:00", "", "2009:05:05 05:05:05",
                                       "2010:01:01 01:00:00"));
    EXPECT_THAT(column(3), ElementsAre("6", "", "1", "3"));
    EXPECT_THAT(column(4), ElementsAre("Alpha M1", "undefined", "Gamma G2", "Delta M1"));
    EXPECT_EQ(mModel.data(mModel.index(1, 3), CImageListModel::OrientationCodeRole).toInt(), -2);
    EXPECT_FALSE(changed.isEmpty());
    EXPECT_FALSE(mModel.isModified());
    EXPECT_TRUE(modified.isEmpty());

    // The zero date sorts after every date, both ways, and the sort reads nothing more.
    mModel.sort(CImageListModel::ColDate, Qt::AscendingOrder);
    EXPECT_THAT(column(0), ElementsAre("c.jpg", "d.jpg", "a.jpg", "b.jpg"));
    mModel.sort(CImageListModel::ColDate, Qt::DescendingOrder);
    EXPECT_THAT(column(0), ElementsAre("a.jpg", "d.jpg", "c.jpg", "b.jpg"));
}

TEST_F(Fill, AReplacedListingGetsNoneOfTheOldFillsValues) {
    // Two folders with the same names: the old fill's results would fit the new rows.
    CTempFolder other;
    for (int i = 0; i < 300; ++i) {
        const std::string name = "p" + std::to_string(1000 + i) + ".jpg";
        mFolder.write(name, exifFile("2001:01:01 01:01:01", 8, "Old"));
        other.write(name, exifFile("2002:02:02 02:02:02", 3, "New"));
    }
    mModel.setDirPath(dir());
    // The old fill reads and sends its batches while this thread takes no events.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    mModel.setDirPath(QString::fromStdString(other.path()));
    ASSERT_TRUE(filled());
    QTest::qWait(50);
    EXPECT_THAT(column(2), testing::Each(QString("2002:02:02 02:02:02")));
    EXPECT_THAT(column(3), testing::Each(QString("3")));
    EXPECT_THAT(column(4), testing::Each(QString("New M1")));
}

TEST_F(Fill, DatesSetDuringTheFillStay) {
    for (int i = 0; i < 50; ++i)
        mFolder.write("p" + std::to_string(10 + i) + ".jpg",
                      exifFile("2001:01:01 01:01:01", 1, "Cam"));
    mModel.setDirPath(dir());
    mModel.setDate(mModel.index(5, 0), 2020, 5, 5, 5, 5, 5);
    ASSERT_TRUE(filled());
    EXPECT_EQ(cell(5, 2), "2020:05:05 05:05:05");
    EXPECT_EQ(cell(6, 2), "2001:01:01 01:01:01");
    EXPECT_EQ(cell(5, 4), "Cam M1");
    EXPECT_TRUE(mModel.isModified());
}

TEST_F(Fill, AFileNameWithoutADateLeavesTheDateAndSaysSo) {
    mFolder.write("IMG_0001.jpg", exifFile("2011:01:01 10:00:00", 1, "A"));
    mFolder.write("IMG_20190704_153000.jpg", exifFile("2011:01:01 10:00:00", 1, "A"));
    mModel.setDirPath(dir());
    ASSERT_TRUE(filled());
    QSignalSpy said(&mModel, &CImageListModel::statusMessage);
    testing::internal::CaptureStderr();
    mModel.loadFilenameDate(mModel.index(0, 0));
    mModel.loadFilenameDate(mModel.index(1, 0));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(cell(0, 2), "2011:01:01 10:00:00");
    EXPECT_EQ(cell(1, 2), "2019:07:04 15:30:00");
    ASSERT_EQ(said.size(), 1);
    EXPECT_EQ(said[0][0].toString(), "No date in the file name IMG_0001.jpg");
}

TEST_F(Fill, TheListFollowsItsFolderKeepingTheSelectionAndChanges) {
    for (const char* name : {"b.jpg", "d.jpg", "f.jpg"})
        mFolder.write(name, exifFile("2011:01:01 10:00:00", 1, "A"));
    mModel.setDirPath(dir());
    ASSERT_TRUE(filled());
    QItemSelectionModel selection(&mModel);
    selection.setCurrentIndex(mModel.index(rowOf("d.jpg"), 0),
                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    mModel.setDate(mModel.index(rowOf("f.jpg"), 0), 2020, 1, 1, 0, 0, 0);
    ASSERT_TRUE(mModel.isModified());

    // A burst: pictures come, a note that is no picture, and a picture goes.
    mFolder.write("a.jpg", exifFile("2015:05:05 05:05:05", 8, "New"));
    mFolder.write("c.png", {});
    mFolder.write("notes.txt", {1});
    ASSERT_TRUE(QFile::remove(dir() + "/b.jpg"));
    ASSERT_TRUE(waitUntil([this] { return mModel.rowCount() == 4 && !mModel.isFilling(); }));
    EXPECT_THAT(column(0), ElementsAre("a.jpg", "c.png", "d.jpg", "f.jpg"));
    EXPECT_EQ(selection.currentIndex().data().toString(), "d.jpg");
    EXPECT_EQ(selection.selectedRows().size(), 1);
    EXPECT_EQ(cell(rowOf("f.jpg"), 2), "2020:01:01 00:00:00");
    EXPECT_EQ(cell(rowOf("a.jpg"), 2), "2015:05:05 05:05:05");
    EXPECT_EQ(cell(rowOf("a.jpg"), 3), "8");
    EXPECT_TRUE(mModel.isModified());

    // A picture that comes back is listed again.
    mFolder.write("b.jpg", exifFile("2011:01:01 10:00:00", 1, "A"));
    ASSERT_TRUE(waitUntil([this] { return mModel.rowCount() == 5; }));
    EXPECT_EQ(selection.currentIndex().data().toString(), "d.jpg");
}

TEST_F(Fill, ADroppedFileIsCopiedWithItsFileTime) {
    CTempFolder source;
    source.write("new.jpg", exifFile("", 1, "A"));
    const timeval times[2] = {{1262304000, 0}, {1262304000, 0}};
    ASSERT_EQ(utimes(source.path("new.jpg").c_str(), times), 0);
    mModel.setDirPath(dir());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(source.path("new.jpg")))});
    ASSERT_TRUE(mModel.dropMimeData(&mime, Qt::CopyAction, -1, -1, QModelIndex()));
    struct stat copy;
    ASSERT_EQ(stat(mFolder.path("new.jpg").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_mtime, 1262304000);
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(source.path("new.jpg"))));
    ASSERT_TRUE(filled());
    EXPECT_EQ(cell(0, 2), "2010:01:01 01:00:00");
}

TEST_F(Fill, ASortDuringTheFillChangesOnlyTheOrder) {
    // Enough files for the fill to be under way for a while, with dates, orientations and
    // cameras in another order than the names.
    constexpr int kFiles = 1500;
    for (int i = 0; i < kFiles; ++i) {
        char name[32], date[32];
        std::snprintf(name, sizeof name, "f%04d.jpg", i);
        std::snprintf(date, sizeof date, "20%02d:01:01 10:00:00", (i * 37) % 23);
        mFolder.write(name, exifFile(date, 1 + i % 8, "Cam" + std::to_string(i % 5)));
    }
    // The values as a list that no one sorted during its fill has them, by file name.
    CImageListModel quiet;
    quiet.setDirPath(dir());
    ASSERT_TRUE(waitUntil([&] { return !quiet.isFilling(); }, 60000));
    auto values = [](const CImageListModel& model) {
        std::map<QString, QString> byName;
        for (int row = 0; row < model.rowCount(); ++row)
            byName[cellText(model, row, 0)] = cellText(model, row, 2) + '|' +
                                              cellText(model, row, 3) + '|' +
                                              cellText(model, row, 4);
        return byName;
    };
    quiet.sort(CImageListModel::ColDate, Qt::DescendingOrder);

    mModel.setDirPath(dir());
    ASSERT_TRUE(mModel.isFilling());
    mModel.sort(CImageListModel::ColDate, Qt::DescendingOrder);
    // Part read, part not: the rows read so far come first, in order.
    ASSERT_TRUE(waitUntil([&] { return cell(0, 2) != "undefined" || !mModel.isFilling(); }));
    mModel.sort(CImageListModel::ColCamera, Qt::AscendingOrder);
    mModel.sort(CImageListModel::ColDate, Qt::DescendingOrder);
    const std::vector<QString> dates = column(2);
    const auto unread = std::find(dates.begin(), dates.end(), QString("undefined"));
    EXPECT_TRUE(
        std::all_of(unread, dates.end(), [](const QString& d) { return d == "undefined"; }));
    EXPECT_TRUE(std::is_sorted(dates.begin(), unread, std::greater<QString>()));

    // Once the fill ends: the same rows with the same values, sorted as the quiet list.
    ASSERT_TRUE(filled());
    EXPECT_EQ(mModel.rowCount(), kFiles);
    EXPECT_EQ(values(mModel), values(quiet));
    EXPECT_EQ(column(0), columnTexts(quiet, 0));
    EXPECT_FALSE(mModel.isModified());
}
