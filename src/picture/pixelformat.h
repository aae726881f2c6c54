#pragma once
// Conversions between 8-bit RGB and RGBA pixels, for the places where a picture in one
// layout has to go where only the other one fits.
#include <cstddef>

// pixels RGBA pixels to RGB, each colour weighted by its alpha (rounded to nearest):
// transparency shows black, as it does on the screen, where pictures are blended over
// the cleared frame.
void rgbaToRgbOverBlack(const unsigned char* rgba, unsigned char* rgb, size_t pixels);

// pixels RGB pixels to RGBA with opaque alpha.
void rgbToRgba(const unsigned char* rgb, unsigned char* rgba, size_t pixels);
