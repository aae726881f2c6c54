#include "CStereoCamera.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace {

// Gamma encoding through a table: a power function per channel would cost as much as
// tracing a simple ray.
class CGammaTable {
public:
    CGammaTable() {
        for (int i = 0; i <= kSteps; ++i)
            mBytes[i] = uint8_t(std::lround(255 * std::pow(double(i) / kSteps, 1 / 2.2)));
    }
    uint8_t operator()(double linear) const {
        return mBytes[int(std::lround(std::clamp(linear, 0.0, 1.0) * kSteps))];
    }

private:
    static constexpr int kSteps = 16384;
    uint8_t mBytes[kSteps + 1];
};

const CGammaTable encoded;

}  // namespace

CStereoCamera::CStereoCamera(const SCameraPose& pose) : mPose(pose) {
    const double cy = std::cos(pose.mYaw), sy = std::sin(pose.mYaw);
    const double cp = std::cos(pose.mPitch), sp = std::sin(pose.mPitch);
    mForward = {-sy * cp, sp, -cy * cp};
    mRight = {cy, 0, -sy};  // level, so that both eyes stay at the same height
    mUp = cross(mRight, mForward);
}

std::vector<uint8_t> CStereoCamera::render(const CScene& scene, int width, int height, double eye,
                                           int samplesPerAxis) const {
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    // Each pixel depends on nothing but its position, so the rows can be shared out
    // among threads without changing a byte of the result.
    const int threads = int(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t)
        workers.emplace_back([&, t] {
            renderRows(scene, width, height, eye, samplesPerAxis, t, threads, rgb.data());
        });
    renderRows(scene, width, height, eye, samplesPerAxis, 0, threads, rgb.data());
    for (std::thread& worker : workers)
        worker.join();
    return rgb;
}

void CStereoCamera::renderRows(const CScene& scene, int width, int height, double eye, int samples,
                               int firstRow, int rowStep, uint8_t* out) const {
    const SVec3 eyePosition = mPose.mPosition + mRight * (eye * mPose.mEyeSeparation / 2);
    const SVec3 screenCentre = mPose.mPosition + mForward * mPose.mConvergence;
    const double halfWidth = mPose.mConvergence * std::tan(mPose.mHorizontalFov / 2);
    const double halfHeight = halfWidth * height / width;
    for (int y = firstRow; y < height; y += rowStep) {
        for (int x = 0; x < width; ++x) {
            SVec3 sum;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const double u = (x + (sx + 0.5) / samples) / width * 2 - 1;
                    const double v = 1 - (y + (sy + 0.5) / samples) / height * 2;
                    // Both eyes aim at the same point of the shared screen plane.
                    const SVec3 target =
                        screenCentre + mRight * (u * halfWidth) + mUp * (v * halfHeight);
                    sum = sum + scene.trace(eyePosition, normalize(target - eyePosition));
                }
            }
            const SVec3 colour = sum * (1.0 / (samples * samples));
            uint8_t* pixel = out + (size_t(y) * size_t(width) + size_t(x)) * 3;
            pixel[0] = encoded(colour.x);
            pixel[1] = encoded(colour.y);
            pixel[2] = encoded(colour.z);
        }
    }
}
