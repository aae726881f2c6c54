#include "listpaths.h"

#include <QDir>
#include <QFileInfo>

namespace listpath {

namespace {

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

}  // namespace listpath
