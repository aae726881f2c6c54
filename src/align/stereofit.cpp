#include "alignsteps.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

// The focused fit's weights fall to zero at this many standard deviations of the scatter.
// A narrow window: where a pair's lenses leave the pictures distorted against each other
// beyond what a similarity can mend, the fit aligns the larger part of the picture
// exactly rather than all of it a little wrongly.
constexpr double kFocus = 2.0;
constexpr int kMedianSamples = 200;

}  // namespace

double SStereoModel::scale() const {
    return std::hypot(a, b);
}

double SStereoModel::rotation() const {
    return std::atan2(b, a);
}

double verticalResidual(const SStereoModel& m, double cx, double cy, const SPointPair& p) {
    return p.mLeftY - (cy + m.b * (p.mRightX - cx) + m.a * (p.mRightY - cy) + m.ty);
}

double horizontalDisparity(const SStereoModel& m, double cx, double cy, const SPointPair& p) {
    return p.mLeftX - (cx + m.a * (p.mRightX - cx) - m.b * (p.mRightY - cy));
}

namespace {

// Solves the symmetric 3 x 3 system n * x = r by Cramer's rule; false when n is
// (nearly) singular against the size of its entries.
bool solve3(const double (&n)[3][3], const double (&r)[3], double (&x)[3]) {
    const double det = n[0][0] * (n[1][1] * n[2][2] - n[1][2] * n[2][1]) -
                       n[0][1] * (n[1][0] * n[2][2] - n[1][2] * n[2][0]) +
                       n[0][2] * (n[1][0] * n[2][1] - n[1][1] * n[2][0]);
    const double size = std::abs(n[0][0] * n[1][1] * n[2][2]) + 1e-300;
    if (!std::isfinite(det) || std::abs(det) < 1e-12 * size)
        return false;
    for (int k = 0; k < 3; ++k) {
        double m[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                m[i][j] = j == k ? r[i] : n[i][j];
        x[k] = (m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0])) /
               det;
    }
    return true;
}

// The inverse of a symmetric 3 x 3 matrix; false when singular.
bool invert3(const double (&n)[3][3], double (&inv)[3][3]) {
    for (int k = 0; k < 3; ++k) {
        const double e[3] = {k == 0 ? 1.0 : 0.0, k == 1 ? 1.0 : 0.0, k == 2 ? 1.0 : 0.0};
        double column[3];
        if (!solve3(n, e, column))
            return false;
        for (int i = 0; i < 3; ++i)
            inv[i][k] = column[i];
    }
    return true;
}

// The unknowns in the order (b, a, ty): the row of a pair is (px - cx, py - cy, 1).
void normalRow(const SPointPair& p, double cx, double cy, double (&row)[3]) {
    row[0] = p.mRightX - cx;
    row[1] = p.mRightY - cy;
    row[2] = 1.0;
}

}  // namespace

namespace {

// Weighted least squares of the model; false when the pairs do not determine it.
bool solveModel(const std::vector<SPointPair>& pairs, const std::vector<int>& use,
                const std::vector<double>* weights, double cx, double cy, SStereoModel* model,
                double (&inv)[3][3]) {
    double n[3][3] = {}, r[3] = {};
    for (size_t k = 0; k < use.size(); ++k) {
        const SPointPair& p = pairs[size_t(use[k])];
        const double w = weights ? (*weights)[k] : 1.0;
        double row[3];
        normalRow(p, cx, cy, row);
        const double target = p.mLeftY - cy;
        for (int i = 0; i < 3; ++i) {
            r[i] += w * row[i] * target;
            for (int j = 0; j < 3; ++j)
                n[i][j] += w * row[i] * row[j];
        }
    }
    double x[3];
    if (!solve3(n, r, x) || !invert3(n, inv))
        return false;
    model->b = x[0];
    model->a = x[1];
    model->ty = x[2];
    return true;
}

}  // namespace

bool fitStereoModel(const std::vector<SPointPair>& pairs, const std::vector<int>& use, double cx,
                    double cy, SStereoFit* fit) {
    if (use.size() < 3)
        return false;
    SStereoModel model;
    double inv[3][3];
    if (!solveModel(pairs, use, nullptr, cx, cy, &model, inv))
        return false;
    SStereoFit result;
    result.mModel = model;
    result.mInliers = use;
    double squares = 0.0;
    for (int index : use) {
        const double e = verticalResidual(result.mModel, cx, cy, pairs[size_t(index)]);
        squares += e * e;
    }
    // Covariance sigma^2 * inverse normal matrix; with three unknowns fitted, the scatter
    // counts n - 3 degrees of freedom.
    const double variance = use.size() > 3 ? squares / double(use.size() - 3) : 0.0;
    const double s = std::max(result.mModel.scale(), 1e-9);
    result.mScaleError = std::sqrt(std::max(0.0, variance * inv[1][1]));
    result.mRotationError = std::sqrt(std::max(0.0, variance * inv[0][0])) / s;
    *fit = result;
    return true;
}

namespace {

std::vector<int> inliersOf(const std::vector<SPointPair>& pairs, const SStereoModel& model,
                           double cx, double cy, double threshold, double* cost) {
    std::vector<int> inliers;
    double total = 0.0;
    for (size_t i = 0; i < pairs.size(); ++i) {
        const double e = verticalResidual(model, cx, cy, pairs[i]);
        if (std::abs(e) <= threshold) {
            inliers.push_back(int(i));
            total += e * e;
        } else {
            total += threshold * threshold;
        }
    }
    if (cost)
        *cost = total;
    return inliers;
}

bool plausible(const SStereoModel& m, double minScale, double maxScale, double maxRotation) {
    const double scale = m.scale();
    return std::isfinite(scale) && scale >= minScale && scale <= maxScale &&
           std::abs(m.rotation()) <= maxRotation && std::isfinite(m.ty);
}

}  // namespace

bool robustStereoFit(const std::vector<SPointPair>& pairs, double cx, double cy, double threshold,
                     double minScale, double maxScale, double maxRotation, SStereoFit* fit) {
    if (pairs.size() < 3)
        return false;
    // The same pairs give the same answer on every run.
    std::mt19937 random(20240501u);
    std::uniform_int_distribution<size_t> pick(0, pairs.size() - 1);
    SStereoModel best;
    double bestCost = threshold * threshold * double(pairs.size()) + 1.0;
    size_t bestCount = 0;
    // Enough samples that three correct pairs are drawn at least once with
    // near certainty while more than a sixth of the pairs are correct; fewer when the
    // best hypothesis so far shows that more are.
    int samples = 2000;
    for (int s = 0; s < samples; ++s) {
        const size_t i = pick(random), j = pick(random), k = pick(random);
        if (i == j || j == k || i == k)
            continue;
        std::vector<int> three = {int(i), int(j), int(k)};
        SStereoFit candidate;
        if (!fitStereoModel(pairs, three, cx, cy, &candidate) ||
            !plausible(candidate.mModel, minScale, maxScale, maxRotation))
            continue;
        double cost = 0.0;
        const std::vector<int> inliers =
            inliersOf(pairs, candidate.mModel, cx, cy, threshold, &cost);
        if (cost < bestCost) {
            bestCost = cost;
            best = candidate.mModel;
            bestCount = inliers.size();
            const double share = double(bestCount) / double(pairs.size());
            const double miss = 1.0 - share * share * share;
            if (miss <= 0.0)
                break;
            const double needed = std::ceil(std::log(1e-4) / std::log(miss));
            if (needed < samples)
                samples = std::max(int(needed), 50);
        }
    }
    if (bestCount < 3)
        return false;
    // Least squares on the inliers, and again on the inliers of that, until they settle.
    std::vector<int> inliers = inliersOf(pairs, best, cx, cy, threshold, nullptr);
    SStereoFit result;
    for (int round = 0; round < 10; ++round) {
        if (!fitStereoModel(pairs, inliers, cx, cy, &result))
            return false;
        std::vector<int> next = inliersOf(pairs, result.mModel, cx, cy, threshold, nullptr);
        if (next == inliers)
            break;
        inliers = std::move(next);
    }
    if (!plausible(result.mModel, minScale, maxScale, maxRotation))
        return false;
    *fit = result;
    return true;
}

namespace {

double medianAbsResidual(const std::vector<SPointPair>& pairs, const SStereoModel& model, double cx,
                         double cy, std::vector<double>& sizes) {
    sizes.resize(pairs.size());
    for (size_t i = 0; i < pairs.size(); ++i)
        sizes[i] = std::abs(verticalResidual(model, cx, cy, pairs[i]));
    std::nth_element(sizes.begin(), sizes.begin() + long(sizes.size() / 2), sizes.end());
    return sizes[sizes.size() / 2];
}

// Biweight least squares from model, the cutoff narrowing with the scatter each round.
bool narrowingFit(const std::vector<SPointPair>& pairs, double cx, double cy, double minSpread,
                  SStereoModel* model, double* cutoff) {
    std::vector<int> all(pairs.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = int(i);
    std::vector<double> sizes, weights(pairs.size());
    for (int round = 0; round < 50; ++round) {
        *cutoff =
            kFocus * std::max(1.4826 * medianAbsResidual(pairs, *model, cx, cy, sizes), minSpread);
        for (size_t i = 0; i < pairs.size(); ++i) {
            const double u = verticalResidual(*model, cx, cy, pairs[i]) / *cutoff;
            weights[i] = std::abs(u) < 1.0 ? (1 - u * u) * (1 - u * u) : 0.0;
        }
        SStereoModel next;
        double inv[3][3];
        if (!solveModel(pairs, all, &weights, cx, cy, &next, inv))
            return false;
        const double change = std::abs(next.a - model->a) + std::abs(next.b - model->b) +
                              std::abs(next.ty - model->ty) * 1e-3;
        *model = next;
        if (change < 1e-9)
            break;
    }
    return true;
}

}  // namespace

bool focusStereoFit(const std::vector<SPointPair>& pairs, double cx, double cy, double minSpread,
                    SStereoFit* fit) {
    if (pairs.size() < 3)
        return false;
    std::vector<double> sizes;
    // The loss has a minimum for each part of the picture that agrees within itself.
    // Start from the fit so far and from the model that puts half of the pairs closest
    // (least median, over random samples of three), and keep the end that does.
    std::vector<SStereoModel> starts = {fit->mModel};
    {
        std::mt19937 random(20240502u);
        std::uniform_int_distribution<size_t> pick(0, pairs.size() - 1);
        SStereoModel best = fit->mModel;
        double bestMedian = medianAbsResidual(pairs, best, cx, cy, sizes);
        for (int sample = 0; sample < kMedianSamples; ++sample) {
            const int three[3] = {int(pick(random)), int(pick(random)), int(pick(random))};
            if (three[0] == three[1] || three[1] == three[2] || three[0] == three[2])
                continue;
            SStereoFit candidate;
            if (!fitStereoModel(pairs, std::vector<int>(three, three + 3), cx, cy, &candidate))
                continue;
            const double median = medianAbsResidual(pairs, candidate.mModel, cx, cy, sizes);
            if (median < bestMedian)
                bestMedian = median, best = candidate.mModel;
        }
        starts.push_back(best);
    }
    SStereoModel best;
    double bestMedian = -1.0, bestCutoff = 0.0;
    for (SStereoModel model : starts) {
        double cutoff;
        if (!narrowingFit(pairs, cx, cy, minSpread, &model, &cutoff))
            continue;
        const double median = medianAbsResidual(pairs, model, cx, cy, sizes);
        if (bestMedian < 0 || median < bestMedian)
            bestMedian = median, best = model, bestCutoff = cutoff;
    }
    if (bestMedian < 0)
        return false;
    std::vector<int> inliers;
    for (size_t i = 0; i < pairs.size(); ++i)
        if (std::abs(verticalResidual(best, cx, cy, pairs[i])) < bestCutoff)
            inliers.push_back(int(i));
    SStereoFit result;
    if (!fitStereoModel(pairs, inliers, cx, cy, &result))
        return false;
    result.mModel = best;
    *fit = result;
    return true;
}
