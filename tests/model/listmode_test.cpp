// Lists in list mode over real folders: where their rows point, what a saved list holds
// when it is loaded again, and when the list has unsaved changes.
#include "CImageListModel.h"
#include "modeltexts.h"
#include "listpaths.h"

#include "tempfolder.h"

#include <gmock/gmock.h>

#include <QAbstractItemModelTester>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QSignalSpy>
#include <QUrl>

#include <set>
#include <string>
#include <vector>

using testing::ElementsAre;
using testing::UnorderedElementsAre;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// Readable texts in failure messages.
static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

class ListMode : public testing::Test {
protected:
    void SetUp() override {
        // The folders as the file system names them, links resolved.
        mRoot = QFileInfo(QString::fromStdString(mFolder.path())).canonicalFilePath();
        ASSERT_FALSE(mRoot.isEmpty());
        for (const char* dir : {"photos", "photos/sub", "photos2", "other/deep", "lists"})
            ASSERT_TRUE(QDir(mRoot).mkpath(dir));
        for (const char* name : {"photos/a.jpg", "photos/sub/b.jpg", "photos2/c.jpg",
                                 "other/deep/d.jpg", "other/deep/a.jpg"})
            touch(name);
    }

    QString at(const QString& name) const { return mRoot + "/" + name; }
    void touch(const QString& name) const {
        QFile file(at(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
        file.write(name.toUtf8());  // each file names itself
    }
    static void writeText(const QString& path, const QByteArray& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write(text);
    }
    // Loads an empty list kept in photos/.
    void openList() {
        writeText(at("photos/list.csv"), "");
        mModel.loadList(at("photos/list.csv"));
    }
    std::vector<QString> column(const CImageListModel& model, int column) const {
        return columnTexts(model, column);
    }
    std::vector<QString> paths(const CImageListModel& model) const { return column(model, 1); }
    // Every row's file, read: what a row resolves to must be the file it names.
    std::vector<QString> contents(const CImageListModel& model) const {
        std::vector<QString> texts;
        for (int row = 0; row < model.rowCount(); ++row) {
            QFile file(model.fullPath(model.index(row, 0)));
            texts.push_back(file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll())
                                                           : "<missing " + file.fileName() + ">");
        }
        return texts;
    }

    CTempFolder mFolder;
    QString mRoot;
    CImageListModel mModel;
    QAbstractItemModelTester mTester{&mModel,
                                     QAbstractItemModelTester::FailureReportingMode::Fatal};
};

}  // namespace

TEST(ListPaths, FoldersCompareByWholeComponents) {
    using namespace listpath;
    EXPECT_EQ(relativeTo("/x/photos", "/x/photos"), "");
    EXPECT_EQ(relativeTo("/x/photos", "/x/photos/"), "");
    EXPECT_EQ(relativeTo("/x/photos", "/x/photos/a/b"), "a/b");
    EXPECT_EQ(relativeTo("/x/photos", "/x/photos2"), "/x/photos2");
    EXPECT_EQ(relativeTo("/x/photos", "/x/photos/../other"), "/x/other");
    EXPECT_EQ(relativeTo("/x/photos", "/y"), "/y");
    EXPECT_EQ(relativeTo("/", "/x/photos"), "x/photos");
    // Below the list, yet it would read as a drive letter.
    EXPECT_EQ(relativeTo("/x", "/x/c:d"), "/x/c:d");

    EXPECT_EQ(resolve("/x/photos", "", "a.jpg"), "/x/photos/a.jpg");
    EXPECT_EQ(resolve("/x/photos", "sub", "a.jpg"), "/x/photos/sub/a.jpg");
    EXPECT_EQ(resolve("/x/photos", "/x/photos2", "a.jpg"), "/x/photos2/a.jpg");
    EXPECT_EQ(resolve("/x/photos", "/", "a.jpg"), "/a.jpg");
    EXPECT_EQ(resolve("/", "", "a.jpg"), "/a.jpg");
    EXPECT_EQ(resolve("/x/photos", "C:/photos", "a.jpg"), "C:/photos/a.jpg");
}

TEST_F(ListMode, FoldersBesideOrOutsideTheListKeepAbsolutePaths) {
    openList();
    mModel.setDirPath(at("photos"));
    mModel.setDirPath(at("photos/sub"));
    mModel.setDirPath(at("photos2"));               // shares the list folder's name as a prefix
    mModel.setDirPath(at("photos/../other/deep"));  // outside, and not yet canonical
    mModel.sort(CImageListModel::ColPath);
    EXPECT_THAT(paths(mModel),
                ElementsAre("", at("other/deep"), at("other/deep"), at("photos2"), "sub"));
    EXPECT_THAT(contents(mModel),
                ElementsAre("photos/a.jpg", "other/deep/a.jpg", "other/deep/d.jpg", "photos2/c.jpg",
                            "photos/sub/b.jpg"));
}

TEST_F(ListMode, AFolderReachedThroughALinkIsListedOnce) {
    ASSERT_TRUE(QFile::link(at("photos/sub"), at("photos/link")));
    ASSERT_TRUE(QFile::link(at("other"), at("photos/away")));
    ASSERT_TRUE(QFile::link(at("photos"), at("alias")));
    openList();
    mModel.setDirPath(at("photos/link"));
    mModel.setDirPath(at("photos/sub"));
    mModel.setDirPath(at("alias/link"));
    mModel.setDirPath(at("alias"));  // the list's own folder
    mModel.setDirPath(at("photos/away/deep"));
    mModel.setDirPath(at("other/deep"));
    EXPECT_THAT(paths(mModel), UnorderedElementsAre("", "sub", at("other/deep"), at("other/deep")));
    EXPECT_EQ(mModel.rowCount(), 4);
    EXPECT_THAT(contents(mModel), UnorderedElementsAre("photos/a.jpg", "photos/sub/b.jpg",
                                                       "other/deep/a.jpg", "other/deep/d.jpg"));
}

TEST_F(ListMode, ASavedListResolvesToTheSameFilesWhenLoadedAgain) {
    ASSERT_TRUE(QDir(mRoot).mkpath("photos/c:d"));
    touch("photos/c:d/e.jpg");
    // Names that CSV must quote: a line feed, a quote and a comma.
    touch("photos/line\nfeed.jpg");
    touch("photos/say \"cheese\", twice.jpg");
    openList();
    for (const char* dir : {"photos", "photos/sub", "photos2", "other/deep", "photos/c:d"})
        mModel.setDirPath(at(dir));
    ASSERT_EQ(mModel.rowCount(), 8);
    mModel.setDate(mModel.index(0, 0), 2010, 3, 28, 2, 15, 0);
    const std::vector<QString> names = column(mModel, 0), shown = paths(mModel),
                               dates = column(mModel, 2);
    const std::vector<QString> files = contents(mModel);
    EXPECT_EQ(std::set<QString>(files.begin(), files.end()).size(), 8u);
    mModel.save();

    CImageListModel again;
    again.loadList(at("photos/list.csv"));
    EXPECT_EQ(column(again, 0), names);
    EXPECT_EQ(paths(again), shown);
    EXPECT_EQ(column(again, 2), dates);
    EXPECT_EQ(contents(again), files);

    // From another folder, through a link to the list, the rows still find their files.
    ASSERT_TRUE(QFile::link(at("photos/list.csv"), at("lists/linked.csv")));
    CImageListModel linked;
    linked.loadList(at("lists/linked.csv"));
    EXPECT_EQ(contents(linked), files);
    linked.save();
    EXPECT_TRUE(QFileInfo(at("lists/linked.csv")).isSymLink());
}

TEST_F(ListMode, DroppedFilesKeepThePathOfTheFolderTheyWentTo) {
    openList();
    mModel.setDirPath(at("photos2"));
    CTempFolder source;
    source.write("new.jpg", {'n'});
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(source.path("new.jpg")))});
    EXPECT_TRUE(mModel.dropMimeData(&mime, Qt::CopyAction, -1, -1, QModelIndex()));
    mModel.sort(CImageListModel::ColFilename);
    EXPECT_THAT(column(mModel, 0), ElementsAre("c.jpg", "new.jpg"));
    EXPECT_THAT(paths(mModel), ElementsAre(at("photos2"), at("photos2")));
    EXPECT_TRUE(QFile::exists(mModel.fullPath(mModel.index(1, 0))));
}

TEST_F(ListMode, ADropBeforeAnyFolderWasChosenCopiesNothing) {
    CTempFolder source;
    source.write("new.jpg", {'n'});
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(source.path("new.jpg")))});
    CaptureStderr();
    EXPECT_FALSE(mModel.dropMimeData(&mime, Qt::CopyAction, -1, -1, QModelIndex()));
    EXPECT_THAT(GetCapturedStderr(), testing::HasSubstr("WARNING: Could not copy "));
    EXPECT_EQ(mModel.rowCount(), 0);
    EXPECT_FALSE(QFile::exists("/new.jpg"));
}

TEST_F(ListMode, SaveAsExpressesTheFoldersFromTheNewList) {
    mModel.setDirPath(at("photos"));
    EXPECT_FALSE(mModel.hasListFile());
    ASSERT_EQ(mModel.rowCount(), 1);
    mModel.saveAs(at("lists/new.csv"));
    EXPECT_TRUE(mModel.hasListFile());
    EXPECT_EQ(mModel.listFile(), at("lists/new.csv"));
    mModel.setDirPath(at("lists"));  // list mode now: the folder's pictures join
    mModel.setDirPath(at("photos/sub"));
    EXPECT_THAT(paths(mModel), UnorderedElementsAre(at("photos"), at("photos/sub")));
    mModel.saveAs(at("photos/moved.csv"));
    EXPECT_THAT(paths(mModel), UnorderedElementsAre("", "sub"));
    EXPECT_THAT(contents(mModel), UnorderedElementsAre("photos/a.jpg", "photos/sub/b.jpg"));

    CImageListModel again;
    again.loadList(at("photos/moved.csv"));
    EXPECT_THAT(contents(again), UnorderedElementsAre("photos/a.jpg", "photos/sub/b.jpg"));

    // A file that cannot be written changes nothing.
    try {
        mModel.saveAs(at("missing/x.csv"));
        ADD_FAILURE() << "no exception";
    } catch (const char* text) {
        EXPECT_STREQ(text, "out.fail");
    }
    EXPECT_EQ(mModel.listFile(), at("photos/moved.csv"));
    EXPECT_THAT(paths(mModel), UnorderedElementsAre("", "sub"));
}

TEST_F(ListMode, ChangesMarkTheListModifiedUntilItIsSavedOrLoaded) {
    QSignalSpy spy(&mModel, &CImageListModel::modifiedChanged);
    auto changes = [&] {
        std::vector<bool> values;
        for (const QList<QVariant>& signal : spy)
            values.push_back(signal[0].toBool());
        spy.clear();
        return values;
    };
    mModel.setDirPath(at("photos"));
    EXPECT_FALSE(mModel.isModified());
    CaptureStderr();
    mModel.setDate(mModel.index(0, 0), 2011, 6, 7, 8, 9, 10);
    mModel.setDate(mModel.index(0, 0), 2011, 6, 7, 8, 9, 11);
    GetCapturedStderr();
    EXPECT_TRUE(mModel.isModified());
    EXPECT_THAT(changes(), ElementsAre(true));
    // Choosing a folder in folder mode starts a fresh list.
    mModel.setDirPath(at("photos"));
    EXPECT_FALSE(mModel.isModified());
    EXPECT_THAT(changes(), ElementsAre(false));
    mModel.setOrientation(mModel.index(0, 0), 0);  // the same: no change
    EXPECT_FALSE(mModel.isModified());
    mModel.setOrientation(mModel.index(0, 0), 6);
    EXPECT_TRUE(mModel.isModified());

    openList();
    EXPECT_FALSE(mModel.isModified());
    // The pictures of the list's own folder show with it: opening is no change.
    mModel.setDirPath(at("photos"));
    EXPECT_FALSE(mModel.isModified());
    EXPECT_EQ(mModel.rowCount(), 1);
    mModel.setDirPath(at("photos/sub"));
    EXPECT_TRUE(mModel.isModified());  // another folder's pictures joined the list
    mModel.save();
    EXPECT_FALSE(mModel.isModified());
    mModel.setDirPath(at("photos"));  // nothing new
    EXPECT_FALSE(mModel.isModified());
    CaptureStderr();
    mModel.loadExifDate(mModel.index(0, 0));
    GetCapturedStderr();
    EXPECT_TRUE(mModel.isModified());
    EXPECT_THAT(changes(), ElementsAre(true, false, true, false, true));

    mModel.clear();
    EXPECT_FALSE(mModel.isModified());
    EXPECT_FALSE(mModel.hasListFile());
    EXPECT_EQ(mModel.rowCount(), 0);
    EXPECT_THAT(changes(), ElementsAre(false));
    // Back in folder mode: saving has nowhere to write, and a folder replaces the rows.
    EXPECT_NO_THROW(mModel.save());
    mModel.setDirPath(at("photos/sub"));
    mModel.setDirPath(at("photos2"));
    EXPECT_THAT(column(mModel, 0), ElementsAre("c.jpg"));
    EXPECT_THAT(paths(mModel), ElementsAre(""));
}
