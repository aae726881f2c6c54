// One anaglyph composite of two full-HD views against one plain textured quad of the
// same size, on the GL the test harness gets (Mesa's software renderer where there is
// no GPU). glFinish after each draw, so the renderer's work is inside the timing.
#include "glh.h"

#include "CAnaglyphRenderer.h"
#include "GLTestContext.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

const int kWidth = 1920, kHeight = 1080;

struct SScene {
    TestFramebuffer framebuffer{kWidth, kHeight};
    GLuint left = 0, right = 0;
    CAnaglyphRenderer renderer;
};
SScene* gScene = nullptr;

// Smooth gradients with noise: every texel differs, as in a photograph.
GLuint makeView(int seed) {
    std::vector<uint8_t> texels(size_t(kWidth) * kHeight * 3);
    uint32_t noise = 2463534242u + uint32_t(seed);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int c = 0; c < 3; ++c) {
                noise ^= noise << 13;
                noise ^= noise >> 17;
                noise ^= noise << 5;
                const int value = (x * (3 + c) / 32 + y / 8 + seed * 40) % 224 + int(noise >> 27);
                texels[(size_t(y) * kWidth + x) * 3 + size_t(c)] = uint8_t(value);
            }
    return uploadRgbTexture(kWidth, kHeight, texels.data());
}

void bindViews() {
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, gScene->right);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, gScene->left);
}

void anaglyphComposite(benchmark::State& state) {
    gScene->framebuffer.bind();
    for (auto _ : state) {
        bindViews();
        gScene->renderer.draw(1, 1);
        glFinish();
    }
}

// The same quad drawn by the fixed-function pipeline from the left view alone: what
// a mono frame costs.
void plainQuad(benchmark::State& state) {
    gScene->framebuffer.bind();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glEnable(GL_TEXTURE_2D);
    for (auto _ : state) {
        bindViews();
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2f(0, 0);
        glTexCoord2f(1, 0);
        glVertex2f(1, 0);
        glTexCoord2f(1, 1);
        glVertex2f(1, 1);
        glTexCoord2f(0, 1);
        glVertex2f(0, 1);
        glEnd();
        glFinish();
    }
}

BENCHMARK(anaglyphComposite)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(15);
BENCHMARK(plainQuad)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(15);

// Keeps the median wall time of each benchmark for the ratio printed at the end.
class CMedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                (run.run_name.function_name == "plainQuad" ? mPlain : mComposite) =
                    run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    double mComposite = 0, mPlain = 0;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (!GLTestContext::get())
        return 1;
    std::printf("GL renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    auto scene = std::make_unique<SScene>();
    gScene = scene.get();
    if (!scene->framebuffer.complete()) {
        std::fprintf(stderr, "cannot draw into a %i x %i framebuffer\n", kWidth, kHeight);
        return 1;
    }
    scene->left = makeView(0);
    scene->right = makeView(1);
    scene->renderer.init(RUVELLO_SHADER_DIR "/stereo.vs", RUVELLO_SHADER_DIR "/stereo.fs");
    scene->renderer.setFilterParameters(0.925951f, 0.0611928f, 0.00942937f, 0.87051f, 1.66804f);

    CMedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (reporter.mComposite > 0 && reporter.mPlain > 0)
        std::printf(
            "anaglyph composite / plain quad at %i x %i: %.2f (median %.2f ms against "
            "%.2f ms)\n",
            kWidth, kHeight, reporter.mComposite / reporter.mPlain, reporter.mComposite,
            reporter.mPlain);
    glDeleteTextures(1, &scene->left);
    glDeleteTextures(1, &scene->right);
    return 0;
}
