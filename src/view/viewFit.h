#pragma once
// Fitting, clamping and zooming of a picture in the view, in picture pixels: plain
// numbers, so that they are checked without a context. z is the zoom (window pixels
// per picture pixel); (posX, posY) the picture point at the lower left window corner.

// The zoom a user can reach: from 1/64 to 64 times 1:1, so that it never runs off to
// zero or infinity, from where no step brings it back.
constexpr float kMinZoom = 1.0f / 64.0f;
constexpr float kMaxZoom = 64.0f;
float boundedZoom(float zoom);

struct SViewState {
    float zoom = 1.0f;
    float posX = 0.0f, posY = 0.0f;
};

struct SViewArea {
    int viewWidth = 0, viewHeight = 0;    // drawing area, device pixels
    int imageWidth = 1, imageHeight = 1;  // displayed picture size
};

// Enlarges a picture that is smaller than the window at the current zoom until it just
// fits, never beyond 1:1. A zoom of 1 or more stays.
void fitZoom(SViewState& v, const SViewArea& a);
// Centres a picture that is narrower (lower) than the window, else keeps the window
// inside the picture. At 1:1 the position is whole pixels, so every picture pixel
// falls on one window pixel.
void clampPan(SViewState& v, const SViewArea& a);
// The whole picture in the window, at most 1:1.
void fitToWindow(SViewState& v, const SViewArea& a);
// A new zoom that keeps the picture point under the window point (x, y) (y from the
// bottom) where it is.
void zoomAbout(SViewState& v, float newZoom, float x, float y);
