#include "listpaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

namespace listpath {

namespace {

bool hasPictureSuffix(const QByteArray& name) {
    for (const char* suffix : {".mpo", ".jpg", ".jpeg", ".png"}) {
        const int size = int(qstrlen(suffix));
        if (name.size() > size && qstricmp(name.constData() + name.size() - size, suffix) == 0)
            return true;
    }
    return false;
}

// Joins two parts with one slash, also when the first is the root folder.
QString joined(const QString& folder, const QString& name) {
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

}  // namespace

QString canonicalFolder(const QString& dir) {
    const QFileInfo info(dir);
    const QString canonical = info.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    return QDir::cleanPath(info.absoluteFilePath());
}

QString relativeTo(const QString& base, const QString& dir) {
    // The common case, a folder of its own list, needs no look at the file system.
    if (dir == base)
        return QString();
    const QString from = canonicalFolder(base);
    const QString folder = canonicalFolder(dir);
    if (folder == from)
        return QString();
    const QString prefix = joined(from, QString());
    const QString below = folder.mid(prefix.size());
    // A folder "c:x" below the list would read as a drive letter: it stays absolute.
    if (folder.startsWith(prefix) && !isDrivePath(below))
        return below;
    return folder;
}

bool isDrivePath(const QString& path) {
    return path.size() > 1 && path[1] == QLatin1Char(':');
}

bool isAbsolute(const QString& path) {
    return path.startsWith(QLatin1Char('/')) || isDrivePath(path);
}

QString folderOf(const QString& base, const QString& path) {
    if (isAbsolute(path))
        return path;
    if (!path.isEmpty())
        return joined(base, path);
    return base;
}

QString resolve(const QString& base, const QString& path, const QString& filename) {
    return joined(folderOf(base, path), filename);
}

QByteArray nativeFolder(const QString& base, const QByteArray& path) {
    if (path.startsWith('/'))
        return path.endsWith('/') ? path : path + '/';
    QByteArray folder = QFile::encodeName(base);
    if (!folder.endsWith('/'))
        folder += '/';
    return path.isEmpty() ? folder : folder + path + '/';
}

QByteArray relativeBytes(const QString& base, const QByteArray& dir) {
    char* real = ::realpath(dir.constData(), nullptr);
    const QByteArray folder = real ? QByteArray(real) : dir;
    ::free(real);
    const QByteArray from = QFile::encodeName(canonicalFolder(base));
    if (folder == from)
        return QByteArray();
    const QByteArray prefix = from.endsWith('/') ? from : from + '/';
    const QByteArray below = folder.mid(prefix.size());
    if (folder.startsWith(prefix) && !(below.size() > 1 && below[1] == ':'))
        return below;
    return folder;
}

QList<QByteArray> pictureNames(const QString& dir, const std::atomic<bool>* cancelled) {
    // Qt's own listing leaves out every name that does not decode, so the folder is read
    // here with the names' bytes as they are.
    QList<QByteArray> names;
    const QByteArray folder = QFile::encodeName(dir) + '/';
    DIR* stream = dir.isEmpty() ? nullptr : ::opendir(folder.constData());
    if (!stream)
        return names;
    while (const dirent* entry = ::readdir(stream)) {
        if (cancelled && *cancelled)
            break;
        const QByteArray name(entry->d_name);
        struct stat info;
        if (name.startsWith('.') || !hasPictureSuffix(name) ||
            ::stat((folder + name).constData(), &info) != 0 || !S_ISREG(info.st_mode))
            continue;
        names.append(name);
    }
    ::closedir(stream);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace listpath
