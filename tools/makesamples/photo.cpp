#include "photo.h"

#include <algorithm>
#include <cmath>

namespace {

uint64_t mixBits(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Uniform in [0, 1), the same for the same (seed, key) on every run.
double unit(uint64_t seed, uint64_t key) {
    return double(mixBits(seed * 0x9E3779B97F4A7C15ull + key) >> 11) / 9007199254740992.0;
}

// Smooth noise in [0, 1) over a lattice of cells, interpolated between lattice points.
class CValueNoise {
public:
    CValueNoise(uint64_t seed, int columns, int rows) : mColumns(columns + 2) {
        mLattice.resize(size_t(mColumns) * size_t(rows + 2));
        for (size_t i = 0; i < mLattice.size(); ++i)
            mLattice[i] = float(unit(seed, i));
    }
    // One row of the noise at lattice row coordinate v, for lattice columns 0..columns+1.
    void row(double v, std::vector<float>& out) const {
        const int r = int(v);
        const float f = float(v - r);
        const float s = f * f * (3 - 2 * f);
        out.resize(size_t(mColumns));
        const float* top = &mLattice[size_t(r) * size_t(mColumns)];
        const float* bottom = top + mColumns;
        for (int c = 0; c < mColumns; ++c)
            out[size_t(c)] = top[c] + (bottom[c] - top[c]) * s;
    }

private:
    int mColumns;
    std::vector<float> mLattice;
};

float along(const std::vector<float>& row, float u) {
    const int c = int(u);
    const float f = u - float(c);
    const float s = f * f * (3 - 2 * f);
    return row[size_t(c)] + (row[size_t(c) + 1] - row[size_t(c)]) * s;
}

struct SColour {
    float r, g, b;
};

SColour lerp(SColour a, SColour b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

uint8_t toByte(float value) {
    return uint8_t(std::clamp(value, 0.0f, 255.0f));
}

}  // namespace

std::vector<uint8_t> photoPixels(int width, int height, uint64_t seed) {
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    if (width <= 0 || height <= 0)
        return rgb;
    auto pick = [&](uint64_t key, double low, double high) {
        return float(low + (high - low) * unit(seed, key));
    };
    const SColour zenith{pick(1, 20, 80), pick(2, 70, 130), pick(3, 150, 230)};
    const SColour horizon{pick(4, 170, 240), pick(5, 180, 230), pick(6, 190, 240)};
    const SColour grassLight{pick(7, 90, 170), pick(8, 120, 190), pick(9, 40, 90)};
    const SColour grassDark{pick(10, 30, 80), pick(11, 50, 100), pick(12, 20, 50)};
    const SColour hillColour{pick(13, 60, 120), pick(14, 80, 130), pick(15, 90, 140)};
    const float horizonRow = pick(16, 0.35, 0.6) * float(height);
    const float sunX = pick(17, 0.1, 0.9) * float(width),
                sunY = pick(18, 0.05, 0.3) * float(height);
    const float sunRadius = 0.03f * float(std::min(width, height));

    // The hills' outline, one height per column: a few waves of random phase.
    std::vector<float> ridge(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x) {
        float h = 0;
        for (int k = 0; k < 4; ++k) {
            const float frequency = float(k + 1) * pick(20 + uint64_t(k), 1.5, 4) / float(width);
            h += std::sin(6.2831853f * frequency * float(x) + pick(30 + uint64_t(k), 0, 6.3)) /
                 float(k + 1);
        }
        ridge[size_t(x)] = horizonRow - (0.06f + 0.035f * h) * float(height);
    }

    const int cell = std::max(8, width / 48);
    const int columns = width / cell + 1, rows = height / cell + 1;
    const CValueNoise ground(seed ^ 0x6A09E667ull, columns, rows);
    const CValueNoise clouds(seed ^ 0xBB67AE85ull, columns / 4 + 1, rows / 2 + 1);
    std::vector<float> groundRow, cloudRow;
    uint32_t grain = uint32_t(mixBits(seed) | 1);
    for (int y = 0; y < height; ++y) {
        ground.row(double(y) / cell, groundRow);
        clouds.row(double(y) / (cell * 2), cloudRow);
        const float skyT = std::clamp(float(y) / std::max(horizonRow, 1.0f), 0.0f, 1.0f);
        const SColour sky = lerp(zenith, horizon, std::sqrt(skyT));
        const float depth =
            std::clamp((float(y) - horizonRow) / (float(height) - horizonRow), 0.0f, 1.0f);
        uint8_t* out = &rgb[size_t(y) * size_t(width) * 3];
        for (int x = 0; x < width; ++x) {
            SColour colour;
            if (float(y) < ridge[size_t(x)]) {
                const float cloud =
                    std::max(along(cloudRow, float(x) / float(cell * 4)) - 0.55f, 0.0f) * 2.2f;
                colour = lerp(sky, SColour{250, 250, 252}, std::min(cloud, 1.0f));
                const float dx = float(x) - sunX, dy = float(y) - sunY;
                const float d2 = (dx * dx + dy * dy) / (sunRadius * sunRadius);
                colour = lerp(colour, SColour{255, 250, 225}, d2 < 1 ? 1.0f : 1.2f / (d2 + 0.2f));
            } else if (float(y) < horizonRow) {
                colour = lerp(hillColour, horizon, 0.25f);
            } else {
                const float n = along(groundRow, float(x) / float(cell));
                colour = lerp(grassDark, grassLight, n);
                colour = lerp(lerp(hillColour, horizon, 0.4f), colour, 0.35f + 0.65f * depth);
            }
            grain ^= grain << 13;
            grain ^= grain >> 17;
            grain ^= grain << 5;
            const float g = float(int(grain & 15) - 8);
            out[0] = toByte(colour.r + g);
            out[1] = toByte(colour.g + g);
            out[2] = toByte(colour.b + g);
            out += 3;
        }
    }
    return rgb;
}
