// The picture list in the real window never loses or rewrites what the user made: a
// changed row stays while its file is away, and a click on a column header only orders
// the rows.
#include "windowfixtures.h"

#include <QFile>
#include <QHeaderView>
#include <QHelpEvent>
#include <QImage>
#include <QProcess>
#include <QStatusBar>
#include <QToolTip>

#include <gmock/gmock.h>

#include <algorithm>

using testing::HasSubstr;
using testing::Not;

// Readable texts in failure messages.
static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

class ListKeep : public WindowTest {
protected:
    QString title() { return window->windowTitle(); }
    // The tooltip that shows when the pointer rests on the row's file name.
    QString tooltipOf(int row) {
        QTreeView* view = window->listView();
        const QPoint at = view->visualRect(model().index(row, 0)).center();
        QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(view->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    }
    // The darkest grey of the row's file name on the screen: its text.
    int darkestOf(int row) {
        QTreeView* view = window->listView();
        const QImage cell =
            view->viewport()->grab(view->visualRect(model().index(row, 0))).toImage();
        int darkest = 255;
        for (int y = 0; y < cell.height(); ++y)
            for (int x = 0; x < cell.width(); ++x)
                darkest = std::min(darkest, qGray(cell.pixel(x, y)));
        return darkest;
    }
    bool mv(const QString& from, const QString& to) {
        return QProcess::execute("mv", {from, to}) == 0;
    }
};

}  // namespace

TEST_F(ListKeep, AChangedRowStaysWhileItsFileIsAwayAndComesBackAsTheUserLeftIt) {
    CTempFolder away;
    const QString elsewhere = QString::fromStdString(away.path());
    open(folder);
    ASSERT_TRUE(waitUntil([this] { return model().rowCount() == 3 && !model().isFilling(); }));
    // The file time as the date: no Exif block holds it.
    selectRows({rowOf("a.jpg")});
    window->loadFSDate();
    const QString changed = date(rowOf("a.jpg"));
    ASSERT_NE(changed, "2010:03:28 02:30:00");
    ASSERT_TRUE(title().endsWith(" *"));
    selectRows({rowOf("b.jpg")});  // a selected row shows in the selection's colours

    // Another program moves the photo away: the row stays, greyed, and says why.
    ASSERT_TRUE(mv(folder + "/a.jpg", elsewhere + "/a.jpg"));
    ASSERT_TRUE(
        waitUntil([&] { return tooltipOf(rowOf("a.jpg")) == "missing: the file is gone"; }, 5000))
        << "rows: " << model().rowCount();
    EXPECT_EQ(model().rowCount(), 3);
    EXPECT_EQ(date(rowOf("a.jpg")), changed);
    EXPECT_GT(darkestOf(rowOf("a.jpg")), darkestOf(rowOf("c.jpg")) + 40);
    EXPECT_TRUE(title().endsWith(" *"));

    // Back: shown as before, with the user's date, not the one its Exif block holds.
    ASSERT_TRUE(mv(elsewhere + "/a.jpg", folder + "/a.jpg"));
    ASSERT_TRUE(waitUntil([&] { return tooltipOf(rowOf("a.jpg")).isEmpty(); }, 5000));
    QTest::qWait(2 * CImageListModel::kFolderSettleMs);
    ASSERT_TRUE(waitUntil([this] { return !model().isFilling(); }));
    EXPECT_EQ(model().rowCount(), 3);
    EXPECT_EQ(date(rowOf("a.jpg")), changed);
    EXPECT_LT(darkestOf(rowOf("a.jpg")), darkestOf(rowOf("c.jpg")) + 40);
    EXPECT_TRUE(title().endsWith(" *"));
}

TEST_F(ListKeep, AClickOnAColumnHeaderOnlyOrdersTheRows) {
    // Rows of photos that are gone (a disk taken out), as a list keeps them.
    const std::string gone1 = "\"gone1.jpg\",\"\",\"2011:05:01 10:00:00\",\"-1\",\"Maker A\"\n";
    const std::string gone2 = "\"gone2.jpg\",\"\",\"no Exif data\",\"-1\",\"Maker C\"\n";
    const std::string text = "# trip\n" + gone2 + gone1;
    temp.write("trip.csv", std::vector<uint8_t>(text.begin(), text.end()));
    // Every message the status bar shows, from the first event on: the pictures that
    // cannot be shown are said there too.
    window = std::make_unique<CImgWindow>(folder + "/trip.csv");
    QStringList said;
    QObject::connect(window->statusBar(), &QStatusBar::messageChanged,
                     [&](const QString& message) { said << message; });
    window->resize(900, 600);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    ASSERT_TRUE(waitUntil([this] { return model().rowCount() == 5 && !model().isFilling(); }));
    EXPECT_TRUE(waitUntil([&] {
        return said.contains("1 line of trip.csv was not understood; it is kept as it is");
    })) << said.join("\n").toStdString();

    QHeaderView* header = window->listView()->header();
    const int orientation = CImageListModel::ColOrientation;
    QTest::mouseClick(
        header->viewport(), Qt::LeftButton, Qt::NoModifier,
        QPoint(header->sectionViewportPosition(orientation) + header->sectionSize(orientation) / 2,
               header->height() / 2));
    ASSERT_EQ(model().sortColumn(), orientation);
    EXPECT_EQ(date(rowOf("gone1.jpg")), "2011:05:01 10:00:00");
    EXPECT_EQ(date(rowOf("gone2.jpg")), "no Exif data");
    EXPECT_FALSE(title().endsWith(" *"));

    action("actionSave")->trigger();
    QFile saved(folder + "/trip.csv");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const std::string written = saved.readAll().toStdString();
    EXPECT_THAT(written, HasSubstr(gone1));
    EXPECT_THAT(written, HasSubstr(gone2));
    EXPECT_THAT(written, Not(HasSubstr("could not open file")));
    EXPECT_EQ(written.rfind("# trip\n", 0), 0u);
}
