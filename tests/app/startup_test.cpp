// The command line of the program: the start path, help and version without a
// display, and the one-line refusal when there is no display at all.
#include "startup.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSurfaceFormat>
#include <QTemporaryDir>

#include <gmock/gmock.h>

using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {
struct ProgramRun {
    int exitCode;
    QString out, err;
};

// Runs the real program with no display in its environment.
ProgramRun runWithoutDisplay(const QStringList& arguments) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(RUVELLO_BINARY, arguments);
    EXPECT_TRUE(p.waitForFinished(60000));
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}
}  // namespace

TEST(StartPath, FolderFileAndMissingPath) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString picture = dir.filePath(QString::fromUtf8("Größe 3D.mpo"));
    QFile file(picture);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    EXPECT_EQ(startPathFromArguments({}), QString());
    EXPECT_EQ(startPathFromArguments({dir.path()}), QDir(dir.path()).absolutePath());
    EXPECT_EQ(startPathFromArguments({picture}), picture);

    // A relative name is taken from the working directory.
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    EXPECT_EQ(startPathFromArguments({QString::fromUtf8("Größe 3D.mpo")}), picture);
    QDir::setCurrent(before);

    CaptureStderr();
    EXPECT_EQ(startPathFromArguments({dir.filePath("nowhere.jpg")}), QString());
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("WARNING: cannot open \""));
}

TEST(CommandLine, HelpOrVersionIsRecognised) {
    auto wants = [](std::vector<const char*> args) {
        args.insert(args.begin(), "ruvello");
        return wantsHelpOrVersion(int(args.size()), const_cast<char**>(args.data()));
    };
    EXPECT_TRUE(wants({"--version"}));
    EXPECT_TRUE(wants({"pictures", "-h"}));
    EXPECT_FALSE(wants({}));
    EXPECT_FALSE(wants({"--", "--help"}));  // a picture named "--help"
    EXPECT_FALSE(wants({"-hx"}));
}

TEST(CommandLine, VersionAndHelpWorkWithoutADisplay) {
    const ProgramRun version = runWithoutDisplay({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "Ruvello 1.1.1\n");

    const ProgramRun help = runWithoutDisplay({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out.toStdString(), HasSubstr("[picture-or-folder]"));
    EXPECT_THAT(help.out.toStdString(), HasSubstr("--version"));
}

TEST(CommandLine, NoDisplaySaysSoInOneLine) {
    const ProgramRun run = runWithoutDisplay({});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    EXPECT_THAT(run.err.toStdString(), HasSubstr("no display"));
    EXPECT_THAT(run.err.toStdString(), HasSubstr("xvfb-run"));
}

TEST(CommandLine, GLFormatKeepsTheFixedFunctionPipeline) {
    const QSurfaceFormat format = defaultGLFormat();
    EXPECT_EQ(format.profile(), QSurfaceFormat::CompatibilityProfile);
    EXPECT_EQ(format.majorVersion(), 2);
    EXPECT_EQ(format.minorVersion(), 1);
    EXPECT_EQ(format.swapInterval(), 1);
}
