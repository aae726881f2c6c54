// Aligning the two pictures of a stereo MPO file against decoding them: each run decodes
// the left and then the right picture as the view does (full size up to the texture
// limit, one after the other on this thread) and then aligns them. Prints the alignment
// of the last run, the processor time of the alignment on all its threads, and the
// medians of the wall times:
//   align_ms=... decode_ms=... align_over_decode=...
//   align_bench FILE.mpo [RUNS]
#include "align.h"
#include "viewdecode.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fputs("usage: align_bench FILE.mpo [RUNS]\n", stderr);
        return 2;
    }
    const std::string path = argv[1];
    const int runs = argc == 3 ? std::max(1, std::atoi(argv[2])) : 9;
    std::vector<double> decodeTimes, alignTimes, alignCpuTimes;
    SStereoAlignment alignment;
    int width = 0, height = 0;
    // One more run than counted: the first one warms the caches and the allocator.
    for (int run = 0; run <= runs; ++run) {
        const Clock::time_point decodeStart = Clock::now();
        std::string why;
        const SImageHandle left =
            decodeForView(SViewDecode{path, EViewPicture::Left}, nullptr, &why);
        const SImageHandle right =
            decodeForView(SViewDecode{path, EViewPicture::Right}, nullptr, &why);
        const double decodeMs = millisecondsSince(decodeStart);
        if (!left->mPixels || !right->mPixels) {
            std::fprintf(stderr, "align_bench: cannot decode %s: %s\n", path.c_str(), why.c_str());
            return 1;
        }
        const Clock::time_point alignStart = Clock::now();
        const std::clock_t cpuStart = std::clock();
        alignment = alignStereoPair(*left, *right);
        const double alignCpuMs = 1000.0 * double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        const double alignMs = millisecondsSince(alignStart);
        width = left->mWidth, height = left->mHeight;
        if (run > 0) {
            decodeTimes.push_back(decodeMs);
            alignTimes.push_back(alignMs);
            alignCpuTimes.push_back(alignCpuMs);
        }
    }
    std::printf(
        "pictures: %d x %d; alignment: %s, %d matches, dx %.2f dy %.2f rotation %.4f "
        "degrees scale %.5f near %.2f far %.2f\n",
        width, height, alignment.mOk ? "found" : alignment.mWhy.c_str(), alignment.mMatches,
        alignment.mDx, alignment.mDy, alignment.mRotation * 180 / M_PI, alignment.mScale,
        alignment.mNear, alignment.mFar);
    std::printf("align_cpu_ms=%.1f (all threads)\n", median(alignCpuTimes));
    const double alignMs = median(alignTimes), decodeMs = median(decodeTimes);
    std::printf("align_ms=%.1f decode_ms=%.1f align_over_decode=%.2f\n", alignMs, decodeMs,
                alignMs / decodeMs);
    return alignment.mOk ? 0 : 1;
}
