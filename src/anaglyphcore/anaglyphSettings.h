#pragma once
// What an anaglyph is composed with, on its own so that the composite and its fast
// kernel share it without including each other.

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
