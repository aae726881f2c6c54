#include "CScene.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kEpsilon = 1e-6;
constexpr double kFar = 1e9;
constexpr int kMaxDepth = 2;
}  // namespace

bool CScene::nearest(SVec3 origin, SVec3 direction, SSurface& surface) const {
    double best = kFar;
    SHit hit;
    for (const SSphere& sphere : mSpheres) {
        if (intersect(sphere, origin, direction, kEpsilon, best, hit)) {
            best = hit.mDistance;
            surface = {hit, &sphere.mMaterial, false};
        }
    }
    for (const SBox& box : mBoxes) {
        if (intersect(box, origin, direction, kEpsilon, best, hit)) {
            best = hit.mDistance;
            surface = {hit, &box.mMaterial, false};
        }
    }
    for (const SCylinder& cylinder : mCylinders) {
        if (intersect(cylinder, origin, direction, kEpsilon, best, hit)) {
            best = hit.mDistance;
            surface = {hit, &cylinder.mMaterial, false};
        }
    }
    if (direction.y < -1e-9) {
        const double t = -origin.y / direction.y;
        if (t > kEpsilon && t < best) {
            best = t;
            surface = {SHit{t, {0, 1, 0}}, nullptr, true};
        }
    }
    return best < kFar;
}

bool CScene::blocked(SVec3 origin, SVec3 direction) const {
    SHit hit;
    for (const SSphere& sphere : mSpheres) {
        if (intersect(sphere, origin, direction, kEpsilon, kFar, hit))
            return true;
    }
    for (const SBox& box : mBoxes) {
        if (intersect(box, origin, direction, kEpsilon, kFar, hit))
            return true;
    }
    for (const SCylinder& cylinder : mCylinders) {
        if (intersect(cylinder, origin, direction, kEpsilon, kFar, hit))
            return true;
    }
    return false;
}

SVec3 CScene::skyColour(SVec3 direction) const {
    const double up = std::max(direction.y, 0.0);
    SVec3 colour = mix(mSky.mHorizon, mSky.mZenith, std::pow(up, 0.55));
    const double toSun = std::max(dot(direction, normalize(mSky.mSunDirection)), 0.0);
    // A bright disc with a glow around it.
    if (toSun > 0.9)  // below that the glow is far under one step of a byte
        colour =
            colour + mSky.mSunColour * (0.35 * std::pow(toSun, 64) + 4 * std::pow(toSun, 2000));
    return colour;
}

SVec3 CScene::groundColour(SVec3 point, double distance) const {
    const long cx = long(std::floor(point.x / mGround.mSquare));
    const long cz = long(std::floor(point.z / mGround.mSquare));
    const SVec3 average = mix(mGround.mLight, mGround.mDark, 0.5);
    const SVec3 square = ((cx + cz) & 1) ? mGround.mDark : mGround.mLight;
    // Far squares are smaller than a pixel: let them fade to their average instead of
    // flickering into patterns.
    const double contrast = std::clamp(1.4 - distance / (60 * mGround.mSquare), 0.0, 1.0);
    return mix(average, square, contrast);
}

SVec3 CScene::shade(SVec3 point, SVec3 normal, SVec3 direction, const SMaterial& material,
                    int depth) const {
    const SVec3 sun = normalize(mSky.mSunDirection);
    const double facingSun = dot(normal, sun);
    const double lit = facingSun > 0 && !blocked(point + normal * 1e-4, sun) ? 1.0 : 0.0;
    // Light from the sky, more from above than from the side.
    const double skyLight = mSky.mAmbient * (0.6 + 0.4 * normal.y);
    SVec3 colour = material.mColour * (mSky.mHorizon * skyLight) +
                   material.mColour * mSky.mSunColour * (lit * std::max(facingSun, 0.0));
    if (lit > 0 && material.mSpecular > 0) {
        const double highlight = std::max(dot(reflect(-sun, normal), -direction), 0.0);
        colour = colour +
                 mSky.mSunColour * (material.mSpecular * std::pow(highlight, material.mShininess));
    }
    if (material.mMirror > 0 && depth < kMaxDepth) {
        const SVec3 mirrored = reflect(direction, normal);
        colour = mix(colour, trace(point + normal * 1e-4, mirrored, depth + 1), material.mMirror);
    }
    return colour;
}

SVec3 CScene::trace(SVec3 origin, SVec3 direction, int depth) const {
    SSurface surface;
    if (!nearest(origin, direction, surface))
        return skyColour(direction);
    const SVec3 point = origin + direction * surface.mHit.mDistance;
    if (!surface.mGround)
        return shade(point, surface.mHit.mNormal, direction, *surface.mMaterial, depth);

    SMaterial ground;
    ground.mColour = groundColour(point, surface.mHit.mDistance);
    ground.mSpecular = 0.08;
    ground.mShininess = 20;
    const SVec3 colour = shade(point, {0, 1, 0}, direction, ground, depth);
    // Haze towards the horizon gives the distance away even without stereo.
    const double haze = 1 - std::exp(-surface.mHit.mDistance / mSky.mHazeDistance);
    return mix(colour, mSky.mHorizon, haze);
}
