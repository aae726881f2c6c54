#include "anaglyphMatrices.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

using Filter = std::array<double, 3>;

Filter filter(float red, float green) {
    return {double(red), double(green), 1.0 - double(red) - double(green)};
}

// How far a filter is from passing a single primary, measured in luminance: its
// fractions relative to each primary's share of white, scaled so that the largest is
// 1. The middle one is small for a pure filter and near 1 for a broad one.
double selectivity(const Filter& f) {
    double n[3] = {f[0] / 0.2126, f[1] / 0.7152, f[2] / 0.0722};
    const double largest = std::max({n[0], n[1], n[2]});
    for (double& v : n)
        v /= largest;
    return std::max(std::min(n[0], n[1]), std::min(std::max(n[0], n[1]), n[2]));
}

// Shares of the dominant primary closer than this are the same share: the parameters
// arrive as floats, and a difference below their resolution would only blow the
// matrices up into noise.
const double kSmallestUsableD = 1e-6;

// Writes one matrix from rows given for the output channels J, K, M with coefficients
// for (rJ, rK, rM, y). Columns 0..2 take the colour components at their own channel
// positions; column 3 takes y. The fourth row stays zero.
class CMatrixWriter {
public:
    CMatrixWriter(float* m, const SFilterRoles& roles) : mM(m) {
        std::fill(m, m + 16, 0.0f);
        mChannel[0] = roles.mJ;
        mChannel[1] = roles.mK;
        mChannel[2] = roles.mM;
    }
    // row: 0 = output J, 1 = output K, 2 = output M.
    void row(int row, double cJ, double cK, double cM, double cY) {
        const int out = mChannel[row];
        mM[mChannel[0] * 4 + out] = float(cJ);
        mM[mChannel[1] * 4 + out] = float(cK);
        mM[mChannel[2] * 4 + out] = float(cM);
        mM[3 * 4 + out] = float(cY);
    }

private:
    float* mM;
    int mChannel[3];
};

void setVector(float* v, double r, double g, double b, float gamma) {
    v[0] = float(r);
    v[1] = float(g);
    v[2] = float(b);
    v[3] = gamma;
}

}  // namespace

SFilterRoles chooseFilterRoles(float a_l, float b_l, float a_r, float b_r) {
    SFilterRoles roles;
    const Filter left = filter(a_l, b_l), right = filter(a_r, b_r);
    roles.mSwapped = selectivity(right) < selectivity(left);
    roles.mA = roles.mSwapped ? right : left;
    roles.mB = roles.mSwapped ? left : right;
    // Strictly greater only: of tied fractions the lower channel stays dominant.
    int j = 0;
    for (int i = 1; i < 3; ++i)
        if (roles.mA[j] < roles.mA[i])
            j = i;
    roles.mJ = j;
    roles.mK = (j + 1) % 3;
    roles.mM = (j + 2) % 3;
    return roles;
}

SAnaglyphMatrices computeAnaglyphMatrices(float a_l, float b_l, float a_r, float b_r, float gamma) {
    SAnaglyphMatrices out;
    const SFilterRoles& roles = out.mRoles = chooseFilterRoles(a_l, b_l, a_r, b_r);
    const Filter& A = roles.mA;
    const Filter& B = roles.mB;
    const int J = roles.mJ, K = roles.mK, M = roles.mM;

    const double aK = A[K], aM = A[M], aJ = 1.0 - aK - aM;
    const double bK = B[K], bM = B[M], bJ = 1.0 - bK - bM;
    const double D = aJ - bJ;
    out.mDegenerate = !(std::fabs(D) >= kSmallestUsableD);  // NaN parameters too

    // The luminance weights belong to the positions J, K, M, whatever primary that is.
    const double wJ = kLumR, wK = kLumG, wM = kLumB;

    float(&filtL)[2][3][4] = out.mFiltL;
    setVector(filtL[0][0], J == 0, J == 1, J == 2, gamma);
    setVector(filtL[0][1], kLumR, kLumG, kLumB, gamma);
    setVector(filtL[0][2], kLumR, kLumG, kLumB, gamma);
    setVector(filtL[1][0], A[0], A[1], A[2], gamma);
    setVector(filtL[1][1], kLumR, kLumG, kLumB, gamma);
    setVector(filtL[1][2], kLumR, kLumG, kLumB, gamma);

    // Without halo removal the view behind A supplies channel J and the other view the
    // two remaining channels.
    CMatrixWriter full(out.mFc[0][0], roles);
    full.row(0, 0, 0, 0, 1);
    full.row(1, 0, 1, 0, 0);
    full.row(2, 0, 0, 1, 0);

    // Half colour moves the B view's channel J into K and M as brightness, keeping the
    // luminance of K and M: 1 - wJ*wK/(wK + wM), -wJ*wM/(wK + wM) and so on.
    CMatrixWriter half(out.mFc[0][1], roles);
    half.row(0, 0, 0, 0, 1);
    half.row(1, wJ, 0.806857646f, -0.0194966514f, 0);
    half.row(2, wJ, -0.19314234f, 0.980503321f, 0);

    CMatrixWriter gray(out.mFc[0][2], roles);
    gray.row(0, 0, 0, 0, 1);
    gray.row(1, wJ, wK, wM, 0);
    gray.row(2, wJ, wK, wM, 0);

    if (out.mDegenerate) {
        // Better a picture with halos than none.
        std::memcpy(out.mFc[1], out.mFc[0], sizeof out.mFc[0]);
        std::memcpy(out.mFiltL[1], out.mFiltL[0], sizeof out.mFiltL[0]);
        return out;
    }

    // Each halo-removing matrix makes filter A pass exactly y and filter B exactly what
    // it would pass of the B view alone (its colour, or in the other modes its
    // luminance): the crosstalk of each view through the wrong filter cancels.
    const double sB = bK + bM;
    CMatrixWriter fullH(out.mFc[1][0], roles);
    fullH.row(0, -(aK + aM) * bJ / D, -aK * sB / D, -aM * sB / D, sB / D);
    fullH.row(1, aJ * bJ / D, (bJ * aK + aJ - bJ) / D, bJ * aM / D, -bJ / D);
    fullH.row(2, aJ * bJ / D, bJ * aK / D, (bJ * aM + aJ - bJ) / D, -bJ / D);

    const double E = double(float(1.0 / D));
    const double P = aJ * wK + aM * bK - aK * bM;
    const double Q = aJ * wM + aK * bM - aM * bK;
    CMatrixWriter halfH(out.mFc[1][1], roles);
    halfH.row(0, (aJ * wJ - wJ) * E, (P - wK) * E, (Q - wM) * E, sB * E);
    halfH.row(1, aJ * wJ * E, (bM + P - aM) * E, (Q - bM + aM) * E, -bJ * E);
    halfH.row(2, aJ * wJ * E, (P - bK + aK) * E, (bK + Q - aK) * E, -bJ * E);

    CMatrixWriter grayH(out.mFc[1][2], roles);
    grayH.row(0, (aJ * wJ - wJ) * E, (aJ * wK - wK) * E, (aJ * wM - wM) * E, sB * E);
    grayH.row(1, aJ * wJ * E, aJ * wK * E, aJ * wM * E, -bJ * E);
    grayH.row(2, aJ * wJ * E, aJ * wK * E, aJ * wM * E, -bJ * E);
    return out;
}

std::array<float, 4> restrictedRangeMapping(const SFilterRoles& roles) {
    const double t = 1.0 - roles.mA[roles.mJ];
    const double u = roles.mB[roles.mJ];
    return {float(1.0 - 2.0 * t), float(t), float(1.0 - 2.0 * u), float(u)};
}

std::array<unsigned char, 3> compositePixel(const float fc[16], const float filtL[4],
                                            const float mapCol[4], bool swapped,
                                            const unsigned char left[3],
                                            const unsigned char right[3]) {
    const unsigned char* lumView = swapped ? right : left;
    const unsigned char* colourView = swapped ? left : right;
    const double gamma = filtL[3];
    double in[4];
    double y = 0.0;
    for (int c = 0; c < 3; ++c) {
        y += std::pow(lumView[c] / 255.0, gamma) * filtL[c];
        in[c] = std::pow(colourView[c] / 255.0, gamma) * mapCol[2] + mapCol[3];
    }
    in[3] = y * mapCol[0] + mapCol[1];
    std::array<unsigned char, 3> out{};
    for (int row = 0; row < 3; ++row) {
        double v = 0.0;
        for (int col = 0; col < 4; ++col)
            v += fc[col * 4 + row] * in[col];
        v = std::pow(std::max(v, 0.0), 1.0 / gamma);
        out[size_t(row)] = static_cast<unsigned char>(std::lround(std::min(v, 1.0) * 255.0));
    }
    return out;
}
