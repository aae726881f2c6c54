#include "scenes.h"

#include <cmath>

namespace {

constexpr double kDegree = 3.14159265358979323846 / 180;

SMaterial matte(double r, double g, double b) {
    SMaterial material;
    material.mColour = {r, g, b};
    material.mSpecular = 0.15;
    return material;
}

SMaterial glossy(double r, double g, double b) {
    SMaterial material = matte(r, g, b);
    material.mSpecular = 0.6;
    material.mShininess = 80;
    return material;
}

SMaterial mirror() {
    SMaterial material = glossy(0.9, 0.9, 0.92);
    material.mMirror = 0.8;
    return material;
}

// A small generator of its own, so that the scenes do not depend on the standard
// library's distributions, which may change between versions.
class CSplitMix {
public:
    explicit CSplitMix(uint64_t seed) : mState(seed) {}
    uint64_t next() {
        uint64_t z = (mState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [low, high).
    double uniform(double low, double high) {
        return low + (high - low) * double(next() >> 11) / 9007199254740992.0;
    }

private:
    uint64_t mState;
};

}  // namespace

SSceneShot spheresScene() {
    SSceneShot shot;
    CScene& scene = shot.mScene;
    scene.mSpheres = {
        {{-0.9, 0.45, -3.2}, 0.45, glossy(0.85, 0.12, 0.1)},
        {{0.65, 0.6, -4.9}, 0.6, mirror()},
        {{1.0, 0.3, -2.9}, 0.3, glossy(0.15, 0.7, 0.2)},
        {{-2.3, 0.8, -7.5}, 0.8, glossy(0.15, 0.3, 0.85)},
        {{3.6, 1.2, -14}, 1.2, matte(0.6, 0.2, 0.7)},
        {{-4.5, 1.5, -19}, 1.5, matte(0.9, 0.85, 0.2)},
    };
    // A row of small spheres running into the distance, one every metre and a half.
    for (int i = 0; i < 10; ++i) {
        const double z = -4 - 1.5 * i;
        const double hue = i / 10.0;
        scene.mSpheres.push_back(
            {{-0.15 - 0.1 * i, 0.15, z},
             0.15,
             glossy(0.5 + 0.45 * std::cos(6.283 * hue), 0.5 + 0.45 * std::cos(6.283 * (hue - 0.33)),
                    0.5 + 0.45 * std::cos(6.283 * (hue - 0.67)))});
    }
    scene.mBoxes = {
        makeBox({2.3, 0.4, -6.5}, {0.4, 0.4, 0.4}, 30 * kDegree, matte(0.95, 0.7, 0.15)),
        makeBox({1.0, 0.9, -11}, {0.35, 0.9, 0.35}, -20 * kDegree, matte(0.9, 0.45, 0.15)),
        makeBox({0.1, 0.25, -3.6}, {0.25, 0.25, 0.25}, 55 * kDegree, glossy(0.9, 0.9, 0.85)),
    };
    shot.mPose.mPosition = {0, 1.35, 0};
    shot.mPose.mPitch = -13 * kDegree;
    shot.mPose.mConvergence = 3;
    return shot;
}

SSceneShot arcadeScene() {
    SSceneShot shot;
    CScene& scene = shot.mScene;
    scene.mGround.mLight = {0.82, 0.74, 0.6};
    scene.mGround.mDark = {0.45, 0.2, 0.12};
    scene.mGround.mSquare = 0.75;
    scene.mSky.mSunDirection = {0.8, 0.35, -0.3};
    scene.mSky.mSunColour = {1.0, 0.85, 0.65};
    scene.mSky.mHorizon = {0.85, 0.8, 0.75};
    const SMaterial stone = matte(0.85, 0.82, 0.75);
    for (int i = 0; i < 12; ++i) {
        const double z = -3 - 2.5 * i;
        for (double x : {-1.8, 1.8}) {
            scene.mCylinders.push_back({{x, 0.3, z}, 0.22, 2.6, stone});
            scene.mBoxes.push_back(makeBox({x, 0.15, z}, {0.35, 0.15, 0.35}, 0, stone));  // plinth
            scene.mBoxes.push_back(makeBox({x, 3.0, z}, {0.32, 0.1, 0.32}, 0, stone));    // capital
        }
        // The beams across the aisle.
        scene.mBoxes.push_back(makeBox({0, 3.25, z}, {2.15, 0.15, 0.2}, 0, stone));
    }
    // Beams along both rows.
    for (double x : {-1.8, 1.8})
        scene.mBoxes.push_back(makeBox({x, 3.25, -16.75}, {0.2, 0.15, 13.95}, 0, stone));
    scene.mSpheres = {
        {{0.2, 0.5, -5.5}, 0.5, glossy(0.1, 0.45, 0.8)},
        {{-0.6, 0.35, -9}, 0.35, glossy(0.85, 0.15, 0.2)},
        {{0.5, 0.4, -13}, 0.4, mirror()},
        {{3.1, 0.6, -8.2}, 0.6, glossy(0.2, 0.65, 0.25)},
    };
    scene.mBoxes.push_back(
        makeBox({-3.4, 0.35, -6}, {0.35, 0.35, 0.35}, 20 * kDegree, matte(0.95, 0.7, 0.15)));
    shot.mPose.mPosition = {1.2, 1.6, 1.5};
    shot.mPose.mYaw = 14 * kDegree;
    shot.mPose.mPitch = -4 * kDegree;
    shot.mPose.mConvergence = 4.5;
    return shot;
}

SSceneShot lighthouseScene() {
    SSceneShot shot;
    CScene& scene = shot.mScene;
    scene.mGround.mLight = {0.35, 0.6, 0.22};
    scene.mGround.mDark = {0.2, 0.42, 0.14};
    scene.mGround.mSquare = 1.0;
    scene.mSky.mSunDirection = {0.8, 0.55, 0.15};
    scene.mSky.mSunColour = {1.0, 0.9, 0.75};
    // Stripes of red and white, narrowing to the top, the lamp above them.
    const double base = -12, stripe = 1.2;
    for (int i = 0; i < 8; ++i) {
        const double radius = 1.5 - 0.1 * i;
        scene.mCylinders.push_back({{0, stripe * i, base},
                                    radius,
                                    stripe,
                                    i % 2 ? matte(0.92, 0.92, 0.9) : matte(0.8, 0.1, 0.08)});
    }
    const double top = stripe * 8;
    scene.mCylinders.push_back({{0, top, base}, 1.05, 0.15, matte(0.2, 0.2, 0.22)});  // gallery
    scene.mSpheres.push_back({{0, top + 0.8, base}, 0.65, glossy(1.0, 0.85, 0.3)});
    scene.mCylinders.push_back({{0, top + 1.4, base}, 0.25, 0.4, matte(0.2, 0.2, 0.22)});
    scene.mBoxes = {
        makeBox({-2.9, 0.6, -10}, {1.1, 0.6, 0.9}, 15 * kDegree,
                matte(0.9, 0.88, 0.8)),  // keeper's house
        makeBox({-2.9, 1.35, -10}, {1.2, 0.15, 1.0}, 15 * kDegree, matte(0.45, 0.2, 0.15)),
    };
    scene.mSpheres.push_back({{2.2, 0.5, -6}, 0.5, glossy(0.15, 0.35, 0.8)});
    shot.mPose.mPosition = {0.3, 1.6, 2};
    shot.mPose.mPitch = 17 * kDegree;
    shot.mPose.mHorizontalFov = 48 * kDegree;
    shot.mPose.mConvergence = 10;
    return shot;
}

SSceneShot randomScene(uint64_t seed) {
    SSceneShot shot;
    CScene& scene = shot.mScene;
    CSplitMix random(seed);
    scene.mSky.mSunDirection = {random.uniform(-1, 1), random.uniform(0.3, 1),
                                random.uniform(-0.5, 1)};
    scene.mGround.mSquare = random.uniform(0.3, 1.0);
    scene.mGround.mLight = {random.uniform(0.6, 0.9), random.uniform(0.6, 0.9),
                            random.uniform(0.6, 0.9)};
    scene.mGround.mDark = {random.uniform(0.1, 0.3), random.uniform(0.1, 0.3),
                           random.uniform(0.1, 0.3)};
    const int count = 8 + int(random.next() % 8);
    for (int i = 0; i < count; ++i) {
        const double z = -random.uniform(2.5, 18);
        const double x = random.uniform(-0.6, 0.6) * -z;
        // One draw per statement: the order of a call's arguments is not fixed.
        const double red = random.uniform(0.1, 0.95);
        const double green = random.uniform(0.1, 0.95);
        const double blue = random.uniform(0.1, 0.95);
        const SMaterial material = glossy(red, green, blue);
        const double size = random.uniform(0.2, 0.9);
        if (random.next() % 3 == 0)
            scene.mBoxes.push_back(
                makeBox({x, size, z}, {size, size, size}, random.uniform(0, 1.5), material));
        else
            scene.mSpheres.push_back({{x, size, z}, size, material});
    }
    shot.mPose.mPosition = {0, random.uniform(1.0, 1.8), 0};
    shot.mPose.mPitch = -random.uniform(5, 15) * kDegree;
    shot.mPose.mConvergence = random.uniform(2.5, 4.5);
    return shot;
}
