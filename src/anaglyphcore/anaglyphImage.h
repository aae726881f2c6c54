#pragma once
// The anaglyph of a stereo pair computed on the processor, with the same arithmetic as
// the stereo shader (anaglyphMatrices), so that a picture saved or converted without a
// window looks as the view shows it. No GL and no Qt.
#include "imagehandle.h"

// What the view composes: the filters, the colour mode and switches of the renderer,
// and where the two views stand.
struct SAnaglyphSettings {
    // The filters as the calibration hands them over: red and green transmission of the
    // left (l) and right (r) filter, and the display gamma. The defaults are those of
    // the calibration until the user makes his own.
    float a_l = 0.925951f;
    float b_l = 0.0611928f;
    float a_r = 0.00942937f;
    float b_r = 0.87051f;
    float gamma = 1.66804f;
    int mMode = 0;  // 0 full colour, 1 half colour, 2 gray
    bool mRemoveHalos = true;
    bool mRestrictedRange = false;
    // The horizontal distance the views are moved apart, in pixels of the turned left
    // picture: the left view moves by -mShift, the right view by +mShift. Parts of the
    // frame that a view no longer covers are black in that view, as on the screen.
    float mShift = 0.0f;
    // Exif orientation (1..8) of the pair: both pictures are turned or mirrored so that
    // they show upright. Other values count as 1.
    int mOrientation = 1;
    // Threads for the rows; 0: one per processor core.
    int mThreads = 0;
};

// The anaglyph of two 8-bit RGB pictures (top row first), as large as the left picture
// after turning; the right picture is scaled to the left one's size when it differs.
// 8-bit RGB, top row first. The failure record's handle, after a warning, for pictures
// that are not 8-bit RGB or when memory runs out.
SImageHandle composeAnaglyph(const SImage& left, const SImage& right,
                             const SAnaglyphSettings& settings);

// The same into out, which holds the result's width x height x 3 bytes; false, after a
// warning, for pictures that are not 8-bit RGB or when memory runs out. out may be the
// left picture's own pixels when anaglyphFitsInPlace says so: each of its rows is read
// before the row is written. That spares a fresh buffer of camera size, whose page
// faults cost more than the composite itself on some systems.
bool composeAnaglyphInto(const SImage& left, const SImage& right, const SAnaglyphSettings& settings,
                         unsigned char* out);

// Whether the anaglyph can take the left picture's place: when the orientation keeps
// every row where it is (1, or 2, which only mirrors rows).
bool anaglyphFitsInPlace(const SAnaglyphSettings& settings);
