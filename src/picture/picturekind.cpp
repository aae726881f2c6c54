#include "picturekind.h"

#include "mpf.h"
#include "filecloser.h"

#include <cerrno>
#include <cstring>

SPictureKind identifyPicture(FILE* file) {
    static const unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    SPictureKind kind;
    if (!file) {
        kind.mWhy = "cannot open: no file";
        return kind;
    }
    unsigned char head[8];
    size_t got = 0;
    errno = 0;
    if (fseeko(file, 0, SEEK_SET) == 0)
        got = std::fread(head, 1, sizeof head, file);
    const int readError = errno;
    if (got == 0) {
        // A folder opens on Linux; reading it fails.
        kind.mWhy = std::ferror(file) || readError != 0
                        ? std::string("cannot read: ") + std::strerror(readError)
                        : std::string("empty file");
        return kind;
    }
    if (got == sizeof head && std::memcmp(head, kPngSignature, sizeof head) == 0) {
        kind.mKind = EPictureKind::Png;
        return kind;
    }
    if (got < 3 || head[0] != 0xFF || head[1] != 0xD8 || head[2] != 0xFF) {
        kind.mWhy = "not a JPEG, PNG or MPO file";
        return kind;
    }
    const SSecondPicture second = inspectSecondPicture(file);
    if (second.mOffset >= 0 && isSecondView(second, &kind.mWhy)) {
        kind.mKind = EPictureKind::Mpo;
        kind.mSecondOffset = long(second.mOffset);
    } else {
        kind.mKind = EPictureKind::Jpeg;
    }
    return kind;
}

SPictureKind identifyPicture(const std::string& path) {
    const FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        SPictureKind kind;
        kind.mWhy = std::string("cannot open: ") + std::strerror(errno);
        return kind;
    }
    return identifyPicture(file.get());
}
