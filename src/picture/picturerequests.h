#pragma once
// How the image view asks for pictures and hears of them, without knowing threads or a
// widget toolkit. Every request has an id and ends exactly once: delivered, failed (with
// the reason) or cancelled. A request for the left (primary) picture also tells, before
// it ends, what the file is: its kind, its Exif record and its Exif thumbnail, so that a
// preview shows while the picture itself is decoded.
#include "exif.h"
#include "imagehandle.h"
#include "parallax.h"
#include "picturekind.h"
#include "stereoalignment.h"

#include <cstdint>
#include <string>

// Left: the primary picture of a JPEG, MPO or PNG file; Right: the second view of a
// stereo MPO file; Alignment: how the right picture of a stereo pair is brought onto the
// left one, found from the two pictures that the request hands over.
enum class EPicturePart { Left, Right, Alignment };

// Current: the picture the window shows now; the newest such request is served first.
// ReadAhead: a picture likely to be shown next; decoded only while no current request
// is waiting or running, so that it never takes a core from the picture on the screen.
enum class EPriority { Current, ReadAhead };

enum class EOutcome { Delivered, Failed, Cancelled };

using RequestId = uint64_t;

// What a left request learns of its file before the picture is decoded.
struct SPictureFacts {
    SPictureKind mKind;
    SExifInfo mExif;
    SImageHandle mThumbnail;    // the Exif thumbnail, decoded; null when there is none
    SCameraParallax mParallax;  // stereo pairs: what the camera's maker note says
};

struct SPictureResult {
    RequestId mId = 0;
    std::string mFile;  // as requested: the file name's bytes
    EPicturePart mPart = EPicturePart::Left;
    EOutcome mOutcome = EOutcome::Cancelled;
    SImageHandle mImage;  // Delivered only
    std::string mReason;  // Failed: why, in words; Delivered: what a cut file lacks, or empty
    SStereoAlignment mAlignment;  // Alignment, delivered: found or refused (with mWhy)
    // Left and Right, delivered: the picture's size at full detail within the request's
    // maxSize. A picture decoded at the size shown (see SPictureSize) is smaller.
    int mWholeWidth = 0, mWholeHeight = 0;
};

// How large a requested picture comes: no side above mMaxSize. With a cover box (the
// device pixels it is shown on, in the orientation it is shown in), a picture that is not
// a stereo pair may come smaller, as long as it covers the box when fitted into it.
struct SPictureSize {
    int mMaxSize = 0;
    int mCoverWidth = 0, mCoverHeight = 0;
};

// Where results go: called on the thread that made the requests, never inside one of
// the calls of CPictureRequests.
class CPictureSink {
public:
    virtual ~CPictureSink() = default;
    virtual void pictureIdentified(RequestId id, const std::string& file,
                                   const SPictureFacts& facts) = 0;
    virtual void pictureFinished(const SPictureResult& result) = 0;
};

class CPictureRequests {
public:
    virtual ~CPictureRequests() = default;
    // file: the name's bytes as open() takes them; size: how large the result may be.
    virtual RequestId request(const std::string& file, EPicturePart part, EPriority priority,
                              SPictureSize size) = 0;
    // maxSize: no side of the result above it, and the picture in full within it.
    RequestId request(const std::string& file, EPicturePart part, EPriority priority, int maxSize) {
        return request(file, part, priority, SPictureSize{maxSize});
    }
    // The alignment of the pair left and right (the pictures as the view has them) of file.
    virtual RequestId requestAlignment(const std::string& file, SImageHandle left,
                                       SImageHandle right, EPriority priority) = 0;
    // A read-ahead request becomes the current picture's, or the other way round.
    // Nothing for a request that has ended.
    virtual void setPriority(RequestId id, EPriority priority) = 0;
    // Ends the request as cancelled, stopping its decode where it is; nothing for a
    // request that has ended (its result may still be on its way).
    virtual void cancel(RequestId id) = 0;
};
