#pragma once
// Where the rows of a picture list lie: folders kept relative to the list's folder when
// they are inside it, as absolute paths otherwise. Paths are compared by whole
// components on canonical paths, so that "photos2" is no part of "photos" and a folder
// reached through a link is the same folder as the link's target.
#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>

namespace listpath {

// The folder with links resolved; for a folder that does not exist (any more), its
// absolute path with "." and ".." worked out.
QString canonicalFolder(const QString& dir);

// The path of folder dir as a list in folder base keeps it: empty for base itself,
// "a/b" for a folder below it, the canonical absolute path of any other folder.
QString relativeTo(const QString& base, const QString& dir);

// Drive-letter paths ("C:/photos"), as lists made on other systems hold them.
bool isDrivePath(const QString& path);
// Paths that name their folder without the list's folder: "/..." and drive-letter paths.
bool isAbsolute(const QString& path);

// The folder path of a list in folder base.
QString folderOf(const QString& base, const QString& path);
// The file filename in folder path of a list in folder base.
QString resolve(const QString& base, const QString& path, const QString& filename);

// The folder path of a list in folder base, in bytes as open() takes them, with a slash at
// its end: for folders whose names are no UTF-8, which no text names.
QByteArray nativeFolder(const QString& base, const QByteArray& path);
// The folder dir, in bytes, as a list in folder base keeps it: relativeTo for such folders.
QByteArray relativeBytes(const QString& base, const QByteArray& dir);

// The names of the pictures in folder dir as the file system keeps them, in byte order:
// files and links to files named *.mpo, *.jpg, *.jpeg or *.png in any letter case,
// except hidden ones. Names that are no valid UTF-8 are listed too, though no text can
// name them. An empty path is no folder chosen yet: nothing. A listing whose cancelled
// turns true stops early with the names it has.
QList<QByteArray> pictureNames(const QString& dir, const std::atomic<bool>* cancelled = nullptr);

}  // namespace listpath
