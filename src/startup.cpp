#include "startup.h"

#include "diagnostics.h"

#include <QCommandLineParser>
#include <QCoreApplication>
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
    parser.addPositionalArgument("picture-or-folder",
                                 "A picture to show, or a folder to list, at start-up.",
                                 "[picture-or-folder]");
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

QString startPathFromArguments(const QStringList& positional) {
    if (positional.isEmpty())
        return QString();
    const QFileInfo info(positional.first());
    if (!info.exists()) {
        warning(__FILE__, __LINE__,
                "cannot open \"" + std::string(QFile::encodeName(positional.first()).constData()) +
                    "\": no such file or folder; showing the working directory");
        return QString();
    }
    return info.absoluteFilePath();
}
