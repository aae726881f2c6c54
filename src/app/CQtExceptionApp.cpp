#include "CQtExceptionApp.h"

#include <cstdio>
#include <stdexcept>

bool CQtExceptionApp::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::out_of_range& e) {
        std::fprintf(stderr, "std::out_of_range: %s\n", e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "std::exception: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "unhandled exeception??? \n");
    }
    return false;
}
