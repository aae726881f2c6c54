#pragma once
// The anaglyph of a stereo pair computed on the processor, with the same arithmetic as
// the stereo shader (anaglyphMatrices), so that a picture saved or converted without a
// window looks as the view shows it. No GL and no Qt.
#include "anaglyphSettings.h"
#include "imagehandle.h"

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
