#pragma once
// The parallax that a stereo camera states in its maker note: how far apart it thinks
// the two views should be shifted. Read from the Nintendo 3DS's camera record in the first
// picture and from the FUJIFILM W3's maker note in the second picture.
#include <string>

// The camera's own parallax of a stereo file, as its maker note states it; not found when
// the camera wrote none.
struct SCameraParallax {
    bool mFound = false;
    double mValue = 0.0;  // as the maker note states it (its own unit)
    std::string mSource;  // which maker note: "Nintendo" or "FUJIFILM"
};

// path in the 8-bit local encoding. A file that cannot be read, a maker note of another
// camera and a corrupt one all give "not found".
SCameraParallax readCameraParallax(const std::string& path);

// The camera's parallax as a horizontal shift of the right picture, in pixels of a picture
// width pixels wide (negative: to the left); NaN when none was found. See parallax.cpp
// for how each maker's value was related to pixels.
double cameraParallaxPixels(const SCameraParallax& parallax, int width);
