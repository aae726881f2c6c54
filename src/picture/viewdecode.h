#pragma once
// Pictures as the view shows them: every file as 8-bit RGB or RGBA, top row first, no
// side above the texture limit. Runs on any thread; nothing is shared but the recycler.
#include "imagehandle.h"

#include <atomic>
#include <memory>
#include <string>

// Left: the primary picture (a JPEG or MPO from offset 0, or a PNG); Right: the second
// picture of an MPO file; Thumbnail: the JPEG stream at offset (the Exif thumbnail).
enum class EViewPicture { Left, Right, Thumbnail };

// The largest side of a picture as the view shows it, whatever the driver allows: the
// view, the loader and the decoder must agree on it, or a picture would be shrunk twice.
// Larger pictures are shrunk while they decode.
constexpr int kViewMaxSize = 4416;

struct SViewDecode {
    std::string path;  // 8-bit local encoding
    EViewPicture picture = EViewPicture::Left;
    long offset = 0;             // Thumbnail only
    int maxSize = kViewMaxSize;  // largest side of the result
    // Four bytes a pixel for every picture (alpha opaque where the file has none), as
    // GL textures take them fastest.
    bool rgba = false;
    // Once set, a JPEG decode stops between rows and the result is the failure record.
    const std::atomic<bool>* abort = nullptr;
    // Left: a JPEG or PNG whose data ends early is shown as far as it goes, the rest
    // grey; *why then says how much there was ("truncated after 51 %").
    bool partial = false;
    // The device pixels the picture is shown on, fitted (0: no such box). A JPEG is then
    // decoded at the smallest of the decoder's fast scales whose output still covers the
    // picture fitted into this box, and kept at that size: the screen gets all the detail
    // it can show for a fraction of the decode, and more is asked for when the user
    // zooms in.
    int coverWidth = 0, coverHeight = 0;
};

struct SViewSize {
    int mWidth;
    int mHeight;
};

// The size a picture of width x height is shown at: unchanged when both sides fit
// maxSize, else shrunk with its aspect kept so that the longer side is maxSize.
SViewSize viewTargetSize(int width, int height, int maxSize);

// The smallest of the decoder's fast scales (1/8, 2/8, 4/8 and 8/8) whose output
// (sides rounded up) still covers targetWidth x targetHeight.
int jpegScaleEighths(int width, int height, int targetWidth, int targetHeight);

// 8-bit RGB, or RGBA for a PNG with transparency, in sRGB: a picture whose file names
// other colours (an ICC profile; a PNG's gAMA and cHRM) is converted (see
// colourprofile.h for which), and one that names none is taken as sRGB; sides <= maxSize. Pictures
// above the limit are reported once on the console and shrunk: JPEGs by the decoder's own scaling
// first where that is fast, then by resampling to the exact size. Never null: the failure record's
// handle (width -1, no pixels) when the file is missing or broken; *why then says why
// in words ("stopped" when request.abort ended it). A partial picture (request.partial)
// comes with pixels and *why saying what is missing.
// *whole: the size the picture has in the view at full detail (its size within maxSize),
// whatever size this decode has.
SImageHandle decodeForView(const SViewDecode& request,
                           const std::shared_ptr<CPixelRecycler>& recycler,
                           std::string* why = nullptr, SViewSize* whole = nullptr);

// The size that covers a picture of width x height fitted into the box, within the
// picture's own size; the picture's size when the box is empty.
SViewSize coverSize(int width, int height, int boxWidth, int boxHeight);
