// Saving never loses work without the user's word: a full disk keeps the list unsaved
// and says why, a list that another program changed is replaced only when the user says
// so, and Save As keeps a list elsewhere. The real binary and its signals are in
// savesafe_signals.sh.
#include "CImageListModel.h"
#include "CImgWindow.h"
#include "GLWidget.h"
#include "smallfs.h"
#include "windowfixtures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QStatusBar>

#include <gmock/gmock.h>

using testing::HasSubstr;
using testing::Not;

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Once a modal widget of type T is the active one (within ms), hands it to act. Looks
// every few milliseconds without holding up the event loop meanwhile, so that several
// can wait at once, for dialogs that open one after the other.
template <typename T>
void whenShown(std::function<void(T*)> act, int ms = 10000) {
    auto* look = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(look, &QTimer::timeout, [look, clock, act, ms] {
        auto* widget = qobject_cast<T*>(QApplication::activeModalWidget());
        if (!widget && clock->elapsed() < ms)
            return;
        look->stop();
        look->deleteLater();
        if (widget)
            act(widget);
    });
    look->start(20);
}

// How often the file holds text: the photos share one file time, so a second row that
// takes it shows as a second one.
qsizetype times(const QString& path, const QString& text) {
    return contents(path).count(text.toUtf8());
}

class SaveSafe : public WindowTest {
protected:
    std::string status() { return window->statusBar()->currentMessage().toStdString(); }
    bool unsavedInTitle() { return window->windowTitle().endsWith(" *"); }
    // The first row's date from its file time: unsaved work, which the saved list holds
    // as this text.
    QString changeADate() {
        selectRows({0});
        window->loadFSDate();
        EXPECT_TRUE(model().isModified());
        return date(0);
    }
    QString writeList(const QString& file) {
        CImageListModel writer;
        writer.setDirPath(folder);
        writer.saveAs(file);
        return file;
    }
    // Presses keys on the view as the user does, once the window is the active one;
    // answers wait for the dialogs that the keys bring up.
    void press(const char* keys, const std::function<void()>& answers = {}) {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        if (answers)
            answers();
        QTest::keySequence(window->glWidget(), QKeySequence(keys));
    }
    // The next file dialog gets fileName in its name field, and Return. Started at the
    // list, the dialog selects the list's file once it has read the folder; typing into
    // the field with the focus would drop that selection, as it is dropped here (the
    // dialog under Xvfb never has the focus).
    static void typeIntoNextFileDialog(const QString& fileName) {
        whenShown<QFileDialog>([fileName](QFileDialog* dialog) {
            auto* files = dialog->findChild<QAbstractItemView*>("listView");
            ASSERT_TRUE(files);
            waitUntil([&] { return files->selectionModel()->hasSelection(); }, 5000);
            files->clearSelection();
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            name->setText(fileName);
            QTest::keyClick(name, Qt::Key_Return);
        });
    }
    // Clicks the button with text in the next message box; its text goes to *told.
    static void clickInNextBox(const QString& text, QString* told) {
        whenShown<QMessageBox>([text, told](QMessageBox* box) {
            *told = box->text();
            for (QAbstractButton* button : box->buttons())
                if (button->text().remove('&') == text)
                    button->click();
        });
    }
    // Another program appends a row to the list file.
    static void appendARow(const QString& list) {
        ASSERT_EQ(
            QProcess::execute("sh", {"-c", "echo 'x.jpg,,2001:01:01 00:00:00,1,X' >>\"$0\"", list}),
            0);
    }
};

}  // namespace

TEST_F(SaveSafe, SavingOntoAFullDiskSaysWhyKeepsTheListUnsavedAndSaveAsKeepsItElsewhere) {
    CSmallFileSystem disk;
    if (!disk.available())
        GTEST_SKIP() << disk.skipReason();
    const QString list = writeList(QString::fromStdString(disk.path("list.csv")));
    const QByteArray before = contents(list);
    ASSERT_TRUE(disk.fill());
    open(list);
    ASSERT_EQ(model().rowCount(), 3);
    const QString changed = changeADate();

    QString told;
    press("Ctrl+S", [&] { clickInNextBox("OK", &told); });
    EXPECT_EQ(contents(list), before);
    EXPECT_THAT(status(), HasSubstr("No space left on device"));
    EXPECT_THAT(status(), HasSubstr("the list is not saved"));
    EXPECT_THAT(told.toStdString(), HasSubstr("No space left on device"));
    EXPECT_TRUE(unsavedInTitle());
    // Closing still asks; Cancel keeps the window and the work.
    QString question;
    clickInNextBox("Cancel", &question);
    window->close();
    EXPECT_THAT(question.toStdString(), HasSubstr("not saved"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(unsavedInTitle());

    // Kept elsewhere with Save As: written there, saved, and the full disk's list as it was.
    press("Ctrl+Shift+S", [&] { typeIntoNextFileDialog(folder + "/kept.csv"); });
    EXPECT_EQ(times(folder + "/kept.csv", changed), 1);
    EXPECT_FALSE(unsavedInTitle());
    EXPECT_EQ(contents(list), before);
}

TEST_F(SaveSafe, AListThatAnotherProgramChangedIsReplacedOnlyWhenTheUserSaysSo) {
    const QString list = writeList(folder + "/list.csv");
    open(list);
    appendARow(list);
    const QByteArray theirs = contents(list);
    const QString changed = changeADate();

    // Cancel: nothing written, the list still unsaved.
    QString question;
    press("Ctrl+S", [&] { clickInNextBox("Cancel", &question); });
    EXPECT_EQ(question,
              QString("The list %1 was changed by another program since it was opened.").arg(list));
    EXPECT_EQ(contents(list), theirs);
    EXPECT_TRUE(unsavedInTitle());

    // Save As…: the list goes to a new file; theirs stays as they wrote it.
    const QString mine = folder + "/mine.csv";
    question.clear();
    press("Ctrl+S", [&] {
        typeIntoNextFileDialog(mine);
        clickInNextBox("Save As…", &question);
    });
    EXPECT_THAT(question.toStdString(), HasSubstr("changed by another program"));
    EXPECT_EQ(contents(list), theirs);
    EXPECT_EQ(times(mine, changed), 1);
    EXPECT_FALSE(unsavedInTitle());

    // Overwrite, on the new list after another program changed that one too.
    appendARow(mine);
    ASSERT_THAT(contents(mine).toStdString(), HasSubstr("x.jpg"));
    selectRows({1});
    window->loadFSDate();
    question.clear();
    press("Ctrl+S", [&] { clickInNextBox("Overwrite", &question); });
    EXPECT_THAT(question.toStdString(), HasSubstr("changed by another program"));
    EXPECT_THAT(contents(mine).toStdString(), Not(HasSubstr("x.jpg")));
    EXPECT_EQ(times(mine, changed), 2);
    EXPECT_FALSE(unsavedInTitle());
}

TEST_F(SaveSafe, SaveAsWritesTheListElsewhereAndGoesOnWithIt) {
    const QString list = writeList(folder + "/list.csv");
    const QByteArray original = contents(list);
    open(list);
    QStringList items;
    for (QAction* a : window->findChild<QMenu*>("menuFile")->actions())
        items << a->text();
    EXPECT_EQ(items.mid(0, 4), QStringList({"Open", "Save", "Save As…", "Clear"}));
    const QString changed = changeADate();

    // Cancelled in the dialog: nothing written, nothing saved.
    press("Ctrl+Shift+S",
          [] { whenShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); }); });
    EXPECT_TRUE(unsavedInTitle());

    // A name typed without its suffix, in another folder.
    ASSERT_TRUE(QDir(folder).mkdir("elsewhere"));
    const QString kept = folder + "/elsewhere/kept.csv";
    press("Ctrl+Shift+S", [&] { typeIntoNextFileDialog(folder + "/elsewhere/kept"); });
    EXPECT_EQ(contents(list), original);
    EXPECT_EQ(times(kept, changed), 1);
    EXPECT_FALSE(unsavedInTitle());
    EXPECT_EQ(model().listFile(), kept);
    // The new list names the same pictures from where it lies.
    CImageListModel reader;
    reader.loadList(kept);
    ASSERT_EQ(reader.rowCount(), 3);
    for (int row = 0; row < 3; ++row)
        EXPECT_TRUE(QFile::exists(reader.fullPath(reader.index(row, 0))));
    // Save goes on into the new list.
    selectRows({1});
    window->loadFSDate();
    press("Ctrl+S");
    EXPECT_EQ(times(kept, changed), 2);
    EXPECT_EQ(contents(list), original);
}
