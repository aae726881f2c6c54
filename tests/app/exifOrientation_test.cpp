// The Exif orientation written with the real exiv2 command into real files: through
// symbolic and hard links, and failures that must leave the photo as it was.
#include "exif.h"
#include "exifOrientation.h"
#include "filesizelimit.h"
#include "jpegwrite.h"
#include "mpowrite.h"
#include "tempfolder.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <sstream>

namespace {

// A time in the past, to the nanosecond: the file time is one of the date sources.
constexpr struct timespec kTime = {978320096, 123456789};

struct stat statOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st;
}

std::string contents(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

QStringList entries(const std::string& folder) {
    return QDir(QFile::decodeName(folder.c_str()))
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

bool writeOrientation(const std::string& path, int orientation, QString* why) {
    return writeExifOrientation(QFile::decodeName(path.c_str()), orientation, why);
}

std::vector<uint8_t> jpeg() {
    const std::vector<uint8_t> grey(32 * 24 * 3, 128);
    return encodeJpeg(grey.data(), 32, 24, SJpegWrite());
}

class ExifOrientation : public testing::Test {
protected:
    // A JPEG without an Exif block (exiv2 adds one), of the given mode, dated kTime.
    std::string photo(const std::string& name, mode_t mode = 0644) {
        const std::string path = mTemp.write(name, jpeg());
        const struct timespec times[2] = {kTime, kTime};
        EXPECT_EQ(chmod(path.c_str(), mode) | utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        return path;
    }
    static void expectKept(const std::string& path, mode_t mode) {
        const struct stat st = statOf(path);
        EXPECT_EQ(st.st_mtim.tv_sec, kTime.tv_sec) << path;
        EXPECT_EQ(st.st_mtim.tv_nsec, kTime.tv_nsec) << path;
        EXPECT_EQ(st.st_mode & 07777, mode) << path;
    }

    CTempFolder mTemp;
};

}  // namespace

TEST_F(ExifOrientation, ACopyReplacesThePhotoThatASymbolicLinkNamesAndTheLinkStays) {
    ASSERT_EQ(mkdir(mTemp.path("real").c_str(), 0755) | mkdir(mTemp.path("links").c_str(), 0755),
              0);
    const std::string real = photo("real/p.jpg", 0640);
    const std::string link = mTemp.path("links/p.jpg");
    ASSERT_EQ(symlink("../real/p.jpg", link.c_str()), 0);
    const ino_t inode = statOf(real).st_ino;
    QString why;
    ASSERT_TRUE(writeOrientation(link, 6, &why)) << why.toStdString();
    EXPECT_EQ(readExif(real).mOrientation, 6);
    // A new file took the name: an interrupted exiv2 run never touched the photo.
    EXPECT_NE(statOf(real).st_ino, inode);
    expectKept(real, 0640);
    char target[32] = {};
    EXPECT_TRUE(S_ISLNK(statOf(link).st_mode));
    EXPECT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_STREQ(target, "../real/p.jpg");
    EXPECT_EQ(entries(mTemp.path("real")) + entries(mTemp.path("links")),
              (QStringList{"p.jpg", "p.jpg"}));
}

TEST_F(ExifOrientation, AHardLinkedPhotoStaysOneFileUnderAllItsNames) {
    const std::string first = photo("a.jpg", 0640);
    const std::string second = mTemp.path("b.jpg");
    ASSERT_EQ(link(first.c_str(), second.c_str()), 0);
    const ino_t inode = statOf(first).st_ino;
    QString why;
    ASSERT_TRUE(writeOrientation(second, 8, &why)) << why.toStdString();
    for (const std::string& name : {first, second}) {
        EXPECT_EQ(readExif(name).mOrientation, 8) << name;
        EXPECT_EQ(statOf(name).st_ino, inode) << name;
        EXPECT_EQ(statOf(name).st_nlink, 2u) << name;
        expectKept(name, 0640);
    }
    EXPECT_EQ(entries(mTemp.path()), (QStringList{"a.jpg", "b.jpg"}));
}

TEST_F(ExifOrientation, AFailureLeavesThePhotoByteForByteAsItWasAndNoCopy) {
    // exiv2's own words: a file that starts like a JPEG but holds no picture.
    const std::string broken = mTemp.path("broken.jpg");
    std::ofstream(broken, std::ios::binary) << "\xFF\xD8\xFF\xE0 no picture follows";
    const std::string readOnly = photo("read-only.jpg", 0444);
    const std::string single = photo("single.jpg");
    // Hard-linked too: the content would be rewritten rather than replaced.
    const std::string linked = photo("linked.jpg");
    ASSERT_EQ(link(linked.c_str(), mTemp.path("linked-too.jpg").c_str()), 0);
    const QStringList names = entries(mTemp.path());
    const rlim_t size = rlim_t(statOf(single).st_size);

    struct {
        std::string path;
        const char* said;
        rlim_t room;  // the largest file the disk takes; 0: any
    } cases[] = {
        {broken, "Failed to read image data", 0},
        {readOnly, "the file is read-only", 0},
        // The disk fills up while exiv2 writes the copy, which it does not notice...
        {single, "incomplete", size},
        {linked, "incomplete", size},
        // ...or before the copy is whole.
        {single, "cannot write the working copy", size / 2},
    };
    for (const auto& c : cases) {
        const std::string before = contents(c.path);
        QString why;
        {
            std::unique_ptr<CFileSizeLimit> room(c.room ? new CFileSizeLimit(c.room) : nullptr);
            EXPECT_FALSE(writeOrientation(c.path, 6, &why)) << c.path;
        }
        EXPECT_TRUE(why.startsWith(QFile::decodeName(c.path.c_str()) + ": ") ||
                    why.contains("orientation of " + QFile::decodeName(c.path.c_str())))
            << why.toStdString();
        EXPECT_TRUE(why.contains(c.said)) << why.toStdString();
        EXPECT_FALSE(why.contains("/.")) << why.toStdString();  // the copy is no name to show
        EXPECT_TRUE(contents(c.path) == before) << c.path;      // not dumped: binary
        EXPECT_EQ(entries(mTemp.path()), names) << c.path;
    }
    for (const std::string& path : {single, linked})
        expectKept(path, 0644);
    expectKept(readOnly, 0444);
    EXPECT_EQ(statOf(linked).st_nlink, 2u);
}

TEST_F(ExifOrientation, IsOfferedForJpegAndMpoFilesOnlyByTheirContent) {
    mTemp.write("pair.mpo", buildMpoFile(jpeg(), jpeg(), 0.065));
    mTemp.write("photo.jpg", jpeg());
    ASSERT_EQ(symlink("photo.jpg", mTemp.path("link.jpg").c_str()), 0);
    mTemp.write("p.png", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13});
    std::ofstream(mTemp.path("notes.jpg")) << "no picture\n";
    ASSERT_EQ(mkdir(mTemp.path("folder.jpg").c_str(), 0755), 0);
    for (const char* name : {"pair.mpo", "photo.jpg", "link.jpg"})
        EXPECT_TRUE(canWriteExifOrientation(QFile::decodeName(mTemp.path(name).c_str()))) << name;
    for (const char* name : {"p.png", "notes.jpg", "folder.jpg", "missing.jpg"})
        EXPECT_FALSE(canWriteExifOrientation(QFile::decodeName(mTemp.path(name).c_str()))) << name;
}
