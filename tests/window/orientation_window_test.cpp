// The orientation buttons on a real camera's stereo photo, read back by exiftool: the
// camera's parallax survives, and the window says why a turn was not written.
#include "corpus.h"
#include "windowfixtures.h"

#include <QFile>
#include <QProcess>
#include <QStatusBar>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

QString exiftool(const QStringList& arguments) {
    QProcess process;
    process.start("exiftool", arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

std::string bytesOf(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

class OrientationWindow : public WindowTest {};

}  // namespace

TEST_F(OrientationWindow, AQuarterTurnOfA3dsPhotoKeepsItsParallaxAndSaysWhy) {
    RUV_REQUIRE_CORPUS();
    const std::string path = temp.path("3ds.mpo");
    namespace fs = std::filesystem;
    fs::copy_file(corpusPath("mpo/libmpo_3ds.mpo"), path);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    const QString name = QFile::decodeName(path.c_str());
    const QStringList parallax = {"-s3", "-Nintendo:Parallax", name};
    ASSERT_EQ(exiftool(parallax), "-35.50");
    const std::string original = bytesOf(path);

    open(folder);
    ASSERT_TRUE(waitUntil([&] { return model().rowCount() == 4; }));
    int row = 0;
    while (row < 4 && fileOf(row) != name)
        ++row;
    ASSERT_LT(row, 4);
    selectRows({row});

    // Upright as stored: the photo has no tag, which means upright already.
    action("actionOrientation_Top_Left")->trigger();
    EXPECT_TRUE(bytesOf(path) == original);

    // A quarter turn: the window asks first, as for every stereo photo.
    answerNextBox(QMessageBox::Yes);
    action("actionOrientation_Right_Top")->trigger();
    EXPECT_TRUE(waitUntil([&] {
        return window->statusBar()->currentMessage().contains(
            "would damage this camera's maker note");
    })) << window->statusBar()->currentMessage().toStdString();
    EXPECT_TRUE(bytesOf(path) == original);
    EXPECT_EQ(exiftool(parallax), "-35.50");
    EXPECT_EQ(exiftool({"-n", "-s3", "-IFD0:Orientation", name}), "");
}
