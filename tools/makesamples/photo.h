#pragma once
// Photo-like pictures for benchmarks and tests, cheap enough for camera sizes: a sky
// with a sun and clouds over hills and textured ground, with film grain, all varied by
// a seed. Each pixel costs a few arithmetic operations, so 24 megapixels take well
// under a second.
#include <cstdint>
#include <vector>

// RGB rows, top row first.
std::vector<uint8_t> photoPixels(int width, int height, uint64_t seed);
