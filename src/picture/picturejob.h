#pragma once
// The work of one picture request, as a loader thread does it: what the file is, its
// Exif record and thumbnail (for a left request), then the picture itself at the size
// the view shows it. Toolkit-free, so that the view's tests run it on their own thread.
#include "picturerequests.h"
#include "viewdecode.h"

#include <atomic>
#include <functional>
#include <memory>

struct SPictureJob {
    RequestId mId = 0;
    std::string mFile;
    EPicturePart mPart = EPicturePart::Left;
    int mMaxSize = kViewMaxSize;
    bool mRgba = true;           // four bytes a pixel, as textures take them fastest
    SImageHandle mLeft, mRight;  // Alignment: the pair to align
    // Left only: the device pixels the picture is shown on (see SPictureSize); 0: none.
    int mCoverWidth = 0, mCoverHeight = 0;
};

// Finds the alignment of a stereo pair; the picture input does not know how.
// parallaxPixels: the camera's own shift for the pair in pixels of these pictures along the
// shown width (see cameraParallaxPixels), for pairs that give too few matches; NaN when it
// has none. orientation: the pair's Exif orientation, so that it is aligned as it is shown.
using StereoAligner = std::function<SStereoAlignment(const SImage& left, const SImage& right,
                                                     double parallaxPixels, int orientation)>;

// Runs the job to its end. A left job calls facts() once, before decoding the picture
// (the preview can show meanwhile). Once abort is set the decode stops and the outcome
// is Cancelled; a decode that finished first is delivered all the same.
// An alignment job needs an aligner; without one it fails.
SPictureResult runPictureJob(const SPictureJob& job,
                             const std::shared_ptr<CPixelRecycler>& recycler,
                             const std::atomic<bool>& abort,
                             const std::function<void(const SPictureFacts&)>& facts,
                             const StereoAligner& aligner = nullptr);
