#pragma once
// The solids of the sample scenes and their ray intersections: spheres, boxes turned
// about the vertical axis, upright capped cylinders, and the checkered ground plane.
#include "vector3.h"

struct SMaterial {
    SVec3 mColour{0.7, 0.7, 0.7};  // linear RGB
    double mSpecular = 0.3;        // strength of the highlight
    double mShininess = 40;
    double mMirror = 0;  // share of the colour that comes from the reflection
};

struct SHit {
    double mDistance = 0;
    SVec3 mNormal;  // unit length, facing the ray
};

struct SSphere {
    SVec3 mCentre;
    double mRadius = 1;
    SMaterial mMaterial;
};

// Made by makeBox, which works out the turn once instead of for every ray.
struct SBox {
    SVec3 mCentre;
    SVec3 mHalfSize{0.5, 0.5, 0.5};
    double mCos = 1, mSin = 0;  // of the turn about the vertical axis
    SMaterial mMaterial;
};

// yaw in radians about the vertical axis.
SBox makeBox(SVec3 centre, SVec3 halfSize, double yaw, const SMaterial& material);

struct SCylinder {
    SVec3 mBase;  // centre of the bottom cap
    double mRadius = 0.2;
    double mHeight = 1;
    SMaterial mMaterial;
};

// Nearest hit with a distance in (minDistance, maxDistance); false when there is none.
// direction must have unit length.
bool intersect(const SSphere& sphere, SVec3 origin, SVec3 direction, double minDistance,
               double maxDistance, SHit& hit);
bool intersect(const SBox& box, SVec3 origin, SVec3 direction, double minDistance,
               double maxDistance, SHit& hit);
bool intersect(const SCylinder& cylinder, SVec3 origin, SVec3 direction, double minDistance,
               double maxDistance, SHit& hit);
