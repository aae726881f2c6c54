// The one writer of whole files, checked from outside: the bytes on the disk, what is
// left in the folder, and what stat and getfattr say of the file afterwards. A full disk
// is a real small tmpfs (as root; skipped, saying so, otherwise).
#include "filesizelimit.h"
#include "filewrite.h"
#include "smallfs.h"
#include "tempfolder.h"
#include "writehelpers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace writetest;
using testing::HasSubstr;
using testing::UnorderedElementsAre;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

std::vector<uint8_t> contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// What another program reads of the file: stat's group and mode, getfattr's value.
std::string groupAndMode(const std::string& path) {
    return trimmed(runCommand("stat -c '%g %a' " + shellQuote(path)).mOutput);
}
std::string userAttribute(const std::string& path, const std::string& name) {
    return runCommand("getfattr --only-values -n " + name + " " + shellQuote(path) + " 2>/dev/null")
        .mOutput;
}

// A group the file may be given: any as root, else one of ours that is not the default.
gid_t anotherGroup() {
    if (geteuid() == 0)
        return 4242;
    gid_t groups[64];
    const int count = getgroups(64, groups);
    for (int i = 0; i < count; ++i)
        if (groups[i] != getegid())
            return groups[i];
    return gid_t(-1);
}

}  // namespace

TEST(AtomicWrite, ReplacesTheWholeFileAndLeavesNothingElse) {
    CTempFolder folder;
    const std::string path = folder.write("picture.jpg", std::vector<uint8_t>(5000, 'o'));
    const std::vector<uint8_t> fresh = {1, 2, 3};
    ASSERT_TRUE(writeFileAtomically(path, fresh));
    EXPECT_EQ(contentsOf(path), fresh);
    ASSERT_TRUE(writeFileAtomically(folder.path("empty"), std::vector<uint8_t>()));
    EXPECT_TRUE(contentsOf(folder.path("empty")).empty());
    EXPECT_THAT(namesIn(folder.path()), UnorderedElementsAre("picture.jpg", "empty"));
}

TEST(AtomicWrite, FailuresKeepTheOldFileAndRemoveTheTemporary) {
    CTempFolder folder;
    const std::vector<uint8_t> old(100, 'o');
    const std::string path = folder.write("picture.jpg", old);

    // A write that fails midway, as on a full disk.
    CaptureStderr();
    {
        CFileSizeLimit limit(1000);
        EXPECT_FALSE(writeFileAtomically(path, std::vector<uint8_t>(5000, 'n')));
    }
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("WARNING: cannot write " + path));
    EXPECT_EQ(contentsOf(path), old);
    EXPECT_THAT(namesIn(folder.path()), testing::ElementsAre("picture.jpg"));

    // A rename that fails: the target is a folder with contents.
    const std::string occupied = folder.path("occupied");
    std::filesystem::create_directory(occupied);
    writeBytes(occupied + "/inside", old);
    CaptureStderr();
    EXPECT_FALSE(writeFileAtomically(occupied, std::vector<uint8_t>(10, 'n')));
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("WARNING: cannot replace " + occupied));
    EXPECT_THAT(namesIn(folder.path()), UnorderedElementsAre("picture.jpg", "occupied"));
    EXPECT_EQ(contentsOf(occupied + "/inside"), old);

    // No folder to write into: to the user, a file that cannot be written, and why.
    const std::string missing = folder.path("missing/picture.jpg");
    std::string why;
    CaptureStderr();
    EXPECT_FALSE(writeFileAtomically(missing, old, &why));
    EXPECT_THAT(GetCapturedStderr(),
                HasSubstr("WARNING: cannot write " + missing + ": No such file or directory"));
    EXPECT_EQ(why, "No such file or directory");
}

TEST(AtomicWrite, AFullDiskKeepsTheOldFileByteForByteAndSaysSo) {
    CSmallFileSystem fs;
    if (!fs.available())
        GTEST_SKIP() << fs.skipReason();
    std::vector<uint8_t> old(3000);
    for (size_t i = 0; i < old.size(); ++i)
        old[i] = uint8_t(i * 31 + 7);
    const std::string path = fs.path("holiday.csv");
    ASSERT_TRUE(writeFileAtomically(path, old));
    ASSERT_TRUE(fs.fill());

    const std::vector<uint8_t> bigger(40000, 'n');
    std::string why;
    CaptureStderr();
    EXPECT_FALSE(writeFileAtomically(path, bigger, &why));
    EXPECT_THAT(GetCapturedStderr(),
                HasSubstr("WARNING: cannot write " + path + ": No space left on device"));
    EXPECT_EQ(why, "No space left on device");
    EXPECT_EQ(contentsOf(path), old);
    EXPECT_THAT(namesIn(fs.path()), UnorderedElementsAre("holiday.csv", ".filler"));

    // With room again the same call succeeds: it was the space, nothing else.
    fs.empty();
    EXPECT_TRUE(writeFileAtomically(path, bigger, &why)) << why;
    EXPECT_EQ(contentsOf(path), bigger);
}

TEST(AtomicWrite, AReplacedFileKeepsGroupModeAndAttributesAndALinkStaysALink) {
    CTempFolder folder;
    const std::string path = folder.write("photo.jpg", std::vector<uint8_t>(100, 'o'));
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    const gid_t group = anotherGroup();
    if (group != gid_t(-1)) {
        ASSERT_EQ(chown(path.c_str(), uid_t(-1), group), 0);
    }
    const bool attributes = setxattr(path.c_str(), "user.rating", "5", 1, 0) == 0;
    const std::string before = groupAndMode(path);
    ASSERT_THAT(before, testing::EndsWith(" 640"));

    ASSERT_TRUE(writeFileAtomically(path, std::vector<uint8_t>(200, 'n')));
    EXPECT_EQ(contentsOf(path), std::vector<uint8_t>(200, 'n'));
    EXPECT_EQ(groupAndMode(path), before);
    if (group != gid_t(-1)) {
        EXPECT_EQ(before, std::to_string(group) + " 640");
    }
    if (attributes) {  // a temporary folder on a file system without them: not checked
        EXPECT_EQ(userAttribute(path, "user.rating"), "5");
    }

    // Written through a link: the link stays and leads to the new content.
    ASSERT_EQ(symlink("photo.jpg", folder.path("current.jpg").c_str()), 0);
    ASSERT_TRUE(writeFileAtomically(folder.path("current.jpg"), std::vector<uint8_t>{4, 5}));
    struct stat link;
    ASSERT_EQ(lstat(folder.path("current.jpg").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_EQ(std::filesystem::read_symlink(folder.path("current.jpg")), "photo.jpg");
    EXPECT_EQ(contentsOf(path), std::vector<uint8_t>({4, 5}));
    EXPECT_EQ(groupAndMode(path), before);
    EXPECT_THAT(namesIn(folder.path()), UnorderedElementsAre("photo.jpg", "current.jpg"));
}
