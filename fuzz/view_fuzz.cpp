// Any bytes as a picture file on its way to the view: the loader's job for the left
// picture (what the file is, its Exif record and thumbnail, then the picture) and for
// the right one, and a JPEG stream at some offset, as the thumbnail is read. The size
// limit is small (1 to 64), so that the decoder's scaling, the resampler and the
// shrinking on a second thread run for almost every picture; the limit, RGB or RGBA and
// a stop before the decode are chosen from the input's bytes.
#include "picturejob.h"
#include "viewdecode.h"

#include "scratchfile.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// A picture handed to the view: 8-bit, RGB or RGBA (always RGBA when asked for),
// within the limit, and every byte of it readable.
void checkPicture(const SImageHandle& image, int maxSize, bool rgba) {
    if (!image)
        std::abort();
    if (!image->mPixels)
        return;
    if (image->mBitDepth != 8 || (image->mChannels != 3 && image->mChannels != 4) ||
        (rgba && image->mChannels != 4) || image->mWidth < 1 || image->mHeight < 1 ||
        image->mWidth > maxSize || image->mHeight > maxSize)
        std::abort();
    const size_t bytes = size_t(imageByteSize(*image));
    unsigned sum = 0;
    for (size_t i = 0; i < bytes; ++i)
        sum += image->mPixels[i];
    // Keeps the reads from being optimised away.
    volatile unsigned sink = sum;
    (void)sink;
}

// stopped: the job was stopped before its decode, which an unreadable file never reaches.
void checkResult(const SPictureResult& result, int maxSize, bool rgba, bool stopped,
                 bool unreadable) {
    switch (result.mOutcome) {
        case EOutcome::Delivered:
            if (!result.mImage || !result.mImage->mPixels)
                std::abort();
            checkPicture(result.mImage, maxSize, rgba);
            break;
        case EOutcome::Failed:
            if ((stopped && !unreadable) || result.mReason.empty() || result.mImage)
                std::abort();
            break;
        case EOutcome::Cancelled:
            if (!stopped)
                std::abort();
            break;
    }
}

// The choices for one input, spread over its bytes so that every change of the input
// may change them.
struct SChoices {
    uint64_t mBits;
    explicit SChoices(const uint8_t* data, size_t size) : mBits(1469598103934665603ull) {
        for (size_t i = 0; i < size; ++i)
            mBits = (mBits ^ data[i]) * 1099511628211ull;
    }
    unsigned take(unsigned range) {
        const unsigned value = unsigned(mBits % range);
        mBits /= range;
        return value;
    }
};

// A JPEG stream inside the file: the n-th start of image after the first byte, or else
// any offset from just before the file to just past it.
long streamOffset(const uint8_t* data, size_t size, SChoices& choices) {
    unsigned n = choices.take(4);
    for (size_t i = 1; i + 2 < size; ++i) {
        if (data[i] == 0xFF && data[i + 1] == 0xD8 && data[i + 2] == 0xFF) {
            if (n == 0)
                return long(i);
            --n;
        }
    }
    return long(choices.take(unsigned(size) + 3)) - 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One recycler for the whole run, as the program keeps one for every picture: bytes
    // of an earlier picture must never show through in a later one.
    static const auto recycler = std::make_shared<CPixelRecycler>();
    const std::string& path = fuzzscratch::writeScratch(data, size, "view_fuzz");
    SChoices choices(data, size);

    SPictureJob left;
    left.mId = 1;
    left.mFile = path;
    left.mPart = EPicturePart::Left;
    left.mMaxSize = 1 + int(choices.take(64));
    left.mRgba = choices.take(2) == 1;
    // Sometimes the picture is no longer wanted once the preview is there.
    const bool stopLeft = choices.take(8) == 0;
    std::atomic<bool> abortLeft{false};
    bool identified = false, unreadable = false;
    const SPictureResult leftResult =
        runPictureJob(left, recycler, abortLeft, [&](const SPictureFacts& facts) {
            identified = true;
            unreadable = facts.mKind.mKind == EPictureKind::Unreadable;
            if (facts.mThumbnail)
                checkPicture(facts.mThumbnail, left.mMaxSize, left.mRgba);
            if (facts.mKind.mKind == EPictureKind::Mpo && facts.mKind.mSecondOffset <= 0)
                std::abort();
            if (stopLeft)
                abortLeft = true;
        });
    if (!identified)
        std::abort();
    checkResult(leftResult, left.mMaxSize, left.mRgba, stopLeft, unreadable);

    SPictureJob right = left;
    right.mId = 2;
    right.mPart = EPicturePart::Right;
    right.mMaxSize = 1 + int(choices.take(64));
    right.mRgba = choices.take(2) == 1;
    std::atomic<bool> abortRight{false};
    checkResult(runPictureJob(right, recycler, abortRight, nullptr), right.mMaxSize, right.mRgba,
                false, false);

    SViewDecode thumbnail;
    thumbnail.path = path;
    thumbnail.picture = EViewPicture::Thumbnail;
    thumbnail.offset = streamOffset(data, size, choices);
    thumbnail.maxSize = 1 + int(choices.take(64));
    thumbnail.rgba = choices.take(2) == 1;
    std::string why;
    const SImageHandle image = decodeForView(thumbnail, recycler, &why);
    checkPicture(image, thumbnail.maxSize, thumbnail.rgba);
    if (!image->mPixels && why.empty())
        std::abort();
    return 0;
}
