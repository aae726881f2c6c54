#include "shadersource.h"

#include <QFile>

#include <fstream>

std::string findShaderSource(const char* fileName, const char* resourcePath) {
    if (std::ifstream(fileName))
        return fileName;
    QFile resource(QString::fromLatin1(resourcePath));
    if (!resource.open(QIODevice::ReadOnly))
        return "*";
    const QByteArray text = resource.readAll();
    return "*" + std::string(text.constData(), size_t(text.size()));
}
