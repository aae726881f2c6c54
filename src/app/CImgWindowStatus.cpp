// The status bar: messages about an action that fade after a few seconds, and a
// permanent part that tells what the view shows now (the picture's size, the zoom and a
// stereo picture's shift).
#include "CImgWindow.h"

#include "CImageListModel.h"
#include "CRuvello.h"
#include "GLWidget.h"
#include "SUI.h"
#include "viewFit.h"

#include <QAction>
#include <QLabel>
#include <QLocale>
#include <QStatusBar>
#include <QTreeView>

#include <cmath>

namespace {
// Long enough to read a sentence; short enough not to speak of a picture long gone.
constexpr int kMessageMs = 6000;
}  // namespace

void CImgWindow::report(const QString& text) {
    statusBar()->showMessage(text, kMessageMs);
}

void CImgWindow::buildStatus(QAction* resetShift) {
    mViewLabel = new QLabel(this);
    mViewLabel->setObjectName("viewLabel");
    statusBar()->addPermanentWidget(mViewLabel);
    auto* shiftLabel = new QLabel(this);
    shiftLabel->setObjectName("shiftLabel");
    shiftLabel->hide();
    statusBar()->addPermanentWidget(shiftLabel);
    // The shift of the picture on the screen, for as long as it has one.
    resetShift->setEnabled(false);
    connect(resetShift, &QAction::triggered, mGLWidget, &GLWidget::resetShift);
    connect(mGLWidget, &GLWidget::shiftChanged, this, [shiftLabel, resetShift](float shift) {
        const QString number = QLocale::system().toString(double(shift), 'f', 1);
        shiftLabel->setText(tr("shift %1%2 px").arg(shift > 0 ? "+" : "", number));
        shiftLabel->setVisible(shift != 0.0f);
        resetShift->setEnabled(shift != 0.0f);
    });
    connect(mGLWidget, &GLWidget::imageLoaded, this, [this](QString, int width, int height) {
        mShownWidth = width;
        mShownHeight = height;
        updateViewStatus();
    });
    // Every change of zoom or picture paints a frame.
    connect(mGLWidget, &QOpenGLWidget::frameSwapped, this, &CImgWindow::updateViewStatus);
}

void CImgWindow::updateViewStatus() {
    const CRuvello* view = mGLWidget->application();
    if (!view || !mCurrentShown || mShownWidth <= 0 || mShownHeight <= 0) {
        mViewLabel->clear();
        return;
    }
    // The zoom the view would fit this picture at: the user has not zoomed since.
    CGlutWindow& window = mGLWidget->glutWindow();
    SViewState fitted{view->ui().mZoom, view->ui().mPosX, view->ui().mPosY};
    ::fitToWindow(fitted,
                  {window.mViewWidth, window.mViewHeight, view->imageWidth(), view->imageHeight()});
    const float zoom = view->ui().mZoom;
    const QString zoomText = std::abs(zoom - fitted.zoom) < 1e-4f * fitted.zoom
                                 ? tr("fit")
                                 : tr("%1 %").arg(int(std::lround(zoom * 100.0f)));
    mViewLabel->setText(tr("%1 × %2 px, %3").arg(mShownWidth).arg(mShownHeight).arg(zoomText));
}

void CImgWindow::loadFilenameDate() {
    // Said once for the whole selection: how many rows took a date, which names had none.
    int set = 0;
    QStringList without;
    for (const QModelIndex& index : selectedRows()) {
        const QString name = index.siblingAtColumn(0).data().toString();
        if (capturedate::dateInFilename(name).isNull())
            without << name;
        else
            ++set;
        mImageListModel->loadFilenameDate(index);
    }
    const QString missing = without.join(", ");
    if (set == 0 && without.size() == 1)
        report(tr("No date in the file name %1").arg(missing));
    else if (set == 0 && !without.isEmpty())
        report(tr("No date in the file names %1").arg(missing));
    const QString rows = set == 1 ? tr("1 row") : tr("%1 rows").arg(set);
    if (without.isEmpty())
        report(tr("Dates from the file names set on %1").arg(rows));
    else if (set > 0)
        report(tr("Dates from the file names set on %1; no date in %2").arg(rows, missing));
}
