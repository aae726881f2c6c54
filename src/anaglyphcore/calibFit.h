#pragma once
// From the user's matches to the filters and the display gamma, without GL: what a
// patch shows, the fit of both eyes' matches, and a calibration file loaded and fitted
// in one step, for the viewer's start-up and for programs without a window.
#include "calibFile.h"
#include "calibModel.h"

#include <string>
#include <vector>

// What a patch shows: its colour, and the grey of the face over it (0..1). index is the
// patch's place in its eye's list: in colour adjustment the grey is its group's.
SRgb calibPatchColor(const SCalibPatch& patch, bool adjustGray);
float calibPatchGray(const SCalibPatch& patch, int index, bool adjustGray);

struct SCalibFit {
    float mFilter[2][3] = {};  // per eye (left, right): red, green, blue transmissions
    float mGamma = 0.0f;
    bool mSuccess = false;   // the fitter's own verdict: its last derivatives were numbers
    bool mPositive = false;  // all six transmissions above zero
    double mSpread = 0.0;    // of the residuals on 0..1; no number for fewer than two rows
    // The fitter's parameters as it left them: left red and green, right red and green,
    // gamma; the fields above are these in single precision.
    double mParameters[5] = {};
};

// Fits the matches of both eyes, always from the same start, so that the same matches
// give the same result.
SCalibFit fitCalibration(const std::vector<SCalibPatch>& left,
                         const std::vector<SCalibPatch>& right, bool adjustGray);

// How much of the other eye's view each filter lets through, relative to its own view:
// the left (red) filter's green and blue over its red, the right (cyan) filter's red over
// its green and blue. No number when a filter passes nothing of its own colours.
struct SCalibCrosstalk {
    float mLeft = 0.0f, mRight = 0.0f;
};
SCalibCrosstalk calibCrosstalk(const float (&filter)[2][3]);

// The largest crosstalk a usable fit may leave in either eye.
constexpr float kMaxCalibCrosstalk = 0.5f;

// Whether the filters and the gamma can drive the anaglyph: all numbers, the gamma in a
// range that displays have, and filters that keep the eyes' views apart (crosstalk at most
// kMaxCalibCrosstalk). Otherwise false, and *why says what is wrong.
bool calibFitUsable(const SCalibFit& fit, std::string* why);

// "left filter r g b, right filter r g b, gamma g": the result on one line.
std::string calibFitSummary(const SCalibFit& fit);

struct SLoadedCalibration {
    SCalibFileRead mFile;
    SCalibFit mFit;
};

// Reads and fits a calibration file; false with *why (naming the file) when it cannot be
// read or its fit gives no usable filters. Prints nothing: the notes of reading are in
// out->mFile.mNotes. adjustGray: the adjustment mode the levels are read in, unless the
// file is one of colour levels.
bool loadCalibration(const std::string& path, bool adjustGray, SLoadedCalibration* out,
                     std::string* why);
