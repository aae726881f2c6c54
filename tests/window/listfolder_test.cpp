// The picture list in the real window following its folder, filling its columns in the
// background, and taking drops as copies.
#include "windowfixtures.h"

#include <QDateTime>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QProcess>
#include <QStatusBar>
#include <QUrl>

#include <sys/stat.h>
#include <sys/time.h>

#include <map>

namespace {

class ListFolder : public WindowTest {
protected:
    QString cell(int row, int column) {
        return model().data(model().index(row, column)).toString();
    }
    bool filled() {
        return waitUntil([this] {
            if (model().isFilling())
                return false;
            for (int row = 0; row < model().rowCount(); ++row)
                if (cell(row, 2) == "undefined")
                    return false;
            return true;
        });
    }
    QString currentName() {
        return window->listView()->currentIndex().siblingAtColumn(0).data().toString();
    }
};

}  // namespace

TEST_F(ListFolder, ANewFileInTheFolderAppearsAndTheSelectionStays) {
    open(folder);
    ASSERT_TRUE(waitUntil([this] { return model().rowCount() == 3; }));
    selectRows({});
    window->listView()->selectionModel()->setCurrentIndex(
        model().index(rowOf("b.jpg"), 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ASSERT_EQ(currentName(), "b.jpg");

    // Sorts before every row that is there: the rows below it move.
    temp.write("0new.jpg", photo(32, 24, "2012:12:12 12:12:12", 8, "Delta"));
    ASSERT_TRUE(waitUntil([this] { return model().rowCount() == 4; }, 5000));
    EXPECT_EQ(rowOf("0new.jpg"), 0);
    EXPECT_EQ(currentName(), "b.jpg");
    const QModelIndexList selected = window->listView()->selectionModel()->selectedRows(0);
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected[0].data().toString(), "b.jpg");
    ASSERT_TRUE(filled());
    EXPECT_EQ(cell(0, 2), "2012:12:12 12:12:12");
    EXPECT_FALSE(model().isModified());

    ASSERT_TRUE(QFile::remove(folder + "/a.jpg"));
    ASSERT_TRUE(waitUntil([this] { return model().rowCount() == 3; }, 5000));
    EXPECT_EQ(rowOf("a.jpg"), -1);
    EXPECT_EQ(currentName(), "b.jpg");
}

TEST_F(ListFolder, ColumnsFillInWithWhatThePhotosCarry) {
    temp.write("d.jpg", photo(40, 30, "0000:00:00 00:00:00", 0, ""));
    open(folder);
    ASSERT_TRUE(filled());
    const std::map<QString, std::vector<QString>> expected = {
        {"a.jpg", {"2010:03:28 02:30:00", "1", "Alpha M1"}},
        {"b.jpg", {"2011:01:01 10:00:00", "6", "Beta M1"}},
        {"c.jpg", {"2009:05:05 05:05:05", "1", "Gamma M1"}},
        {"d.jpg", {"", "", "M1"}},
    };
    for (const auto& [name, values] : expected) {
        const int row = rowOf(name);
        ASSERT_GE(row, 0) << name.toStdString();
        EXPECT_EQ((std::vector<QString>{cell(row, 2), cell(row, 3), cell(row, 4)}), values)
            << name.toStdString();
    }
    EXPECT_FALSE(model().isModified());
    EXPECT_FALSE(window->windowTitle().endsWith("*"));
}

TEST_F(ListFolder, ADropIsACopyThatKeepsTheFileTime) {
    CTempFolder source;
    source.write("dropped.jpg", photo(32, 24, "2013:03:03 03:03:03", 1, "Eps"));
    const timeval times[2] = {{1262304000, 0}, {1262304000, 0}};
    ASSERT_EQ(utimes(source.path("dropped.jpg").c_str(), times), 0);
    open(folder);
    ASSERT_TRUE(waitUntil([this] { return model().rowCount() == 3; }));

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(source.path("dropped.jpg")))});
    QWidget* viewport = window->listView()->viewport();
    const QPointF at(viewport->width() / 2, viewport->height() - 5);
    // Shift asks for a move.
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton,
                          Qt::ShiftModifier);
    QApplication::sendEvent(viewport, &enter);
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, Qt::ShiftModifier);
    ASSERT_EQ(drop.dropAction(), Qt::MoveAction);
    QApplication::sendEvent(viewport, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(source.path("dropped.jpg"))));
    struct stat copy;
    ASSERT_EQ(stat((folder + "/dropped.jpg").toUtf8().constData(), &copy), 0);
    EXPECT_EQ(copy.st_mtime, 1262304000);
    EXPECT_GE(rowOf("dropped.jpg"), 0);
}

TEST_F(ListFolder, AFileNameWithoutADateSaysSoInTheStatusBar) {
    open(folder);
    ASSERT_TRUE(filled());
    selectRows({rowOf("a.jpg")});
    window->loadFilenameDate();
    EXPECT_EQ(window->statusBar()->currentMessage(), "No date in the file name a.jpg");
    EXPECT_EQ(cell(rowOf("a.jpg"), 2), "2010:03:28 02:30:00");
}

// What the fill shows of real camera files is what the probe command reads of them.
TEST_F(ListFolder, TheFillAgreesWithTheProbeOnCorpusPhotos) {
    const QByteArray corpus = qgetenv("RUVELLO_TEST_CORPUS");
    if (corpus.isEmpty())
        GTEST_SKIP() << "RUVELLO_TEST_CORPUS is not set: no real-world files to test";
    // The corpus's folders with the most pictures of cameras, phones and Exif tools.
    for (const char* sub : {"exif/metadata-extractor", "exif/exiftool", "exif/pillow",
                            "exif/ianare", "exif/ianare/orientation", "mpo"}) {
        SCOPED_TRACE(sub);
        const QString dir = QDir(QString::fromLocal8Bit(corpus)).filePath(sub);
        open(dir);
        ASSERT_TRUE(waitUntil([this] { return model().rowCount() > 0; }));
        ASSERT_TRUE(filled());
        QStringList files;
        for (int row = 0; row < model().rowCount(); ++row)
            files << fileOf(row);
        QProcess probe;
        probe.start(RUVELLO_PROBE, files);
        ASSERT_TRUE(probe.waitForFinished(120000));
        const QStringList lines =
            QString::fromUtf8(probe.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), files.size());
        const auto unescape = [](QString text) {
            return text.replace("\\t", "\t").replace("\\n", "\n");
        };
        for (const QString& line : lines) {
            const QStringList f = line.split('\t');
            ASSERT_GE(f.size(), 6) << line.toStdString();
            const QString path = unescape(f[0]);
            const int row = int(files.indexOf(path));
            ASSERT_GE(row, 0) << path.toStdString();
            QString date = unescape(f[1]);
            if (date == "no jpeg file" || date == "no Exif data" ||
                date == "no DateTime in Exif data")
                date = QFileInfo(path).lastModified().toString("yyyy:MM:dd hh:mm:ss");
            if (date == "0000:00:00 00:00:00")
                date.clear();
            const int code = f[2].toInt();
            const QString orientation = code >= 1 && code <= 8 ? f[2] : QString();
            const QString make = unescape(f[4]), modelName = unescape(f[5]);
            QString camera = "undefined";
            if (make != "unknown" && modelName != "unknown")
                camera = make + " " + modelName;
            else if (make != "unknown" || modelName != "unknown")
                camera = make != "unknown" ? make : modelName;
            EXPECT_EQ((std::vector<QString>{cell(row, 2), cell(row, 3), cell(row, 4)}),
                      (std::vector<QString>{date, orientation, camera}))
                << path.toStdString();
        }
        window.reset();
    }
}
