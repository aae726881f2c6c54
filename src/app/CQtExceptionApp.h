#pragma once
#include <QApplication>

// The application object. An exception that escapes an event handler is reported on
// standard error and the event counts as not handled; the program goes on.
class CQtExceptionApp : public QApplication {
    Q_OBJECT
public:
    CQtExceptionApp(int& argc, char** argv) : QApplication(argc, argv) {}

    bool notify(QObject* receiver, QEvent* event) override;
};
