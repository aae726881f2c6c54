// The image view's pictures: the cache, the requests that fill it, the uploads and what
// the frames report of the current picture.
#include "CRuvello.h"

#include "CViewRows.h"
#include "orientation.h"
#include "diagnostics.h"
#include "glHelper.h"
#include "picturejob.h"
#include "viewdecode.h"

#include <algorithm>

namespace {

bool usable(const SImageHandle& h) {
    return h && h->mPixels && h->mWidth > 0 && h->mHeight > 0 &&
           (h->mChannels == 3 || h->mChannels == 4) && h->mBitDepth == 8;
}

}  // namespace

SPictureEntry* CRuvello::current() {
    return mCache.empty() ? nullptr : &mCache.back();
}

const SPictureEntry* CRuvello::currentEntry() const {
    return mCache.empty() ? nullptr : &mCache.back();
}

SPictureEntry* CRuvello::entryFor(const std::string& filename) {
    for (auto it = mCache.rbegin(); it != mCache.rend(); ++it)
        if (it->fileName == filename)
            return &*it;
    return nullptr;
}

SPictureEntry& CRuvello::entryOf(const std::string& filename, bool makeCurrent) {
    auto found = std::find_if(mCache.begin(), mCache.end(),
                              [&](const SPictureEntry& e) { return e.fileName == filename; });
    if (found != mCache.end()) {
        // A hit keeps everything the entry has: nothing is decoded again.
        if (makeCurrent && found != std::prev(mCache.end())) {
            SPictureEntry entry = std::move(*found);
            mCache.erase(found);
            mCache.push_back(std::move(entry));
            return mCache.back();
        }
        return *found;
    }
    SPictureEntry entry;
    if (mCache.size() >= kCacheSize) {
        // The least recently used entry makes room, its textures reused; never the picture
        // on the screen, which stands in until the new one can be drawn.
        const auto old = std::find_if(mCache.begin(), mCache.end(), [&](const SPictureEntry& e) {
            return e.fileName != mLastShown;
        });
        cancelRequests(*old);
        static_cast<SEntryTextures&>(entry) = std::move(static_cast<SEntryTextures&>(*old));
        mCache.erase(old);
    }
    entry.fileName = filename;
    // A read-ahead goes just before the current entry, so that it outlives the next few
    // selections.
    const auto at = makeCurrent || mCache.empty() ? mCache.end() : std::prev(mCache.end());
    return *mCache.insert(at, std::move(entry));
}

void CRuvello::selectPicture(const std::string& filename) {
    // A shift belongs to the picture it was made for: the user comes back to it, and the
    // next picture starts from its own alignment.
    if (filename != mFileName) {
        if (mShift != 0.0f)
            mShifts[mFileName] = mShift;
        else
            mShifts.erase(mFileName);
        mShift = shiftOf(filename);
    }
    mFileName = filename;
    if (filename == mReadAhead)
        mReadAhead.clear();  // read ahead for this: it is the current picture now
    if (filename.empty())
        return;
    entryOf(filename, true);
    settleRequests();
    // Asked for at once rather than in the paint that follows. Before GL set-up only when
    // the size the view will have is known: the texture limit is taken as the largest
    // the view uses, and a smaller one at set-up asks again.
    if (mRequests && (glReady() || mExpectedWidth > 0))
        requestMissing(*current(), EPriority::Current);
}

void CRuvello::setReadAhead(const std::string& filename) {
    mReadAhead = filename == mFileName ? std::string() : filename;
    settleRequests();
}

void CRuvello::requestCurrent() {
    if (SPictureEntry* e = current(); e && mRequests && glReady())
        requestMissing(*e, EPriority::Current);
}

void CRuvello::settleRequests() {
    if (!mRequests)
        return;
    for (SPictureEntry& e : mCache) {
        if (&e == current()) {
            for (RequestId id : {e.leftRequest, e.rightRequest, e.alignRequest, e.detailRequest})
                if (id)
                    mRequests->setPriority(id, EPriority::Current);
        } else if (e.fileName != mReadAhead) {
            cancelRequests(e);
        } else {
            for (RequestId id : {e.leftRequest, e.rightRequest, e.alignRequest})
                if (id)
                    mRequests->setPriority(id, EPriority::ReadAhead);
        }
    }
}

void CRuvello::cancelRequests(SPictureEntry& e) {
    // The source ends them as cancelled; the entry stops waiting for them now.
    for (RequestId* id : {&e.leftRequest, &e.rightRequest, &e.alignRequest, &e.detailRequest}) {
        if (*id && mRequests)
            mRequests->cancel(*id);
        *id = 0;
    }
}

bool CRuvello::needsRight(const SPictureEntry& e) const {
    return mStereo && e.identified && e.kind.mKind == EPictureKind::Mpo && !e.rightFailed;
}

bool CRuvello::complete(const SPictureEntry& e) const {
    return e.leftLoaded && (e.rightLoaded || !needsRight(e)) && !awaitsAlignment(e);
}

bool CRuvello::awaitsAlignment(const SPictureEntry& e) const {
    return mRequests && mStereo && mAutoAlign && e.identified &&
           e.kind.mKind == EPictureKind::Mpo && !e.leftFailed && !e.rightFailed && !e.aligned;
}

void CRuvello::requestMissing(SPictureEntry& e, EPriority priority) {
    if (!mRequests) {
        decodeHere(e);
        return;
    }
    const bool leftMissing = !e.leftLoaded && !e.pendingLeft && !e.leftFailed;
    if (leftMissing && e.leftRequest == 0)
        e.leftRequest = mRequests->request(e.fileName, EPicturePart::Left, priority, leftSize());
    const bool rightMissing = needsRight(e) && !e.rightLoaded && !e.pendingRight;
    if (rightMissing && e.rightRequest == 0)
        e.rightRequest = mRequests->request(e.fileName, EPicturePart::Right, priority, mMaxTexSize);
    // A pair whose alignment was cancelled (passed over while read ahead) may still hold
    // its pixels on their way to the textures; one shown before it was to be aligned (in
    // mono, say) has them only in textures: the aligner gets them decoded again.
    if (awaitsAlignment(e) && !e.alignRequest) {
        if (!e.keptLeft && e.pendingLeft)
            e.keptLeft = e.pendingLeft;
        if (!e.keptRight && e.pendingRight)
            e.keptRight = e.pendingRight;
        if (e.leftLoaded && !e.keptLeft && !e.leftRequest)
            e.leftRequest =
                mRequests->request(e.fileName, EPicturePart::Left, priority, mMaxTexSize);
        if (e.rightLoaded && !e.keptRight && !e.rightRequest)
            e.rightRequest =
                mRequests->request(e.fileName, EPicturePart::Right, priority, mMaxTexSize);
    }
    requestAlignment(e, priority);
}

bool CRuvello::wantsAlignment(const SPictureEntry& e) const {
    return awaitsAlignment(e) && e.keptLeft && e.keptRight;
}

void CRuvello::requestAlignment(SPictureEntry& e, EPriority priority) {
    if (!mRequests || !wantsAlignment(e) || e.alignRequest)
        return;
    e.alignRequest = mRequests->requestAlignment(e.fileName, e.keptLeft, e.keptRight, priority);
    // The request holds them now; the entry need not.
    e.keptLeft.reset();
    e.keptRight.reset();
}

const SStereoAlignment* CRuvello::drawnAlignment(const SPictureEntry& e) const {
    const bool pair =
        e.kind.mKind == EPictureKind::Mpo && e.leftLoaded && e.rightLoaded && !e.rightFailed;
    return mAutoAlign && pair && e.aligned && e.alignment.mOk ? &e.alignment : nullptr;
}

void CRuvello::setAutoAlign(bool on) {
    mAutoAlign = on;
    if (SPictureEntry* e = current(); e && glReady() && mRequests)
        requestMissing(*e, EPriority::Current);
}

void CRuvello::decodeHere(SPictureEntry& e) {
    // The loader threads' own path, run in this thread: the same facts, the same pixels.
    const std::atomic<bool> never{false};
    if (!e.leftLoaded && !e.pendingLeft && !e.leftFailed) {
        const SPictureJob job{++mLocalIds, e.fileName, EPicturePart::Left, mMaxTexSize, true,
                              nullptr,     nullptr};
        const SPictureResult result = runPictureJob(
            job, nullptr, never, [&](const SPictureFacts& facts) { applyFacts(e, facts); });
        applyResult(e, result);
        ++mSyncDecodes;
    }
    if (needsRight(e) && !e.rightLoaded && !e.pendingRight) {
        const SPictureJob job{++mLocalIds, e.fileName, EPicturePart::Right, mMaxTexSize, true,
                              nullptr,     nullptr};
        applyResult(e, runPictureJob(job, nullptr, never, nullptr));
        ++mSyncDecodes;
    }
}

void CRuvello::applyFacts(SPictureEntry& e, const SPictureFacts& facts) {
    e.identified = true;
    e.kind = facts.mKind;
    e.info = facts.mExif;
    e.parallax = facts.mParallax;
    if (facts.mThumbnail && !e.leftLoaded && !e.thumbnailShown)
        e.pendingThumbnail = facts.mThumbnail;
}

void CRuvello::applyResult(SPictureEntry& e, const SPictureResult& result) {
    if (result.mPart == EPicturePart::Alignment) {
        if (e.alignRequest == result.mId)
            e.alignRequest = 0;
        if (result.mOutcome == EOutcome::Cancelled)
            return;  // asked for again when the entry is shown
        e.aligned = true;
        e.alignment = result.mAlignment;
        if (result.mOutcome == EOutcome::Failed) {
            e.alignment.mOk = false;
            e.alignment.mWhy = result.mReason;
        }
        // Found or refused: the pictures are not needed for it any more.
        e.keptLeft.reset();
        e.keptRight.reset();
        return;
    }
    if (result.mId == e.detailRequest && result.mId != 0) {
        e.detailRequest = 0;
        // More of a picture already on the screen: it replaces the texture in one frame.
        if (result.mOutcome == EOutcome::Delivered && usable(result.mImage))
            e.pendingDetail = result.mImage;
        return;
    }
    const bool left = result.mPart == EPicturePart::Left;
    RequestId& id = left ? e.leftRequest : e.rightRequest;
    if (id == result.mId)
        id = 0;
    switch (result.mOutcome) {
        case EOutcome::Delivered:
            // The view-sized pixels go to the aligner as soon as both views are here,
            // before either is shown: a pair is never on the screen unaligned.
            if (awaitsAlignment(e) && usable(result.mImage)) {
                (left ? e.keptLeft : e.keptRight) = result.mImage;
            } else if (awaitsAlignment(e)) {
                // Nothing to align: the pair shows as it is stored.
                e.aligned = true;
                e.alignment.mOk = false;
                e.alignment.mWhy = "the pair has no usable pixels";
            }
            if (left && !e.leftLoaded && !e.pendingLeft) {
                e.pendingLeft = result.mImage;
                e.wholeWidth = result.mWholeWidth;
                e.wholeHeight = result.mWholeHeight;
                e.partial = result.mReason;
                if (!e.partial.empty())
                    RUV_WARNING(e.fileName + ": " + e.partial);
            } else if (!left && !e.rightLoaded && !e.pendingRight) {
                e.pendingRight = result.mImage;
            }
            break;
        case EOutcome::Failed:
            if (left) {
                e.leftFailed = true;
                e.failure = result.mReason;
                RUV_WARNING("cannot show " + e.fileName + ": " + result.mReason);
            } else if (!e.rightLoaded && !e.rightFailed) {
                e.rightFailed = true;
                RUV_WARNING("no second picture in " + e.fileName + " (" + result.mReason +
                            "); it is shown in mono");
            }
            break;
        case EOutcome::Cancelled:
            break;
    }
}

void CRuvello::pictureIdentified(RequestId id, const std::string& file,
                                 const SPictureFacts& facts) {
    SPictureEntry* e = entryFor(file);
    (void)id;  // facts are the file's, whichever request found them
    if (!e || e->identified)
        return;
    applyFacts(*e, facts);
    mRepaint |= e == current() || pictureComplete();
    // A stereo pair's second view is asked for as soon as the file is known to be one.
    if (e == current())
        requestMissing(*e, EPriority::Current);
    else if (file == mReadAhead)
        requestMissing(*e, EPriority::ReadAhead);
}

void CRuvello::pictureFinished(const SPictureResult& result) {
    if (SPictureEntry* e = entryFor(result.mFile)) {
        applyResult(*e, result);
        mRepaint |= (e == current() || pictureComplete()) && result.mOutcome != EOutcome::Cancelled;
        if (e != current() && e->fileName == mReadAhead)
            requestAlignment(*e, EPriority::ReadAhead);
    }
    // Whatever ended, the current picture never waits for nothing.
    if (SPictureEntry* e = current(); e && glReady())
        requestMissing(*e, EPriority::Current);
}

void CRuvello::updatePictureInfo(const std::string& filename, const SExifInfo& info) {
    if (SPictureEntry* entry = entryFor(filename))
        entry->info = info;
}

bool CRuvello::isLeftLoaded() const {
    const SPictureEntry* e = currentEntry();
    return e && e->leftLoaded;
}

bool CRuvello::isRightLoaded() const {
    const SPictureEntry* e = currentEntry();
    return e && e->rightLoaded;
}

bool CRuvello::wantsRightPicture() const {
    const SPictureEntry* e = currentEntry();
    return e && needsRight(*e);
}

bool CRuvello::pictureComplete() const {
    const SPictureEntry* e = currentEntry();
    return mFileName.empty() || !e || complete(*e);
}

bool CRuvello::waiting() const {
    const SPictureEntry* e = currentEntry();
    if (!e || complete(*e))
        return false;
    // Pixels that arrived wait for the next paint; without requests that paint decodes.
    return e->leftRequest || e->rightRequest || e->alignRequest || e->pendingLeft ||
           e->pendingRight || e->keptLeft || e->keptRight || !mRequests || !glReady();
}

void CRuvello::frameDone() {
    if (!mRequests || !glReady() || !pictureComplete())
        return;
    // The current pair's alignment first, then the read-ahead: neither before the frame
    // with the whole picture is on the screen.
    if (SPictureEntry* e = current())
        requestAlignment(*e, EPriority::Current);
    if (mReadAhead.empty())
        return;
    SPictureEntry& ahead = entryOf(mReadAhead, false);
    requestMissing(ahead, EPriority::ReadAhead);
    requestAlignment(ahead, EPriority::ReadAhead);
}

bool CRuvello::hasNewFrame() const {
    const SPictureEntry* e = currentEntry();
    if (!e || !glReady())
        return true;
    return e->leftLoaded || e->thumbnailShown || e->pendingLeft || e->pendingThumbnail ||
           e->leftFailed;
}

bool CRuvello::takeRepaintRequest() {
    const bool repaint = mRepaint;
    mRepaint = false;
    return repaint;
}

bool CRuvello::takeShownChange(SShownPicture& shown) {
    if (!mShownChanged)
        return false;
    mShownChanged = false;
    shown = mShown;
    return true;
}

void CRuvello::noteShown() {
    const SPictureEntry* e = entryToShow();
    if (!e || e != currentEntry())
        return;  // the previous picture still stands in
    SShownPicture now;
    now.file = e->fileName;
    now.state = e->leftFailed                   ? EShown::Failed
                : e->leftLoaded && complete(*e) ? EShown::Full
                                                : EShown::Preview;
    // A picture that failed has no size: the title names the file alone.
    if (now.state != EShown::Failed)
        displaySize(*e, now.width, now.height);
    now.texWidth = e->leftWidth;
    now.info = e->info;
    now.parallax = e->parallax;
    now.kind = e->kind.mKind;
    now.stereo = e->kind.mKind == EPictureKind::Mpo && !e->rightFailed;
    now.reason = e->leftFailed ? e->failure : std::string();
    now.partial = e->leftLoaded && !e->leftFailed ? e->partial : std::string();
    if (mStereo && e->kind.mKind == EPictureKind::Mpo && e->aligned && mAutoAlign) {
        now.aligned = true;
        now.alignment = e->alignment;
    }
    if (mShownValid && now == mShown)
        return;
    mShown = now;
    mShownValid = mShownChanged = true;
}

void CRuvello::display() {
    if (!mFileName.empty())
        entryOf(mFileName, true);
    if (mFilterDirty) {
        mFilterDirty = false;
        for (SPictureEntry& e : mCache)
            for (GLuint texture : {e.texLeft.get(), e.texRight.get(), e.texThumb.get()})
                if (texture != 0) {
                    glBindTexture(GL_TEXTURE_2D, texture);
                    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER,
                                    mNearest ? GL_NEAREST : GL_LINEAR);
                }
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    SPictureEntry* e = current();
    if (!e)
        return;
    for (SPictureEntry& entry : mCache)
        uploadPending(entry);
    // After the uploads: pixels that went into textures and are still to be aligned are
    // asked for again in this frame, not whenever something else wakes the view.
    requestMissing(*e, EPriority::Current);
    // The size the picture is drawn at is known now: the frame shows it.
    int w = 1, h = 1;
    if (const SPictureEntry* shown = entryToShow()) {
        mLastShown = shown->fileName;
        displaySize(*shown, w, h);
        if (w != mImageWidth || h != mImageHeight) {
            mImageWidth = std::max(w, 1);
            mImageHeight = std::max(h, 1);
            fitToWindow();
        }
    }
    // With the zoom this frame draws at: the screen may show more than the texture holds.
    requestDetail(*e);
    noteShown();
}

void CRuvello::displaySize(const SPictureEntry& e, int& w, int& h) const {
    const bool preview = e.thumbnailShown && !e.leftLoaded;
    // A picture decoded at the size shown is drawn at its whole size, as a larger decode
    // of it would be.
    const bool whole = e.leftLoaded && !e.leftFailed && e.wholeWidth > 0 && e.wholeHeight > 0;
    w = preview ? e.thumbWidth : whole ? e.wholeWidth : e.leftWidth;
    h = preview ? e.thumbHeight : whole ? e.wholeHeight : e.leftHeight;
    if (preview && e.info.mPixelXDimension > 0 && e.info.mPixelYDimension > 0) {
        // The preview takes the size of the picture it stands for, so nothing jumps
        // when the picture replaces it. Exif states the stored size, before turning.
        const SViewSize size =
            viewTargetSize(e.info.mPixelXDimension, e.info.mPixelYDimension, mMaxTexSize);
        w = size.mWidth;
        h = size.mHeight;
    }
    if (turnsSideways(e.info.mOrientation))
        std::swap(w, h);
}

std::vector<std::string> CRuvello::viewNotes() const {
    std::vector<std::string> notes = CApp::viewNotes();
    const SPictureEntry* e = entryToShow();
    if (!e || e != currentEntry() || !e->leftLoaded)
        return notes;  // nothing of the current picture on the screen yet
    const std::string& why = e->leftFailed ? e->failure : e->partial;
    if (why.empty())
        return notes;
    const size_t slash = e->fileName.rfind('/');
    notes.push_back(slash == std::string::npos ? e->fileName : e->fileName.substr(slash + 1));
    notes.push_back(why);
    return notes;
}

const SPictureEntry* CRuvello::entryToShow() const {
    const SPictureEntry* e = currentEntry();
    if (!e)
        return nullptr;
    auto drawable = [](const SPictureEntry& entry) {
        return entry.leftLoaded || entry.thumbnailShown;
    };
    if (drawable(*e))
        return e;
    // The last picture shown stays until something of the new one can be drawn, however
    // many were selected in between without being decoded.
    for (const SPictureEntry& stand : mCache)
        if (&stand != e && stand.fileName == mLastShown && drawable(stand))
            return &stand;
    return nullptr;
}
