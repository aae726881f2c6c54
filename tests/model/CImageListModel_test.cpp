// The picture list over real folders and real Exif files, always under Qt's model tester,
// whose complaints fail the test that caused them.
#include "diagnostics.h"
#include "CImageListModel.h"
#include "modeltexts.h"

#include "exiffixtures.h"
#include "jpegfixtures.h"

#include <gmock/gmock.h>

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QPalette>
#include <QSignalSpy>
#include <QUrl>

#include <cstring>
#include <sys/time.h>

using testing::Each;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// These tests read the console's informational lines, which show only when verbose.
[[maybe_unused]] static const bool kConsoleVerbose = (setConsoleVerbose(true), true);

// Readable texts in failure messages.
static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

QtMessageHandler gPreviousHandler = nullptr;

void failOnTesterMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (context.category && std::strcmp(context.category, "qt.modeltest") == 0 &&
        type != QtDebugMsg)
        ADD_FAILURE() << "model tester: " << text.toStdString();
    else if (gPreviousHandler)
        gPreviousHandler(type, context, text);
}

// A JPEG-like file whose Exif block holds what the list reads; an empty date leaves
// the date tag out.
exiffix::Bytes exifJpeg(const std::string& date, int orientation = 1,
                        const std::string& model = "SW-3D Twin") {
    exiffix::CTiffBuilder tiff(true);
    const int ifd0 = tiff.addDirectory();
    tiff.ascii(ifd0, 0x010F, "Stereo Works");
    tiff.ascii(ifd0, 0x0110, model);
    tiff.shortValue(ifd0, 0x0112, uint16_t(orientation));
    if (!date.empty()) {
        const int exif = tiff.addDirectory();
        tiff.pointer(ifd0, 0x8769, exif);
        tiff.ascii(exif, 0x9003, date);
    }
    return exiffix::jpegFile({exiffix::app1Exif(tiff.bytes())});
}

// Seconds since 1970 (UTC), as the file system keeps them.
void setModified(const QString& path, long seconds) {
    const timeval times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimes(QFile::encodeName(path).constData(), times), 0) << path.toStdString();
}

class ImageList : public testing::Test {
protected:
    void SetUp() override { gPreviousHandler = qInstallMessageHandler(failOnTesterMessages); }
    void TearDown() override { qInstallMessageHandler(gPreviousHandler); }

    QString dir() const { return QString::fromStdString(mFolder.path()); }
    QString file(const QString& name) const { return dir() + "/" + name; }
    void write(const QString& name, const exiffix::Bytes& bytes = {}) const {
        mFolder.write(QFile::encodeName(name).toStdString(), bytes);
    }
    QString cell(int row, int column) const { return cellText(mModel, row, column); }
    std::vector<QString> column(int column) const { return columnTexts(mModel, column); }
    int rowOf(const QString& filename) const {
        const std::vector<QString> names = column(0);
        return int(std::find(names.begin(), names.end(), filename) - names.begin());
    }

    CTempFolder mFolder;
    CImageListModel mModel;
    QAbstractItemModelTester mTester{&mModel,
                                     QAbstractItemModelTester::FailureReportingMode::Warning};
};

}  // namespace

TEST_F(ImageList, FolderListsItsPicturesSortedByNameWithFreshFields) {
    for (const char* name : {"b.jpg", "A.png", "c.MPO", "d.jpeg", "B2.jpg", "notes.txt", "e.gif"})
        write(name);
    QDir(dir()).mkdir("sub");
    write("sub/f.jpg");
    QSignalSpy populated(&mModel, &CImageListModel::numberPopulated);
    QSignalSpy inserted(&mModel, &QAbstractItemModel::rowsInserted);

    mModel.setDirPath(dir());
    // Case-sensitive order by UTF-16 code units: capitals first.
    EXPECT_THAT(column(0), ElementsAre("A.png", "B2.jpg", "b.jpg", "c.MPO", "d.jpeg"));
    EXPECT_THAT(column(1), Each(QString("")));
    EXPECT_THAT(column(2), Each(QString("undefined")));
    EXPECT_THAT(column(3), Each(QString("")));  // not read yet: nothing to show
    EXPECT_THAT(column(4), Each(QString("undefined")));
    ASSERT_EQ(populated.size(), 1);
    EXPECT_EQ(populated[0][0].toInt(), 5);
    ASSERT_EQ(inserted.size(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 0);
    EXPECT_EQ(inserted[0][2].toInt(), 4);
    EXPECT_EQ(mModel.basePath(), dir());
    EXPECT_EQ(mModel.fullPath(mModel.index(2, 0)), file("b.jpg"));

    std::vector<QVariant> headers;
    for (int section = 0; section <= 5; ++section)
        headers.push_back(mModel.headerData(section, Qt::Horizontal));
    EXPECT_THAT(headers,
                ElementsAre("Filename", "Path", "Date", "Orientation", "Camera", QVariant()));
    EXPECT_EQ(mModel.headerData(0, Qt::Vertical), QVariant());
    EXPECT_EQ(int(mModel.flags(mModel.index(0, 4))), 45);
    // Below the rows (and in an empty list) only drops are taken.
    EXPECT_EQ(mModel.flags(QModelIndex()), Qt::ItemIsDropEnabled);
    EXPECT_EQ(mModel.data(mModel.index(0, 0), Qt::ToolTipRole), QVariant());
}

TEST_F(ImageList, SameFolderTwiceGivesTheSameListAndAnEmptyFolderClearsIt) {
    for (const char* name : {"x.jpg", "y.jpg"})
        write(name);
    mModel.setDirPath(dir());
    QSignalSpy reset(&mModel, &QAbstractItemModel::modelReset);
    mModel.setDirPath(dir());
    EXPECT_THAT(column(0), ElementsAre("x.jpg", "y.jpg"));
    EXPECT_EQ(reset.size(), 1);

    CTempFolder empty;
    QSignalSpy populated(&mModel, &CImageListModel::numberPopulated);
    mModel.setDirPath(QString::fromStdString(empty.path()));
    EXPECT_EQ(mModel.rowCount(), 0);
    EXPECT_EQ(populated.size(), 0);
    EXPECT_EQ(mModel.dirPath(), QString::fromStdString(empty.path()));
}

TEST_F(ImageList, RowsComeInBandsOfAHundred) {
    const QPalette original = QGuiApplication::palette();
    QPalette palette = original;
    palette.setBrush(QPalette::Base, Qt::white);
    palette.setBrush(QPalette::AlternateBase, Qt::yellow);
    QGuiApplication::setPalette(palette);
    for (int i = 0; i < 250; ++i)
        write(QString::asprintf("p%03d.jpg", i));
    mModel.setDirPath(dir());
    ASSERT_EQ(mModel.rowCount(), 250);
    for (int row : {0, 99, 100, 199, 200, 249}) {
        const QVariant brush = mModel.data(mModel.index(row, 1), Qt::BackgroundRole);
        EXPECT_EQ(brush.value<QBrush>().color(), row / 100 == 1 ? Qt::yellow : Qt::white) << row;
    }
    QGuiApplication::setPalette(original);
}

TEST_F(ImageList, EveryColumnSortsBothWaysWithItsTieBreak) {
    write("c.jpg", exifJpeg("2011:01:01 10:00:00", 8, "B"));
    write("a.jpg", exifJpeg("2011:01:01 10:00:00", 1, "C"));
    write("d.jpg", exifJpeg("2009:05:05 05:05:05", 8, "A"));
    write("b.jpg", exifJpeg("2012:12:12 12:12:12", 3, "C"));
    mModel.setDirPath(dir());
    ASSERT_TRUE(fillDone(mModel));
    const std::vector<std::vector<const char*>> ascending = {{"a.jpg", "b.jpg", "c.jpg", "d.jpg"},
                                                             {"a.jpg", "b.jpg", "c.jpg", "d.jpg"},
                                                             {"d.jpg", "a.jpg", "c.jpg", "b.jpg"},
                                                             {"a.jpg", "b.jpg", "c.jpg", "d.jpg"},
                                                             {"d.jpg", "c.jpg", "a.jpg", "b.jpg"}};
    for (int col = 0; col < 5; ++col) {
        for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            SCOPED_TRACE(testing::Message() << "column " << col << " order " << order);
            mModel.sort(col, order);
            std::vector<const char*> expected = ascending[size_t(col)];
            if (order == Qt::DescendingOrder)
                std::reverse(expected.begin(), expected.end());
            std::vector<QString> names = column(0);
            EXPECT_EQ(names, std::vector<QString>(expected.begin(), expected.end()));
            EXPECT_EQ(mModel.sortColumn(), col);
            EXPECT_EQ(mModel.sortAscending(), order == Qt::AscendingOrder);
        }
    }
}

TEST_F(ImageList, TheFillDatesByExifAndTheRestByModificationTime) {
    jpegfix::SJpegFixture picture;
    const exiffix::Bytes tiff = exiffix::cameraTiff(false);
    exiffix::Bytes payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    picture.mSegments.push_back({0xE1, payload});
    write("camera.jpg", jpegfix::encodeJpeg(picture));  // a decodable JPEG with JFIF first
    write("plain.jpg", jpegfix::encodeJpeg(jpegfix::SJpegFixture()));
    write("undated.jpg", exifJpeg("", 3));
    ASSERT_TRUE(QImage(4, 4, QImage::Format_RGB32).save(file("picture.png")));
    setModified(file("plain.jpg"), 1262304000);    // 2010-01-01 00:00:00 UTC
    setModified(file("undated.jpg"), 1277942400);  // 2010-07-01 00:00:00 UTC
    setModified(file("picture.png"), 1293839999);  // 2010-12-31 23:59:59 UTC
    mModel.setDirPath(dir());
    QPersistentModelIndex current = mModel.index(rowOf("undated.jpg"), 3);
    ASSERT_TRUE(fillDone(mModel));

    mModel.sort(2, Qt::DescendingOrder);
    // Modification times are in local time, one hour east of UTC in winter and two in
    // summer.
    EXPECT_THAT(column(0), ElementsAre("camera.jpg", "picture.png", "undated.jpg", "plain.jpg"));
    EXPECT_THAT(column(2), ElementsAre(exiffix::kCameraCapture, "2011:01:01 00:59:59",
                                       "2010:07:01 02:00:00", "2010:01:01 01:00:00"));
    std::vector<int> orientations;
    for (int row = 0; row < 4; ++row)
        orientations.push_back(
            mModel.data(mModel.index(row, 3), CImageListModel::OrientationCodeRole).toInt());
    EXPECT_THAT(orientations, ElementsAre(exiffix::kCameraOrientation, -2, 3, -2));
    // Only codes show; the camera came with the same read, "undefined" where none is named.
    EXPECT_THAT(column(3), ElementsAre(QString::number(exiffix::kCameraOrientation), "", "3", ""));
    EXPECT_THAT(column(4), ElementsAre(QString(exiffix::kCameraMake) + " " + exiffix::kCameraModel,
                                       "undefined", "Stereo Works SW-3D Twin", "undefined"));
    EXPECT_EQ(current.row(), 2);  // the persistent index followed its entry
    EXPECT_EQ(current.data().toInt(), 3);
}

TEST_F(ImageList, CameraSortOrdersMakeAndModelAndTheCurrentRowFollows) {
    write("a.jpg", exifJpeg("2011:01:01 10:00:00", 1, "Z9"));
    write("b.jpg", exifJpeg("2011:01:01 10:00:00", 1, "A1"));
    write("c.png");
    mModel.setDirPath(dir());
    QItemSelectionModel selection(&mModel);
    selection.setCurrentIndex(mModel.index(0, 0), QItemSelectionModel::SelectCurrent);
    ASSERT_TRUE(fillDone(mModel));
    mModel.sort(4);
    // A file that names no camera keeps "undefined"; the dates came with the same read.
    EXPECT_THAT(column(4), ElementsAre("Stereo Works A1", "Stereo Works Z9", "undefined"));
    EXPECT_EQ(cell(0, 2), "2011:01:01 10:00:00");
    EXPECT_EQ(selection.currentIndex().data().toString(), "a.jpg");
    EXPECT_EQ(selection.currentIndex().row(), 1);
}

TEST_F(ImageList, FoldersAndFilesOutsideAsciiAreRead) {
    const QString sub = QString::fromUtf8("Größe 3D");
    ASSERT_TRUE(QDir(dir()).mkdir(sub));
    write(sub + QString::fromUtf8("/Bild ä.jpg"), exifJpeg("2015:05:05 15:15:15"));
    mModel.setDirPath(file(sub));
    ASSERT_TRUE(fillDone(mModel));
    EXPECT_EQ(cell(0, 2), "2015:05:05 15:15:15");
    EXPECT_TRUE(QFile::exists(mModel.fullPath(mModel.index(0, 0))));
    mModel.addToDate(mModel.index(0, 0), 0, 0, 0, 0, 0, 1);
    EXPECT_EQ(cell(0, 2), "2015:05:05 15:15:16");
    mModel.loadExifDate(mModel.index(0, 0));
    EXPECT_EQ(cell(0, 2), "2015:05:05 15:15:15");
}

TEST_F(ImageList, ListModeAddsNewPicturesAndResolvesEveryKindOfPath) {
    write("x.jpg");
    write("y.jpg");
    QDir(dir()).mkdir("sub");
    write("sub/x.jpg");
    const QString list = file("list.csv");
    QFile csv(list);
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write(
        "\"x.jpg\",\"\",\"undefined\",\"0\",\"undefined\"\n"
        "\"p.jpg\",\"C:/photos\",\"undefined\",\"0\",\"undefined\"\n");
    csv.close();
    mModel.loadList(list);
    QSignalSpy populated(&mModel, &CImageListModel::numberPopulated);
    mModel.setDirPath(dir());
    mModel.setDirPath(dir());  // everything is listed already
    mModel.setDirPath(file("sub"));
    EXPECT_THAT(column(0), ElementsAre("p.jpg", "x.jpg", "x.jpg", "y.jpg"));
    EXPECT_THAT(column(1), ElementsAre("C:/photos", "", "sub", ""));
    ASSERT_EQ(populated.size(), 3);
    EXPECT_EQ(populated[1][0].toInt(), 3);
    EXPECT_EQ(mModel.basePath(), QFileInfo(dir()).canonicalFilePath());
    mModel.sort(0, Qt::DescendingOrder);
    EXPECT_THAT(column(1), ElementsAre("", "sub", "", "C:/photos"));

    QMimeData* mime = mModel.mimeData(
        {mModel.index(3, 0), mModel.index(1, 1), mModel.index(1, 0), mModel.index(2, 0)});
    EXPECT_THAT(mime->urls(), ElementsAre(QUrl::fromLocalFile("C:/photos/p.jpg"),
                                          QUrl::fromLocalFile(file("sub/x.jpg")),
                                          QUrl::fromLocalFile(file("x.jpg"))));
    delete mime;
    EXPECT_EQ(mModel.mimeTypes(), QStringList("text/uri-list"));
    EXPECT_EQ(mModel.supportedDropActions(), Qt::CopyAction);
}

TEST_F(ImageList, DroppedFilesAreCopiedInUnlessTheNameExists) {
    CTempFolder elsewhere;
    const QString other = QString::fromStdString(elsewhere.path());
    elsewhere.write("new.jpg", exifJpeg("2020:02:02 02:02:02"));
    elsewhere.write("old.jpg", {1, 2, 3});
    write("old.jpg", exifJpeg("2019:01:01 00:00:00"));
    write("z.jpg", exifJpeg("2018:01:01 00:00:00"));
    mModel.setDirPath(dir());
    mModel.sort(2);
    QSignalSpy populated(&mModel, &CImageListModel::numberPopulated);

    QMimeData mime;
    mime.setUrls(
        {QUrl::fromLocalFile(other + "/old.jpg"), QUrl::fromLocalFile(other + "/new.jpg")});
    CaptureStderr();
    const bool dropped = mModel.dropMimeData(&mime, Qt::CopyAction, -1, -1, QModelIndex());
    const std::string console = GetCapturedStderr();
    EXPECT_FALSE(dropped);
    EXPECT_THAT(console,
                HasSubstr(") WARNING: Could not copy " + (other + "/old.jpg").toStdString()));
    // The new file was copied, listed and, the list being sorted by date, dated and sorted
    // in once the fill read it.
    ASSERT_TRUE(fillDone(mModel));
    EXPECT_THAT(column(0), ElementsAre("z.jpg", "old.jpg", "new.jpg"));
    EXPECT_EQ(cell(2, 2), "2020:02:02 02:02:02");
    EXPECT_EQ(QFile(file("old.jpg")).size(), qint64(exifJpeg("2019:01:01 00:00:00").size()));
    ASSERT_EQ(populated.size(), 1);
    EXPECT_EQ(populated[0][0].toInt(), 3);
}

TEST_F(ImageList, DateOperationsChangeTheRowShownAndTellViews) {
    write("20100514_123000.jpg", exifJpeg("2012:02:29 12:00:00"));
    write("b.jpg");
    write("c.jpg");
    setModified(file("c.jpg"), 1262304000);
    mModel.setDirPath(dir());
    mModel.sort(0, Qt::DescendingOrder);  // rows are no longer in storage order
    const QModelIndex first = mModel.index(2, 0), last = mModel.index(0, 0);
    QSignalSpy changed(&mModel, &QAbstractItemModel::dataChanged);

    CaptureStderr();
    mModel.loadFilenameDate(first);
    EXPECT_EQ(GetCapturedStderr(), "date from the file name: 2010:05:14 12:30:00\n");
    EXPECT_EQ(cell(2, 2), "2010:05:14 12:30:00");
    mModel.loadExifDate(first);
    EXPECT_EQ(cell(2, 2), "2012:02:29 12:00:00");
    CaptureStderr();
    mModel.addToDate(first, -1, 0, 0, 0, 0, 0);
    EXPECT_EQ(GetCapturedStderr(),
              "date.toString(format2).toAscii().constData() = "
              "2012:02:29 12:00:00\nitem[2].toAscii().constData() = "
              "2011:02:28 12:00:00\n");
    EXPECT_EQ(cell(2, 2), "2011:02:28 12:00:00");
    EXPECT_EQ(mModel.data(mModel.index(2, 3)).toInt(), 0);  // orientation untouched

    mModel.loadExifDate(mModel.index(1, 0));
    EXPECT_EQ(cell(1, 2), "no jpeg file");
    CaptureStderr();
    mModel.addToDate(mModel.index(1, 0), 0, 0, 1, 0, 0, 0);
    mModel.setDate(mModel.index(1, 0), 2011, 2, 29, 0, 0, 0);
    GetCapturedStderr();
    EXPECT_EQ(cell(1, 2), "no jpeg file");  // neither a date to shift nor a possible one
    CaptureStderr();
    mModel.setDate(last, 2011, 6, 7, 8, 9, 10);
    EXPECT_EQ(GetCapturedStderr(), "item[2].toAscii().constData() = 2011:06:07 08:09:10\n");
    mModel.loadFSDate(last);
    EXPECT_EQ(cell(0, 2), "2010:01:01 01:00:00");
    QFile::remove(file("c.jpg"));
    mModel.loadFSDate(last);
    EXPECT_EQ(cell(0, 2), "2010:01:01 01:00:00");
    mModel.setOrientation(last, 6);
    EXPECT_EQ(mModel.data(mModel.index(0, 3)).toInt(), 6);

    std::vector<std::pair<int, int>> cells;
    for (const QList<QVariant>& signal : changed) {
        const QModelIndex from = signal[0].toModelIndex(), to = signal[1].toModelIndex();
        EXPECT_EQ(from, to);
        cells.emplace_back(from.row(), from.column());
    }
    EXPECT_THAT(cells,
                ElementsAre(std::pair(2, 2), std::pair(2, 2), std::pair(2, 2), std::pair(1, 2),
                            std::pair(0, 2), std::pair(0, 2), std::pair(0, 3)));
}

TEST_F(ImageList, DateOperationsKeepWallClockTimesAcrossSummerTime) {
    write("a.jpg", exifJpeg("2010:03:28 02:30:00"));
    write("b.jpg");
    setModified(file("b.jpg"), 1280627999);  // 2010-08-01 01:59:59 UTC
    mModel.setDirPath(dir());
    const QModelIndex a = mModel.index(0, 0), b = mModel.index(1, 0);
    CaptureStderr();
    mModel.loadExifDate(a);
    mModel.addToDate(a, 0, 0, 0, 1, 0, 0);
    EXPECT_EQ(cell(0, 2), "2010:03:28 03:30:00");
    mModel.setDate(a, 2010, 3, 28, 2, 15, 0);
    EXPECT_EQ(cell(0, 2), "2010:03:28 02:15:00");
    mModel.setDate(a, 2010, 10, 31, 2, 30, 0);
    mModel.addToDate(a, 0, 0, 0, 1, 0, 0);
    EXPECT_EQ(cell(0, 2), "2010:10:31 03:30:00");
    // A file time is an instant and shows as the local clock showed it, in summer time.
    mModel.loadFSDate(b);
    EXPECT_EQ(cell(1, 2), "2010:08:01 03:59:59");
    GetCapturedStderr();
}
