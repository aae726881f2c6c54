// Open takes what users have: a picture opens in its folder with it selected, a folder as
// a folder, a picture list as a list. What a file is comes from its content: a photo
// named .csv is still a photo, and a photo is never read as a list.
#include "CImgWindow.h"

#include "CImageListModel.h"
#include "diagnostics.h"
#include "picturekind.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QSettings>
#include <QTreeView>

namespace {

// Open with nothing chosen opens the folder the dialog shows.
class COpenDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    QString folder;

protected:
    void accept() override {
        if (selectedFiles().isEmpty()) {
            folder = directory().absolutePath();
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }
};

// Text, as a list is: no NUL bytes, and empty or with a line of comma-separated fields.
bool looksLikeList(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(64 * 1024);
    if (head.contains('\0'))
        return false;
    return head.trimmed().isEmpty() || head.contains(',');
}

}  // namespace

void CImgWindow::open() {
    if (!maybeSave())
        return;
    const QString start = QSettings().value("lastOpenFolder", QString(".")).toString();
    COpenDialog dialog(this, tr("Open File"), start,
                       tr("Pictures and lists (*.jpg *.jpeg *.mpo *.png *.jps *.pns *.csv *.JPG "
                          "*.JPEG *.MPO *.PNG *.JPS *.PNS *.CSV);;All files (*)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() == QDialog::Accepted) {
        const QStringList chosen = dialog.selectedFiles();
        openPath(chosen.isEmpty() ? dialog.folder : chosen.front());
    }
    focusView();
}

void CImgWindow::openPath(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) {
        leaveList();
        selectFolder(info.absoluteFilePath());
        return;
    }
    if (info.isFile() &&
        identifyPicture(QFile::encodeName(path).toStdString()).mKind != EPictureKind::Unreadable) {
        leaveList();
        if (selectFolder(info.absolutePath()))
            selectWhenListed(info.absoluteFilePath());
        return;
    }
    if (!info.isFile() || looksLikeList(path)) {
        openList(path);  // says why when it cannot be read
        return;
    }
    const QString text = tr("Could not open %1: not a picture list").arg(info.fileName());
    RUV_WARNING(text.toStdString());
    report(text);
}

void CImgWindow::leaveList() {
    if (!mImageListModel->hasListFile())
        return;
    backToTreeFolder();
}
