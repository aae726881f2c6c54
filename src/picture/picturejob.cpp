#include "picturejob.h"

#include "orientation.h"
#include "viewdecode.h"

namespace {

// What the view says of a file it cannot show, in one form whatever found out:
// "cannot read: " and the reason, in the system's words where the system gave them.
std::string cannotRead(const std::string& why) {
    if (why == "empty file")
        return "cannot read: the file is empty";
    for (const char* known : {"cannot open: ", "cannot read: "})
        if (why.rfind(known, 0) == 0)
            return "cannot read: " + why.substr(std::char_traits<char>::length(known));
    return "cannot read: " + why;
}

}  // namespace

SPictureResult runPictureJob(const SPictureJob& job,
                             const std::shared_ptr<CPixelRecycler>& recycler,
                             const std::atomic<bool>& abort,
                             const std::function<void(const SPictureFacts&)>& facts,
                             const StereoAligner& aligner) {
    SPictureResult result;
    result.mId = job.mId;
    result.mFile = job.mFile;
    result.mPart = job.mPart;
    if (job.mPart == EPicturePart::Alignment) {
        // The pictures as the view has them; one it no longer keeps is decoded again.
        bool stopped = false;
        auto picture = [&](const SImageHandle& kept, EViewPicture which) {
            if (kept && kept->mPixels)
                return kept;
            std::string why;
            SImageHandle image = decodeForView(
                SViewDecode{job.mFile, which, 0, job.mMaxSize, job.mRgba, &abort}, recycler, &why);
            stopped |= !image->mPixels && why == kDecodeStopped;
            return image;
        };
        const SImageHandle left = picture(job.mLeft, EViewPicture::Left);
        const SImageHandle right = picture(job.mRight, EViewPicture::Right);
        // The flag may have been lowered again since it stopped a decode (a read-ahead that
        // became the current picture): what the decode says counts too.
        if (abort.load() || stopped) {
            result.mOutcome = EOutcome::Cancelled;
        } else if (!aligner || !left->mPixels || !right->mPixels) {
            result.mOutcome = EOutcome::Failed;
            result.mReason = aligner ? "cannot decode the pair" : "no aligner";
        } else {
            // A pair stored turned is aligned, and its parallax taken, along its shown width.
            const int orientation = readExif(job.mFile).mOrientation;
            const int shownWidth = turnsSideways(orientation) ? left->mHeight : left->mWidth;
            const double parallax = cameraParallaxPixels(readCameraParallax(job.mFile), shownWidth);
            result.mAlignment = aligner(*left, *right, parallax, orientation);
            result.mOutcome = EOutcome::Delivered;
        }
        return result;
    }
    SViewDecode decode{
        job.mFile, job.mPart == EPicturePart::Left ? EViewPicture::Left : EViewPicture::Right,
        0,         job.mMaxSize,
        job.mRgba, &abort};
    if (job.mPart == EPicturePart::Left) {
        SPictureFacts found;
        found.mKind = identifyPicture(job.mFile);
        if (found.mKind.mKind == EPictureKind::Jpeg || found.mKind.mKind == EPictureKind::Mpo) {
            found.mExif = readExif(job.mFile);
            if (found.mKind.mKind == EPictureKind::Mpo)
                found.mParallax = readCameraParallax(job.mFile);
            // The thumbnail is small: decoded first, it stands in for the picture at once.
            if (found.mExif.mThumbnailOffset > 0) {
                SViewDecode thumbnail{job.mFile, EViewPicture::Thumbnail,
                                      found.mExif.mThumbnailOffset, job.mMaxSize, job.mRgba};
                // Not through the recycler: it keeps a few buffers, and thumbnails would
                // push out the camera-sized ones that are worth keeping.
                SImageHandle image = decodeForView(thumbnail, nullptr);
                if (image->mPixels)
                    found.mThumbnail = std::move(image);
            }
        }
        if (facts)
            facts(found);
        if (found.mKind.mKind == EPictureKind::Unreadable) {
            result.mOutcome = EOutcome::Failed;
            result.mReason = cannotRead(found.mKind.mWhy);
            return result;
        }
        // A plain picture may come at the size it is shown; a stereo pair keeps its
        // detail for the aligner, which measures both views on the same pixels. The box
        // is in the shown orientation: a picture stored turned covers it turned back.
        if (found.mKind.mKind != EPictureKind::Mpo) {
            const bool sideways = turnsSideways(found.mExif.mOrientation);
            decode.coverWidth = sideways ? job.mCoverHeight : job.mCoverWidth;
            decode.coverHeight = sideways ? job.mCoverWidth : job.mCoverHeight;
        }
    }
    // The primary picture of a cut file shows as far as it goes, with a note.
    decode.partial = job.mPart == EPicturePart::Left;
    std::string why;
    SViewSize whole{0, 0};
    SImageHandle image = decodeForView(decode, recycler, &why, &whole);
    if (image->mPixels) {
        result.mOutcome = EOutcome::Delivered;
        result.mWholeWidth = whole.mWidth;
        result.mWholeHeight = whole.mHeight;
        result.mImage = std::move(image);
        result.mReason = why;  // what is missing of a partial picture; else empty
    } else if (abort.load() || why == kDecodeStopped) {
        result.mOutcome = EOutcome::Cancelled;
    } else {
        result.mOutcome = EOutcome::Failed;
        result.mReason = cannotRead(why.empty() ? "cannot decode the picture" : why);
    }
    return result;
}
