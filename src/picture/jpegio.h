#pragma once
// JPEG decoding of whole files, of a stream at a file offset (the Exif thumbnail) and
// of the second picture of an MPO stereo file. Decoders never throw and never return
// null; on failure they return the failure record's handle. Nothing is shared, so decodes may run
// on several threads at once.
#include "colourprofile.h"
#include "image.h"
#include "imagehandle.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

// Decodes one JPEG stream starting at the file's current position, up to its
// end-of-image marker.
SImageHandle decodeJpegStream(FILE* file);

// What decodeJpegStreamScaled makes of a stream.
struct SJpegDecodeRequest {
    // Called with the picture's full size once the header is read; returns the scale to
    // decode at in eighths (1 to 8; the library shrinks while decoding, which costs
    // less than decoding in full). Empty: full size.
    std::function<int(int width, int height)> mEighths;
    // Gray and CMYK (also YCCK) pictures come out as RGB, so that every result has three
    // channels.
    bool mRgb = false;
    // Every picture as RGBA with opaque alpha (four bytes a pixel), gray and CMYK too.
    bool mRgba = false;
    // A picture with a side above this (when positive) is going to be shrunk after
    // decoding, which hides the small differences of the library's faster transform
    // and plain upsampling: it is decoded with those.
    int mFastAbove = 0;
    // Where the pixels come from; fresh memory when null.
    std::shared_ptr<CPixelRecycler> mRecycler;
    // Checked between groups of rows: once set, the decode stops and fails, so that a
    // picture nobody wants any more frees its core at once.
    const std::atomic<bool>* mAbort = nullptr;
    // Why the decode failed, in words, when it did ("stopped" when mAbort ended it).
    std::string* mWhy = nullptr;
    // Called on the decoding thread whenever more rows are final: image's pixels from the
    // top down to row rows - 1 (the buffer that the result hands over). rows -1: the
    // decode failed and the buffer is about to be freed; nothing may read it any more.
    std::function<void(const SImage& image, int rows)> mRowsDone;
    // A picture whose data ends early (a truncated or damaged file) is decoded to its
    // last row all the same, the missing part grey, as viewers show such files; mWhy
    // then says how much was there ("truncated after 51 %"). Off: the failure record.
    bool mKeepPartial = false;
    // When set: what the stream says of its colours (its ICC profile, whether it is grey
    // or CMYK), filled in once the header is read, also when the decode fails later.
    SPictureColour* mColour = nullptr;
};

// Decodes the stream at the file's position like decodeJpegStream, as the request asks.
// Never null; the handle of the failure record on failure.
SImageHandle decodeJpegStreamScaled(FILE* file, const SJpegDecodeRequest& request);

// What the JPEG stream at the file's position says of its colours, from its header alone.
// The file position is undefined afterwards.
SPictureColour readJpegColour(FILE* file);

// Opens path (8-bit local encoding, UTF-8 here), decodes the stream at offset.
SImageHandle readJpegFile(const char* path, long offset);

// right false: the first picture; right true: the second picture of an MPO file.
SImageHandle readStereoJpegFile(const char* path, bool right);

// File offset of the second picture of an MPO file (from its MP index, else the first
// start of an image after the first picture's stream), or -1 when there is none.
// The file position is undefined afterwards.
long findSecondPicture(FILE* file);
long secondPictureOffset(const char* path);
