#include "viewdecode.h"

#include "colourprofile.h"
#include "diagnostics.h"
#include "filecloser.h"
#include "jpegio.h"
#include "picturekind.h"
#include "pixelformat.h"
#include "pngio.h"
#include "resample.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace {

bool startsWithPngSignature(FILE* file) {
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    unsigned char head[8];
    const bool png = std::fread(head, 1, 8, file) == 8 && std::memcmp(head, kSignature, 8) == 0;
    std::rewind(file);
    return png;
}

// Libjpeg's output size at scale eighths/8: the side rounded up.
int64_t scaledSide(int side, int eighths) {
    return (int64_t(side) * eighths + 7) / 8;
}

// Shrinks a picture while it is decoded, and brings its colours to sRGB: a thread of its
// own works on the output rows whose input rows the decoder has finished, and the
// decoding thread takes a share of what is left once it is done. Resizing a camera
// picture costs about a third of decoding it, converting its colours about as much as
// decoding; this way most of it happens on the other core meanwhile. A picture that
// keeps its size is converted in place.
class CShrinkWhileDecoding {
public:
    CShrinkWhileDecoding(SViewSize target, const std::shared_ptr<CPixelRecycler>& recycler,
                         std::shared_ptr<const CColourTransform> colours)
        : mTarget(target), mRecycler(recycler), mColours(std::move(colours)) {}
    ~CShrinkWhileDecoding() { stop(); }
    CShrinkWhileDecoding(const CShrinkWhileDecoding&) = delete;
    CShrinkWhileDecoding& operator=(const CShrinkWhileDecoding&) = delete;

    // From the decoder: rows of image are final. The first call starts the work when
    // there is any.
    void rowsDone(const SImage& image, int rows) {
        if (rows < 0) {
            stop();  // the decode failed: its rows go
            return;
        }
        if (!mStarted) {
            mStarted = true;
            const bool keep = image.mWidth == mTarget.mWidth && image.mHeight == mTarget.mHeight;
            if ((keep && !mColours) || !start(image, keep))
                return;
        }
        if (!mWorking)
            return;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mRowsReady = rows;
        }
        mWake.notify_one();
    }

    // After a successful decode: the shrunk picture, or decoded itself when it kept its
    // size; null when nothing was done. *converted: whether its colours are in sRGB.
    SImageHandle finish(const SImageHandle& decoded, bool* converted) {
        if (!mWorking)
            return nullptr;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mRowsReady = mSourceRows;
        }
        mWake.notify_one();
        work();
        mThread.join();
        mWorking = false;
        *converted = mColours != nullptr;
        return mResampler ? std::move(mOut) : decoded;
    }

private:
    bool start(const SImage& image, bool inPlace) {
        mChannels = image.mChannels;
        if (!inPlace) {
            auto resampler = std::make_unique<CRowResampler>(
                image.mWidth, image.mHeight, image.mChannels, mTarget.mWidth, mTarget.mHeight);
            if (!resampler->valid())
                return false;
            SImage shape;
            shape.mWidth = mTarget.mWidth;
            shape.mHeight = mTarget.mHeight;
            shape.mChannels = image.mChannels;
            shape.mBitDepth = 8;
            mOut = takeImage(shape, mRecycler);
            if (!mOut->mPixels) {
                mOut.reset();
                return false;  // shrunk afterwards, or reported there
            }
            mResampler = std::move(resampler);
        }
        mSource = image.mPixels;
        mSourceRows = image.mHeight;
        mRows = mTarget.mHeight;
        mRowBytes = size_t(mTarget.mWidth) * size_t(mChannels);
        mWorking = true;
        mThread = std::thread([this] { work(); });
        return true;
    }

    // Claims groups of output rows in order and makes them, waiting for their input.
    void work() {
        constexpr int kRows = 16;
        for (;;) {
            int first = mNextRow.load();
            if (first >= mRows)
                return;
            const int end = std::min(first + kRows, mRows);
            const int needed = mResampler ? mResampler->sourceRowsFor(end - 1) : end;
            {
                std::unique_lock<std::mutex> lock(mMutex);
                mWake.wait(lock, [&] { return mStopped || mRowsReady >= needed; });
                if (mStopped)
                    return;
            }
            if (!mNextRow.compare_exchange_strong(first, end))
                continue;
            unsigned char* rows = mResampler ? mOut->mPixels : mSource;
            if (mResampler)
                mResampler->run(mSource, rows, first, end);
            if (mColours)
                convertPixelsToSrgb(*mColours, rows + size_t(first) * mRowBytes,
                                    size_t(end - first) * size_t(mTarget.mWidth), mChannels);
        }
    }

    // The decode failed or stopped: the work ends where it is.
    void stop() {
        if (!mWorking)
            return;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mStopped = true;
        }
        mWake.notify_one();
        mThread.join();
        mOut.reset();
        mResampler.reset();
        mWorking = false;
    }

    const SViewSize mTarget;
    const std::shared_ptr<CPixelRecycler> mRecycler;
    const std::shared_ptr<const CColourTransform> mColours;  // null: the colours stay
    bool mStarted = false;
    bool mWorking = false;                      // the thread runs, or ran and was not joined yet
    std::unique_ptr<CRowResampler> mResampler;  // null: the picture keeps its size
    unsigned char* mSource = nullptr;
    int mSourceRows = 0;
    int mRows = 0;
    int mChannels = 3;
    size_t mRowBytes = 0;
    SImageHandle mOut;  // set before the thread starts, dropped after it ends
    std::mutex mMutex;
    std::condition_variable mWake;
    int mRowsReady = 0;  // under mMutex
    bool mStopped = false;
    std::atomic<int> mNextRow{0};
    std::thread mThread;
};

// *converted: whether the colours were brought to sRGB while decoding.
SImageHandle decodeJpegForView(FILE* file, long offset, const SViewDecode& view,
                               const std::shared_ptr<CPixelRecycler>& recycler, SViewSize* full,
                               SPictureColour* colour, bool* converted, std::string* why) {
    const int maxSize = view.maxSize;
    if (offset < 0 || fseeko(file, offset, SEEK_SET) != 0) {
        RUV_WARNING("cannot seek to offset " + std::to_string(offset));
        if (why)
            *why = "no picture at offset " + std::to_string(offset);
        return makeImageHandle(failedImage());
    }
    std::unique_ptr<CShrinkWhileDecoding> shrink;
    SJpegDecodeRequest request;
    request.mRgb = true;
    request.mRgba = view.rgba;
    request.mFastAbove = maxSize;
    request.mRecycler = recycler;
    request.mAbort = view.abort;
    request.mWhy = why;
    request.mKeepPartial = view.partial && view.picture == EViewPicture::Left;
    request.mColour = colour;
    request.mEighths = [maxSize, full, &shrink, &recycler, colour, &view](int width, int height) {
        *full = {width, height};
        SViewSize target = viewTargetSize(width, height, maxSize);
        if (view.coverWidth > 0 && view.coverHeight > 0) {
            // Shown fitted: the smallest fast scale that covers the box, at its own size
            // unless that passes the limit.
            const SViewSize cover = coverSize(width, height, view.coverWidth, view.coverHeight);
            const int eighths = jpegScaleEighths(width, height, cover.mWidth, cover.mHeight);
            const int w = int(scaledSide(width, eighths)), h = int(scaledSide(height, eighths));
            if (w <= target.mWidth && h <= target.mHeight)
                target = {w, h};
        }
        // The header is read: the stream's colours are known. A thumbnail or second
        // picture without a profile may take the first picture's, afterwards.
        std::shared_ptr<const CColourTransform> colours;
        if (view.picture == EViewPicture::Left || !colour->mIcc.empty())
            colours = colourTransformFor(*colour, nullptr);
        if (target.mWidth != width || target.mHeight != height || colours)
            shrink = std::make_unique<CShrinkWhileDecoding>(target, recycler, colours);
        return jpegScaleEighths(width, height, target.mWidth, target.mHeight);
    };
    request.mRowsDone = [&shrink](const SImage& image, int rows) {
        if (shrink)
            shrink->rowsDone(image, rows);
    };
    SImageHandle image = decodeJpegStreamScaled(file, request);
    if (shrink && image->mPixels)
        if (SImageHandle done = shrink->finish(image, converted))
            return done;
    return image;
}

// The picture at the exact target size; the same handle when it is there already.
SImageHandle shrinkTo(const SImageHandle& image, SViewSize target,
                      const std::shared_ptr<CPixelRecycler>& recycler) {
    if (image->mWidth == target.mWidth && image->mHeight == target.mHeight)
        return image;
    SImage shape;
    shape.mWidth = target.mWidth;
    shape.mHeight = target.mHeight;
    shape.mChannels = image->mChannels;
    shape.mBitDepth = 8;
    SImageHandle out = takeImage(shape, recycler);
    if (!out->mPixels) {
        RUV_WARNING("out of memory for a picture of " + std::to_string(target.mWidth) + " x " +
                    std::to_string(target.mHeight) + " pixels");
        return out;
    }
    resamplePixels(image->mPixels, image->mWidth, image->mHeight, image->mChannels, out->mPixels,
                   out->mWidth, out->mHeight);
    return out;
}

// Three channels widened to four with opaque alpha.
SImageHandle widenToRgba(const SImageHandle& image,
                         const std::shared_ptr<CPixelRecycler>& recycler) {
    if (!image->mPixels || image->mChannels != 3)
        return image;
    SImage shape;
    shape.mWidth = image->mWidth;
    shape.mHeight = image->mHeight;
    shape.mChannels = 4;
    shape.mBitDepth = 8;
    SImageHandle out = takeImage(shape, recycler);
    if (out->mPixels)
        rgbToRgba(image->mPixels, out->mPixels, size_t(out->mWidth) * size_t(out->mHeight));
    return out;
}

// The second picture of an MPO file and the Exif thumbnail mostly leave the profile to
// the first picture of the file: without one of their own they take its.
void takeFirstPictureProfile(FILE* file, SPictureColour* colour) {
    if (!colour->mIcc.empty() || !colour->mIccProblem.empty() || fseeko(file, 0, SEEK_SET) != 0)
        return;
    SPictureColour first = readJpegColour(file);
    if (first.mModel == colour->mModel) {
        colour->mIcc = std::move(first.mIcc);
        colour->mIccProblem = std::move(first.mIccProblem);
    }
}

// The picture's colours brought to sRGB in place, in which the anaglyph is computed; a
// picture whose profile cannot be used stays as it is, and the console says why.
void showInSrgb(const SImageHandle& image, const SPictureColour& colour, const std::string& path) {
    if (!image || !image->mPixels)
        return;
    std::string why;
    if (const auto transform = colourTransformFor(colour, &why))
        convertToSrgb(*transform, *image);
    else if (!why.empty())
        reportColourProblemOnce(path, why);
}

}  // namespace

SViewSize viewTargetSize(int width, int height, int maxSize) {
    maxSize = std::max(1, maxSize);
    SViewSize size{width, height};
    if (width > maxSize) {
        size.mWidth = maxSize;
        size.mHeight = int(int64_t(height) * maxSize / width);
    }
    if (size.mHeight > maxSize) {
        size.mHeight = maxSize;
        size.mWidth = int(int64_t(width) * maxSize / height);
    }
    // A sliver of a picture keeps at least one pixel across.
    size.mWidth = std::max(1, size.mWidth);
    size.mHeight = std::max(1, size.mHeight);
    return size;
}

int jpegScaleEighths(int width, int height, int targetWidth, int targetHeight) {
    // Only the scales with the decoder's fast inverse transforms: at 7/8, 6/8 or 5/8 it
    // takes longer than at full size. A 6000 x 4000 picture brought to 4416 x 2944 took
    // 210 ms through 6/8 and 160 ms through the full size, resampling included.
    for (int eighths : {1, 2, 4}) {
        if (scaledSide(width, eighths) >= targetWidth &&
            scaledSide(height, eighths) >= targetHeight)
            return eighths;
    }
    return 8;
}

SViewSize coverSize(int width, int height, int boxWidth, int boxHeight) {
    if (boxWidth <= 0 || boxHeight <= 0 || width <= 0 || height <= 0)
        return {std::max(width, 1), std::max(height, 1)};
    // The fitted picture's sides, rounded up so that no screen pixel lacks a source pixel.
    const double scale = std::min({1.0, double(boxWidth) / width, double(boxHeight) / height});
    const auto side = [scale](int n) { return std::clamp(int(std::ceil(n * scale - 1e-9)), 1, n); };
    return {side(width), side(height)};
}

SImageHandle decodeForView(const SViewDecode& request,
                           const std::shared_ptr<CPixelRecycler>& recycler, std::string* why,
                           SViewSize* whole) {
    std::string ignored;
    if (!why)
        why = &ignored;
    FilePtr file(std::fopen(request.path.c_str(), "rb"));
    if (!file) {
        *why = std::string("cannot open: ") + std::strerror(errno);
        RUV_WARNING("Could not open >" + request.path + "<");
        return makeImageHandle(failedImage());
    }
    SImageHandle image;
    SViewSize full{0, 0};
    SPictureColour colour;
    bool converted = false;  // the colours were brought to sRGB while decoding
    switch (request.picture) {
        case EViewPicture::Left:
            if (startsWithPngSignature(file.get())) {
                image = readPngStreamForView(file.get(), request.path.c_str(), recycler,
                                             request.partial ? why : nullptr, &colour);
                if (!image->mPixels && why->empty())
                    *why = "not a readable PNG picture";
                if (request.rgba)
                    image = widenToRgba(image, recycler);
                full = {image->mWidth, image->mHeight};
            } else {
                image = decodeJpegForView(file.get(), 0, request, recycler, &full, &colour,
                                          &converted, why);
            }
            break;
        case EViewPicture::Right: {
            // Only the right view of a stereo pair: a depth or gain map that follows the
            // picture would show as a one-coloured anaglyph.
            const SPictureKind kind = identifyPicture(file.get());
            if (kind.mKind != EPictureKind::Mpo) {
                *why = kind.mWhy.empty() ? "no second picture" : kind.mWhy;
                RUV_WARNING(request.path + ": " + *why + "; shown as a plain picture");
                return makeImageHandle(failedImage());
            }
            image = decodeJpegForView(file.get(), kind.mSecondOffset, request, recycler, &full,
                                      &colour, &converted, why);
            break;
        }
        case EViewPicture::Thumbnail:
            image = decodeJpegForView(file.get(), request.offset, request, recycler, &full, &colour,
                                      &converted, why);
            break;
    }
    if (request.picture != EViewPicture::Left && image && image->mPixels)
        takeFirstPictureProfile(file.get(), &colour);
    file.reset();
    if (!image || !image->mPixels) {
        if (why->empty())
            *why = "cannot decode the picture";
        return makeImageHandle(failedImage());
    }
    if (request.abort && request.abort->load(std::memory_order_relaxed)) {
        *why = kDecodeStopped;
        return makeImageHandle(failedImage());
    }
    const SViewSize wholeSize = viewTargetSize(full.mWidth, full.mHeight, request.maxSize);
    if (whole)
        *whole = wholeSize;
    if (full.mWidth > request.maxSize || full.mHeight > request.maxSize)
        RUV_WARNING("width>maxTexSize() || height >maxTexSize()");
    if (image->mWidth > wholeSize.mWidth || image->mHeight > wholeSize.mHeight)
        image = shrinkTo(image, wholeSize, recycler);
    // Converted at the size shown: fewer pixels than the file may have.
    if (!converted)
        showInSrgb(image, colour, request.path);
    return image;
}
