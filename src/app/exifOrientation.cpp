#include "exifOrientation.h"

#include "diagnostics.h"
#include "exifcompare.h"
#include "filewrite.h"
#include "orientationwrite.h"
#include "filecloser.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The file a name stands for, through every symbolic link; empty when there is none.
QByteArray resolved(const QString& path) {
    char buffer[PATH_MAX];
    return ::realpath(QFile::encodeName(path).constData(), buffer) ? QByteArray(buffer)
                                                                   : QByteArray();
}

bool readWhole(const QString& path, QByteArray* bytes, QString* why) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = file.errorString();
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError || bytes->size() != file.size()) {
        *why = file.errorString();
        return false;
    }
    return true;
}

// bytes as the whole content of the open file fd; errno-style code on failure.
int writeContent(int fd, const QByteArray& bytes) {
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(fd, bytes.constData() + done, size_t(bytes.size() - done), off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : EIO;
        done += n;
    }
    if (::ftruncate(fd, off_t(bytes.size())) != 0 || ::fsync(fd) != 0)
        return errno;
    return 0;
}

// Where the picture data starts: the first SOS marker, after the segments before it;
// -1 when there is none.
qsizetype scanStart(const QByteArray& jpeg) {
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF) {
        const uchar marker = uchar(jpeg[at + 1]);
        if (marker == 0xFF) {  // a fill byte
            ++at;
            continue;
        }
        if (marker == 0xDA)
            return at;
        at += 2 + ((uchar(jpeg[at + 2]) << 8) | uchar(jpeg[at + 3]));
    }
    return -1;
}

// exiv2 does not check its writes: where the disk is full it cuts the file short and
// still says it succeeded. It passes everything from the first SOS marker on through as
// it is, so a copy that is whole ends in the photo's picture data.
bool rewrittenWhole(const QByteArray& before, const QByteArray& after) {
    const qsizetype start = scanStart(before);
    return start > 0 && after.endsWith(QByteArrayView(before).sliced(start));
}

enum class ERewrite { Done, Unchanged, Damaged };

// A photo with several names keeps them only when its own content is replaced: a rename
// would give the one name a new file and leave the others on the old one. That cannot
// be one step. The new content is complete in the copy before the first byte of the
// photo changes, and the room it needs beyond the old length is reserved first, where
// the file system allows it, so that a full disk stops the work before it starts. What
// remains is a crash, a power cut or a failing disk between the first and the last
// write: then the photo holds new bytes and old ones. A write that fails puts the old bytes
// back; only when that fails too is the photo damaged, and the caller keeps the copy.
ERewrite rewriteInPlace(const QByteArray& photo, const QByteArray& before, const QByteArray& after,
                        const struct stat& was, int* error) {
    const int fd = ::open(photo.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return ERewrite::Unchanged;
    }
    if (after.size() > before.size() &&
        ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(after.size())) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS) {
        *error = errno;
        ::close(fd);
        return ERewrite::Unchanged;
    }
    *error = writeContent(fd, after);
    const bool restored = *error == 0 || writeContent(fd, before) == 0;
    // The writes set the time to now; the photo's own time is one of its date sources.
    const struct timespec times[2] = {was.st_atim, was.st_mtim};
    if (::futimens(fd, times) != 0)
        RUV_WARNING(QString::fromLocal8Bit(photo).toStdString() +
                    ": cannot keep the file time: " + std::strerror(errno));
    ::close(fd);
    return *error == 0 ? ERewrite::Done : restored ? ERewrite::Unchanged : ERewrite::Damaged;
}

// Runs exiv2 on the working copy; false with *message in the user's terms otherwise.
bool runExiv2(const QString& path, const QString& copy, int orientation, QString* message) {
    const QString program = "exiv2";
    // Options before the action, as exiv2 wants them; -k keeps the file's time.
    const QStringList arguments = {
        "-k", "-M", QString("set Exif.Image.Orientation %1").arg(orientation), "mo", copy};
    consoleInfo("sstr.str() = " + shown(program, arguments).toLocal8Bit().toStdString());
    QProcess exiv2;
    exiv2.start(program, arguments);
    if (!exiv2.waitForStarted(10000)) {
        // Not found is what a fresh machine gives: say what to install.
        if (exiv2.error() == QProcess::FailedToStart &&
            QStandardPaths::findExecutable(program).isEmpty())
            *message =
                "cannot run exiv2: it is not installed; install the package exiv2 "
                "(sudo apt-get install exiv2)";
        else
            *message = "cannot run exiv2: " + exiv2.errorString();
        return false;
    }
    exiv2.closeWriteChannel();
    exiv2.waitForFinished(-1);
    // exiv2 names the file it worked on: the user knows the photo, not the copy.
    const QString said =
        QString::fromLocal8Bit(exiv2.readAllStandardError() + exiv2.readAllStandardOutput())
            .trimmed()
            .replace(copy, path);
    if (exiv2.exitStatus() == QProcess::NormalExit && exiv2.exitCode() == 0)
        return true;
    *message = QString("exiv2 could not write the orientation of %1 (exit %2)%3")
                   .arg(path)
                   .arg(exiv2.exitCode())
                   .arg(said.isEmpty() ? QString() : ": " + said);
    return false;
}
}  // namespace

bool canWriteExifOrientation(const QString& path) {
    // By the content, as the reader decides what a file is: JPEG and MPO files start
    // alike. Through links, and no folder whatever its name.
    struct stat st;
    const QByteArray name = QFile::encodeName(path);
    if (::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const FilePtr file(std::fopen(name.constData(), "rb"));
    if (!file)
        return false;
    unsigned char start[3] = {};
    return std::fread(start, 1, 3, file.get()) == 3 && start[0] == 0xFF && start[1] == 0xD8 &&
           start[2] == 0xFF;
}

bool writeExifOrientation(const QString& path, int orientation, QString* message) {
    auto fail = [&](const QString& why) {
        if (message)
            *message = why;
        return false;
    };
    if (orientation < 1 || orientation > 8)
        return fail(QString("%1 is no Exif orientation").arg(orientation));
    // A symbolic link stays as it is; the photo it names is written, and its copy is
    // made beside it, where the rename below can replace it.
    const QByteArray photo = resolved(path);
    struct stat was;
    if (photo.isEmpty() || ::stat(photo.constData(), &was) != 0)
        return fail(path + ": no such file");
    if (!S_ISREG(was.st_mode))
        return fail(path + ": not a file");
    if (!canWriteExifOrientation(path))
        return fail(path + ": the orientation is kept in JPEG and MPO files only");
    // The owner's write bit says whether the user means the file to change, also for
    // root, whom the system would let write.
    if (!(was.st_mode & S_IWUSR))
        return fail(path + ": the file is read-only");

    // A tag that is there takes the new value where it lies: nothing else moves.
    std::string why;
    switch (writeOrientationInPlace(photo.toStdString(), orientation, &why)) {
        case EOrientationInPlace::Written:
        case EOrientationInPlace::AlreadySet:
            return true;
        case EOrientationInPlace::Failed:
            return fail(path + ": cannot write the orientation: " + QString::fromStdString(why));
        case EOrientationInPlace::NoTag:
            break;
    }

    const QString photoName = QFile::decodeName(photo);
    const int slash = photoName.lastIndexOf('/');
    QTemporaryFile copy(photoName.left(slash + 1) + '.' + photoName.mid(slash + 1) + ".XXXXXX");
    copy.setAutoRemove(true);
    if (!copy.open())
        return fail(path + ": cannot make a working copy in its folder: " + copy.errorString());
    QByteArray before;
    QString readWhy;
    if (!readWhole(photoName, &before, &readWhy))
        return fail(path + ": " + readWhy);
    if (copy.write(before) != before.size() || !copy.flush())
        return fail(path + ": cannot write the working copy: " + copy.errorString());
    copy.close();
    QString said;
    if (!runExiv2(path, copy.fileName(), orientation, &said))
        return fail(said);

    QByteArray after;
    if (!readWhole(copy.fileName(), &after, &readWhy))
        return fail(path + ": cannot read the rewritten copy: " + readWhy);
    // Adding an entry moves the Exif block's contents, and with them what a maker note
    // finds at its offsets: the copy must read as the photo did, the orientation apart.
    const QByteArray copyName = QFile::encodeName(copy.fileName());
    const std::string difference = metadataDifference(photo.toStdString(), copyName.toStdString());
    if (!difference.empty() && scanStart(before) > 0 && !rewrittenWhole(before, after))
        return fail(path + ": exiv2 left the rewritten copy incomplete (is the disk full?)");
    if (!difference.empty())
        return fail(
            path + ": " +
            (isMakerNoteDifference(difference)
                 ? QString("adding an orientation would damage this camera's maker note")
                 : "adding an orientation would change " + QString::fromStdString(difference)) +
            "; the photo is kept as it was");
    if (storedOrientation(copyName.toStdString()) != orientation)
        return fail(path + ": exiv2 did not set the orientation");

    const struct timespec times[2] = {was.st_atim, was.st_mtim};
    if (was.st_nlink > 1) {
        int error = 0;
        switch (rewriteInPlace(photo, before, after, was, &error)) {
            case ERewrite::Done:
                return true;
            case ERewrite::Unchanged:
                return fail(path + ": cannot rewrite the file: " + systemError(error));
            case ERewrite::Damaged:
                copy.setAutoRemove(false);
                return fail(path + ": cannot rewrite the file: " + systemError(error) +
                            "; it may be damaged, its rewritten content is in " + copy.fileName());
        }
    }
    // The rewritten copy takes the photo's mode and time, and then its place in one step;
    // on the disk first, so that a crash leaves the one file or the other.
    // It keeps what the file system holds of the photo: owner and group as far as we may
    // set them, extended attributes (a desktop's tags) and the mode.
    const int fd = ::open(copyName.constData(), O_RDONLY | O_CLOEXEC);
    std::string attributesWhy;
    const bool kept = fd >= 0 && copyFileAttributes(photo.constData(), was, fd, &attributesWhy);
    const bool ready = kept && ::futimens(fd, times) == 0 && ::fsync(fd) == 0;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (!ready)
        return fail(
            path + ": cannot prepare the rewritten copy: " +
            (!attributesWhy.empty() ? QString::fromStdString(attributesWhy) : systemError(error)));
    if (std::rename(copyName.constData(), photo.constData()) != 0) {
        const int renameError = errno;
        return fail(path + ": cannot replace the file with the rewritten copy: " +
                    systemError(renameError));
    }
    copy.setAutoRemove(false);
    return true;
}
