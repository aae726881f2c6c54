#include "filewrite.h"

#include "diagnostics.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <system_error>

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

// Folder part of path, with its slash ("" for a bare file name).
std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string baseOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file that path names: through symbolic links when they lead to one, else path
// itself (a new file, or a link that leads nowhere, which the new file then replaces).
std::string targetOf(const std::string& path) {
    struct stat link;
    if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
        return path;
    std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : path;
}

// Creates a new file beside path under a hidden, unused name; -1 on failure with errno
// set. The mode lets the umask decide the final permissions, as for any new file.
int createTemporary(const std::string& path, std::string& temporary) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folderOf(path) + "." + baseOf(path) + ".tmp" + std::to_string(getpid()) + "-" +
                    std::to_string(counter.fetch_add(1));
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        data += written;
        size -= size_t(written);
    }
    return true;
}

// The rename is on the disk only once the folder is: without this a crash may bring
// back the old name's old file, or neither.
void syncFolder(const std::string& path) {
    const std::string folder = folderOf(path);
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    fsync(fd);
    close(fd);
}

bool isUserAttribute(const std::string& name) {
    return name.compare(0, 5, "user.") == 0;
}

// Copies every extended attribute of fromPath that the target takes. A user attribute
// that cannot be copied is a failure (a desktop's tags and ratings live there); those of
// the system's namespaces follow the rights we have.
bool copyAttributes(const char* fromPath, int fd, std::string* why) {
    ssize_t listSize = listxattr(fromPath, nullptr, 0);
    if (listSize <= 0)
        return true;  // none, or a file system without them
    std::vector<char> names(size_t(listSize) + 1, 0);
    listSize = listxattr(fromPath, names.data(), names.size() - 1);
    if (listSize < 0)
        return true;
    std::vector<char> value;
    for (size_t at = 0; at < size_t(listSize);) {
        const std::string name(names.data() + at);
        at += name.size() + 1;
        if (name.empty())
            continue;
        const ssize_t size = getxattr(fromPath, name.c_str(), nullptr, 0);
        if (size < 0)
            continue;
        value.resize(size_t(size) + 1);
        const ssize_t got = getxattr(fromPath, name.c_str(), value.data(), value.size());
        if (got < 0)
            continue;
        if (fsetxattr(fd, name.c_str(), value.data(), size_t(got), 0) != 0 &&
            isUserAttribute(name)) {
            if (why)
                *why = "cannot keep the attribute " + name + ": " + systemMessage(errno);
            return false;
        }
    }
    return true;
}

}  // namespace

std::string systemMessage(int code) {
    return std::generic_category().message(code);
}

bool copyFileAttributes(const char* fromPath, const struct stat& from, int fd, std::string* why) {
    // Owner first: a change of owner clears the set-id bits that the mode then sets again.
    // Without the rights for the owner, the group alone, which a member may give.
    if (fchown(fd, from.st_uid, from.st_gid) != 0 && fchown(fd, uid_t(-1), from.st_gid) != 0) {
        // Not a member of the group either: the file keeps the writer's own.
    }
    if (!copyAttributes(fromPath, fd, why))
        return false;
    // After the attributes: an access list among them may have changed the mode.
    if (fchmod(fd, from.st_mode & 07777) != 0) {
        if (why)
            *why = "cannot keep the file's permissions: " + systemMessage(errno);
        return false;
    }
    return true;
}

bool writeFileAtomically(const std::string& path, const void* data, size_t size, std::string* why) {
    const std::string target = targetOf(path);
    auto failed = [&](const std::string& step, const std::string& cause) {
        RUV_WARNING(step + " " + path + ": " + cause);
        if (why)
            *why = cause;
        return false;
    };
    std::string temporary;
    const int fd = createTemporary(target, temporary);
    // A folder that cannot take a new file is, to the user, a file that cannot be written.
    if (fd < 0)
        return failed("cannot write", systemMessage(errno));

    std::string step, cause;
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
        !copyFileAttributes(target.c_str(), existing, fd, &cause))
        step = "cannot replace";
    if (step.empty() && !writeAll(fd, static_cast<const uint8_t*>(data), size))
        step = "cannot write";
    else if (step.empty() && fsync(fd) != 0)
        step = "cannot flush";
    if (!step.empty() && cause.empty())
        cause = systemMessage(errno);
    if (close(fd) != 0 && step.empty()) {
        step = "cannot close";
        cause = systemMessage(errno);
    }
    if (step.empty() && std::rename(temporary.c_str(), target.c_str()) != 0) {
        step = "cannot replace";
        cause = systemMessage(errno);
    }
    if (!step.empty()) {
        unlink(temporary.c_str());
        return failed(step, cause);
    }
    syncFolder(target);
    return true;
}

bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string* why) {
    return writeFileAtomically(path, bytes.data(), bytes.size(), why);
}

bool writeFileAtomically(const std::string& path, const std::string& text, std::string* why) {
    return writeFileAtomically(path, text.data(), text.size(), why);
}
