#pragma once
// Where the view draws a picture and which texels it takes: the Exif orientation turns
// the stored picture upright, and a stereo pair's alignment brings the right picture onto
// the left one and keeps to the part that both eyes see. Plain numbers, checked without
// a context.
#include "orientation.h"
#include "stereoalignment.h"

// One view of a picture as four corners: bottom left, bottom right, top left, top right
// (a triangle strip), in displayed picture pixels with y upwards, and their texels.
struct SViewQuad {
    float x[4] = {}, y[4] = {};
    float s[4] = {}, t[4] = {};
};

// The quad of one view of a picture shown at width x height (after turning). Without an
// alignment the whole stored picture; with one (in pixels of the stored left picture of
// storedWidth x storedHeight), the part both eyes see, the right view's texels taken
// where the alignment finds them.
SViewQuad viewQuad(int orientation, float width, float height, const SStereoAlignment* alignment,
                   bool rightView, int storedWidth, int storedHeight);
