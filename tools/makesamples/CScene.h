#pragma once
// A small ray-traced world: solids on a checkered ground under a sky gradient, lit by
// a sun with hard shadows, with highlights and one-bounce mirrors. Every colour is
// computed the same way on every run: the pictures are reproducible to the byte.
#include "shapes.h"

#include <vector>

struct SSky {
    SVec3 mZenith{0.18, 0.36, 0.75};
    SVec3 mHorizon{0.75, 0.83, 0.92};
    SVec3 mSunDirection{-0.45, 0.75, 0.5};  // towards the sun; normalised on use
    SVec3 mSunColour{1.0, 0.95, 0.85};
    double mAmbient = 0.35;
    double mHazeDistance = 60;  // metres at which the ground is two thirds haze
};

struct SGround {
    SVec3 mLight{0.78, 0.76, 0.72};
    SVec3 mDark{0.16, 0.2, 0.26};
    double mSquare = 0.5;  // edge of one checker square in metres
};

class CScene {
public:
    std::vector<SSphere> mSpheres;
    std::vector<SBox> mBoxes;
    std::vector<SCylinder> mCylinders;
    SSky mSky;
    SGround mGround;

    // Linear RGB seen along a ray; direction of unit length.
    SVec3 trace(SVec3 origin, SVec3 direction, int depth = 0) const;

private:
    struct SSurface {
        SHit mHit;
        const SMaterial* mMaterial = nullptr;
        bool mGround = false;
    };
    bool nearest(SVec3 origin, SVec3 direction, SSurface& surface) const;
    bool blocked(SVec3 origin, SVec3 direction) const;
    SVec3 skyColour(SVec3 direction) const;
    SVec3 groundColour(SVec3 point, double distance) const;
    SVec3 shade(SVec3 point, SVec3 normal, SVec3 direction, const SMaterial& material,
                int depth) const;
};
