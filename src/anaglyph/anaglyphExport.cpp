#include "anaglyphExport.h"

#include "CViewRows.h"
#include "exif.h"
#include "exifwrite.h"
#include "jpegio.h"
#include "jpegwrite.h"
#include "picturekind.h"
#include "pngEncode.h"
#include "viewdecode.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

enum class EFormat { Jpeg, Png, Unknown };

EFormat formatOf(const std::string& path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return EFormat::Unknown;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "jpg" || extension == "jpeg")
        return EFormat::Jpeg;
    return extension == "png" ? EFormat::Png : EFormat::Unknown;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// "yyyy:MM:dd hh:mm:ss"; the Exif reader puts status texts where it found no date.
bool isDateText(const std::string& text) {
    static const char kPattern[] = "dddd:dd:dd dd:dd:dd";
    if (text.size() != sizeof kPattern - 1)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
        if (kPattern[i] == 'd' ? !digit : text[i] != kPattern[i])
            return false;
    }
    return true;
}

// The picture at full size as 8-bit RGB. Transparency shows black, as it does on the
// screen, where pictures are blended over the cleared frame.
SImageHandle decodeFull(const std::string& path, EViewPicture which) {
    SViewDecode request;
    request.path = path;
    request.picture = which;
    request.maxSize = std::numeric_limits<int>::max();
    SImageHandle image = decodeForView(request, nullptr);
    if (!image->mPixels || image->mChannels != 4)
        return image;
    SImage rgb;
    rgb.mWidth = image->mWidth;
    rgb.mHeight = image->mHeight;
    rgb.mChannels = 3;
    if (!allocatePixels(rgb))
        return makeImageHandle(failedImage());
    const size_t count = size_t(rgb.mWidth) * size_t(rgb.mHeight);
    const uint8_t* in = image->mPixels;
    for (size_t i = 0; i < count; ++i, in += 4)
        for (size_t c = 0; c < 3; ++c)
            rgb.mPixels[i * 3 + c] = uint8_t((in[c] * in[3] + 127) / 255);
    return makeImageHandle(rgb);
}

int orientationOf(const SExifInfo& info) {
    return info.mOrientation >= 1 && info.mOrientation <= 8 ? info.mOrientation : 1;
}

// The picture as its Exif orientation shows it: turned, mirrored, or both.
SImageHandle upright(const SImage& image, int orientation) {
    const bool sideways = CViewRows::turnsSideways(orientation);
    SImage out;
    out.mWidth = sideways ? image.mHeight : image.mWidth;
    out.mHeight = sideways ? image.mWidth : image.mHeight;
    out.mChannels = 3;
    if (!allocatePixels(out))
        return makeImageHandle(failedImage());
    const SImageHandle handle = makeImageHandle(out);
    const CViewRows rows(image.mPixels, image.mWidth, image.mHeight, orientation, 0.0f);
    const size_t rowBytes = size_t(out.mWidth) * 3;
    const uint8_t* lines[CViewRows::kBlockRows];
    for (int Y = 0; Y < out.mHeight; Y += CViewRows::kBlockRows) {
        const int count = std::min(CViewRows::kBlockRows, out.mHeight - Y);
        uint8_t* block = out.mPixels + size_t(Y) * rowBytes;
        rows.rows(Y, count, block, lines);
        for (int j = 0; j < count; ++j)
            if (lines[j] != block + size_t(j) * rowBytes)  // a row of the picture itself
                std::memcpy(block + size_t(j) * rowBytes, lines[j], rowBytes);
    }
    return handle;
}

std::string sizeText(const SImage& image, int orientation) {
    const bool sideways = CViewRows::turnsSideways(orientation);
    return std::to_string(sideways ? image.mHeight : image.mWidth) + " x " +
           std::to_string(sideways ? image.mWidth : image.mHeight);
}

// The JPEG with the Exif block of the left picture's date and camera; the pixels are
// already upright, so the orientation is 1.
std::vector<uint8_t> encodeAsJpeg(const SImage& image, const SExifInfo& info, int quality) {
    SExifWrite exif;
    if (isDateText(info.mDateTime))
        exif.mDateTime = info.mDateTime;
    exif.mOrientation = 1;
    // The reader's stand-in for a missing tag is no camera's name.
    if (info.mMake != "unknown")
        exif.mMake = info.mMake;
    if (info.mModel != "unknown")
        exif.mModel = info.mModel;
    exif.mPixelWidth = image.mWidth;
    exif.mPixelHeight = image.mHeight;
    SJpegWrite options;
    options.mQuality = quality;
    options.mApp1 = buildExifPayload(exif);
    return encodeJpeg(image, options);
}

}  // namespace

EExportResult exportAnaglyph(const SAnaglyphExport& options, const SStereoSource& source,
                             const std::string& output, std::string* error, SExportTimes* times) {
    auto failure = [error](const std::string& why) {
        if (error)
            *error = why;
        return EExportResult::Failed;
    };
    const EFormat format = formatOf(output);
    if (format == EFormat::Unknown)
        return failure("the output's name ends neither in .jpg, .jpeg nor .png");

    std::vector<std::string> inputs{source.mLeft};
    if (!source.mRight.empty())
        inputs.push_back(source.mRight);
    std::vector<struct stat> inputStats;
    for (const std::string& input : inputs) {
        struct stat st;
        if (stat(input.c_str(), &st) != 0)
            return failure("cannot open " + input + ": " + std::strerror(errno));
        if (!S_ISREG(st.st_mode))
            return failure(input + " is no file");
        inputStats.push_back(st);
    }
    struct stat existing;
    if (stat(output.c_str(), &existing) == 0) {
        for (const struct stat& st : inputStats)
            if (st.st_dev == existing.st_dev && st.st_ino == existing.st_ino)
                return failure("the output " + output + " is one of the pictures it is made from");
        if (!options.mOverwrite)
            return EExportResult::Kept;
        if (!S_ISREG(existing.st_mode))
            return failure("the output " + output + " exists and is no file");
    }
    // Before the work rather than after it: a folder that cannot take the file.
    const std::string folder = folderOf(output);
    struct stat folderStat;
    const int folderError = stat(folder.c_str(), &folderStat) != 0     ? errno
                            : !S_ISDIR(folderStat.st_mode)             ? ENOTDIR
                            : access(folder.c_str(), W_OK | X_OK) != 0 ? errno
                                                                       : 0;
    if (folderError != 0)
        return failure("cannot write into " + folder + ": " + std::strerror(folderError));
    if (source.mRight.empty()) {
        const SPictureKind kind = identifyPicture(source.mLeft);
        if (kind.mKind != EPictureKind::Mpo)
            return failure(kind.mWhy.empty() ? "no second picture: not a stereo (MPO) file"
                                             : kind.mWhy);
    }

    const SExifInfo info = readExif(source.mLeft);
    SAnaglyphSettings settings = options.mAnaglyph;
    settings.mOrientation = orientationOf(info);
    const int rightOrientation =
        source.mRight.empty() ? settings.mOrientation : orientationOf(readExif(source.mRight));

    // Both pictures at once: each decode runs on one core.
    Clock::time_point start = Clock::now();
    SImageHandle left, right;
    {
        std::thread second([&] {
            right = source.mRight.empty() ? decodeFull(source.mLeft, EViewPicture::Right)
                                          : decodeFull(source.mRight, EViewPicture::Left);
        });
        left = decodeFull(source.mLeft, EViewPicture::Left);
        second.join();
    }
    if (!left->mPixels)
        return failure("cannot decode the left picture");
    if (!right->mPixels)
        return failure("cannot decode the right picture");
    if (!source.mRight.empty()) {
        const std::string leftSize = sizeText(*left, settings.mOrientation);
        const std::string rightSize = sizeText(*right, rightOrientation);
        if (leftSize != rightSize && !options.mFitRight)
            return failure("the pictures differ in size: " + leftSize + " and " + rightSize +
                           " (--fit fits the right one to the left one)");
        // Turned differently: both upright, and the composite turns neither.
        if (rightOrientation != settings.mOrientation) {
            if (settings.mOrientation != 1)
                left = upright(*left, settings.mOrientation);
            if (rightOrientation != 1)
                right = upright(*right, rightOrientation);
            if (!left->mPixels || !right->mPixels)
                return failure("out of memory for turning the pictures upright");
            settings.mOrientation = 1;
        }
    }
    SExportTimes spent;
    spent.mDecode = secondsSince(start);

    start = Clock::now();
    // Into the left picture's pixels where it fits: they are not needed afterwards.
    SImageHandle anaglyph = left;
    if (anaglyphFitsInPlace(settings)) {
        if (!composeAnaglyphInto(*left, *right, settings, left->mPixels))
            return failure("cannot compose the anaglyph");
    } else {
        anaglyph = composeAnaglyph(*left, *right, settings);
        if (!anaglyph->mPixels)
            return failure("cannot compose the anaglyph");
    }
    left.reset();
    right.reset();
    spent.mPass = secondsSince(start);

    start = Clock::now();
    std::string why = "cannot encode the JPEG picture";
    const std::vector<uint8_t> bytes =
        format == EFormat::Jpeg
            ? encodeAsJpeg(*anaglyph, info, options.mQuality)
            : encodePng(anaglyph->mPixels, anaglyph->mWidth, anaglyph->mHeight, &why);
    if (bytes.empty())
        return failure(why);
    spent.mEncode = secondsSince(start);

    start = Clock::now();
    if (!writeFileAtomically(output, bytes))
        return failure("cannot write " + output);
    spent.mWrite = secondsSince(start);
    if (times)
        *times = spent;
    return EExportResult::Written;
}
