#include "exifOrientation.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <cstdio>
#include <iostream>

namespace {
// How the command line reads on the console: every argument quoted when it has to be.
QString shown(const QString& program, const QStringList& arguments) {
    QString line = program;
    for (const QString& a : arguments) {
        const bool plain = !a.isEmpty() && !a.contains(QRegularExpression("[^A-Za-z0-9_./=+-]"));
        line += ' ';
        line += plain ? a : '\'' + QString(a).replace('\'', "'\\''") + '\'';
    }
    return line;
}
}  // namespace

bool canWriteExifOrientation(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == "jpg" || suffix == "jpeg" || suffix == "mpo";
}

bool writeExifOrientation(const QString& path, int orientation, QString* message) {
    auto fail = [&](const QString& why) {
        if (message)
            *message = why;
        return false;
    };
    if (orientation < 1 || orientation > 8)
        return fail(QString("%1 is no Exif orientation").arg(orientation));
    if (!canWriteExifOrientation(path))
        return fail(path + ": the orientation is kept in JPEG and MPO files only");
    const QFileInfo info(path);
    if (!info.isFile())
        return fail(path + ": no such file");
    // The owner's write bit says whether the user means the file to change, also for
    // root, whom the system would let write.
    if (!(info.permissions() & QFileDevice::WriteOwner))
        return fail(path + ": the file is read-only");

    QTemporaryFile copy(info.absolutePath() + "/." + info.fileName() + ".XXXXXX");
    copy.setAutoRemove(true);
    if (!copy.open())
        return fail(path + ": cannot make a working copy in its folder: " + copy.errorString());
    QFile original(path);
    if (!original.open(QIODevice::ReadOnly))
        return fail(path + ": " + original.errorString());
    while (!original.atEnd()) {
        const QByteArray block = original.read(1 << 20);
        if (block.isEmpty() && original.error() != QFileDevice::NoError)
            return fail(path + ": " + original.errorString());
        if (copy.write(block) != block.size())
            return fail(path + ": cannot write the working copy: " + copy.errorString());
    }
    if (!copy.flush())
        return fail(path + ": cannot write the working copy: " + copy.errorString());
    copy.setPermissions(original.permissions());
    copy.setFileTime(info.lastModified(), QFileDevice::FileModificationTime);
    copy.close();

    const QString program = "exiv2";
    // Options before the action, as exiv2 wants them; -k keeps the file's time.
    const QStringList arguments = {"-k", "-M",
                                   QString("set Exif.Image.Orientation %1").arg(orientation), "mo",
                                   copy.fileName()};
    std::cerr << "sstr.str() = " << shown(program, arguments).toLocal8Bit().constData()
              << std::endl;
    QProcess exiv2;
    exiv2.start(program, arguments);
    if (!exiv2.waitForStarted(10000))
        return fail("cannot run exiv2: " + exiv2.errorString());
    exiv2.closeWriteChannel();
    exiv2.waitForFinished(-1);
    const QString said =
        QString::fromLocal8Bit(exiv2.readAllStandardError() + exiv2.readAllStandardOutput())
            .trimmed();
    if (exiv2.exitStatus() != QProcess::NormalExit || exiv2.exitCode() != 0)
        return fail(QString("exiv2 could not write the orientation of %1 (exit %2)%3")
                        .arg(path)
                        .arg(exiv2.exitCode())
                        .arg(said.isEmpty() ? QString() : ": " + said));
    // The rewritten copy takes the photo's place in one step.
    if (std::rename(QFile::encodeName(copy.fileName()).constData(),
                    QFile::encodeName(path).constData()) != 0)
        return fail(path + ": cannot replace the file with the rewritten copy");
    copy.setAutoRemove(false);
    return true;
}
