// File names as the file system keeps them: names that are no valid UTF-8 are listed,
// shown decoded and opened by their bytes, and a folder lists picture files only.
#include "CImageListModel.h"
#include "modeltexts.h"

#include "exiffixtures.h"
#include "listpaths.h"

#include <gmock/gmock.h>

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <filesystem>
#include <map>

using testing::ElementsAre;
using testing::HasSubstr;

namespace {

const QByteArray kOdd("caf\xe9-\xff.jpg");
const QByteArray kOddTwin("caf\xe9-\xfe.jpg");  // decodes to the same text as kOdd
const QByteArray kUtf8("Größe.jpg");            // this file is UTF-8

exiffix::Bytes datedJpeg(const std::string& date) {
    exiffix::CTiffBuilder tiff(true);
    const int ifd0 = tiff.addDirectory();
    const int exif = tiff.addDirectory();
    tiff.pointer(ifd0, 0x8769, exif);
    tiff.ascii(exif, 0x9003, date);
    return exiffix::jpegFile({exiffix::app1Exif(tiff.bytes())});
}

// The row whose file has these bytes as its path; -1 for none.
int rowOfBytes(const CImageListModel& model, const QByteArray& file) {
    for (int row = 0; row < model.rowCount(); ++row)
        if (model.filePath(model.index(row, 0)) == file)
            return row;
    return -1;
}

class FileNames : public testing::Test {
protected:
    QString dir() const { return QString::fromStdString(mFolder.path()); }
    QByteArray path(const QByteArray& name) const {
        return QByteArray::fromStdString(mFolder.path()) + '/' + name;
    }
    void write(const QByteArray& name, const exiffix::Bytes& bytes = {}) const {
        mFolder.write(name.toStdString(), bytes);
    }
    QString cell(int row, int column) const { return cellText(mModel, row, column); }

    CTempFolder mFolder;
    CImageListModel mModel;
    QAbstractItemModelTester mTester{&mModel,
                                     QAbstractItemModelTester::FailureReportingMode::Fatal};
};

}  // namespace

TEST_F(FileNames, NamesThatAreNoUtf8ShowDecodedAndOpenByTheirBytes) {
    write(kOdd, datedJpeg("2001:01:01 00:00:00"));
    write(kOddTwin, datedJpeg("2002:01:01 00:00:00"));
    write(kUtf8, datedJpeg("2003:01:01 00:00:00"));
    mModel.setDirPath(dir());
    mModel.sort(CImageListModel::ColDate);
    ASSERT_TRUE(fillDone(mModel));
    ASSERT_EQ(mModel.rowCount(), 3);
    const QByteArray names[] = {kOdd, kOddTwin, kUtf8};
    const char* const dates[] = {"2001:01:01 00:00:00", "2002:01:01 00:00:00",
                                 "2003:01:01 00:00:00"};
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        const QModelIndex index = mModel.index(row, 0);
        EXPECT_EQ(index.data().toString(), QFile::decodeName(names[row]));
        EXPECT_EQ(cell(row, 2), dates[row]);
        EXPECT_EQ(mModel.filePath(index), path(names[row]));
        EXPECT_EQ(readExif(mModel.filePath(index).toStdString()).mDateTime, dates[row]);
    }

    // The date operations find the file as well.
    const timeval times[2] = {{1262304000, 0}, {1262304000, 0}};  // 2010-01-01 00:00 UTC
    ASSERT_EQ(utimes(path(kOdd).constData(), times), 0);
    mModel.loadFSDate(mModel.index(0, 0));
    EXPECT_EQ(cell(0, 2), "2010:01:01 01:00:00");
    mModel.loadExifDate(mModel.index(0, 0));
    EXPECT_EQ(cell(0, 2), dates[0]);
}

TEST_F(FileNames, AFolderListsPictureFilesInAnyLetterCaseAndARowOfAListOnlyOnce) {
    for (const char* name : {"a.JPG", "b.Jpeg", "c.pNg", "d.mpo", ".e.jpg", "f.jpg.txt", "jpg"})
        write(name);
    ASSERT_TRUE(QDir(dir()).mkdir("folder.jpg"));
    ASSERT_EQ(symlink("a.JPG", path("link.jpg").constData()), 0);
    ASSERT_EQ(symlink("folder.jpg", path("folderlink.jpg").constData()), 0);
    ASSERT_EQ(symlink("gone.jpg", path("broken.jpg").constData()), 0);
    write(kUtf8);
    mFolder.write("list.csv", exiffix::bytesOf("\"" + kUtf8.toStdString() +
                                               "\",\"\",\"undefined\",\"0\",\"undefined\"\n"));
    mModel.loadList(QFile::decodeName(path("list.csv")));
    mModel.setDirPath(dir());  // the list's row of that name is the folder's file
    std::vector<QString> names;
    for (int row = 0; row < mModel.rowCount(); ++row)
        names.push_back(cell(row, 0));
    EXPECT_THAT(names, ElementsAre("Größe.jpg", "a.JPG", "b.Jpeg", "c.pNg", "d.mpo", "link.jpg"));

    // No folder chosen is not the working directory, though that has pictures.
    const std::string old = std::filesystem::current_path();
    std::filesystem::current_path(mFolder.path());
    EXPECT_THAT(listpath::pictureNames(QString()), testing::IsEmpty());
    std::filesystem::current_path(old);
}

TEST_F(FileNames, NamesThatAreNoUtf8NameTheSameFilesAfterASavedListIsOpenedAgain) {
    const QByteArray folder("d\xe9p"), inFolder("d\xe9p/x\xe9.jpg");
    ASSERT_EQ(::mkdir(path("elsewhere").constData(), 0755), 0);
    ASSERT_EQ(::mkdir(path(folder).constData(), 0755), 0);
    write(kOdd, datedJpeg("2001:01:01 00:00:00"));
    write(inFolder, datedJpeg("2002:01:01 00:00:00"));
    write(kUtf8, datedJpeg("2003:01:01 00:00:00"));
    // Latin-1 fields naming files of those bytes, and Latin-1 text from another system
    // naming a file whose name is UTF-8.
    mFolder.write("list.csv",
                  exiffix::bytesOf("\"x\xe9.jpg\",\"d\xe9p\",\"2005:05:05 05:05:05\",\"1\",\"A\"\n"
                                   "\"Gr\xf6\xdf"
                                   "e.jpg\",\"\",\"2006:06:06 06:06:06\",\"1\",\"B\"\n"));
    mModel.loadList(QFile::decodeName(path("list.csv")));
    mModel.setDirPath(dir());
    ASSERT_TRUE(fillDone(mModel));
    ASSERT_EQ(mModel.rowCount(), 3);
    mModel.setDate(mModel.index(rowOfBytes(mModel, path(kOdd)), 0), 2020, 2, 2, 2, 2, 2);
    mModel.save();
    mModel.saveAs(QFile::decodeName(path("elsewhere/list.csv")));

    const std::map<QByteArray, QString> dates = {{path(kOdd), "2020:02:02 02:02:02"},
                                                 {path(inFolder), "2005:05:05 05:05:05"},
                                                 {path(kUtf8), "2006:06:06 06:06:06"}};
    for (const char* list : {"list.csv", "elsewhere/list.csv"}) {
        SCOPED_TRACE(list);
        CImageListModel again;
        again.loadList(QFile::decodeName(path(list)));
        again.setDirPath(dir());
        ASSERT_EQ(again.rowCount(), 3);  // no row of the list's came back as a new one
        for (const auto& [file, date] : dates) {
            const int row = rowOfBytes(again, file);
            ASSERT_GE(row, 0) << file.toStdString();
            EXPECT_EQ(cellText(again, row, 2), date);
            struct stat info;
            EXPECT_EQ(::stat(again.filePath(again.index(row, 0)).constData(), &info), 0);
        }
    }
    // The name's own bytes, not a text that stands for them.
    QFile file(QFile::decodeName(path("list.csv")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string saved = file.readAll().toStdString();
    EXPECT_THAT(saved, HasSubstr("\"caf\xe9-\xff.jpg\",\"\",\"2020:02:02 02:02:02\","));
    EXPECT_THAT(saved, HasSubstr("\"x\xe9.jpg\",\"d\xe9p\",\"2005:05:05 05:05:05\","));
    EXPECT_THAT(saved, HasSubstr("\"Gr\xc3\xb6\xc3\x9f"
                                 "e.jpg\",\"\","));
}
