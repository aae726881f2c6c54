#include "startup.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSurfaceFormat>

#include <cstring>

void setApplicationIdentity() {
    QCoreApplication::setOrganizationName("Ruvello");
    QCoreApplication::setOrganizationDomain("ruvello.org");
    QCoreApplication::setApplicationName("Ruvello");
    QCoreApplication::setApplicationVersion(QString::fromLatin1("1.1.1"));
}

void setupCommandLine(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        "Ruvello shows stereo photographs as anaglyphs for red/cyan glasses and "
        "organises photographs by capture date.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(
        "verbose",
        "Also print what the program does (calibration, shader and exiv2 details); "
        "warnings and errors show without it."));
    // A short name: the help's first column is narrow, and a longer one would be broken
    // in the middle of a word.
    parser.addPositionalArgument("path",
                                 "A picture to show, a folder to list or a saved list (.csv) "
                                 "to open, at start-up.",
                                 "[path]");
}

bool wantsHelpOrVersion(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--") == 0)
            break;
        for (const char* option : {"-h", "--help", "--help-all", "-v", "--version"})
            if (std::strcmp(a, option) == 0)
                return true;
    }
    return false;
}

bool wantsVerbose(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            break;
        if (std::strcmp(argv[i], "--verbose") == 0)
            return true;
    }
    return false;
}

bool haveDisplay(int argc, char** argv) {
    if (!qEnvironmentVariableIsEmpty("DISPLAY") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
        !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    return false;
}

QSurfaceFormat defaultGLFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(2, 1);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setDepthBufferSize(24);
    format.setSwapInterval(1);
    return format;
}

QString expandHome(const QString& path) {
    // A shell leaves "~/..." in quotes as it is, and desktop launchers pass it on too.
    if (path == QLatin1String("~"))
        return QDir::homePath();
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

QString startPathFromArguments(const QStringList& positional) {
    if (positional.isEmpty())
        return QString();
    const QFileInfo info(expandHome(positional.first()));
    // One that does not exist is the window's to explain; it opens the nearest folder.
    return info.absoluteFilePath();
}
