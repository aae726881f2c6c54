#pragma once
// The texts of the Help and About boxes (rich text for Qt's labels), and Help's window.
#include <QString>

class QDialog;
class QWidget;

QString helpBoxText(const QString& appName);
QString aboutBoxText(const QString& appName, const QString& version);
// Help in a window of its own that scrolls, with the contents list at the top, no larger
// than 80 % of the screen's free area. Not shown yet; deleted when closed.
QDialog* makeHelpWindow(QWidget* parent, const QString& appName);
