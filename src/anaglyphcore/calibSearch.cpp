#include "calibSearch.h"

#include "filewrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

std::string calibrationConfigPath() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return QFile::encodeName(QDir(folder).filePath(QString::fromLatin1(kCalibFileName)))
        .toStdString();
}

std::vector<std::string> calibrationSearchPaths() {
    return {kCalibFileName, calibrationConfigPath()};
}

std::string findStartupCalibration() {
    for (const std::string& path : calibrationSearchPaths()) {
        // A folder of that name is no calibration; a file that cannot be read is one
        // that the loader will say so about.
        const QFileInfo info(QFile::decodeName(path.c_str()));
        if (info.exists() && !info.isDir())
            return path;
    }
    return {};
}

bool saveCalibrationCopy(const std::string& path, const std::string& text, std::string* why) {
    const QString name = QFile::decodeName(path.c_str());
    const QString folder = QFileInfo(name).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (why)
            *why = "cannot make the folder " + QFile::encodeName(folder).toStdString();
        return false;
    }
    std::string cause;
    if (!writeFileAtomically(path, text, &cause)) {
        if (why)
            *why = "cannot write " + path + ": " + cause;
        return false;
    }
    return true;
}
