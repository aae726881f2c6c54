#pragma once
// Start-up helpers of the program's entry: identity, command line, display check.
#include <QString>
#include <QStringList>

class QCommandLineParser;
class QCoreApplication;
class QSurfaceFormat;

// Organisation and application names and the version, before any window exists.
void setApplicationIdentity();

// --help, --version, --verbose and the optional picture or folder to open.
void setupCommandLine(QCommandLineParser& parser);

// Whether the arguments ask only for help or the version, which needs no display.
bool wantsHelpOrVersion(int argc, char** argv);

// Whether --verbose is among the arguments: read before the application object, so that
// the start-up's milestones show from the first one on.
bool wantsVerbose(int argc, char** argv);

// Whether a window can be shown: a display, or a platform chosen explicitly.
bool haveDisplay(int argc, char** argv);

// The GL format of every context: OpenGL 2.1 with the fixed-function pipeline,
// swaps synchronised with the display refresh.
QSurfaceFormat defaultGLFormat();

// A leading "~/" (or a lone "~") as the home folder: a shell does not expand it inside
// quotes. Other paths are returned as they are.
QString expandHome(const QString& path);

// The absolute path of the picture or folder named on the command line, "~" expanded;
// empty when none was named. It need not exist: the window opens the nearest folder.
QString startPathFromArguments(const QStringList& positional);
