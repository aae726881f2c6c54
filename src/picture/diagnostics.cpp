#include "diagnostics.h"

#include <atomic>
#include <mutex>
#include <set>
#include <cstdio>
#include <cstring>
#include <ctime>
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

namespace {
// The process's start in nanoseconds of the boot clock, from /proc/self/stat (in clock
// ticks since boot: its 22nd field, after the command name in parentheses); 0 when it
// cannot be read.
long long processStartNs() {
    FILE* f = std::fopen("/proc/self/stat", "r");
    if (!f)
        return 0;
    char line[1024] = {};
    const size_t got = std::fread(line, 1, sizeof line - 1, f);
    std::fclose(f);
    line[got] = 0;
    const char* p = std::strrchr(line, ')');
    unsigned long long ticks = 0;
    // Fields 3 to 21 are skipped; the 22nd is the start time.
    if (!p || std::sscanf(p + 1,
                          " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d "
                          "%*d %*d %*d %*d %llu",
                          &ticks) != 1)
        return 0;
    const long hz = sysconf(_SC_CLK_TCK);
    return hz > 0 ? (long long)(ticks) * (1000000000LL / hz) : 0;
}
}  // namespace

double processMilliseconds() {
    static const long long start = processStartNs();
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const long long ns = (long long)(now.tv_sec) * 1000000000LL + now.tv_nsec;
    return double(ns - start) / 1e6;
}

void consoleMilestone(const std::string& what) {
    if (!gVerbose)
        return;
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.1f", processMilliseconds());
    consoleLine(std::string("timeline ") + ms + " ms: " + what);
}

void consoleMilestoneOnce(const std::string& what) {
    if (!gVerbose)
        return;
    static std::mutex mutex;
    static std::set<std::string> told;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!told.insert(what).second)
            return;
    }
    consoleMilestone(what);
}
