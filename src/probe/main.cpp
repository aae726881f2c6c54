// ruvello-probe: prints, one tab-separated line per file, what Ruvello reads of a
// picture file: the Exif record, and with --decode the decoded picture sizes.
#include "exif.h"
#include "filecloser.h"
#include "jpegio.h"
#include "pngio.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {
const char* const kUsage =
    "Usage: ruvello-probe [--decode] FILE...\n"
    "Prints one tab-separated line per file: the file name, the capture date (or a\n"
    "status text), orientation, thumbnail offset, make, model, Exif pixel width and\n"
    "height. With --decode also the decoded width, height and channels; for a stereo\n"
    "(MPO) file then the second picture's file offset, width, height and channels; for\n"
    "a PNG file width, height, channels and bit depth. Exits 1 when a file could not\n"
    "be read.\n";

// Tabs and line ends inside a value would break the one-line-per-file layout.
std::string escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    return out;
}

bool isPng(const char* path) {
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char head[8] = {};
    const FilePtr file(std::fopen(path, "rb"));
    if (!file)
        return false;
    const size_t got = std::fread(head, 1, sizeof head, file.get());
    return got == sizeof head && std::memcmp(head, signature, sizeof head) == 0;
}

void appendSize(std::string& line, const SImage& image) {
    line += '\t' + std::to_string(image.mWidth) + '\t' + std::to_string(image.mHeight) + '\t' +
            std::to_string(image.mChannels);
}

// Appends the decoded sizes; false when the picture could not be decoded.
bool appendDecoded(std::string& line, const char* path) {
    if (isPng(path)) {
        const SImageHandle image = readPngFile(path);
        appendSize(line, *image);
        line += '\t' + std::to_string(image->mBitDepth);
        return image->mPixels != nullptr;
    }
    bool ok = false;
    {
        // Gone before the second picture comes: only one is held at a time.
        const SImageHandle left = readJpegFile(path, 0);
        appendSize(line, *left);
        ok = left->mPixels != nullptr;
    }
    const long offset = secondPictureOffset(path);
    if (offset >= 0) {
        const SImageHandle right = readJpegFile(path, offset);
        line += '\t' + std::to_string(offset);
        appendSize(line, *right);
        ok = ok && right->mPixels != nullptr;
    }
    return ok;
}
}  // namespace

int main(int argc, char** argv) {
    bool decode = false;
    int first = 1;
    for (; first < argc && argv[first][0] == '-'; ++first) {
        if (std::strcmp(argv[first], "--decode") == 0) {
            decode = true;
        } else if (std::strcmp(argv[first], "--help") == 0 || std::strcmp(argv[first], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (std::strcmp(argv[first], "--") == 0) {
            ++first;
            break;
        } else {
            std::fprintf(stderr, "ruvello-probe: unknown option %s\n%s", argv[first], kUsage);
            return 2;
        }
    }
    if (first >= argc) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    bool allRead = true;
    for (int i = first; i < argc; ++i) {
        const char* path = argv[i];
        const SExifInfo info = readExif(path);
        std::string line =
            escaped(path) + '\t' + escaped(info.mDateTime) + '\t' +
            std::to_string(info.mOrientation) + '\t' + std::to_string(info.mThumbnailOffset) +
            '\t' + escaped(info.mMake) + '\t' + escaped(info.mModel) + '\t' +
            std::to_string(info.mPixelXDimension) + '\t' + std::to_string(info.mPixelYDimension);
        bool read = info.mOrientation != -1;  // -1: the file could not be opened
        if (decode && read)
            read = appendDecoded(line, path);
        allRead = allRead && read;
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return allRead ? 0 : 1;
}
