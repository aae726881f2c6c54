// The orientation written into copies of every real camera file, read back by exiftool:
// the orientation is the one thing that changes, or, where adding it would damage the
// file, nothing does. And what the file system holds of a photo survives a rewrite.
#include "corpus.h"
#include "exifOrientation.h"
#include "jpegwrite.h"
#include "tempfolder.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace {

QString run(const QString& program, const QStringList& arguments, int* status = nullptr) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        ADD_FAILURE() << program.toStdString() << " did not finish";
    if (status)
        *status = process.exitCode();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// A writable copy: the corpus is read-only.
void copyFile(const std::string& from, const std::string& to) {
    namespace fs = std::filesystem;
    fs::copy_file(from, to);
    fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

std::string bytesOf(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// What exiftool reads of the file, without what the file system says of it.
std::set<QString> exiftoolTags(const std::string& path) {
    std::set<QString> tags;
    const QString out = run("exiftool", {"-a", "-G1", "-s", QFile::decodeName(path.c_str())});
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts))
        if (!line.startsWith("[System]") && !line.contains("ExifToolVersion"))
            tags.insert(line.simplified());
    return tags;
}

// Tags that only say where something lies, which moves when an entry is added.
bool isPlace(const QString& line) {
    static const QRegularExpression places(
        "^\\[\\w+\\] (ThumbnailOffset|MPImageStart|PreviewImageStart|JpgFromRawStart|"
        "OtherImageStart|ExifOffset|GPSOffset|InteropOffset|MakerNoteOffset) ");
    return places.match(line).hasMatch();
}

}  // namespace

TEST(ExifOrientationCorpus, OnlyTheOrientationChangesAsExiftoolReadsIt) {
    RUV_REQUIRE_CORPUS();
    CTempFolder temp;
    int written = 0, refused = 0;
    for (const CorpusRow& row : readCorpusTable("exif.tsv")) {
        const std::string source = corpusPath(row.at("file"));
        if (row.at("byte_order") == "none")
            continue;  // no Exif block: exiv2 makes a new one, nothing to keep
        SCOPED_TRACE(row.at("file"));
        const std::string copy = temp.path("photo" + std::to_string(written + refused));
        copyFile(source, copy);
        const std::string original = bytesOf(copy);
        const std::set<QString> before = exiftoolTags(copy);
        const QString name = QFile::decodeName(copy.c_str());

        // The orientation it already has, a missing tag read as 1: not a byte changes.
        const int now = row.at("orientation").empty() ? 1 : std::stoi(row.at("orientation"));
        QString why;
        if (now >= 1 && now <= 8) {
            EXPECT_TRUE(writeExifOrientation(name, now, &why)) << why.toStdString();
            EXPECT_TRUE(bytesOf(copy) == original) << "asking for " << now << " changed the file";
        }

        const int wanted = now == 6 ? 8 : 6;
        struct stat was {};
        ASSERT_EQ(stat(copy.c_str(), &was), 0);
        const std::string secondBefore =
            run("exiftool", {"-b", "-MPImage2", name}).toLatin1().toStdString();
        if (!writeExifOrientation(name, wanted, &why)) {
            ++refused;
            EXPECT_TRUE(bytesOf(copy) == original) << "refused but changed: " << why.toStdString();
            EXPECT_TRUE(why.contains("adding an orientation would")) << why.toStdString();
            continue;
        }
        ++written;
        struct stat is {};
        ASSERT_EQ(stat(copy.c_str(), &is), 0);
        EXPECT_EQ(is.st_mtim.tv_sec, was.st_mtim.tv_sec);
        EXPECT_EQ(is.st_mtim.tv_nsec, was.st_mtim.tv_nsec);
        // A tag that was there changed where it lies: the same file, not a copy.
        if (!row.at("orientation").empty())
            EXPECT_EQ(is.st_ino, was.st_ino);
        const std::set<QString> after = exiftoolTags(copy);
        for (const QString& line : before)
            if (!after.count(line) && !line.contains("] Orientation ") && !isPlace(line))
                ADD_FAILURE() << "lost or changed: " << line.toStdString();
        for (const QString& line : after)
            if (!before.count(line) && !line.contains("] Orientation ") && !isPlace(line))
                ADD_FAILURE() << "new: " << line.toStdString();
        EXPECT_EQ(run("exiftool", {"-n", "-s3", "-IFD0:Orientation", name}).trimmed().toInt(),
                  wanted);
        // The second picture of an MPO, as exiftool takes it out, is the same bytes.
        EXPECT_TRUE(run("exiftool", {"-b", "-MPImage2", name}).toLatin1().toStdString() ==
                    secondBefore);
    }
    // Most photos carry the tag and take a new value in place.
    EXPECT_GT(written, 80);
    std::cout << written << " written, " << refused << " refused to keep a maker note\n";
}

TEST(ExifOrientationCorpus, ANintendo3dsPhotoKeepsItsParallax) {
    RUV_REQUIRE_CORPUS();
    CTempFolder temp;
    const std::string copy = temp.path("3ds.mpo");
    copyFile(corpusPath("mpo/libmpo_3ds.mpo"), copy);
    const QString name = QFile::decodeName(copy.c_str());
    const QStringList parallax = {"-s3", "-Nintendo:Parallax", name};
    ASSERT_EQ(run("exiftool", parallax).trimmed(), "-35.50");
    QString why;
    // Upright as stored: the photo has no tag, which reads as upright already.
    EXPECT_TRUE(writeExifOrientation(name, 1, &why)) << why.toStdString();
    // A quarter turn would need a new tag, which moves the maker note's values away.
    EXPECT_FALSE(writeExifOrientation(name, 6, &why));
    EXPECT_TRUE(why.contains("would damage this camera's maker note")) << why.toStdString();
    EXPECT_EQ(run("exiftool", parallax).trimmed(), "-35.50");
}

TEST(ExifOrientationCorpus, ARewrittenPhotoKeepsItsGroupModeAndExtendedAttributes) {
    CTempFolder temp;
    const std::vector<uint8_t> grey(32 * 24 * 3, 128);
    // No Exif block: exiv2 writes a copy that replaces the photo.
    const std::string path = temp.write("tagged.jpg", encodeJpeg(grey.data(), 32, 24, {}));
    const QString name = QFile::decodeName(path.c_str());
    int status = -1;
    run("setfattr", {"-n", "user.xdg.tags", "-v", "holiday,3d", name}, &status);
    if (status != 0)
        GTEST_SKIP() << "this file system keeps no extended attributes";
    ASSERT_EQ(chmod(path.c_str(), 0664), 0);
    const group* users = getgrnam("users");
    const bool root = geteuid() == 0 && users;
    if (root)
        ASSERT_EQ(chown(path.c_str(), 0, users->gr_gid), 0);
    struct stat was {};
    ASSERT_EQ(stat(path.c_str(), &was), 0);

    QString why;
    ASSERT_TRUE(writeExifOrientation(name, 6, &why)) << why.toStdString();
    EXPECT_EQ(run("exiftool", {"-n", "-s3", "-Orientation", name}).trimmed(), "6");
    EXPECT_EQ(run("getfattr", {"--only-values", "-n", "user.xdg.tags", name}), "holiday,3d");
    const QString modeAndGroup = run("stat", {"-c", "%a %G", name}).trimmed();
    EXPECT_EQ(modeAndGroup, QString("664 ") + (root ? "users" : getgrgid(was.st_gid)->gr_name));
    struct stat now {};
    ASSERT_EQ(stat(path.c_str(), &now), 0);
    EXPECT_NE(now.st_ino, was.st_ino) << "the copy path was meant to be taken";
}
