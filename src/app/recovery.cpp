#include "recovery.h"

#include "diagnostics.h"
#include "filewrite.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString dataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString notePath() {
    return dataFolder() + "/recovery.txt";
}

// One "key=value" line; the value percent-encoded, so that no path breaks the line.
QByteArray line(const char* key, const QString& value) {
    return QByteArray(key) + '=' + value.toUtf8().toPercentEncoding("/:") + '\n';
}

}  // namespace

namespace recovery {

QString copyPath() {
    return dataFolder() + "/recovery.csv";
}

bool writeNote(const SRecovery& kept, std::string* why) {
    const QByteArray text = line("list", kept.listFile) + line("folder", kept.folder) +
                            line("written", kept.written.toString(Qt::ISODateWithMs));
    return writeFileAtomically(QFile::encodeName(notePath()).toStdString(), text.toStdString(),
                               why);
}

std::optional<SRecovery> find() {
    QFile note(notePath());
    if (!QFileInfo(copyPath()).isFile() || !note.open(QIODevice::ReadOnly))
        return std::nullopt;
    SRecovery kept;
    for (const QByteArray& text : note.readAll().split('\n')) {
        const qsizetype equals = text.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = text.left(equals);
        const QString value =
            QString::fromUtf8(QByteArray::fromPercentEncoding(text.mid(equals + 1)));
        if (key == "list")
            kept.listFile = value;
        else if (key == "folder")
            kept.folder = value;
        else if (key == "written")
            kept.written = QDateTime::fromString(value, Qt::ISODateWithMs);
    }
    if (!kept.written.isValid())
        kept.written = QFileInfo(copyPath()).lastModified();
    return kept;
}

void remove() {
    for (const QString& path : {notePath(), copyPath()})
        if (QFileInfo::exists(path) && !QFile::remove(path))
            RUV_WARNING("cannot remove " + path.toStdString());
}

}  // namespace recovery
