#pragma once
// A stereo pair saved at full resolution: the two pictures decoded, aligned when asked,
// and written as one anaglyph composed on the processor as the view shows it (JPEG or
// PNG), as the two pictures side by side (JPEG, or JPS with its stereo marker), or as a
// Multi-Picture file. Every output carries the left photo's Exif block (date, camera,
// lens, exposure, position; upright, with its own size), a PNG in an eXIf chunk. For the
// batch converter and the viewer's export alike; no GL, no Qt.
#include "anaglyphImage.h"
#include "stereoalignment.h"

#include <atomic>
#include <optional>
#include <string>

// What is written, and the output names each layout takes.
enum class EStereoLayout {
    Anaglyph,       // one anaglyph picture: .jpg, .jpeg or .png
    Parallel,       // left | right side by side, for viewing with parallel eyes: .jpg, .jpeg, .jps
    Cross,          // right | left, for cross-eyed viewing: .jpg, .jpeg or .jps
    Mpo,            // both pictures in a Multi-Picture file, the left one first: .mpo
    OverUnder,      // left above right: .jpg, .jpeg, .jps or .png
    HalfParallel,   // left | right, each squeezed to half width (3D TVs): as Parallel
    HalfOverUnder,  // left above right, each squeezed to half height: as OverUnder
    Rows,           // the left view on the even rows, counted from 0 at the top: .png
    Columns,        // the left view on the even columns: .png
    Checkerboard,   // the left view where row and column add up to an even number: .png
};

struct SAnaglyphExport {
    // The composite; its orientation is replaced by the pictures' Exif orientation, so
    // that the saved pixels stand upright as on the screen. An MPO file's two pictures
    // stand as its first one; a pair of separate pictures is turned each by its own.
    SAnaglyphSettings mAnaglyph;
    int mQuality = 90;        // JPEG quality, 1..100
    bool mOverwrite = false;  // replace an output that exists (never an input)
    // A pair of separate pictures that differ in size once upright fails, unless this
    // fits the right one to the left one's size.
    bool mFitRight = false;
    EStereoLayout mLayout = EStereoLayout::Anaglyph;
    // Bring the right picture onto the left one and cut both to the part that both eyes
    // see (alignedOverlap, rounded inwards to whole pixels) before anything is composed
    // or turned. A pair that cannot be aligned is written as it is.
    bool mAlign = false;
    // With mAlign: the alignment to apply, in pixels of the left picture as stored (see
    // mMeasuredWidth); none: found from the decoded pictures.
    std::optional<SStereoAlignment> mAlignment;
    // The size of the left picture as stored that mAlignment and mAnaglyph.mShift are in
    // pixels of, when that is not the size the picture decodes to (a view that shrank it
    // measured them there); 0: the decoded size. Both are scaled from this size to the
    // decoded one, whatever the file's Exif says of its size.
    int mMeasuredWidth = 0, mMeasuredHeight = 0;
    // For a host that exports in the background. mCancel true stops the export between
    // its steps: nothing is written and it fails with the words "cancelled". mProgress
    // receives the share of the work done, in percent.
    const std::atomic<bool>* mCancel = nullptr;
    std::atomic<int>* mProgress = nullptr;
};

// Where the two views come from.
struct SStereoSource {
    std::string mLeft;   // a stereo MPO file, or the left picture (JPEG or PNG)
    std::string mRight;  // empty: the second picture of the MPO file; else the right picture
};

// How long the steps took, in seconds (decoding both pictures, the composite or the
// layout, the encoding, the write, and finding and applying the alignment).
struct SExportTimes {
    double mDecode = 0, mPass = 0, mEncode = 0, mWrite = 0, mAlign = 0;
};

// The two pictures that an export is made from.
struct SStereoPair {
    // 8-bit RGB of one size, as the left picture is stored (not turned): the right one
    // turned and, with mFitRight, resized to match it; with mAlign and an alignment that
    // holds, the right one warped onto the left one and both cut to what both eyes see.
    SImageHandle mLeft, mRight;
    int mOrientation = 1;  // the Exif orientation that turns both upright
    // The views' shift for these pictures: the settings' one, scaled to their size.
    float mShift = 0.0f;
    // With mAlign: the alignment applied, or (mOk false) why the pair is as it was.
    SStereoAlignment mAlignment;
};

// The pair as exportAnaglyph makes its output from it, without writing anything; false
// with *error (one line) when a picture cannot be read. composeAnaglyph of the two with
// the settings' mOrientation and mShift set to pair->mOrientation and pair->mShift is the
// anaglyph written.
bool prepareStereoPair(const SAnaglyphExport& options, const SStereoSource& source,
                       SStereoPair* pair, std::string* error, SExportTimes* times = nullptr);

enum class EExportResult {
    Written,  // the output holds the anaglyph or the layout
    Kept,     // the output existed and mOverwrite was off: nothing was done
    Failed,   // nothing was written; *error says why
};

// Writes source to output in the options' layout, the format by the output's extension
// (any case; see EStereoLayout). The file appears whole or not at all. Never writes over
// one of the source's files. error receives one line saying why it failed; a picture
// that does not decode has been reported by the decoder too. With mAlign, *alignment
// receives the alignment applied, or the refusal that left the pair as it was.
EExportResult exportAnaglyph(const SAnaglyphExport& options, const SStereoSource& source,
                             const std::string& output, std::string* error,
                             SExportTimes* times = nullptr, SStereoAlignment* alignment = nullptr);
