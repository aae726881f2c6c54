#pragma once
// The texts of the Help and About boxes (rich text for Qt's labels).
#include <QString>

QString helpBoxText(const QString& appName);
QString aboutBoxText(const QString& appName, const QString& version);
