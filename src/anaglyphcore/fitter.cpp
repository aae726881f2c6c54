#include "fitter.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// A power that stays defined below zero: the fit may wander through parameters that
// make a luminance negative, and a linear continuation there keeps its residuals and
// derivatives finite and pointing back.
double safePow(double v, double e) {
    return v >= 0.0 ? std::pow(v, e) : v * e;
}

// Inputs of exactly zero would make the logarithms of the gamma derivative infinite.
double nonZero(double v) {
    return v == 0.0 ? 0.00001 : v;
}

}  // namespace

double CFuncFitSingle::evaluate(const double* x, const double* p, double* d) {
    const double gamma = p[4];
    const double k = 1.0 / gamma;
    const double wL[3] = {p[0], p[1], 1.0 - p[0] - p[1]};
    const double wR[3] = {p[2], p[3], 1.0 - p[2] - p[3]};

    double sumL = 0.0, sumR = 0.0;
    for (int c = 0; c < 3; ++c) {
        sumL += wL[c] * std::pow(x[c], gamma);
        sumR += wR[c] * std::pow(x[3 + c], gamma);
    }
    double f = safePow(sumL, k) + safePow(sumR, k);
    if (std::isnan(f)) {
        f = 0.0;
        mSuccess = false;
    }
    if (!d)
        return f;

    mSuccess = true;
    double l[3], r[3], A[3], B[3];
    double sL = 0.0, sR = 0.0, logL = 0.0, logR = 0.0;
    for (int c = 0; c < 3; ++c) {
        l[c] = nonZero(x[c]);
        r[c] = nonZero(x[3 + c]);
        A[c] = std::pow(l[c], gamma);
        B[c] = std::pow(r[c], gamma);
        sL += wL[c] * A[c];
        sR += wR[c] * B[c];
        logL += wL[c] * A[c] * std::log(l[c]);
        logR += wR[c] * B[c] * std::log(r[c]);
    }
    const double slopeL = safePow(sL, k - 1.0) / gamma;
    const double slopeR = safePow(sR, k - 1.0) / gamma;
    d[0] = slopeL * (A[0] - A[2]);
    d[1] = slopeL * (A[1] - A[2]);
    d[2] = slopeR * (B[0] - B[2]);
    d[3] = slopeR * (B[1] - B[2]);
    d[4] = safePow(sL, k) * (logL / (gamma * sL) - std::log(sL) / (gamma * gamma)) +
           safePow(sR, k) * (logR / (gamma * sR) - std::log(sR) / (gamma * gamma));
    for (int i = 0; i < 5; ++i) {
        if (std::isnan(d[i])) {
            d[i] = 0.0;
            mSuccess = false;
        }
    }
    return f;
}

// Stopping rules and step control of the descent.
//
// The step starts at 0.6 / n. That is safe while every patch looks reasonably bright
// through its filter, but a dim one (blue through the red filter, for instance) makes
// the grey level rise so steeply with the transmissions that the same step overshoots
// the minimum: a fixed step then swings across it until the pass limit, or runs away.
// So a pass whose residual sum of squares is larger than that of the pass before takes
// back half of the last update and halves the step, a backtracking line search along
// the last direction. A descent that never overshoots is not touched by this.
//
// The fit is done when the residuals themselves are tiny, so the test adds up their
// magnitudes: signed residuals of a few rows can cancel long before the fit settles.
// Once the step is stable, a dim patch still leaves the model stiff in one direction
// and flat in another (mostly the gamma). Steepest descent needs several hundred passes
// per tenfold gain on typical glasses and over ten thousand on glasses that leak less
// than a percent of a primary, hence a pass limit far above what most fits use; at
// twelve rows even the limit costs a fraction of a second.
const int kPassLimit = 50000;

void fitParameters(const double* rows, double* p, int n, int nX, int nP, CFuncNDeriv& model) {
    if (n <= 0 || nP <= 0)
        return;
    double eta = 0.6 / n;
    const size_t count = size_t(nP);
    std::vector<double> D(count), U(count), last(count, 0.0);
    double lastSquares = HUGE_VAL;
    for (int i = 0;;) {
        double residuals = 0.0, squares = 0.0, S = 0.0;
        std::fill(U.begin(), U.end(), 0.0);
        for (int j = 0; j < n; ++j) {
            const double* row = rows + size_t(j) * size_t(nX + 1);
            const double h = model.evaluate(row, p, D.data()) - row[nX];
            for (size_t k = 0; k < count; ++k)
                U[k] -= eta * D[k] * h;
            residuals += std::fabs(h);
            squares += h * h;
        }
        if (squares > lastSquares) {
            eta *= 0.5;
            for (size_t k = 0; k < count; ++k) {
                last[k] *= 0.5;
                p[k] -= last[k];
                S += std::fabs(last[k]);
            }
        } else {
            lastSquares = squares;
            for (size_t k = 0; k < count; ++k) {
                p[k] += U[k];
                last[k] = U[k];
                S += std::fabs(U[k]);
            }
        }
        ++i;
        if (residuals < 1e-6 || i > kPassLimit || S < 1e-7)
            break;
    }
}

bool fitSingle(const double* rows, double* p, int n) {
    CFuncFitSingle model;
    model.mSuccess = true;
    fitParameters(rows, p, n, 6, 5, model);
    return model.mSuccess;
}
