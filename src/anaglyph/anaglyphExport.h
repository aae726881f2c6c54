#pragma once
// A stereo pair saved as one anaglyph picture at full resolution: the two pictures
// decoded, composed on the processor as the view shows them, and written as JPEG (with
// a small Exif block that keeps the capture date and camera) or PNG. For the batch
// converter and the viewer's export alike; no GL, no Qt.
#include "anaglyphImage.h"

#include <string>

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
};

// Where the two views come from.
struct SStereoSource {
    std::string mLeft;   // a stereo MPO file, or the left picture (JPEG or PNG)
    std::string mRight;  // empty: the second picture of the MPO file; else the right picture
};

// How long the steps took, in seconds (decoding both pictures, the composite, the
// encoding, the write).
struct SExportTimes {
    double mDecode = 0, mPass = 0, mEncode = 0, mWrite = 0;
};

enum class EExportResult {
    Written,  // the output holds the anaglyph
    Kept,     // the output existed and mOverwrite was off: nothing was done
    Failed,   // nothing was written; *error says why
};

// Writes the anaglyph of source to output, JPEG or PNG by the output's extension
// (".jpg", ".jpeg", ".png", any case). The file appears whole or not at all. Never writes
// over one of the source's files. error receives one line saying why it failed; a
// picture that does not decode has been reported by the decoder too.
EExportResult exportAnaglyph(const SAnaglyphExport& options, const SStereoSource& source,
                             const std::string& output, std::string* error,
                             SExportTimes* times = nullptr);
