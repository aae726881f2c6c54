#pragma once
// The Exif orientation as the program turns pictures upright: one place for the maths
// that the view's texture coordinates, the exporter's rows and the tests share.

// Orientations 5 to 8 swap width and height.
inline bool turnsSideways(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

// Texture coordinates (s, t in [0, 1] of the stored picture, t = 0 its top row) of a
// displayed point (a from the left, b from the top, both in [0, 1]).
void orientedTexCoord(int orientation, float a, float b, float& s, float& t);
// The displayed point of a stored one: the inverse of orientedTexCoord.
void displayedPoint(int orientation, float s, float t, float& a, float& b);

// The orientation of a picture shown turned a quarter turn clockwise (turnedRight) or
// anticlockwise (turnedLeft) from how orientation shows it; mirrored pictures stay
// mirrored. Anything but 1..8 counts as upright (1).
int turnedRight(int orientation);
int turnedLeft(int orientation);
