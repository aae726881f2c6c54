// CSV image lists: saving and loading through the model, with real files in a
// temporary folder.
#include "CImageListModel.h"
#include "modeltexts.h"

#include "tempfolder.h"

#include "filesizelimit.h"

#include <gmock/gmock.h>

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

#include <algorithm>
#include <csignal>
#include <string>
#include <sys/resource.h>
#include <sys/time.h>
#include <vector>

using testing::HasSubstr;
using testing::Not;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

using Row = std::vector<std::string>;

// Every row as shown: file name, path, date, orientation, camera (UTF-8).
std::vector<Row> rowsOf(const CImageListModel& model) {
    std::vector<Row> rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        Row fields;
        for (int column = 0; column < CImageListModel::ColumnCount; ++column)
            // The stored orientation, as the list file keeps it; the column shows codes only.
            fields.push_back(
                model
                    .data(model.index(row, column), column == CImageListModel::ColOrientation
                                                        ? CImageListModel::OrientationCodeRole
                                                        : int(Qt::DisplayRole))
                    .toString()
                    .toStdString());
        rows.push_back(fields);
    }
    return rows;
}

std::string readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll().toStdString();
}

void writeFile(const QString& path, const std::string& text) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(text.data(), qint64(text.size())), qint64(text.size()));
}

// The plain string a call throws, or "" when it throws nothing.
template <class F>
std::string thrownText(F call) {
    try {
        call();
    } catch (const char* text) {
        return text;
    }
    return "";
}

const QString kUtf8Folder = QString::fromUtf8("Gr\u00F6\u00DFe");
const QString kUtf8Name = QString::fromUtf8("\u00C4rger 3D.mpo");

class CsvList : public testing::Test {
protected:
    QString path(const std::string& name) const { return QString::fromStdString(mDir.path(name)); }
    QString folder() const { return QString::fromStdString(mDir.path()); }
    QStringList listing() const {
        return QDir(folder()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    CTempFolder mDir;
    CImageListModel mModel;
};

// Sorted by file name, as a load leaves it, and written the way save() writes.
const std::string kCanonical =
    "\"a.mpo\",\"sub/dir\",\"2011:05:01 10:00:00\",\"1\",\"Maker Model\"\n"
    "\"b \"\"quoted\"\".jpg\",\"\",\"no Exif data\",\"-2\",\"Maker \"\"X\"\", 3D\"\n"
    "\"c,d.png\",\"C:/photos\",\"undefined\",\"0\",\"undefined\"\n"
    "\"\u00C4rger 3D.mpo\",\"Gr\u00F6\u00DFe\",\"2012:01:02 03:04:05\",\"6\","
    "\"Fuji \u00E9t\u00E9\"\n";

}  // namespace

TEST_F(CsvList, LoadingAndSavingAgainGivesTheSameBytes) {
    writeFile(path("list.csv"), kCanonical);
    mModel.loadList(path("list.csv"));
    EXPECT_EQ(rowsOf(mModel), (std::vector<Row>{
                                  {"a.mpo", "sub/dir", "2011:05:01 10:00:00", "1", "Maker Model"},
                                  {"b \"quoted\".jpg", "", "no Exif data", "-2", "Maker \"X\", 3D"},
                                  {"c,d.png", "C:/photos", "undefined", "0", "undefined"},
                                  {"\u00C4rger 3D.mpo", "Gr\u00F6\u00DFe", "2012:01:02 03:04:05",
                                   "6", "Fuji \u00E9t\u00E9"},
                              }));
    writeFile(path("list.csv"), "overwritten\n");
    mModel.save();
    EXPECT_EQ(readFile(path("list.csv")), kCanonical);
}

TEST_F(CsvList, SavesInTheCurrentRowOrderAndLoadsItBack) {
    writeFile(path("list.csv"), kCanonical);
    mModel.loadList(path("list.csv"));
    mModel.sort(CImageListModel::ColOrientation, Qt::DescendingOrder);
    const std::vector<Row> shown = rowsOf(mModel);
    ASSERT_EQ(shown.size(), 4u);
    ASSERT_EQ(shown[0][3], "6");
    mModel.save();

    // The orientation never read (0) goes last.
    const std::string saved = readFile(path("list.csv"));
    EXPECT_EQ(saved.rfind("\"\u00C4rger 3D.mpo\",", 0), 0u) << saved;
    EXPECT_NE(saved.find("\"-2\",\"Maker \"\"X\"\", 3D\"\n\"c,d.png\""), std::string::npos)
        << saved;

    // A model sorted the same way shows the saved list as it was.
    CImageListModel again;
    again.sort(CImageListModel::ColOrientation, Qt::DescendingOrder);
    again.loadList(path("list.csv"));
    EXPECT_EQ(rowsOf(again), shown);
}

TEST_F(CsvList, NamesOutsideAsciiReachTheFileSystem) {
    // A picture that really lies in "Größe/Ärger 3D.mpo" beside the list.
    ASSERT_TRUE(QDir(folder()).mkdir(kUtf8Folder));
    writeFile(folder() + "/" + kUtf8Folder + "/" + kUtf8Name, "picture");
    writeFile(path("list.csv"),
              "\"\u00C4rger 3D.mpo\",\"Gr\u00F6\u00DFe\",\"undefined\",\"0\","
              "\"undefined\"\n");
    mModel.loadList(path("list.csv"));
    ASSERT_EQ(mModel.rowCount(), 1);
    EXPECT_EQ(mModel.data(mModel.index(0, 0)).toString().toStdString(), kUtf8Name.toStdString());
    EXPECT_EQ(mModel.data(mModel.index(0, 1)).toString().toStdString(), kUtf8Folder.toStdString());
    EXPECT_EQ(readFile(mModel.fullPath(mModel.index(0, 0))), "picture");

    // The list itself may have such a name, too.
    const QString renamed = folder() + "/" + kUtf8Name + ".csv";
    ASSERT_TRUE(QFile::copy(path("list.csv"), renamed));
    mModel.loadList(renamed);
    ASSERT_EQ(mModel.rowCount(), 1);
    mModel.save();
    EXPECT_EQ(readFile(renamed), readFile(path("list.csv")));
}

TEST_F(CsvList, ReadsListsWrittenElsewhere) {
    // CR LF line ends, Latin-1 text, a blank orientation, a picture named twice and a
    // last line without a line end.
    writeFile(path("list.csv"),
              "\"Gr\xF6\xDF\x65.jpg\",\"\",\"undefined\",\"6\",\"undefined\"\r\n"
              "\"b.jpg\",\"x\",\"could not open file\",\"\",\"Maker Model\"\r\n"
              "\"b.jpg\",\"x\",\"could not open file\",\"\",\"Maker Model\"\r\n"
              "\"c.jpg\",\"\",\"2001:02:03 04:05:06\",\" 3\",\"Caf\xE9\"");
    mModel.loadList(path("list.csv"));
    EXPECT_EQ(rowsOf(mModel), (std::vector<Row>{
                                  {"Gr\u00F6\u00DFe.jpg", "", "undefined", "6", "undefined"},
                                  {"b.jpg", "x", "could not open file", "0", "Maker Model"},
                                  {"b.jpg", "x", "could not open file", "0", "Maker Model"},
                                  {"c.jpg", "", "2001:02:03 04:05:06", "3", "Caf\u00E9"},
                              }));
    // Written back as UTF-8 with plain line feeds.
    mModel.save();
    EXPECT_EQ(readFile(path("list.csv")),
              "\"Gr\u00F6\u00DFe.jpg\",\"\",\"undefined\",\"6\",\"undefined\"\n"
              "\"b.jpg\",\"x\",\"could not open file\",\"0\",\"Maker Model\"\n"
              "\"b.jpg\",\"x\",\"could not open file\",\"0\",\"Maker Model\"\n"
              "\"c.jpg\",\"\",\"2001:02:03 04:05:06\",\"3\",\"Caf\u00E9\"\n");
}

TEST_F(CsvList, LinesNotUnderstoodAreKeptInTheirPlaceAndSaidAtOpen) {
    const std::string comment = "# holiday 2019\n";
    const std::string following =
        "\r\n"                                              // blank
        "\"b4.jpg\",\"\",\"undefined\",\"0\"\n"             // four fields
        "\"c.jpg\",\"\",\"undefined\",\"6\",\"Y\",\"x\"\n"  // six
        "\"two\nlines\",\"x\"\n";                           // one record
    const std::string a = "\"a.jpg\",\"\",\"2012:01:01 00:00:00\",\"3\",\"Z\"\n";
    const std::string b = "\"b.jpg\",\"\",\"2011:01:01 00:00:00\",\"1\",\"X\"\n";
    writeFile(path("holiday.csv"), comment + b + following + a);
    QSignalSpy said(&mModel, &CImageListModel::statusMessage);
    CaptureStderr();
    mModel.loadList(path("holiday.csv"));
    const std::string messages = GetCapturedStderr();
    EXPECT_EQ(rowsOf(mModel), (std::vector<Row>{{"a.jpg", "", "2012:01:01 00:00:00", "3", "Z"},
                                                {"b.jpg", "", "2011:01:01 00:00:00", "1", "X"}}));
    EXPECT_THAT(messages, HasSubstr(") WARNING: line 3 of " + mDir.path("holiday.csv") +
                                    " not understood: it is kept as it is"));
    // Said once the opener had its say.
    ASSERT_TRUE(said.wait(2000));
    ASSERT_EQ(said.size(), 1);
    EXPECT_EQ(said[0][0].toString(),
              "5 lines of holiday.csv were not understood; they are kept as they are");

    // They follow the row they followed, also in another order; the comment stays first.
    mModel.save();
    EXPECT_EQ(readFile(path("holiday.csv")), comment + a + b + following);
    mModel.sort(CImageListModel::ColDate, Qt::DescendingOrder);
    mModel.saveAs(path("copy.csv"));
    EXPECT_EQ(readFile(path("copy.csv")), comment + a + b + following);
    mModel.sort(CImageListModel::ColDate, Qt::AscendingOrder);
    mModel.save();
    EXPECT_EQ(readFile(path("copy.csv")), comment + b + following + a);

    writeFile(path("one.csv"), b + "\n");
    mModel.loadList(path("one.csv"));
    ASSERT_TRUE(said.wait(2000));
    EXPECT_EQ(said.last()[0].toString(),
              "1 line of one.csv was not understood; it is kept as it is");
}

// Rows naming files that are gone keep what the list says of them, whatever the sort.
TEST_F(CsvList, ASortOrdersRowsAndChangesNoValue) {
    const std::string gone1 = "\"gone1.jpg\",\"\",\"2011:05:01 10:00:00\",\"-1\",\"Maker A\"\n";
    const std::string gone2 = "\"gone2.jpg\",\"\",\"no Exif data\",\"-1\",\"Maker C\"\n";
    const std::string gone3 = "\"gone3.jpg\",\"\",\"2009:01:01 00:00:00\",\"3\",\"Maker B\"\n";
    const std::string here = "\"here.jpg\",\"\",\"undefined\",\"0\",\"undefined\"\n";
    writeFile(path("list.csv"), gone3 + here + gone2 + gone1);
    writeFile(path("here.jpg"), "no picture");
    const timeval times[2] = {{1262304000, 0}, {1262304000, 0}};  // 2010-01-01 00:00 UTC
    ASSERT_EQ(utimes(mDir.path("here.jpg").c_str(), times), 0);
    mModel.loadList(path("list.csv"));
    std::vector<Row> listed = rowsOf(mModel);
    std::sort(listed.begin(), listed.end());
    for (int column : {2, 3, 4, 0}) {
        for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            SCOPED_TRACE(testing::Message() << "column " << column << " order " << order);
            mModel.sort(column, order);
            std::vector<Row> shown = rowsOf(mModel);
            // The row whose file was not read yet goes last, read by no sort.
            if (column != 0)
                EXPECT_EQ(shown.back()[0], "here.jpg");
            std::sort(shown.begin(), shown.end());
            EXPECT_EQ(shown, listed);
            EXPECT_FALSE(mModel.isModified());
        }
    }

    // Only the background fill reads the file, and fills only what was never read.
    mModel.sort(CImageListModel::ColOrientation);
    ASSERT_TRUE(fillDone(mModel));
    mModel.save();
    EXPECT_EQ(
        readFile(path("list.csv")),
        "\"here.jpg\",\"\",\"2010:01:01 01:00:00\",\"-2\",\"undefined\"\n" + gone1 + gone2 + gone3);
}

TEST_F(CsvList, AMissingListWarnsThrowsAndLeavesAnEmptyList) {
    writeFile(path("list.csv"), kCanonical);
    ASSERT_TRUE(QDir(folder()).mkdir("sub"));
    mModel.loadList(path("sub/../list.csv"));
    ASSERT_EQ(mModel.rowCount(), 4);
    const std::string canonical = QFileInfo(folder()).canonicalFilePath().toStdString();
    EXPECT_EQ(mModel.basePath().toStdString(), canonical);

    CaptureStderr();
    const std::string thrown = thrownText([&] { mModel.loadList(path("gone.csv")); });
    const std::string messages = GetCapturedStderr();
    EXPECT_EQ(thrown, "could not open filename");
    EXPECT_THAT(messages, HasSubstr(") WARNING: could not open " + mDir.path("gone.csv") + "\n"));
    EXPECT_EQ(mModel.rowCount(), 0);
    // Still in list mode, now with the missing file: a save would create it.
    EXPECT_EQ(mModel.listFile(), path("gone.csv"));
    EXPECT_EQ(mModel.basePath().toStdString(), canonical);
}

TEST_F(CsvList, SavingInDirectoryModeWritesNothing) {
    writeFile(path("a.jpg"), "x");
    writeFile(path("b.png"), "y");
    mModel.setDirPath(folder());
    ASSERT_EQ(mModel.rowCount(), 2);
    const QStringList before = listing();
    EXPECT_EQ(thrownText([&] { mModel.save(); }), "");
    EXPECT_EQ(listing(), before);
    EXPECT_TRUE(mModel.listFile().isEmpty());
}

TEST_F(CsvList, AListThatCannotBeCreatedThrowsOutFail) {
    writeFile(path("plain"), "a file, not a folder");
    for (const std::string target : {"missing/list.csv", "plain/list.csv"}) {
        CaptureStderr();
        EXPECT_EQ(thrownText([&] { mModel.loadList(path(target)); }), "could not open filename");
        GetCapturedStderr();
        // In list mode the folder's pictures join the (empty) list and can be saved.
        writeFile(path("a.jpg"), "x");
        mModel.setDirPath(folder());
        ASSERT_EQ(mModel.rowCount(), 1);
        EXPECT_EQ(thrownText([&] { mModel.save(); }), "out.fail") << target;
        EXPECT_FALSE(QFileInfo::exists(path(target)));
    }
    EXPECT_EQ(readFile(path("plain")), "a file, not a folder");
}

TEST_F(CsvList, AFailedWriteKeepsTheOldList) {
    const std::string old = "\"a.jpg\",\"\",\"undefined\",\"0\",\"undefined\"\n";
    writeFile(path("list.csv"), old);
    mModel.loadList(path("list.csv"));
    // Enough pictures in the list's folder that the new list outgrows the size limit.
    for (int i = 0; i < 300; ++i)
        writeFile(path("picture with a rather long name " + std::to_string(1000 + i) + ".jpg"), "");
    mModel.setDirPath(folder());
    ASSERT_EQ(mModel.rowCount(), 301);
    const QStringList before = listing();

    std::string thrown;
    {
        CFileSizeLimit limit(4096);
        thrown = thrownText([&] { mModel.save(); });
    }

    EXPECT_EQ(thrown, "out.fail");
    EXPECT_EQ(readFile(path("list.csv")), old);
    // No half-written file is left beside it.
    EXPECT_EQ(listing(), before);

    // With room again the whole list is written.
    mModel.save();
    const std::string text = readFile(path("list.csv"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 301);
    EXPECT_EQ(text.rfind(old, 0), 0u);
}

TEST_F(CsvList, ViewsAreToldOfTheResetAndTheInsertedRows) {
    writeFile(path("list.csv"), kCanonical);
    writeFile(path("other.csv"), "\"z.jpg\",\"\",\"undefined\",\"0\",\"undefined\"\n");
    // Any inconsistency in the notifications ends the test program on the spot.
    QAbstractItemModelTester tester(&mModel, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy resets(&mModel, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(&mModel, &QAbstractItemModel::rowsInserted);

    mModel.loadList(path("list.csv"));
    ASSERT_EQ(resets.count(), 1);
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 0);
    EXPECT_EQ(inserted[0][2].toInt(), 3);

    // A second list replaces the first, sorted by another column this time.
    mModel.sort(CImageListModel::ColPath, Qt::DescendingOrder);
    mModel.loadList(path("other.csv"));
    EXPECT_EQ(resets.count(), 2);
    ASSERT_EQ(inserted.count(), 2);
    EXPECT_EQ(inserted[1][1].toInt(), 0);
    EXPECT_EQ(inserted[1][2].toInt(), 0);
    EXPECT_EQ(mModel.rowCount(), 1);

    // An empty list inserts nothing.
    writeFile(path("empty.csv"), "");
    mModel.loadList(path("empty.csv"));
    EXPECT_EQ(mModel.rowCount(), 0);
    EXPECT_EQ(inserted.count(), 2);
}
