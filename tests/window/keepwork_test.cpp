// Nothing the user made is lost: every way out of unsaved work asks, Cancel leaves
// everything as it was, and what cannot be done is said in the status bar.
#include "CImageListModel.h"
#include "CImgWindow.h"
#include "CTimeAdjustPanel.h"
#include "GLWidget.h"
#include "helpTexts.h"
#include "windowfixtures.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QUrl>

#include <gmock/gmock.h>

#include <unistd.h>

using testing::HasSubstr;

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class KeepWork : public WindowTest {
protected:
    QString status() { return window->statusBar()->currentMessage(); }
    // Changes the first row's date: unsaved work.
    void changeADate() {
        selectRows({0});
        window->loadFSDate();
        ASSERT_TRUE(model().isModified());
    }
    // A list of the folder's three photos, written as the program writes lists.
    QString writeList() {
        CImageListModel writer;
        writer.setDirPath(folder);
        writer.saveAs(folder + "/list.csv");
        return folder + "/list.csv";
    }
};

}  // namespace

TEST_F(KeepWork, SavingUnderANameTypedWithoutItsSuffixAsksBeforeReplacingThatList) {
    const QString holiday = folder + "/holiday.csv";
    temp.write("holiday.csv", std::vector<uint8_t>{'k', 'e', 'e', 'p', '\n'});
    open(folder);
    changeADate();
    // Ctrl+S, the name typed without ".csv", Return: the question names the list that
    // would go. No, then Cancel: nothing written.
    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        // Shortcuts reach the active window only; a closed dialog may leave none active.
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QString question;
        whenModal<QFileDialog>([&](QFileDialog* dialog) {
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            name->setText(folder + "/holiday");
            whenModal<QMessageBox>([&](QMessageBox* box) {
                question = box->text();
                box->button(answer)->click();
            });
            QTest::keyClick(name, Qt::Key_Return);
            if (dialog->isVisible())
                dialog->reject();
        });
        QTest::keySequence(window->glWidget(), QKeySequence("Ctrl+S"));
        EXPECT_THAT(question.toStdString(), HasSubstr("holiday.csv already exists"));
        if (answer == QMessageBox::No) {
            EXPECT_EQ(contents(holiday), "keep\n");
            EXPECT_TRUE(model().isModified());
        }
    }
    // Yes: replaced by the list, which is saved now.
    EXPECT_THAT(contents(holiday).toStdString(), HasSubstr("a.jpg"));
    EXPECT_FALSE(model().isModified());
    EXPECT_EQ(QFileInfo(model().listFile()).fileName(), "holiday.csv");
}

TEST_F(KeepWork, AnotherFolderAsksAndCancelLeavesEverythingAsItWas) {
    ASSERT_TRUE(QDir(folder).mkdir("other"));
    temp.write("other/x.jpg", photo(20, 20, "2000:01:01 00:00:00", 1, "X"));
    open(folder);
    changeADate();
    const QString changed = date(0);
    QTreeView* tree = window->treeView();
    auto* dirs = qobject_cast<QFileSystemModel*>(tree->model());
    const QModelIndex here = tree->currentIndex();
    const QModelIndex other = dirs->index(folder + "/other");
    tree->expand(here);
    ASSERT_TRUE(waitUntil([&] {
        tree->scrollTo(other);
        return tree->visualRect(other).isValid();
    }));
    auto unchanged = [&](const char* how) {
        EXPECT_EQ(tree->currentIndex(), here) << how;
        EXPECT_EQ(window->pathEdit()->text(), QDir(folder).absolutePath()) << how;
        EXPECT_EQ(model().rowCount(), 3) << how;
        EXPECT_EQ(date(0), changed) << how;
        EXPECT_TRUE(model().isModified()) << how;
    };

    // A click on the other folder in the tree.
    answerNextBox(QMessageBox::Cancel);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier,
                      tree->visualRect(other).center());
    unchanged("tree");
    // The other folder's path typed in the path field.
    answerNextBox(QMessageBox::Cancel);
    window->pathEdit()->setText(folder + "/other");
    QTest::keyClick(window->pathEdit(), Qt::Key_Return);
    unchanged("path field");
    // Discard: the other folder with its own pictures, nothing left to save.
    answerNextBox(QMessageBox::Discard);
    window->pathEdit()->setText(folder + "/other");
    QTest::keyClick(window->pathEdit(), Qt::Key_Return);
    EXPECT_EQ(tree->currentIndex(), other);
    ASSERT_EQ(model().rowCount(), 1);
    EXPECT_FALSE(model().isModified());
}

TEST_F(KeepWork, OpeningAListIsNoChangeAndItsFoldersNewPicturesJoinWhenSaved) {
    const QString list = writeList();
    temp.write("d.jpg", photo(20, 20, "2000:01:01 00:00:00", 1, "D"));  // not in the list
    open(list);
    ASSERT_EQ(model().rowCount(), 4);  // the folder's new picture shows with the list
    EXPECT_FALSE(model().isModified());
    EXPECT_FALSE(window->windowTitle().endsWith(" *"));
    bool asked = false;
    whenModal<QMessageBox>(
        [&](QMessageBox* box) {
            asked = true;
            box->button(QMessageBox::Cancel)->click();
        },
        500);
    window->close();
    EXPECT_FALSE(asked) << "nothing was changed";
    EXPECT_FALSE(window->isVisible());
    EXPECT_THAT(contents(list).toStdString(), testing::Not(HasSubstr("d.jpg")));

    open(list);
    changeADate();
    action("actionSave")->trigger();
    EXPECT_THAT(contents(list).toStdString(), HasSubstr("d.jpg"));
}

TEST_F(KeepWork, ClearAsksAndGoesBackToTheFoldersOwnPictures) {
    const QString list = writeList();
    ASSERT_TRUE(QDir(folder).mkdir("elsewhere"));
    temp.write("elsewhere/e.jpg", photo(20, 20, "2000:01:01 00:00:00", 1, "E"));
    {
        // A list that also names a photo in another folder.
        CImageListModel writer;
        writer.loadList(list);
        writer.setDirPath(folder + "/elsewhere");
        writer.save();
    }
    open(list);
    ASSERT_EQ(model().rowCount(), 4);
    changeADate();
    answerNextBox(QMessageBox::Cancel);
    action("actionClear")->trigger();
    EXPECT_TRUE(model().hasListFile());
    EXPECT_EQ(model().rowCount(), 4);
    EXPECT_TRUE(model().isModified());
    answerNextBox(QMessageBox::Discard);
    action("actionClear")->trigger();
    EXPECT_FALSE(model().hasListFile());
    EXPECT_FALSE(model().isModified());
    ASSERT_EQ(model().rowCount(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(QFileInfo(fileOf(row)).absolutePath(), QDir(folder).absolutePath());
}

TEST_F(KeepWork, WhatCannotBeDoneIsSaidInTheStatusBar) {
    const QString list = writeList();
    temp.write("notes.jpg", std::vector<uint8_t>{'t', 'e', 'x', 't'});
    // A photo of the list that went (a disk taken out) before the list was opened.
    ASSERT_TRUE(QFile::remove(folder + "/b.jpg"));
    open(list);
    ASSERT_EQ(model().rowCount(), 4);
    auto rowOf = [&](const QString& name) {
        for (int row = 0; row < model().rowCount(); ++row)
            if (QFileInfo(fileOf(row)).fileName() == name)
                return row;
        return -1;
    };

    // Its row stays, and the status bar says why it shows nothing.
    window->listView()->setCurrentIndex(model().index(rowOf("b.jpg"), 0));
    ASSERT_TRUE(waitUntil([&] { return status().contains("b.jpg"); })) << status().toStdString();
    EXPECT_THAT(status().toStdString(), HasSubstr("b.jpg: cannot read: No such file or directory"));
    EXPECT_EQ(model().rowCount(), 4);

    // exiv2 refuses a file that is no picture.
    selectRows({rowOf("notes.jpg")});
    window->orientation6();
    EXPECT_TRUE(waitUntil([&] { return status().contains("notes.jpg"); }));
    EXPECT_THAT(status().toStdString(), HasSubstr("notes.jpg"));

    // A day that does not exist.
    CTimeAdjustPanel& panel = *window->timeAdjustPanel();
    panel.spinBox_y->setValue(2013);
    panel.spinBox_M->setValue(2);
    panel.spinBox_d->setValue(29);
    selectRows({0});
    panel.setTime->click();
    EXPECT_THAT(status().toStdString(), HasSubstr("is no date; nothing was set"));

    // A drop of a file that the folder holds already.
    QMimeData drop;
    drop.setUrls({QUrl::fromLocalFile(folder + "/a.jpg")});
    model().dropMimeData(&drop, Qt::CopyAction, -1, 0, QModelIndex());
    EXPECT_THAT(status().toStdString(), HasSubstr("Could not copy"));

    // Saving where the list cannot be written: the status bar and a message box.
    changeADate();
    ASSERT_TRUE(QFile::remove(list));
    ASSERT_TRUE(QDir(folder).mkdir("list.csv"));
    QString told;
    whenModal<QMessageBox>([&](QMessageBox* box) {
        told = box->text();
        box->accept();
    });
    action("actionSave")->trigger();
    EXPECT_THAT(status().toStdString(), HasSubstr("the list is not saved"));
    EXPECT_THAT(told.toStdString(), HasSubstr("the list is not saved"));
    EXPECT_TRUE(model().isModified());

    // Opening what is no list.
    EXPECT_FALSE(window->openList(folder + "/list.csv"));
    EXPECT_THAT(status().toStdString(), HasSubstr("Could not open"));
}

const char kGoodMatches[] =
    "version = 0.4.0.0\nnum = 6\n255 0 0 228\n0 255 0 99\n0 0 255 57\n0 255 255 114\n"
    "255 0 255 235\n255 255 0 249\n255 0 0 57\n0 255 0 213\n0 0 255 128\n0 255 255 249\n"
    "255 0 255 140\n255 255 0 221\n";

// A calibration is kept in the working folder; leaving calibration with matches that were
// changed since they were saved asks, and Help says how to save them.
TEST_F(KeepWork, LeavingCalibrationWithUnsavedMatchesAsks) {
    EXPECT_THAT(helpBoxText("Ruvello").toStdString(), HasSubstr("Press [ to save"));
    EXPECT_THAT(helpBoxText("Ruvello").toStdString(), HasSubstr("] loads"));
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder));
    // Matches whose fit separates the eyes (others are not saved), in the working
    // directory's file, which saving keeps up to date.
    temp.write("ui-calib.txt",
               std::vector<uint8_t>(kGoodMatches, kGoodMatches + sizeof kGoodMatches - 1));
    open(folder);
    QAction* calibrate = action("actionCalibrate");
    GLWidget* view = window->glWidget();
    calibrate->trigger();
    ASSERT_TRUE(view->calibrating());
    QTest::keyClick(view, Qt::Key_W);  // a match changed
    ASSERT_TRUE(view->calibrationUnsaved());

    answerNextBox(QMessageBox::Cancel);
    calibrate->trigger();
    EXPECT_TRUE(view->calibrating());
    EXPECT_TRUE(calibrate->isChecked());
    // Closing the window asks too.
    answerNextBox(QMessageBox::Cancel);
    window->close();
    EXPECT_TRUE(window->isVisible());

    answerNextBox(QMessageBox::Save);
    calibrate->trigger();
    EXPECT_FALSE(view->calibrating());
    EXPECT_FALSE(calibrate->isChecked());
    const QByteArray saved = contents(folder + "/ui-calib.txt");
    EXPECT_FALSE(saved.isEmpty());

    // Discard leaves the saved file as it was.
    calibrate->trigger();
    QTest::keyClick(view, Qt::Key_S);
    answerNextBox(QMessageBox::Discard);
    calibrate->trigger();
    EXPECT_FALSE(view->calibrating());
    EXPECT_EQ(contents(folder + "/ui-calib.txt"), saved);
    // Unchanged matches ask nothing.
    calibrate->trigger();
    bool asked = false;
    whenModal<QMessageBox>(
        [&](QMessageBox* box) {
            asked = true;
            box->button(QMessageBox::Discard)->click();
        },
        500);
    calibrate->trigger();
    QTest::qWait(600);
    EXPECT_FALSE(asked);
    QDir::setCurrent(before);
}
