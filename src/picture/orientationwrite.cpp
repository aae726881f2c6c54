#include "orientationwrite.h"

#include "exif.h"
#include "filewrite.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;

// The descriptor closes on every way out.
struct SFd {
    int fd = -1;
    ~SFd() {
        if (fd >= 0)
            close(fd);
    }
};

// The bytes of value as the block stores a number of the entry's type.
int encodeValue(uint16_t type, bool little, int value, unsigned char* bytes) {
    const int size = type == kTypeLong ? 4 : 2;
    for (int k = 0; k < size; ++k) {
        const int shift = 8 * (little ? k : size - 1 - k);
        bytes[k] = static_cast<unsigned char>((unsigned(value) >> shift) & 0xFF);
    }
    return size;
}
}  // namespace

int storedOrientation(const std::string& path) {
    const SExifInfo info = readExif(path);
    if (info.mOrientation == -1)
        return -1;
    return info.mOrientation == -2 ? 1 : info.mOrientation;
}

EOrientationInPlace writeOrientationInPlace(const std::string& path, int orientation,
                                            std::string* why) {
    auto failed = [why](const std::string& cause) {
        if (why)
            *why = cause;
        return EOrientationInPlace::Failed;
    };
    SFd file;
    file.fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    struct stat was;
    if (file.fd < 0 || fstat(file.fd, &was) != 0)
        return failed(systemMessage(errno));
    if (!S_ISREG(was.st_mode))
        return failed("not a file");

    // The entry is read from the very file that is then written.
    SFileBuffer buffer;
    SOrientationEntry entry;
    SExifInfo info;
    if (!buffer.open(("/proc/self/fd/" + std::to_string(file.fd)).c_str()) &&
        !buffer.open(path.c_str()))
        return failed("cannot read the file");
    info = parseExif(buffer, nullptr, &entry);
    buffer.close();
    const int current = info.mOrientation == -2 ? 1 : info.mOrientation;
    if (current == orientation)
        return EOrientationInPlace::AlreadySet;
    if (entry.mEntry < 0 || entry.mCount != 1 ||
        (entry.mType != kTypeShort && entry.mType != kTypeLong))
        return EOrientationInPlace::NoTag;

    unsigned char bytes[4];
    const int size = encodeValue(entry.mType, entry.mLittle, orientation, bytes);
    const off_t at = off_t(entry.mEntry + 8);
    ssize_t written;
    do {
        written = pwrite(file.fd, bytes, size_t(size), at);
    } while (written < 0 && errno == EINTR);
    if (written != size)
        return failed(written < 0 ? systemMessage(errno) : "cannot write the orientation");
    // On the disk before we say it is done; the file's own time is one of its date sources.
    const int synced = fsync(file.fd) == 0 ? 0 : errno;
    const struct timespec times[2] = {was.st_atim, was.st_mtim};
    if (futimens(file.fd, times) != 0 && why)
        *why = "cannot keep the file time: " + systemMessage(errno);
    if (synced != 0)
        return failed(systemMessage(synced));
    return EOrientationInPlace::Written;
}
