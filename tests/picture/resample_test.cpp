#include "resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using Pixels = std::vector<unsigned char>;

// Deterministic texture with edges and noise, different in every channel.
Pixels texture(int width, int height, int channels, uint32_t seed) {
    Pixels pixels(size_t(width) * size_t(height) * size_t(channels));
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < pixels.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        const size_t x = (i / size_t(channels)) % size_t(width);
        pixels[i] = (unsigned char)(((x / 3) % 2 ? 200 : 40) + (state >> 27));
    }
    return pixels;
}

Pixels resampled(const Pixels& src, int w, int h, int channels, int dw, int dh) {
    Pixels dst(size_t(dw) * size_t(dh) * size_t(channels), 0xAB);
    EXPECT_TRUE(resamplePixels(src.data(), w, h, channels, dst.data(), dw, dh));
    return dst;
}

// Weights of one axis in doubles, from the filter's definition: shrinking averages the
// stretch [j * in / out, (j + 1) * in / out) of input pixels, enlarging interpolates
// between pixel centres (clamped at the edges).
std::vector<std::vector<double>> referenceWeights(int in, int out) {
    std::vector<std::vector<double>> weights(size_t(out), std::vector<double>(size_t(in), 0.0));
    const double s = double(in) / out;
    for (int j = 0; j < out; ++j) {
        if (out < in) {
            const double lo = j * s, hi = lo + s;
            for (int k = 0; k < in; ++k)
                weights[size_t(j)][size_t(k)] =
                    std::max(0.0, std::min(hi, k + 1.0) - std::max(lo, double(k))) / s;
        } else {
            const double x = std::min(std::max((j + 0.5) * s - 0.5, 0.0), in - 1.0);
            const int x0 = int(std::floor(x));
            const double f = x - x0;
            weights[size_t(j)][size_t(x0)] += 1 - f;
            if (f > 0)
                weights[size_t(j)][size_t(x0 + 1)] += f;
        }
    }
    return weights;
}

double referenceSample(const Pixels& src, int w, int channels,
                       const std::vector<double>& horizontal, const std::vector<double>& vertical,
                       int c) {
    double sum = 0;
    for (size_t y = 0; y < vertical.size(); ++y) {
        if (vertical[y] == 0)
            continue;
        for (size_t x = 0; x < horizontal.size(); ++x)
            sum += vertical[y] * horizontal[x] *
                   src[(y * size_t(w) + x) * size_t(channels) + size_t(c)];
    }
    return sum;
}

}  // namespace

TEST(Resample, FlatPicturesStayExactlyFlat) {
    const int sizes[][4] = {{4500, 3, 4416, 2}, {7, 5, 3, 2}, {3, 2, 11, 9}, {9, 9, 1, 1}};
    for (const auto& size : sizes) {
        for (int channels : {3, 4}) {
            for (int value : {0, 1, 128, 254, 255}) {
                const Pixels src(size_t(size[0] * size[1] * channels), (unsigned char)value);
                const Pixels dst = resampled(src, size[0], size[1], channels, size[2], size[3]);
                for (unsigned char sample : dst)
                    ASSERT_EQ(sample, value) << size[0] << "x" << size[1] << " -> " << size[2]
                                             << "x" << size[3] << ", " << channels << " channels";
            }
        }
    }
}

// The last output row and column must come from the last input row and column, not
// from the ones before them; halving averages exactly the pairs it covers.
TEST(Resample, HalvingAveragesPairsUpToTheLastRowAndColumn) {
    const int w = 6, h = 4;
    Pixels src(size_t(w * h * 3));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                src[size_t((y * w + x) * 3 + c)] = (unsigned char)(y * 60 + x * 8 + c);
    const Pixels dst = resampled(src, w, h, 3, 3, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(dst[size_t((y * 3 + x) * 3 + c)], (2 * y) * 60 + 30 + (2 * x) * 8 + 4 + c)
                    << x << "," << y;

    // A single bright last row and column show fully in a same-height or same-width copy
    // and by their share in a shrunk one.
    Pixels edge(size_t(5 * 5 * 3), 0);
    for (int i = 0; i < 5; ++i)
        for (int c = 0; c < 3; ++c) {
            edge[size_t((4 * 5 + i) * 3 + c)] = 250;
            edge[size_t((i * 5 + 4) * 3 + c)] = 250;
        }
    const Pixels narrow = resampled(edge, 5, 5, 3, 4, 5);
    EXPECT_EQ(narrow[size_t((4 * 4 + 0) * 3)], 250);  // last row, first column
    const Pixels shrunk = resampled(edge, 5, 5, 3, 4, 4);
    EXPECT_EQ(shrunk[size_t((3 * 4 + 0) * 3)], 200);  // 4/5 of the pixel is the last row
    EXPECT_EQ(shrunk[size_t((0 * 4 + 3) * 3)], 200);
}

TEST(Resample, SidesOfOneNeitherDivideByZeroNorLoseTheAverage) {
    const Pixels row = {0, 0, 0, 30, 60, 90, 60, 120, 180};  // 3 x 1, RGB
    const Pixels one = resampled(row, 3, 1, 3, 1, 1);
    EXPECT_EQ(one, (Pixels{30, 60, 90}));
    const Pixels column = resampled(row, 3, 1, 3, 1, 5);
    for (int y = 0; y < 5; ++y)
        EXPECT_EQ(column[size_t(y * 3 + 2)], 90);
    const Pixels grown = resampled(Pixels{10, 20, 30, 40}, 1, 1, 4, 3, 2);
    for (size_t i = 0; i < grown.size(); ++i)
        EXPECT_EQ(grown[i], (i % 4 + 1) * 10);
    unsigned char out[3];
    EXPECT_FALSE(resamplePixels(row.data(), 3, 1, 3, out, 0, 1));
    EXPECT_FALSE(resamplePixels(row.data(), 0, 1, 3, out, 1, 1));
}

TEST(Resample, MatchesADoublePrecisionReferenceWithinOne) {
    const int cases[][5] = {
        // w, h, dw, dh, channels: small shrinks as after scaled decoding, large ones,
        // enlargements, and one axis up while the other goes down.
        {103, 37, 101, 36, 3}, {97, 61, 70, 44, 4}, {64, 48, 13, 7, 3},
        {17, 11, 40, 23, 4},   {40, 9, 29, 20, 3},  {5, 300, 4, 7, 3}};
    for (const auto& k : cases) {
        const int w = k[0], h = k[1], dw = k[2], dh = k[3], channels = k[4];
        const Pixels src = texture(w, h, channels, uint32_t(w * h));
        const Pixels dst = resampled(src, w, h, channels, dw, dh);
        const auto horizontal = referenceWeights(w, dw);
        const auto vertical = referenceWeights(h, dh);
        double worst = 0;
        for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x)
                for (int c = 0; c < channels; ++c) {
                    const double expected = referenceSample(src, w, channels, horizontal[size_t(x)],
                                                            vertical[size_t(y)], c);
                    const int got =
                        dst[(size_t(y) * size_t(dw) + size_t(x)) * size_t(channels) + size_t(c)];
                    worst = std::max(worst, std::fabs(got - expected));
                }
        EXPECT_LT(worst, 1.0) << w << "x" << h << " -> " << dw << "x" << dh;
    }
}

// Row by row, each output row reads no input row past the ones sourceRowsFor names: a
// decoder hands over rows as it goes, and the rows after them are not there yet.
TEST(RowResampler, EachOutputRowNeedsOnlyTheRowsItNames) {
    const int w = 61, h = 47, channels = 4;
    const Pixels src = texture(w, h, channels, 3);
    for (const int dh : {47, 30, 13, 90}) {
        const CRowResampler rows(w, h, channels, 40, dh);
        ASSERT_TRUE(rows.valid());
        const Pixels whole = resampled(src, w, h, channels, 40, dh);
        const size_t dstRow = size_t(40) * channels;
        for (int i = 0; i < dh; ++i) {
            const int need = rows.sourceRowsFor(i);
            ASSERT_GE(need, 1);
            ASSERT_LE(need, h);
            // Everything below the rows it needs is garbage, as in a half-decoded picture.
            Pixels partial = src;
            std::fill(partial.begin() + long(size_t(need) * size_t(w) * channels), partial.end(),
                      0xEE);
            std::vector<unsigned char> dst(size_t(dh) * dstRow, 0);
            rows.run(partial.data(), dst.data(), i, i + 1);
            ASSERT_TRUE(std::equal(dst.begin() + long(i * dstRow),
                                   dst.begin() + long((i + 1) * dstRow),
                                   whole.begin() + long(i * dstRow)))
                << "output row " << i << " of " << dh << " read past input row " << need;
        }
    }
}
