#include "anaglyphExport.h"

#include "exportEncoding.h"

#include "CViewRows.h"
#include "orientation.h"
#include "align.h"
#include "exif.h"
#include "jpegio.h"
#include "filewrite.h"
#include "jpegwrite.h"
#include "mpowrite.h"
#include "parallax.h"
#include "picturekind.h"
#include "pixelformat.h"
#include "pngwrite.h"
#include "resample.h"
#include "stereoFrame.h"
#include "viewdecode.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

enum class EFormat { Jpeg, Jps, Png, Mpo, Unknown };

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
    if (extension == "jps")
        return EFormat::Jps;
    if (extension == "mpo")
        return EFormat::Mpo;
    return extension == "png" ? EFormat::Png : EFormat::Unknown;
}

// Why the layout is not written in that format; empty when it is.
std::string formatProblem(EStereoLayout layout, EFormat format) {
    switch (layout) {
        case EStereoLayout::Anaglyph:
            return format == EFormat::Jpeg || format == EFormat::Png
                       ? ""
                       : "the output's name ends neither in .jpg, .jpeg nor .png";
        case EStereoLayout::Parallel:
        case EStereoLayout::Cross:
        case EStereoLayout::HalfParallel:
            return format == EFormat::Jpeg || format == EFormat::Jps
                       ? ""
                       : "the output's name of a side-by-side pair ends neither in .jpg, "
                         ".jpeg nor .jps";
        case EStereoLayout::OverUnder:
        case EStereoLayout::HalfOverUnder:
            return format == EFormat::Jpeg || format == EFormat::Jps || format == EFormat::Png
                       ? ""
                       : "the output's name of an over-under pair ends neither in .jpg, "
                         ".jpeg, .jps nor .png";
        case EStereoLayout::Rows:
        case EStereoLayout::Columns:
        case EStereoLayout::Checkerboard:
            // A JPEG's colours are shared by neighbouring pixels: the two views would
            // bleed into each other's rows.
            return format == EFormat::Png ? ""
                                          : "the output's name of an interleaved pair does "
                                            "not end in .png";
        case EStereoLayout::Mpo:
            return format == EFormat::Mpo ? ""
                                          : "the output's name of a Multi-Picture file does "
                                            "not end in .mpo";
    }
    return "unknown layout";
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
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
    SImage shape;
    shape.mWidth = image->mWidth;
    shape.mHeight = image->mHeight;
    shape.mChannels = 3;
    const SImageHandle rgb = allocateImage(shape);
    if (rgb->mPixels)
        rgbaToRgbOverBlack(image->mPixels, rgb->mPixels,
                           size_t(rgb->mWidth) * size_t(rgb->mHeight));
    return rgb;
}

int orientationOf(const SExifInfo& info) {
    return info.mOrientation >= 1 && info.mOrientation <= 8 ? info.mOrientation : 1;
}

// The orientation that turns a picture back: the two quarter turns undo each other, every
// other orientation undoes itself.
int inverseOrientation(int orientation) {
    return orientation == 6 ? 8 : orientation == 8 ? 6 : orientation;
}

// The picture as its Exif orientation shows it: turned, mirrored, or both.
SImageHandle upright(const SImage& image, int orientation) {
    const bool sideways = turnsSideways(orientation);
    SImage shape;
    shape.mWidth = sideways ? image.mHeight : image.mWidth;
    shape.mHeight = sideways ? image.mWidth : image.mHeight;
    shape.mChannels = 3;
    const SImageHandle handle = allocateImage(shape);
    if (!handle->mPixels)
        return handle;
    const SImage& out = *handle;
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

SImageHandle resized(const SImage& image, int width, int height) {
    SImage shape;
    shape.mWidth = width;
    shape.mHeight = height;
    shape.mChannels = 3;
    const SImageHandle handle = allocateImage(shape);
    if (!handle->mPixels)
        return handle;
    if (!resamplePixels(image.mPixels, image.mWidth, image.mHeight, 3, handle->mPixels, width,
                        height))
        return makeImageHandle(failedImage());
    return handle;
}

// Columns x0 .. x1 - 1 and rows y0 .. y1 - 1 of the picture, moved to the start of its own
// buffer (each row lands at or before where it was, so none is overwritten before it is
// read): no second buffer of camera size. The picture must not be used otherwise
// afterwards; the handle keeps its buffer.
SImageHandle cropInPlace(SImageHandle picture, int x0, int y0, int x1, int y1) {
    struct SCropped {
        SImageHandle mOwner;
        SImage mImage;
    };
    auto cropped = std::make_shared<SCropped>();
    cropped->mImage = *picture;
    SImage& image = cropped->mImage;
    image.mWidth = x1 - x0;
    image.mHeight = y1 - y0;
    const size_t pixel = size_t(picture->mChannels);
    const size_t rowBytes = size_t(image.mWidth) * pixel;
    for (int y = 0; y < image.mHeight; ++y)
        std::memmove(
            image.mPixels + size_t(y) * rowBytes,
            picture->mPixels + (size_t(y0 + y) * size_t(picture->mWidth) + size_t(x0)) * pixel,
            rowBytes);
    cropped->mOwner = std::move(picture);
    return SImageHandle(cropped, &cropped->mImage);
}

// The same alignment for a picture grid that starts at (x0, y0) of the left picture and
// is width x height: the similarity turns about the grid's centre instead, so the shift
// takes up the difference. The right picture keeps its own pixels.
SStereoAlignment alignmentForCrop(const SStereoAlignment& a, int fullWidth, int fullHeight, int x0,
                                  int y0, int width, int height) {
    // q - o = c + sR (p - c) + d - o  =  c' + sR (p - c') + d'  in the crop's coordinates
    // q - o, with its centre c': d' = (sR - 1)(c' - c) + d - o.
    const double ex = (width - fullWidth) / 2.0, ey = (height - fullHeight) / 2.0;
    const double c = a.mScale * std::cos(a.mRotation), s = a.mScale * std::sin(a.mRotation);
    SStereoAlignment shifted = a;
    shifted.mDx = (c - 1) * ex - s * ey + a.mDx - x0;
    shifted.mDy = s * ex + (c - 1) * ey + a.mDy - y0;
    return shifted;
}

// With the alignment: the right picture warped onto the left one's grid and both cut to
// the part both eyes see. Otherwise (or when the parts have nothing in common) the
// pictures stay as they are and *applied says why.
void alignPair(const SStereoAlignment& alignment, SImageHandle* left, SImageHandle* right,
               SStereoAlignment* applied) {
    *applied = alignment;
    if (!alignment.mOk)
        return;
    const int width = (*left)->mWidth, height = (*left)->mHeight;
    const SAlignedOverlap both = alignedOverlap(alignment, width, height);
    // Inwards to whole pixels; an edge a rounding error off a whole pixel stays where it is.
    const double slack = 1e-3;
    const int x0 = std::clamp(int(std::ceil(both.x0 - slack)), 0, width);
    const int y0 = std::clamp(int(std::ceil(both.y0 - slack)), 0, height);
    const int x1 = std::clamp(int(std::floor(both.x1 + slack)), 0, width);
    const int y1 = std::clamp(int(std::floor(both.y1 + slack)), 0, height);
    auto refuse = [applied](const std::string& why) {
        *applied = SStereoAlignment();
        applied->mWhy = why;
    };
    if (x1 - x0 < 1 || y1 - y0 < 1)
        return refuse("the aligned pictures have no part in common");
    // Warped straight into the crop: the rest would be cut away at once.
    SImageHandle warped = warpRightPicture(
        **right, alignmentForCrop(alignment, width, height, x0, y0, x1 - x0, y1 - y0), x1 - x0,
        y1 - y0);
    if (!warped->mPixels)
        return refuse("out of memory for warping the right picture");
    *right = std::move(warped);
    *left = cropInPlace(std::move(*left), x0, y0, x1, y1);
}

std::string sizeText(const SImage& image, int orientation) {
    const bool sideways = turnsSideways(orientation);
    return std::to_string(sideways ? image.mHeight : image.mWidth) + " x " +
           std::to_string(sideways ? image.mWidth : image.mHeight);
}

SImageHandle uprightPicture(const SImageHandle& picture, int orientation) {
    return orientation == 1 ? picture : upright(*picture, orientation);
}

// How a framed layout puts the two pictures into one.
struct SFrameOf {
    EStereoFrame mFrame = EStereoFrame::SideBySide;
    bool mHalf = false;
    bool mRightFirst = false;
};

SFrameOf frameOf(EStereoLayout layout) {
    switch (layout) {
        case EStereoLayout::Cross:
            return {EStereoFrame::SideBySide, false, true};
        case EStereoLayout::OverUnder:
            return {EStereoFrame::OverUnder, false, false};
        case EStereoLayout::HalfParallel:
            return {EStereoFrame::SideBySide, true, false};
        case EStereoLayout::HalfOverUnder:
            return {EStereoFrame::OverUnder, true, false};
        case EStereoLayout::Rows:
            return {EStereoFrame::Rows, false, false};
        case EStereoLayout::Columns:
            return {EStereoFrame::Columns, false, false};
        case EStereoLayout::Checkerboard:
            return {EStereoFrame::Checkerboard, false, false};
        default:
            return {};
    }
}

// The decoded pair in one size and one orientation (the left picture's as stored), aligned
// when asked.
bool preparePair(const SAnaglyphExport& options, const SStereoSource& source, const SExifInfo& info,
                 SStereoPair* pair, std::string* error, SExportTimes* spent) {
    auto failure = [error](const std::string& why) {
        if (error)
            *error = why;
        return false;
    };
    if (source.mRight.empty()) {
        const SPictureKind kind = identifyPicture(source.mLeft);
        if (kind.mKind != EPictureKind::Mpo)
            return failure(kind.mWhy.empty() ? "no second picture: not a stereo (MPO) file"
                                             : kind.mWhy);
    }
    const int leftOrientation = orientationOf(info);
    const int rightOrientation =
        source.mRight.empty() ? leftOrientation : orientationOf(readExif(source.mRight));

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
        const std::string leftSize = sizeText(*left, leftOrientation);
        const std::string rightSize = sizeText(*right, rightOrientation);
        if (leftSize != rightSize && !options.mFitRight)
            return failure("the pictures differ in size: " + leftSize + " and " + rightSize +
                           " (--fit fits the right one to the left one)");
        // Turned differently: the right one upright, then as the left one is stored, so
        // that the alignment and the composite see one grid.
        if (rightOrientation != leftOrientation) {
            if (rightOrientation != 1)
                right = upright(*right, rightOrientation);
            if (right->mPixels && leftOrientation != 1)
                right = upright(*right, inverseOrientation(leftOrientation));
            if (!right->mPixels)
                return failure("out of memory for turning the right picture");
        }
    }
    if (right->mWidth != left->mWidth || right->mHeight != left->mHeight) {
        right = resized(*right, left->mWidth, left->mHeight);
        if (!right->mPixels)
            return failure("out of memory for fitting the right picture to the left one");
    }
    spent->mDecode = secondsSince(start);

    // What was measured on a smaller copy of the picture, at the decoded size: by the
    // pixels' own sizes, as a resized file's Exif may still state its camera's.
    const double toDecodedX = options.mMeasuredWidth > 0
                                  ? double(left->mWidth) / options.mMeasuredWidth
                                  : 1.0,
                 toDecodedY = options.mMeasuredHeight > 0
                                  ? double(left->mHeight) / options.mMeasuredHeight
                                  : 1.0;
    // The shift runs along the screen's rows: the stored columns of a picture that stands
    // sideways.
    pair->mShift = float(options.mAnaglyph.mShift *
                         (turnsSideways(leftOrientation) ? toDecodedY : toDecodedX));
    pair->mOrientation = leftOrientation;
    pair->mAlignment = SStereoAlignment();
    if (options.mAlign) {
        start = Clock::now();
        // A stereo file's camera may state its parallax, for a pair that matches too little.
        SAlignOptions align;
        align.mOrientation = leftOrientation;
        if (source.mRight.empty())
            align.mParallaxPixels =
                cameraParallaxPixels(readCameraParallax(source.mLeft),
                                     turnsSideways(leftOrientation) ? left->mHeight : left->mWidth);
        SStereoAlignment found;
        if (options.mAlignment) {
            // At the decoded size, from the size it says it was measured on, if it does.
            found = *options.mAlignment;
            const double x = found.mWidth > 0 ? double(left->mWidth) / found.mWidth : toDecodedX;
            const double y = found.mHeight > 0 ? double(left->mHeight) / found.mHeight : toDecodedY;
            found.mDx *= x;
            found.mDy *= y;
            const double alongShown = turnsSideways(found.mOrientation) ? y : x;
            found.mNear *= alongShown;
            found.mFar *= alongShown;
            found.mWidth = left->mWidth;
            found.mHeight = left->mHeight;
        } else {
            found = alignStereoPair(*left, *right, align);
        }
        alignPair(found, &left, &right, &pair->mAlignment);
        spent->mAlign = secondsSince(start);
    }
    pair->mLeft = std::move(left);
    pair->mRight = std::move(right);
    return true;
}

// The anaglyph of the pair, encoded; its pictures are used up.
std::vector<uint8_t> anaglyphBytes(const SAnaglyphExport& options, SStereoPair& pair,
                                   const std::string& exifSource, EFormat format, std::string* why,
                                   SExportTimes* spent) {
    Clock::time_point start = Clock::now();
    SAnaglyphSettings settings = options.mAnaglyph;
    settings.mOrientation = pair.mOrientation;
    settings.mShift = pair.mShift;
    // Into the left picture's pixels where it fits: they are not needed afterwards.
    SImageHandle anaglyph = pair.mLeft;
    if (anaglyphFitsInPlace(settings)) {
        if (!composeAnaglyphInto(*pair.mLeft, *pair.mRight, settings, pair.mLeft->mPixels))
            anaglyph = makeImageHandle(failedImage());
    } else {
        anaglyph = composeAnaglyph(*pair.mLeft, *pair.mRight, settings);
    }
    pair = SStereoPair();
    if (!anaglyph->mPixels) {
        *why = "cannot compose the anaglyph";
        return {};
    }
    spent->mPass = secondsSince(start);

    start = Clock::now();
    *why = "cannot encode the JPEG picture";
    std::vector<uint8_t> bytes = format == EFormat::Jpeg
                                     ? encodeAsJpeg(*anaglyph, exifSource, options.mQuality)
                                     : encodeAsPng(*anaglyph, exifSource, why);
    spent->mEncode = secondsSince(start);
    return bytes;
}

// The two pictures upright in one, as the layout frames them; a JPEG carries the JPS
// marker when the name asks for it.
std::vector<uint8_t> framedBytes(const SAnaglyphExport& options, SStereoPair& pair,
                                 const std::string& exifSource, EFormat format, std::string* why,
                                 SExportTimes* spent) {
    Clock::time_point start = Clock::now();
    const SFrameOf f = frameOf(options.mLayout);
    const SImageHandle left = uprightPicture(pair.mLeft, pair.mOrientation);
    const SImageHandle right = uprightPicture(pair.mRight, pair.mOrientation);
    pair = SStereoPair();
    const SImageHandle joined =
        left->mPixels && right->mPixels
            ? composeStereoFrame(f.mRightFirst ? *right : *left, f.mRightFirst ? *left : *right,
                                 f.mFrame, f.mHalf)
            : makeImageHandle(failedImage());
    if (!joined->mPixels) {
        *why = "out of memory for putting the pictures together";
        return {};
    }
    spent->mPass = secondsSince(start);

    start = Clock::now();
    std::vector<uint8_t> bytes;
    if (format == EFormat::Png) {
        bytes = encodeAsPng(*joined, exifSource, why);
    } else {
        *why = "cannot encode the JPEG picture";
        const bool overUnder = f.mFrame == EStereoFrame::OverUnder;
        bytes = encodeAsJpeg(
            *joined, exifSource, options.mQuality,
            format == EFormat::Jps
                ? jpsMarker(!f.mRightFirst, overUnder, f.mHalf && !overUnder, f.mHalf && overUnder)
                : std::vector<uint8_t>());
    }
    spent->mEncode = secondsSince(start);
    return bytes;
}

// Both pictures upright in a Multi-Picture file, the left one with the Exif block.
std::vector<uint8_t> mpoBytes(const SAnaglyphExport& options, SStereoPair& pair,
                              const std::string& exifSource, std::string* why,
                              SExportTimes* spent) {
    Clock::time_point start = Clock::now();
    const SImageHandle left = uprightPicture(pair.mLeft, pair.mOrientation);
    const SImageHandle right = uprightPicture(pair.mRight, pair.mOrientation);
    pair = SStereoPair();
    if (!left->mPixels || !right->mPixels) {
        *why = "out of memory for turning the pictures upright";
        return {};
    }
    spent->mPass = secondsSince(start);

    start = Clock::now();
    *why = "cannot encode the Multi-Picture file";
    SJpegWrite plain;
    plain.mQuality = options.mQuality;
    const std::vector<uint8_t> first = encodeAsJpeg(*left, exifSource, options.mQuality);
    const std::vector<uint8_t> second = encodeJpeg(*right, plain);
    std::vector<uint8_t> bytes;
    if (!first.empty() && !second.empty())
        bytes = buildMpoFile(first, second, 0.0);
    spent->mEncode = secondsSince(start);
    return bytes;
}

}  // namespace

bool prepareStereoPair(const SAnaglyphExport& options, const SStereoSource& source,
                       SStereoPair* pair, std::string* error, SExportTimes* times) {
    SExportTimes spent;
    const bool prepared = preparePair(options, source, readExif(source.mLeft), pair, error, &spent);
    if (times)
        *times = spent;
    return prepared;
}

EExportResult exportAnaglyph(const SAnaglyphExport& options, const SStereoSource& source,
                             const std::string& output, std::string* error, SExportTimes* times,
                             SStereoAlignment* alignment) {
    auto failure = [error](const std::string& why) {
        if (error)
            *error = why;
        return EExportResult::Failed;
    };
    const EFormat format = formatOf(output);
    const std::string formatWhy = formatProblem(options.mLayout, format);
    if (!formatWhy.empty())
        return failure(formatWhy);

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

    // Between the steps: a decode or an encode runs to its end.
    auto stopped = [&options](int percent) {
        if (options.mProgress)
            *options.mProgress = percent;
        return options.mCancel && *options.mCancel;
    };
    const SExifInfo info = readExif(source.mLeft);
    SExportTimes spent;
    SStereoPair pair;
    std::string why;
    if (stopped(0) || !preparePair(options, source, info, &pair, &why, &spent))
        return failure(options.mCancel && *options.mCancel ? "cancelled" : why);
    if (stopped(60))
        return failure("cancelled");
    if (alignment)
        *alignment = pair.mAlignment;

    std::vector<uint8_t> bytes;
    switch (options.mLayout) {
        case EStereoLayout::Anaglyph:
            bytes = anaglyphBytes(options, pair, source.mLeft, format, &why, &spent);
            break;
        case EStereoLayout::Mpo:
            bytes = mpoBytes(options, pair, source.mLeft, &why, &spent);
            break;
        default:
            bytes = framedBytes(options, pair, source.mLeft, format, &why, &spent);
            break;
    }
    if (bytes.empty())
        return failure(why);
    if (stopped(95))
        return failure("cancelled");

    const Clock::time_point start = Clock::now();
    if (!writeFileAtomically(output, bytes, &why))
        return failure("cannot write " + output + ": " + why);
    spent.mWrite = secondsSince(start);
    stopped(100);
    if (times)
        *times = spent;
    return EExportResult::Written;
}
