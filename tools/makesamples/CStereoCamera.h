#pragma once
// A stereo camera as a stereo photographer sets one up: two parallel lenses side by
// side, each picture cut from a frustum shifted towards the middle so that the two
// frames coincide at the convergence distance. Things at that distance lie in the
// screen plane; nearer ones come out of it, farther ones go behind.
#include "CScene.h"

#include <cstdint>
#include <vector>

struct SCameraPose {
    SVec3 mPosition{0, 1.5, 0};      // the point midway between the eyes
    double mYaw = 0;                 // radians, turning left from looking along -z
    double mPitch = 0;               // radians, positive looks up
    double mHorizontalFov = 1.0472;  // radians across the picture's width (60°)
    double mConvergence = 3;         // metres to the plane of zero parallax
    double mEyeSeparation = 0.065;   // metres between the eyes
};

class CStereoCamera {
public:
    explicit CStereoCamera(const SCameraPose& pose);

    // RGB rows, top row first, gamma-encoded. eye -1 is the left view, +1 the right
    // one, 0 the view from the middle. samplesPerAxis² rays per pixel on a fixed grid.
    std::vector<uint8_t> render(const CScene& scene, int width, int height, double eye,
                                int samplesPerAxis) const;

private:
    void renderRows(const CScene& scene, int width, int height, double eye, int samples,
                    int firstRow, int rowStep, uint8_t* out) const;

    SCameraPose mPose;
    SVec3 mForward, mRight, mUp;
};
