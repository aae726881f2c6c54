#include "calibFit.h"

#include "anaglyphMatrices.h"
#include "fitter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

namespace {

// Gammas outside this range belong to no display: a fit that ends there went astray.
constexpr float kMinGamma = 0.3f;
constexpr float kMaxGamma = 5.0f;

SRgb colorOf(const SCalibPatch& patch) {
    return {patch.r / 255.0f, patch.g / 255.0f, patch.b / 255.0f};
}

// "0.62" rather than "0.6234567": what the user reads.
std::string twoDecimals(float value) {
    std::ostringstream text;
    text.setf(std::ios::fixed);
    text.precision(2);
    text << value;
    return text.str();
}

}  // namespace

SRgb calibPatchColor(const SCalibPatch& patch, bool adjustGray) {
    return adjustGray ? colorOf(patch) : mixColor(patch.level / 255.0f, colorOf(patch));
}

float calibPatchGray(const SCalibPatch& patch, int index, bool adjustGray) {
    if (!adjustGray)
        return calibGray(std::max(index, 0) / 6 + 1) * kCalibGrayScale;
    return patch.level / 255.0f;
}

SCalibFit fitCalibration(const std::vector<SCalibPatch>& left,
                         const std::vector<SCalibPatch>& right, bool adjustGray) {
    // Left-eye rows see their colour in the first three inputs, right-eye rows in the
    // next three.
    std::vector<double> rows;
    const std::vector<SCalibPatch>* lists[2] = {&left, &right};
    for (int eye = 0; eye < 2; ++eye) {
        const std::vector<SCalibPatch>& patches = *lists[eye];
        for (size_t i = 0; i < patches.size(); ++i) {
            const SRgb c = calibPatchColor(patches[i], adjustGray);
            double row[7] = {
                0, 0, 0, 0, 0, 0, double(calibPatchGray(patches[i], int(i), adjustGray))};
            for (size_t k = 0; k < 3; ++k)
                row[size_t(eye) * 3 + k] = c[k];
            rows.insert(rows.end(), row, row + 7);
        }
    }
    const int n = int(rows.size() / 7);
    double p[5] = {0.33, 0.33, 0.33, 0.33, 1.6};
    SCalibFit fit;
    fit.mSuccess = fitSingle(rows.data(), p, n);
    std::copy(p, p + 5, fit.mParameters);
    const double filters[2][3] = {{p[0], p[1], 1.0 - p[0] - p[1]}, {p[2], p[3], 1.0 - p[2] - p[3]}};
    const double gamma = p[4];

    fit.mPositive = true;
    for (const auto& filter : filters)
        for (double t : filter)
            fit.mPositive = fit.mPositive && t > 0.0;

    // The spread of the residuals needs two rows at least.
    fit.mSpread = std::numeric_limits<double>::quiet_NaN();
    if (n >= 2) {
        double sum = 0.0;
        for (int j = 0; j < n; ++j) {
            const double* row = &rows[size_t(j) * 7];
            const int eye = j < int(left.size()) ? 0 : 1;
            double y = 0.0;
            for (int k = 0; k < 3; ++k)
                y += filters[eye][k] * std::pow(row[eye * 3 + k], gamma);
            const double e = std::pow(y, 1.0 / gamma) - row[6];
            sum += e * e;
        }
        // A filter fitted below zero leaves no number; say so without a sign.
        if (!std::isnan(sum))
            fit.mSpread = std::sqrt(sum / (n - 1));
    }
    for (int eye = 0; eye < 2; ++eye)
        for (int k = 0; k < 3; ++k)
            fit.mFilter[eye][k] = float(filters[eye][k]);
    fit.mGamma = float(gamma);
    return fit;
}

// The anaglyph shows the left view in the red primary and the right view in green and
// blue. Through the left filter the left eye sees its own view with the red transmission
// and a ghost of the right view with the green and blue ones; the right eye the other way
// round. The ratio ghost / own view is the filter's crosstalk. Halo removal darkens the
// own view by the ghost it expects, which needs that much of the range: at a crosstalk of
// 1 the eye sees both views alike and the removal has nothing left to show, at 0.5 it
// already takes half the range. A fit beyond that does not describe red/cyan glasses
// (mostly a careless match, or the eyes mixed up) and turns every picture into green and
// magenta noise, so it is refused; real glasses stay far below it (the built-in
// calibration has 0.08 and 0.01).
SCalibCrosstalk calibCrosstalk(const float (&filter)[2][3]) {
    auto ratio = [](float ghost, float own) {
        return own > 0.0f ? ghost / own : std::numeric_limits<float>::quiet_NaN();
    };
    SCalibCrosstalk crosstalk;
    crosstalk.mLeft = ratio(filter[0][1] + filter[0][2], filter[0][0]);
    crosstalk.mRight = ratio(filter[1][0], filter[1][1] + filter[1][2]);
    return crosstalk;
}

bool calibFitUsable(const SCalibFit& fit, std::string* why) {
    bool numbers = std::isfinite(fit.mGamma);
    for (const auto& filter : fit.mFilter)
        for (float t : filter)
            numbers = numbers && std::isfinite(t);
    std::string problem;
    if (!numbers) {
        problem = "the fit gives no numbers";
    } else if (fit.mGamma < kMinGamma || fit.mGamma > kMaxGamma) {
        std::ostringstream text;
        text << "the fit gives a display gamma of " << fit.mGamma << ", outside " << kMinGamma
             << " to " << kMaxGamma;
        problem = text.str();
    } else if (computeAnaglyphMatrices(fit.mFilter[0][0], fit.mFilter[0][1], fit.mFilter[1][0],
                                       fit.mFilter[1][1], fit.mGamma)
                   .mDegenerate) {
        problem =
            "the fit gives two filters that pass the same share of their main colour, "
            "which cannot keep the views apart";
    } else {
        const SCalibCrosstalk crosstalk = calibCrosstalk(fit.mFilter);
        const std::string limit =
            ", more than " + twoDecimals(kMaxCalibCrosstalk) + ": it does not separate the eyes";
        if (!(fit.mFilter[0][0] > 0.0f))
            problem = "the left (red) filter passes no red: it does not separate the eyes";
        else if (crosstalk.mLeft > kMaxCalibCrosstalk)
            problem = "the left (red) filter passes " + twoDecimals(crosstalk.mLeft) +
                      " as much green and blue as red" + limit;
        else if (!(fit.mFilter[1][1] + fit.mFilter[1][2] > 0.0f))
            problem =
                "the right (cyan) filter passes no green and blue: it does not separate "
                "the eyes";
        else if (crosstalk.mRight > kMaxCalibCrosstalk)
            problem = "the right (cyan) filter passes " + twoDecimals(crosstalk.mRight) +
                      " as much red as green and blue" + limit;
    }
    if (why)
        *why = problem;
    return problem.empty();
}

std::string calibFitSummary(const SCalibFit& fit) {
    std::ostringstream text;
    text << "left filter " << fit.mFilter[0][0] << ' ' << fit.mFilter[0][1] << ' '
         << fit.mFilter[0][2] << ", right filter " << fit.mFilter[1][0] << ' ' << fit.mFilter[1][1]
         << ' ' << fit.mFilter[1][2] << ", gamma " << fit.mGamma;
    return text.str();
}

bool loadCalibration(const std::string& path, bool adjustGray, SLoadedCalibration* out,
                     std::string* why) {
    SLoadedCalibration loaded;
    loaded.mFile = readCalibFile(path);
    if (!loaded.mFile.mOk) {
        if (why)
            *why = loaded.mFile.mError;
        return false;
    }
    if (loaded.mFile.mColorLevels)
        adjustGray = false;
    loaded.mFit = fitCalibration(loaded.mFile.mPatches[0], loaded.mFile.mPatches[1], adjustGray);
    std::string problem;
    if (!calibFitUsable(loaded.mFit, &problem)) {
        if (why)
            *why = path + ": " + problem;
        return false;
    }
    *out = std::move(loaded);
    return true;
}
