#pragma once
// Console reporting shared by every module: one format for warnings and errors,
// coloured when standard error is a terminal.
#include <string>

// Console colours by their classic console numbers, which callers pass: 12 is bright
// red for warnings and errors, 7 the normal text colour.
enum { CONSOLE_RED = 12, CONSOLE_NORMAL = 7 };

enum class EConsoleColors { Auto, Always, Never };

// Auto (the default) colours only when standard error is a terminal.
void setConsoleColorMode(EConsoleColors mode);
// Switches the colour of whatever is written to standard error next.
void setConsoleColor(int attribute);

// "<file>(<line>) WARNING: <text>\n" in red on standard error.
void warning(const char* file, int line, const std::string& text);
// "<file>(<line>) ERROR: <text>\n" in red on standard error.
void error(const char* file, int line, const std::string& text);

// "<text>\n" on standard error, as it stands: messages that people and scripts read
// in their own form.
void consoleLine(const std::string& text);
// Text that carries its own line ends, one line or several, on standard error exactly
// as it stands; nothing for empty text.
void consoleText(const std::string& text);

// Informational output (tables, progress, echoes of what was run) shows only with
// --verbose: in normal use the terminal stays quiet, while warnings and errors always show.
void setConsoleVerbose(bool verbose);
bool consoleVerbose();
// consoleLine and consoleText, but only when verbose.
void consoleInfo(const std::string& text);
void consoleInfoText(const std::string& text);

// With --verbose, "timeline <ms> ms: <what>", the milliseconds since the process
// started (the kernel's record of its start, so dynamic linking counts too): the
// start-up's milestones, for bench/startup_timeline.sh.
void consoleMilestone(const std::string& what);
// The same, only the first time this text is given: for what happens again later.
void consoleMilestoneOnce(const std::string& what);
// Milliseconds since the process started.
double processMilliseconds();

#define RUV_WARNING(text) warning(__FILE__, __LINE__, (text))
#define RUV_ERROR(text) error(__FILE__, __LINE__, (text))
