#include "pixelformat.h"

void rgbaToRgbOverBlack(const unsigned char* rgba, unsigned char* rgb, size_t pixels) {
    for (size_t i = 0; i < pixels; ++i, rgba += 4, rgb += 3)
        for (size_t c = 0; c < 3; ++c)
            rgb[c] = (unsigned char)((rgba[c] * rgba[3] + 127) / 255);
}

void rgbToRgba(const unsigned char* rgb, unsigned char* rgba, size_t pixels) {
    for (size_t i = 0; i < pixels; ++i, rgb += 3, rgba += 4) {
        rgba[0] = rgb[0];
        rgba[1] = rgb[1];
        rgba[2] = rgb[2];
        rgba[3] = 255;
    }
}
