// File ▸ Export Anaglyph: the picture shown, as the view shows it, written at full size.
// Decoding, composing and encoding a camera's pair take seconds: the export runs in the
// background with a progress bar and Cancel in the status bar, and the window pages on.
#include "CImgWindow.h"

#include "CImgWindowWork.h"
#include "CRuvello.h"
#include "GLWidget.h"
#include "anaglyphExport.h"
#include "diagnostics.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>

#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray bytes(const QString& path) {
    return QFile::encodeName(path);
}

// The status bar's part for a running export: its progress and a button to cancel it.
QWidget* exportBar(QStatusBar* bar, const std::shared_ptr<std::atomic<int>>& progress,
                   const std::shared_ptr<std::atomic<bool>>& cancel) {
    auto* box = new QWidget(bar);
    box->setObjectName("exportProgress");
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* meter = new QProgressBar(box);
    meter->setRange(0, 100);
    meter->setFormat(CImgWindow::tr("Exporting anaglyph… %p%"));
    meter->setMaximumWidth(260);
    auto* button = new QPushButton(CImgWindow::tr("Cancel"), box);
    button->setObjectName("exportCancel");
    button->setToolTip(CImgWindow::tr("Stop the export; nothing is written"));
    layout->addWidget(meter);
    layout->addWidget(button);
    QObject::connect(button, &QPushButton::clicked, box, [button, cancel] {
        *cancel = true;
        button->setEnabled(false);
    });
    auto* timer = new QTimer(box);
    QObject::connect(timer, &QTimer::timeout, meter,
                     [meter, progress] { meter->setValue(*progress); });
    timer->start(100);
    bar->insertPermanentWidget(0, box);
    return box;
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
    if (mWork && mWork->mExportCancel) {
        report(tr("An anaglyph is being exported: wait for it or cancel it"));
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

    // What the job needs is copied now: the window pages on while it runs.
    CWindowWork& jobs = work();
    const auto progress = std::make_shared<std::atomic<int>>(0);
    const std::string source = mCurrentBytes.toStdString(), output = bytes(target).toStdString();
    jobs.mExportProgress = progress;
    jobs.mExportCancel = jobs.start([=](const std::atomic<bool>& cancelled) {
        SAnaglyphExport run = options;
        run.mCancel = &cancelled;
        run.mProgress = progress.get();
        struct stat st;
        const bool existed = ::stat(output.c_str(), &st) == 0;
        std::string why;
        bool written = ::exportAnaglyph(run, {source, {}}, output, &why) == EExportResult::Written;
        // Cancelled while the file was being written: a file that was not there before
        // goes again.
        const bool stopped = cancelled;
        if (written && stopped && !existed && ::unlink(output.c_str()) == 0)
            written = false;
        return CBackgroundJobs::Done([this, written, target, why, stopped] {
            exportEnded(written, target, QString::fromLocal8Bit(why.c_str()), stopped && !written);
        });
    });
    jobs.mExportBar = exportBar(statusBar(), progress, jobs.mExportCancel);
}

void CImgWindow::exportEnded(bool written, const QString& target, const QString& why,
                             bool cancelled) {
    CWindowWork& jobs = work();
    delete jobs.mExportBar;
    jobs.mExportBar = nullptr;
    jobs.mExportCancel.reset();
    jobs.mExportProgress.reset();
    if (cancelled) {
        report(tr("Export cancelled; nothing written"));
        return;
    }
    if (written) {
        report(tr("Anaglyph written to %1").arg(target));
        return;
    }
    // The exporter's line says what failed and why ("cannot write X: No space left on
    // device"): in the status bar, which soon forgets, and in a box, which waits.
    const QString text = tr("No anaglyph written: %1").arg(why);
    RUV_WARNING(text.toStdString());
    report(text);
    QMessageBox::warning(this, tr("Export Anaglyph"), text);
}
