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

    // One that does not exist is passed on: the window opens the nearest folder.
    EXPECT_EQ(startPathFromArguments({dir.filePath("nowhere.jpg")}), dir.filePath("nowhere.jpg"));
}

TEST(StartPath, HomeInQuotesIsTheHomeFolder) {
    // What a shell hands over for "~/Pictures/3D/Größe 3D.mpo" in quotes.
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    ASSERT_TRUE(QDir(home.path()).mkpath("Pictures/3D"));
    const QByteArray before = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    const QString picture = home.filePath(QString::fromUtf8("Pictures/3D/Größe 3D.mpo"));
    EXPECT_EQ(startPathFromArguments({QString::fromUtf8("~/Pictures/3D/Größe 3D.mpo")}), picture);
    EXPECT_EQ(startPathFromArguments({"~"}), QDir(home.path()).absolutePath());
    // Only a leading "~/" is the home folder; a file named "~x" is a name like any other.
    EXPECT_EQ(expandHome("~x/a.jpg"), "~x/a.jpg");
    EXPECT_EQ(expandHome("a/~/b.jpg"), "a/~/b.jpg");
    qputenv("HOME", before);
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
    EXPECT_THAT(help.out.toStdString(), HasSubstr("[path]"));
    // Wrapped lines are joined where Qt broke them: no word may be cut in two.
    const QString joined = help.out.simplified();
    EXPECT_TRUE(
        joined.contains("path A picture to show, a folder to list or a saved list "
                        "(.csv) to open, at start-up."))
        << help.out.toStdString();
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
