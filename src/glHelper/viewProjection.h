#pragma once
// The projections of the GL application as plain numbers: where a view is drawn in
// the window and with which orthographic or perspective volume, for mono frames,
// either eye of a stereo frame, and the four quadrants of the side-panel layout.

struct SProjectionInput {
    int windowWidth = 0, windowHeight = 0;  // whole window, device pixels
    int viewWidth = 0, viewHeight = 0;      // drawing area
    bool quadrants = false;  // side-panel layout: each eye in a quarter of the window
    bool pixelMode = false;  // one scene unit per device pixel
    bool ortho = false;
    float scale = 1.0f;       // the frame's scale (scale x zoom), or 1 in the quadrants
    float sceneScale = 1.0f;  // the view parameters' own scale
    float zoom = 1.0f;
    float transl = 0.4f;  // viewing distance in metres
    float nearFactor = 0.4f, farFactor = 8.0f;
    float pixelsPerMeter = 3779.5276f;
    bool stereo = false;
    bool leftEye = false;
    bool firstColumn = false;
};

struct SProjection {
    int viewport[4] = {0, 0, 0, 0};  // x, y, width, height
    bool ortho = true;
    double left = 0, right = 0, bottom = 0, top = 0, zNear = -1, zFar = 1;
    // The model-view matrix: translate by (eyeOffset, 0, -distance); the light moves
    // with the eye.
    double eyeOffset = 0;
    double distance = 0;
};

// Half the distance between the eyes, in metres.
constexpr double kHalfEyeDistance = 0.0335;

SProjection computeProjection(const SProjectionInput& in);
