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

#include <sys/time.h>
#include <unistd.h>

#include <filesystem>

using testing::ElementsAre;

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
    mModel.sort(CImageListModel::ColDate);  // reads every file's Exif date
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
