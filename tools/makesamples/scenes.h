#pragma once
// The worlds of the bundled samples and of the stereo pairs made on demand, each with
// the camera that looks at it.
#include "CScene.h"
#include "CStereoCamera.h"

#include <cstdint>

struct SSceneShot {
    CScene mScene;
    SCameraPose mPose;
};

// Coloured spheres (one a mirror) and boxes at depths from 2 to 20 metres.
SSceneShot spheresScene();
// A colonnade receding from the camera, seen at an angle under a low sun.
SSceneShot arcadeScene();
// A striped lighthouse on a meadow: a picture taller than wide, for a portrait view.
SSceneShot lighthouseScene();
// Solids placed by a seeded generator: another arrangement and light for every seed.
SSceneShot randomScene(uint64_t seed);
