// Small things a newcomer meets in the first minutes: the keys go back to the pictures
// after a folder was typed, and a quarter turn of a stereo file asks first.
#include "GLWidget.h"
#include "mpowrite.h"
#include "windowfixtures.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>

#include <gtest/gtest.h>

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

TEST_F(WindowTest, AFolderTypedIntoThePathFieldGivesTheKeysBackToThePictures) {
    ASSERT_TRUE(QDir(folder).mkdir("sub"));
    temp.write("sub/d.jpg", photo(32, 24, "2012:02:02 02:02:02", 1, "Delta"));
    open(folder);
    auto* path = window->findChild<QLineEdit*>("lineEdit");
    ASSERT_NE(path, nullptr);
    path->setFocus();
    path->selectAll();
    QTest::keyClicks(path, folder + "/sub");
    QTest::keyClick(path, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return model().rowCount() == 1; }));
    EXPECT_EQ(QApplication::focusWidget(), window->glWidget());
}

TEST_F(WindowTest, AQuarterTurnOfAStereoFileAsksFirst) {
    const std::vector<uint8_t> view = photo(64, 48, "2013:03:03 03:03:03", 1, "Epsilon");
    temp.write("pair.mpo", buildMpoFile(view, view, 0.065));
    open(folder);
    ASSERT_TRUE(waitUntil([&] { return model().rowCount() == 4; }));
    int row = -1;
    for (int r = 0; r < model().rowCount(); ++r)
        if (fileOf(r).endsWith("pair.mpo"))
            row = r;
    ASSERT_GE(row, 0);
    window->listView()->setCurrentIndex(model().index(row, 0));
    selectRows({row});
    const QByteArray before = contents(fileOf(row));
    QString asked;
    whenModal<QMessageBox>([&](QMessageBox* box) {
        asked = box->text();
        box->button(QMessageBox::No)->click();
    });
    action("actionOrientation_Right_Top")->trigger();
    EXPECT_TRUE(asked.contains("pair.mpo is a stereo picture")) << asked.toStdString();
    EXPECT_TRUE(asked.contains("above each other")) << asked.toStdString();
    EXPECT_EQ(contents(fileOf(row)), before);

    // A plain photo turns without a question.
    for (int r = 0; r < model().rowCount(); ++r)
        if (fileOf(r).endsWith("c.jpg"))
            row = r;
    selectRows({row});
    asked.clear();
    whenModal<QMessageBox>(
        [&](QMessageBox* box) {
            asked = box->text();
            box->button(QMessageBox::No)->click();
        },
        1000);
    action("actionOrientation_Right_Top")->trigger();
    QTest::qWait(1200);
    EXPECT_TRUE(asked.isEmpty()) << asked.toStdString();
}
