#include "independent.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

cv::Mat gray(const SImage& image) {
    const cv::Mat pixels(image.mHeight, image.mWidth, CV_8UC(image.mChannels), image.mPixels);
    if (image.mChannels == 1)
        return pixels.clone();
    cv::Mat out;
    cv::cvtColor(pixels, out, image.mChannels == 4 ? cv::COLOR_RGBA2GRAY : cv::COLOR_RGB2GRAY);
    return out;
}

double parabolaPeak(float before, float at, float after) {
    const double curvature = before - 2.0 * at + after;
    return curvature < 0 ? 0.5 * (before - after) / curvature : 0.0;
}

}  // namespace

std::vector<SIndependentMatch> independentMatches(const SImage& left, const SImage& right) {
    const cv::Mat a = gray(left), b = gray(right);
    // A low contrast threshold: the small cameras' pictures are dim and soft.
    cv::Ptr<cv::SIFT> sift = cv::SIFT::create(8000, 3, 0.01);
    std::vector<cv::KeyPoint> keysA, keysB;
    cv::Mat descriptorsA, descriptorsB;
    sift->detectAndCompute(a, cv::noArray(), keysA, descriptorsA);
    sift->detectAndCompute(b, cv::noArray(), keysB, descriptorsB);
    if (keysA.size() < 2 || keysB.size() < 2)
        return {};
    std::vector<std::vector<cv::DMatch>> nearest;
    cv::BFMatcher(cv::NORM_L2).knnMatch(descriptorsA, descriptorsB, nearest, 2);
    std::vector<cv::Point2f> pointsA, pointsB;
    for (const std::vector<cv::DMatch>& n : nearest)
        if (n.size() == 2 && n[0].distance < 0.75f * n[1].distance) {
            pointsA.push_back(keysA[size_t(n[0].queryIdx)].pt);
            pointsB.push_back(keysB[size_t(n[0].trainIdx)].pt);
        }
    if (pointsA.size() < 8)
        return {};
    // Any two views of one scene obey some epipolar geometry; wrong matches mostly do not.
    std::vector<uchar> inlier;
    cv::theRNG().state = 20240503;  // the same samples, so the same matches on every run
    cv::findFundamentalMat(pointsA, pointsB, inlier, cv::FM_RANSAC, 1.0, 0.999);
    std::vector<SIndependentMatch> matches;
    constexpr int kRadius = 15, kSearch = 4;
    const cv::Size patch(2 * kRadius + 1, 2 * kRadius + 1);
    const cv::Size window(patch.width + 2 * kSearch, patch.height + 2 * kSearch);
    for (size_t i = 0; i < pointsA.size(); ++i) {
        if (i >= inlier.size() || !inlier[i])
            continue;
        const cv::Point2f pa = pointsA[i], pb = pointsB[i];
        if (pa.x < kRadius + kSearch || pa.y < kRadius + kSearch ||
            pa.x > a.cols - kRadius - kSearch - 1 || pa.y > a.rows - kRadius - kSearch - 1 ||
            pb.x < kRadius + kSearch || pb.y < kRadius + kSearch ||
            pb.x > b.cols - kRadius - kSearch - 1 || pb.y > b.rows - kRadius - kSearch - 1)
            continue;
        cv::Mat templ, area, score;
        cv::getRectSubPix(a, patch, pa, templ, CV_32F);
        cv::getRectSubPix(b, window, pb, area, CV_32F);
        cv::matchTemplate(area, templ, score, cv::TM_CCOEFF_NORMED);
        double best;
        cv::Point at;
        cv::minMaxLoc(score, nullptr, &best, nullptr, &at);
        if (best < 0.8 || at.x < 1 || at.y < 1 || at.x >= score.cols - 1 || at.y >= score.rows - 1)
            continue;
        const double sx =
            at.x + parabolaPeak(score.at<float>(at.y, at.x - 1), score.at<float>(at.y, at.x),
                                score.at<float>(at.y, at.x + 1));
        const double sy =
            at.y + parabolaPeak(score.at<float>(at.y - 1, at.x), score.at<float>(at.y, at.x),
                                score.at<float>(at.y + 1, at.x));
        const double rightX = pb.x + sx - kSearch, rightY = pb.y + sy - kSearch;
        matches.push_back(SIndependentMatch{pa.x, pa.y, pa.x - rightX, pa.y - rightY});
    }
    return matches;
}

SResiduals residuals(const std::vector<SIndependentMatch>& matches, double percent) {
    SResiduals r;
    r.mMatches = int(matches.size());
    if (matches.empty())
        return r;
    std::vector<double> absDy, dx;
    for (const SIndependentMatch& m : matches) {
        absDy.push_back(std::abs(m.mDy));
        if (std::abs(m.mDy) <= 1.5)
            dx.push_back(m.mDx);
    }
    std::sort(absDy.begin(), absDy.end());
    const size_t n = absDy.size();
    r.mMedianAbsDy = n % 2 ? absDy[n / 2] : (absDy[n / 2 - 1] + absDy[n / 2]) / 2;
    // The plane through the vertical disparities, fitted again without the outliers.
    std::vector<bool> use(n, true);
    for (int round = 0; round < 3; ++round) {
        cv::Mat a(0, 3, CV_64F), b(0, 1, CV_64F);
        for (size_t i = 0; i < n; ++i)
            if (use[i]) {
                const cv::Mat row =
                    (cv::Mat_<double>(1, 3) << 1.0, matches[i].mLeftX, matches[i].mLeftY);
                a.push_back(row);
                b.push_back(matches[i].mDy);
            }
        cv::Mat plane;
        if (a.rows < 3 || !cv::solve(a, b, plane, cv::DECOMP_SVD))
            break;
        r.mRotationDegrees = std::atan(plane.at<double>(1)) * 180.0 / M_PI;
        std::vector<double> misses;
        for (const SIndependentMatch& m : matches)
            misses.push_back(std::abs(m.mDy - plane.at<double>(0) - plane.at<double>(1) * m.mLeftX -
                                      plane.at<double>(2) * m.mLeftY));
        std::vector<double> sorted = misses;
        std::nth_element(sorted.begin(), sorted.begin() + long(n / 2), sorted.end());
        const double limit = 3.0 * std::max(sorted[n / 2], 0.05);
        for (size_t i = 0; i < n; ++i)
            use[i] = misses[i] <= limit;
    }
    if (!dx.empty()) {
        std::sort(dx.begin(), dx.end());
        const double rank = (100.0 - percent) / 100.0 * double(dx.size() - 1);
        const size_t low = size_t(rank);
        const size_t high = std::min(low + 1, dx.size() - 1);
        r.mNearDx = dx[low] + (rank - double(low)) * (dx[high] - dx[low]);
    }
    return r;
}
