// Decoding the two pictures of a camera-sized MPO file: one after the other on one
// thread, against both at once on two threads (as the left and right loaders do).
#include "jpegio.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <jpeglib.h>
#include <unistd.h>

namespace {

const int kWidth = 4000, kHeight = 3000;  // 12 megapixels each
std::string gPath;

// Smooth gradients with some texture and noise, so that it compresses like a photo.
std::vector<unsigned char> encodePhoto(int seed) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = kWidth;
    info.image_height = kHeight;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(size_t(kWidth) * 3);
    uint32_t noise = 12345u + uint32_t(seed);
    while (info.next_scanline < info.image_height) {
        const int y = int(info.next_scanline);
        for (int x = 0; x < kWidth; ++x) {
            for (int c = 0; c < 3; ++c) {
                noise = noise * 1664525u + 1013904223u;
                const int base = (x + seed * 40) * (60 + 50 * c) / kWidth + y * 120 / kHeight +
                                 ((x / 37 + y / 23) % 7) * 4;
                const int value = base + int(noise >> 28) - 8;
                row[size_t(x * 3 + c)] = static_cast<unsigned char>(value < 0     ? 0
                                                                    : value > 255 ? 255
                                                                                  : value);
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<unsigned char> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

// Two pictures back to back; the second one is found after the first one's stream.
std::string writeMpo() {
    char path[] = "/tmp/ruvello-mpo-bench-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0)
        return "";
    close(fd);
    FILE* file = std::fopen(path, "wb");
    for (int seed : {0, 1}) {
        const std::vector<unsigned char> picture = encodePhoto(seed);
        std::fwrite(picture.data(), 1, picture.size(), file);
    }
    std::fclose(file);
    return path;
}

void decode(bool right) {
    const SImageHandle image = readStereoJpegFile(gPath.c_str(), right);
    if (!image->mPixels)
        std::abort();
}

void leftThenRight(benchmark::State& state) {
    for (auto _ : state) {
        decode(false);
        decode(true);
    }
}

void leftAndRightOnTwoThreads(benchmark::State& state) {
    for (auto _ : state) {
        std::thread right(decode, true);
        decode(false);
        right.join();
    }
}

BENCHMARK(leftThenRight)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(leftAndRightOnTwoThreads)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

// Remembers the wall time of each benchmark for the ratio printed at the end.
class CRatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration)
                (run.benchmark_name().find("Two") != std::string::npos ? mTwo : mOne) =
                    run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    double mOne = 0, mTwo = 0;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    gPath = writeMpo();
    if (gPath.empty()) {
        std::fprintf(stderr, "cannot write the MPO file\n");
        return 1;
    }
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::remove(gPath.c_str());
    if (reporter.mOne > 0 && reporter.mTwo > 0)
        std::printf("two threads / one thread: %.3f (%.1f ms against %.1f ms)\n",
                    reporter.mTwo / reporter.mOne, reporter.mTwo, reporter.mOne);
    return 0;
}
