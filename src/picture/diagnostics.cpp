#include "diagnostics.h"

#include <atomic>
#include <cstdio>
#include <unistd.h>

namespace {
EConsoleColors gColorMode = EConsoleColors::Auto;
// Atomic: worker threads (decoders, the aligner) report too.
std::atomic<bool> gVerbose{false};

bool colorsWanted() {
    switch (gColorMode) {
        case EConsoleColors::Always:
            return true;
        case EConsoleColors::Never:
            return false;
        case EConsoleColors::Auto:
            break;
    }
    return isatty(STDERR_FILENO) == 1;
}

void report(const char* file, int line, const char* kind, const std::string& text) {
    setConsoleColor(CONSOLE_RED);
    // One call, so that a message from another thread cannot land inside this one.
    std::fprintf(stderr, "%s(%i) %s: %s\n", file, line, kind, text.c_str());
    setConsoleColor(CONSOLE_NORMAL);
}
}  // namespace

void setConsoleColorMode(EConsoleColors mode) {
    gColorMode = mode;
}

void setConsoleColor(int attribute) {
    if (!colorsWanted())
        return;
    std::fputs(attribute == CONSOLE_RED ? "\033[1;31m" : "\033[0m", stderr);
}

void warning(const char* file, int line, const std::string& text) {
    report(file, line, "WARNING", text);
}

void error(const char* file, int line, const std::string& text) {
    report(file, line, "ERROR", text);
}

void consoleLine(const std::string& text) {
    std::fputs((text + "\n").c_str(), stderr);
    std::fflush(stderr);
}

void consoleText(const std::string& text) {
    if (text.empty())
        return;
    consoleLine(text.back() == '\n' ? text.substr(0, text.size() - 1) : text);
}

void setConsoleVerbose(bool verbose) {
    gVerbose = verbose;
}

bool consoleVerbose() {
    return gVerbose;
}

void consoleInfo(const std::string& text) {
    if (gVerbose)
        consoleLine(text);
}

void consoleInfoText(const std::string& text) {
    if (gVerbose)
        consoleText(text);
}
