#include "CQtExceptionApp.h"

#include "diagnostics.h"

#include <string>
#include <stdexcept>

bool CQtExceptionApp::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::out_of_range& e) {
        consoleLine(std::string("std::out_of_range: ") + e.what());
    } catch (const std::exception& e) {
        consoleLine(std::string("std::exception: ") + e.what());
    } catch (...) {
        consoleLine("unhandled exeception??? ");
    }
    return false;
}
