// The status bar and the picture list as a person meets them at the window: the
// permanent part read from the screen, a message that goes away, and the list's columns
// and sort back as they were left at the next start.
#include "GLWidget.h"
#include "screenframes.h"
#include "screentext.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QStatusBar>
#include <QTreeWidget>

namespace {

class StatusBar : public WindowTest {
protected:
    bool filled() {
        return waitUntil([this] { return !model().isFilling() && model().rowCount() > 0; });
    }
    // The permanent part of the status bar as OCR reads it off the screen.
    QString permanentOnScreen() {
        QLabel* label = window->findChild<QLabel*>("viewLabel");
        if (!label || !label->isVisible() || label->text().isEmpty())
            return QString();
        const QRect area(label->mapTo(window.get(), QPoint(0, 0)), label->size());
        const QImage screen = window->screen()->grabWindow(window->winId()).toImage();
        return readOnScreen(screen, area.adjusted(-4, -2, 4, 2));
    }
};

}  // namespace

TEST_F(StatusBar, TellsSizeAndZoomOfThePictureShownAndLetsMessagesFade) {
    if (!canReadScreen())
        GTEST_SKIP() << "tesseract is not installed: the screen cannot be read";
    temp.write("big.jpg", photo(2400, 1800, "2012:01:01 00:00:00", 1, "Big"));
    open(folder);
    ASSERT_TRUE(filled());
    window->listView()->setCurrentIndex(model().index(rowOf("big.jpg"), 0));
    QString seen;
    EXPECT_TRUE(waitUntil([&] { return (seen = permanentOnScreen()).contains("2400"); }, 30000))
        << seen.toStdString();
    EXPECT_TRUE(seen.contains("1800") && seen.contains("fit")) << seen.toStdString();

    // One picture pixel on one screen pixel.
    window->glWidget()->setFocus();
    pressKeys(*window, "z");
    EXPECT_TRUE(waitUntil([&] { return (seen = permanentOnScreen()).contains("100"); }, 10000))
        << seen.toStdString();
    EXPECT_FALSE(seen.contains("fit")) << seen.toStdString();

    // A message about an action says its piece and goes, the permanent part stays.
    window->pathEdit()->setText(folder + "/nowhere");
    emit window->pathEdit()->returnPressed();
    EXPECT_TRUE(window->statusBar()->currentMessage().startsWith("No such folder"));
    QTest::qWait(9000);
    EXPECT_EQ(window->statusBar()->currentMessage(), QString());
    EXPECT_TRUE(permanentOnScreen().contains("2400"));
}

TEST_F(StatusBar, LoadFilenameDateSaysWhatItSetAndWhichNamesHeldNoDate) {
    temp.write("IMG_20240704_153000.jpg", photo(40, 30, "2001:01:01 00:00:00", 1, "P"));
    temp.write("PXL_20230115_101112345.jpg", photo(40, 30, "2001:01:01 00:00:00", 1, "P"));
    open(folder);
    ASSERT_TRUE(filled());
    selectRows({rowOf("IMG_20240704_153000.jpg"), rowOf("a.jpg"), rowOf("b.jpg"),
                rowOf("PXL_20230115_101112345.jpg")});
    window->loadFilenameDate();
    EXPECT_EQ(window->statusBar()->currentMessage(),
              "Dates from the file names set on 2 rows; no date in a.jpg, b.jpg");
    EXPECT_EQ(date(rowOf("IMG_20240704_153000.jpg")), "2024:07:04 15:30:00");
}

TEST_F(StatusBar, TheListComesBackAsLeftAndASortKeepsTheCurrentRowInSight) {
    for (int i = 0; i < 60; ++i)
        temp.write(QString("IMG_20240704_%1.jpg").arg(100000 + i).toStdString(),
                   photo(16, 12, "2001:01:01 00:00:00", 1, "P"));
    open(folder);
    ASSERT_TRUE(filled());
    QHeaderView* header = window->listView()->header();
    // Camera and phone names read whole at first.
    const QFontMetrics metrics(window->listView()->font());
    EXPECT_GE(header->sectionSize(0), metrics.horizontalAdvance("IMG_20240704_153000.jpg"));
    EXPECT_GE(header->sectionSize(2), metrics.horizontalAdvance("2024:07:04 15:30:00"));

    // The first row current, then the sort turned: it goes to the bottom, still in sight.
    window->listView()->setCurrentIndex(model().index(0, 0));
    const QString current = model().data(model().index(0, 0)).toString();
    clickAt(*header,
            QRect(header->sectionViewportPosition(0), 0, header->sectionSize(0), header->height()));
    ASSERT_TRUE(waitUntil([&] { return header->sortIndicatorOrder() == Qt::DescendingOrder; }));
    ASSERT_EQ(model().data(window->listView()->currentIndex()).toString(), current);
    EXPECT_GT(window->listView()->currentIndex().row(), 50);
    const QString top = model().data(model().index(0, 0)).toString();
    QTest::qWait(200);
    const QRect shown = window->listView()->visualRect(window->listView()->currentIndex());
    EXPECT_TRUE(window->listView()->viewport()->rect().contains(shown)) << shown.y();

    header->resizeSection(0, 333);
    header->resizeSection(2, 222);
    window->close();
    window.reset();

    open(folder);
    ASSERT_TRUE(filled());
    header = window->listView()->header();
    EXPECT_EQ(header->sectionSize(0), 333);
    EXPECT_EQ(header->sectionSize(2), 222);
    EXPECT_EQ(header->sortIndicatorSection(), 0);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(model().data(model().index(0, 0)).toString(), top);
}

// Written by another program: the dock reads what exiv2 put in.
TEST_F(StatusBar, TheExifDockNamesTagsAndGivesTheirUnits) {
    const std::string file = temp.write("lens.jpg", photo(64, 48, "2015:05:05 10:00:00", 6, "Mk"));
    QProcess exiv2;
    exiv2.start("exiv2", {"-M", "set Exif.Photo.ExposureTime Rational 1/250", "-M",
                          "set Exif.Photo.FNumber Rational 28/10", "-M",
                          "set Exif.Photo.FocalLength Rational 35/1", "-M",
                          "set Exif.Photo.LensModel Ascii XF18-55mm F2.8-4", "mo",
                          QString::fromStdString(file)});
    if (!exiv2.waitForFinished(30000) || exiv2.exitCode() != 0)
        GTEST_SKIP() << "exiv2 is missing or failed: "
                     << exiv2.readAllStandardError().toStdString();
    open(folder);
    ASSERT_TRUE(filled());
    window->listView()->setCurrentIndex(model().index(rowOf("lens.jpg"), 0));
    QTreeWidget* table = window->exifTable();
    auto value = [&](const char* name) {
        const QList<QTreeWidgetItem*> rows = table->findItems(name, Qt::MatchExactly, 1);
        return rows.size() == 1 && !rows[0]->isHidden() ? rows[0]->text(2) : QString("-");
    };
    ASSERT_TRUE(waitUntil([&] { return value("Lens") == "XF18-55mm F2.8-4"; }))
        << value("Lens").toStdString();
    EXPECT_EQ(value("Exposure time"), "1/250 s");
    EXPECT_EQ(value("F-number"), "f/2.8");
    EXPECT_EQ(value("Focal length"), "35 mm");
    EXPECT_EQ(value("Orientation"), "right top (6)");
    EXPECT_EQ(value("Thumbnail"), "-");
    EXPECT_TRUE(table->isColumnHidden(0)) << "tag numbers shown";
}
