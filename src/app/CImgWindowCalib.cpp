// Stereo ▸ Reset Calibration: back to the built-in calibration, and on request without
// the user's saved files, so that a calibration that went wrong can always be undone;
// and the outcomes of calibration mode's keys in the status bar.
#include "CImgWindow.h"

#include "CStereoCalib.h"
#include "GLWidget.h"
#include "calibSearch.h"
#include "diagnostics.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>

QAction* CImgWindow::resetCalibrationAction() {
    QAction* reset = makeAction("actionReset_Calibration", "Reset Calibration");
    connect(reset, &QAction::triggered, this, &CImgWindow::resetCalibration);
    // What calibration mode's keys gave (a save that failed on a full disk, say) in the
    // status bar too: the notes over the view are easily missed, and gone in full screen.
    connect(mGLWidget, &GLWidget::calibrationOutcome, this, &CImgWindow::report);
    return reset;
}

void CImgWindow::resetCalibration() {
    CRuvello* app = mGLWidget->application();
    if (!app || !app->calib())
        return;
    // Matches being made are the user's work: the usual question first, and Cancel
    // leaves everything as it was.
    if (!maybeSaveCalibration())
        return;
    CStereoCalib& calib = *app->calib();
    calib.useBuiltIn();
    app->applyCalibration();
    mGLWidget->update();
    consoleInfo("calibration: the built-in one");

    // Every file the next start would read, the working directory's as well: otherwise
    // "removed" would not mean that the next start is built-in too.
    QStringList saved;
    for (const std::string& path : calibrationSearchPaths()) {
        const QString name = QFile::decodeName(path.c_str());
        const QFileInfo info(name);
        if (info.exists() && !info.isDir())
            saved << info.absoluteFilePath();
    }
    if (saved.isEmpty()) {
        report(tr("The built-in calibration is in use"));
        return;
    }
    // No keeps the files: a question answered in haste must not cost a calibration that
    // took a while to make; this session goes on with the built-in one all the same, and
    // ']' in calibration mode loads the saved matches again.
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, tr("Reset Calibration"),
        tr("The built-in calibration is in use now. Remove your saved calibration too, so "
           "that the next start uses the built-in one?\n\n%1")
            .arg(saved.join('\n')),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) {
        report(
            tr("The built-in calibration is in use; your saved calibration is kept for the "
               "next start"));
        return;
    }
    QStringList failed;
    for (const QString& name : saved) {
        QFile file(name);
        if (!file.remove()) {
            failed << name;
            RUV_WARNING("cannot remove " + QFile::encodeName(name).toStdString() + ": " +
                        file.errorString().toStdString());
        }
    }
    if (failed.isEmpty()) {
        calib.addOutcome("Saved calibration removed.");
        report(tr("The built-in calibration is in use; your saved calibration is removed"));
        return;
    }
    const QString text = tr("Could not remove %1").arg(failed.join(", "));
    report(text);
    QMessageBox::warning(this, tr("Reset Calibration"), text);
}
