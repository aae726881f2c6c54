// The whole program as a user meets it: a real main window on the display, real files
// with Exif data, the real exiv2 command, real OpenGL.
#include "diagnostics.h"
#include "CImageListModel.h"
#include "CImgWindow.h"
#include "CRuvello.h"
#include "CTimeAdjustPanel.h"
#include "GLWidget.h"
#include "exif.h"
#include "exifwrite.h"
#include "jpegio.h"
#include "jpegwrite.h"
#include "mpowrite.h"
#include "tempfolder.h"
#include "windowfixtures.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QProcess>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMenuBar>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QWheelEvent>

#include <gmock/gmock.h>
#include <sys/stat.h>

using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// These tests read the console's informational lines, which show only when verbose.
[[maybe_unused]] static const bool kConsoleVerbose = (setConsoleVerbose(true), true);

namespace {}  // namespace

TEST_F(WindowTest, StartsOnAFolderAndMovesThroughItFromTheView) {
    open(folder);
    EXPECT_EQ(window->pathEdit()->text(), QDir(folder).absolutePath());
    // The tree shows its current folder once it has listed the folders above it.
    QTreeView* tree = window->treeView();
    EXPECT_TRUE(waitUntil(
        [&] { return tree->viewport()->rect().contains(tree->visualRect(tree->currentIndex())); },
        5000));
    ASSERT_EQ(model().rowCount(), 3);
    EXPECT_EQ(currentRow(), 0);
    CRuvello* view = window->glWidget()->application();
    ASSERT_TRUE(waitUntil([&] { return view->isLeftLoaded(); }));
    EXPECT_FALSE(view->stereo());  // mono at start
    EXPECT_TRUE(action("actionFullColor")->isChecked());
    EXPECT_TRUE(action("actionRemoveHalos")->isChecked());
    EXPECT_EQ(window->focusWidget(), window->glWidget());
    EXPECT_TRUE(window->windowTitle() == "Ruvello" || window->windowTitle().startsWith("Ruvello "));

    QTest::keyClick(window->glWidget(), Qt::Key_PageDown);
    EXPECT_EQ(currentRow(), 1);
    QTest::keyClick(window->glWidget(), Qt::Key_PageUp);
    QTest::keyClick(window->glWidget(), Qt::Key_PageUp);
    EXPECT_EQ(currentRow(), 0);
    // The view's wheel, which it does not use itself, reaches the window and moves
    // through the list; a wheel over the short list does not.
    auto wheelAt = [&](QWidget* over) {
        const QPointF global =
            over->mapToGlobal(QPointF(over->width() / 2.0, over->height() / 2.0));
        QWheelEvent wheel(window->mapFromGlobal(global), global, QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(window.get(), &wheel);
    };
    wheelAt(window->glWidget());
    EXPECT_EQ(currentRow(), 1);
    wheelAt(window->listView()->viewport());
    EXPECT_EQ(currentRow(), 1);

    QTest::keyClick(window->glWidget(), Qt::Key_F);
    EXPECT_TRUE(window->isFullScreenMode());
    EXPECT_FALSE(window->menuBar()->isVisible());
    QTest::keyClick(window->glWidget(), Qt::Key_Escape);  // leaves full screen only
    EXPECT_FALSE(window->isFullScreenMode());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->menuBar()->isVisible());
    QTest::keyClick(window->glWidget(), Qt::Key_Escape);  // nothing unsaved: closes at once
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, DatesOnTheSelectedRowsSaveAndOpenAgain) {
    // A list in the folder, opened as a user opens it.
    {
        CImageListModel writer;
        writer.setDirPath(folder);
        writer.saveAs(folder + "/list.csv");
    }
    open(folder + "/list.csv");
    ASSERT_EQ(model().rowCount(), 3);
    EXPECT_FALSE(model().isModified());

    selectRows({0, 1, 2});
    window->loadExifDate();
    selectRows({0, 2});
    CTimeAdjustPanel& panel = *window->timeAdjustPanel();
    panel.spinBox_h->setValue(1);
    const QString untouched = date(1);
    panel.addTime->click();
    EXPECT_EQ(date(1), untouched);
    // The spring gap of summer time does not exist for Exif dates.
    QStringList shifted{date(0), date(2)};
    EXPECT_TRUE(shifted.contains("2010:03:28 03:30:00")) << shifted.join(", ").toStdString();

    panel.spinBox_y->setValue(2012);
    panel.spinBox_M->setValue(2);
    panel.spinBox_d->setValue(30);  // no such day: nothing is set, the user is told
    panel.spinBox_h->setValue(0);
    CaptureStderr();
    panel.setTime->click();
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("no date"));
    EXPECT_NE(date(0), "2012:02:30 00:00:00");
    panel.spinBox_d->setValue(29);
    panel.setTime->click();
    EXPECT_EQ(date(0), "2012:02:29 00:00:00");
    EXPECT_EQ(date(2), "2012:02:29 00:00:00");
    EXPECT_TRUE(window->windowTitle().endsWith(" *"));

    action("actionSave")->trigger();  // a list file: no question, no dialog
    EXPECT_FALSE(model().isModified());
    QStringList rows;
    for (int row = 0; row < 3; ++row)
        rows << fileOf(row) + "|" + date(row);
    window->clearList();
    EXPECT_FALSE(model().hasListFile());
    // Ctrl+O: Qt's own dialog, the cursor in its file-name field, a typed path and Return.
    const QString typed = folder + "/list.csv";
    bool cursorInName = false;
    QTimer::singleShot(0, [typed, &cursorInName] {
        waitUntil([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); },
                  5000);
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        cursorInName = dialog->focusWidget() == name;
        name->setText(typed);
        QTest::keyClick(name, Qt::Key_Return);
    });
    QTest::keySequence(window->glWidget(), QKeySequence("Ctrl+O"));
    EXPECT_TRUE(cursorInName);
    ASSERT_TRUE(model().hasListFile());
    QStringList again;
    for (int row = 0; row < 3; ++row)
        again << fileOf(row) + "|" + date(row);
    rows.sort();
    again.sort();
    EXPECT_EQ(again, rows);

    // A list that cannot be opened leaves the open one as it is.
    CaptureStderr();
    EXPECT_FALSE(window->openList(folder + "/missing.csv"));
    GetCapturedStderr();
    EXPECT_EQ(model().rowCount(), 3);
    EXPECT_TRUE(model().hasListFile());
}

TEST_F(WindowTest, AnOrientationToAddGoesThroughExiv2OnACopyAndRunsNothingElse) {
    // Photos without an Orientation tag: the tag must be added, which exiv2 does.
    const std::string hostile1 =
        temp.write("$(touch pwned).jpg", photo(32, 24, "2001:01:01 01:01:01", 0, "H"));
    const std::string hostile2 =
        temp.write("x\"; touch pwned; \".jpg", photo(32, 24, "2001:01:01 01:01:02", 0, "H"));
    const std::vector<uint8_t> left = photo(32, 24, "2002:02:02 02:02:02", 0, "S");
    const std::string mpo =
        temp.write("pair.mpo", buildMpoFile(left, photo(32, 24, "x", 0, "S"), 0.065));
    const std::string readOnly = temp.write("ro.jpg", photo(32, 24, "2003:03:03 03:03:03", 1, "R"));
    chmod(readOnly.c_str(), 0444);
    open(folder);
    ASSERT_EQ(model().rowCount(), 7);

    auto rowOf = [&](const std::string& path) {
        for (int row = 0; row < model().rowCount(); ++row)
            if (QFile::encodeName(fileOf(row)).toStdString() == path)
                return row;
        return -1;
    };
    struct stat before;
    stat(hostile1.c_str(), &before);
    selectRows({rowOf(hostile1), rowOf(hostile2), rowOf(mpo)});
    answerNextBox(QMessageBox::Yes);  // a quarter turn of the stereo file asks first
    // Written in the background: the rows show "…" meanwhile.
    auto writing = [&](const std::string& path) {
        return model().data(model().index(rowOf(path), 3)).toString() == QString::fromUtf8("…");
    };
    CaptureStderr();
    window->orientation6();
    EXPECT_TRUE(writing(mpo));
    EXPECT_TRUE(
        waitUntil([&] { return !writing(hostile1) && !writing(hostile2) && !writing(mpo); }));
    const std::string said = GetCapturedStderr();
    EXPECT_THAT(said, HasSubstr("sstr.str() = exiv2 -k -M"));
    for (const std::string& path : {hostile1, hostile2, mpo}) {
        EXPECT_EQ(readExif(path).mOrientation, 6) << path;
        EXPECT_EQ(model().data(model().index(rowOf(path), 3)).toInt(), 6) << path;
    }
    struct stat after;
    stat(hostile1.c_str(), &after);
    EXPECT_EQ(after.st_mtime, before.st_mtime);  // the file time is a date source
    EXPECT_FALSE(QFileInfo::exists("pwned"));
    EXPECT_FALSE(QFileInfo::exists(folder + "/pwned"));
    EXPECT_EQ(readStereoJpegFile(mpo.c_str(), true)->mWidth, 32);  // the second picture survived
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 7);  // no copies left

    const int roRow = rowOf(readOnly);
    selectRows({roRow});
    CaptureStderr();
    window->orientation8();
    EXPECT_TRUE(waitUntil([&] { return !writing(readOnly); }));
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("read-only"));
    EXPECT_EQ(readExif(readOnly).mOrientation, 1);
    EXPECT_NE(model().data(model().index(roRow, 3)).toInt(), 8);
}

TEST_F(WindowTest, UnsavedChangesAskBeforeOpenAndQuitAndExceptionsLeaveTheWindowUsable) {
    open(folder);
    selectRows({0});
    window->loadFSDate();
    ASSERT_TRUE(model().isModified());
    answerNextBox(QMessageBox::Cancel);
    window->close();
    EXPECT_TRUE(window->isVisible());  // cancelled: nothing lost
    answerNextBox(QMessageBox::Cancel);
    window->open();  // cancelled before any file dialog
    EXPECT_TRUE(model().isModified());

    CaptureStderr();
    QTimer::singleShot(0, [] { throw "from a slot"; });
    QTest::qWait(50);
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("unhandled exeception"));
    QTest::keyClick(window->glWidget(), Qt::Key_PageDown);
    EXPECT_EQ(currentRow(), 1);

    answerNextBox(QMessageBox::Discard);
    window->close();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, ExportWritesWhatTheConverterWritesAndOnlyForStereoPictures) {
    const std::vector<uint8_t> left = photo(96, 64, "2004:04:04 04:04:04", 1, "S");
    const std::vector<uint8_t> right = photo(96, 64, "2004:04:04 04:04:04", 1, "S");
    const std::string mpo = temp.write("pair.mpo", buildMpoFile(left, right, 0.065));
    open(folder);
    QAction* exportAction = action("actionExport_Anaglyph");
    ASSERT_NE(exportAction, nullptr);
    EXPECT_FALSE(exportAction->isEnabled());  // a.jpg: a plain picture
    selectRows({});
    for (int row = 0; row < model().rowCount(); ++row)
        if (QFile::encodeName(fileOf(row)).toStdString() == mpo)
            window->listView()->setCurrentIndex(model().index(row, 0));
    ASSERT_TRUE(waitUntil([&] { return exportAction->isEnabled(); }));

    // Ctrl+E, a typed file name and Return, as a user does it.
    const QString typed = folder + "/exported.jpg";
    QTimer::singleShot(0, [typed] {
        waitUntil([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); },
                  5000);
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        name->setText(typed);
        QTest::keyClick(name, Qt::Key_Return);
    });
    QTest::keySequence(window->glWidget(), QKeySequence("Ctrl+E"));
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(typed); }));

    const QString converted = folder + "/converted.jpg";
    QProcess converter;
    converter.start(RUVELLO_ANAGLYPH,
                    {"--quality", "95", "-o", converted, QString::fromStdString(mpo)});
    ASSERT_TRUE(converter.waitForFinished(60000));
    ASSERT_EQ(converter.exitCode(), 0) << converter.readAllStandardError().toStdString();
    QFile a(typed), b(converted);
    ASSERT_TRUE(a.open(QIODevice::ReadOnly));
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    EXPECT_EQ(a.readAll(), b.readAll());
}
