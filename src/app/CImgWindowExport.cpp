// File ▸ Export Anaglyph: the picture shown, as the view shows it, written at full size.
#include "CImgWindow.h"

#include "CRuvello.h"
#include "GLWidget.h"
#include "anaglyphExport.h"
#include "diagnostics.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QTreeView>

namespace {
QByteArray bytes(const QString& path) {
    return QFile::encodeName(path);
}
}  // namespace

bool CImgWindow::canExportAnaglyph() const {
    return mListView->currentIndex().isValid() && mCurrentShown && mCurrentStereo;
}

void CImgWindow::exportAnaglyph() {
    if (!canExportAnaglyph()) {
        report(tr("Export needs a stereo picture"));
        return;
    }
    const QFileInfo picture(mCurrentFile);
    const QString proposed =
        picture.absoluteDir().filePath(picture.completeBaseName() + "-anaglyph.jpg");
    const QString target = QFileDialog::getSaveFileName(this, tr("Export Anaglyph"), proposed,
                                                        tr("Pictures (*.jpg *.jpeg *.png)"),
                                                        nullptr, QFileDialog::DontUseNativeDialog);
    focusView();
    if (target.isEmpty())
        return;

    const CRuvello& view = *mGLWidget->application();
    SAnaglyphExport options;
    options.mAnaglyph = view.anaglyphSettings();
    // As the view shows it: shifted, aligned and cut to what both eyes see, with the
    // view's own alignment when it has one. The view may hold the picture shrunk to its
    // texture limit: its shift and alignment are in pixels of the left picture it holds,
    // which the exporter scales to the size it decodes.
    options.mAnaglyph.mShift = view.shift();
    const SPictureEntry* shown = view.currentEntry();
    if (shown && shown->leftWidth > 0 && shown->leftHeight > 0) {
        options.mMeasuredWidth = shown->leftWidth;
        options.mMeasuredHeight = shown->leftHeight;
    }
    options.mAlign = view.autoAlign();
    if (options.mAlign && shown && shown->aligned && shown->alignment.mOk)
        options.mAlignment = shown->alignment;
    options.mQuality = 95;
    options.mOverwrite = true;  // the dialog has asked

    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::string why;
    const EExportResult result = ::exportAnaglyph(options, {mCurrentBytes.toStdString(), {}},
                                                  bytes(target).toStdString(), &why);
    QApplication::restoreOverrideCursor();
    if (result == EExportResult::Written) {
        report(tr("Anaglyph written to %1").arg(target));
        return;
    }
    // The exporter's line says what failed and why ("cannot write X: No space left on
    // device"): in the status bar, which soon forgets, and in a box, which waits.
    const QString text = tr("No anaglyph written: %1").arg(QString::fromLocal8Bit(why.c_str()));
    RUV_WARNING(text.toStdString());
    report(text);
    QMessageBox::warning(this, tr("Export Anaglyph"), text);
}
