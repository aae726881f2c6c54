#pragma once
// A stereo pair put into one picture as 3D screens and viewers take it: side by side,
// over-under (each also squeezed to half size, which a 3D TV stretches back), or
// interleaved by rows, columns or as a checkerboard for passive monitors and DLP
// projectors. The processor's twin of the view's display modes, for export and the
// converter. No GL.
#include "imagehandle.h"

enum class EStereoFrame { SideBySide, OverUnder, Rows, Columns, Checkerboard };

// first: the left half, the top half, or the even rows, columns and squares (counted from
// 0 at the top left); second: the other. Both 8-bit RGB of one size. half: side by side and
// over-under keep one picture's size, each view squeezed to half width or half height.
// The failure record when the sizes differ or memory runs out.
SImageHandle composeStereoFrame(const SImage& first, const SImage& second, EStereoFrame frame,
                                bool half);
