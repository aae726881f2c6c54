// The picture list as the user left it: column widths, order and the sort come back
// at the next start, and the file-name and date columns fit the names that cameras and
// phones write.
#include "CImgWindow.h"

#include "CImageListModel.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QSettings>
#include <QTreeView>

void CImgWindow::restoreListColumns() {
    QHeaderView* header = mListView->header();
    // A phone's name with its extension, a full date: neither cut short at first.
    const QFontMetrics metrics(mListView->font());
    const int margin = 3 * metrics.averageCharWidth();
    header->resizeSection(CImageListModel::ColFilename,
                          metrics.horizontalAdvance("PXL_20240704_153000123.jpg") + margin);
    header->resizeSection(CImageListModel::ColDate,
                          metrics.horizontalAdvance("0000:00:00 00:00:00") + margin);
    const QByteArray state = QSettings().value("list/header").toByteArray();
    if (state.isEmpty() || !header->restoreState(state))
        return;
    mImageListModel->sort(header->sortIndicatorSection(), header->sortIndicatorOrder());
}

void CImgWindow::storeListColumns() {
    QSettings().setValue("list/header", mListView->header()->saveState());
}
