#include "colourprofile.h"

#include "diagnostics.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <type_traits>

namespace {

// ---- ICC profiles in APP2 segments ----------------------------------------------------

constexpr char kIccMarker[] = "ICC_PROFILE";  // with its zero byte: 12 bytes
constexpr size_t kIccHeadBytes = sizeof kIccMarker + 2;
constexpr size_t kIccHeaderBytes = 128;  // an ICC profile's fixed header

uint32_t bigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// ---- The colour library's objects, each freed by its owner ----------------------------

struct SContextFree {
    void operator()(cmsContext context) const { cmsDeleteContext(context); }
};
struct SProfileFree {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct STransformFree {
    void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
struct SCurveFree {
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};
using LcmsProfile = std::unique_ptr<void, SProfileFree>;
using LcmsTransform = std::unique_ptr<void, STransformFree>;
using LcmsCurve = std::unique_ptr<cmsToneCurve, SCurveFree>;

// A context of the colour library of our own, which keeps the library's last complaint.
// Everything made in it must be freed before it: holders declare their session first.
class CLcmsSession {
public:
    CLcmsSession()
        : mMessage(new std::string), mContext(cmsCreateContext(nullptr, mMessage.get())) {
        if (mContext)
            cmsSetLogErrorHandlerTHR(mContext.get(), &CLcmsSession::note);
    }
    cmsContext get() const { return mContext.get(); }
    const std::string& message() const { return *mMessage; }

private:
    static void note(cmsContext context, cmsUInt32Number, const char* text) {
        if (auto* message = static_cast<std::string*>(cmsGetContextUserData(context)))
            *message = text ? text : "";
    }
    std::unique_ptr<std::string> mMessage;  // outlives the context that writes to it
    std::unique_ptr<std::remove_pointer_t<cmsContext>, SContextFree> mContext;
};

// sRGB's tone curve and primaries, as the PNG chunks' defaults.
constexpr double kSrgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
constexpr double kSrgbChromaticities[8] = {0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};

float srgbEncode(float linear) {
    return linear <= 0.0031308f ? 12.92f * linear : 1.055f * std::pow(linear, 1 / 2.4f) - 0.055f;
}

}  // namespace

// The conversion of one kind of picture to sRGB. Three ways, the fastest that gives the
// colour library's own result: tables per channel (grey pictures), linearising tables, a
// matrix and sRGB's encoding (profiles of three curves and primaries, most of them),
// else the library's transform.
class CColourTransform {
public:
    enum class EWay { Tables, Matrix, Library };

    EWay mWay = EWay::Library;
    uint8_t mTables[3][256] = {};
    float mLinear[3][256] = {};
    float mMatrix[3][3] = {};
    static constexpr int kEncodeSteps = 16383;
    uint8_t mEncode[kEncodeSteps + 1] = {};
    CLcmsSession mSession;  // before the transforms, which die first
    LcmsTransform mRgb, mRgba;

    void run(uint8_t* pixels, size_t count, int channels) const {
        switch (mWay) {
            case EWay::Tables:
                for (size_t i = 0; i < count; ++i, pixels += channels)
                    for (int c = 0; c < 3; ++c)
                        pixels[c] = mTables[c][pixels[c]];
                break;
            case EWay::Matrix: {
                // In locals: every store of a sample could otherwise change them for the
                // compiler, which would read them again for each pixel.
                float m[3][3];
                std::memcpy(m, mMatrix, sizeof m);
                const float *red = mLinear[0], *green = mLinear[1], *blue = mLinear[2];
                const uint8_t* encode = mEncode;
                auto index = [](float v) {
                    return int((!(v > 0) ? 0 : v > 1 ? 1 : v) * kEncodeSteps + 0.5f);
                };
                for (size_t i = 0; i < count; ++i, pixels += channels) {
                    const float r = red[pixels[0]], g = green[pixels[1]], b = blue[pixels[2]];
                    const int R = index(m[0][0] * r + m[0][1] * g + m[0][2] * b);
                    const int G = index(m[1][0] * r + m[1][1] * g + m[1][2] * b);
                    const int B = index(m[2][0] * r + m[2][1] * g + m[2][2] * b);
                    pixels[0] = encode[R];
                    pixels[1] = encode[G];
                    pixels[2] = encode[B];
                }
                break;
            }
            case EWay::Library:
                cmsDoTransform(channels == 4 ? mRgba.get() : mRgb.get(), pixels, pixels,
                               cmsUInt32Number(count));
                break;
        }
    }
};

namespace {

// The picture's own profile, made or read in the session; null with *why on failure.
LcmsProfile pictureProfile(const CLcmsSession& session, const SPictureColour& colour,
                           std::string* why) {
    const cmsContext context = session.get();
    if (!colour.mIcc.empty()) {
        LcmsProfile profile(cmsOpenProfileFromMemTHR(context, colour.mIcc.data(),
                                                     cmsUInt32Number(colour.mIcc.size())));
        if (!profile)
            *why = "the colour profile is damaged" +
                   (session.message().empty() ? std::string() : " (" + session.message() + ")");
        return profile;
    }
    // PNG chunks: what is missing is sRGB's.
    const double* xy = colour.mHasChromaticities ? colour.mChromaticities : kSrgbChromaticities;
    const cmsCIExyY white = {xy[0], xy[1], 1.0};
    const cmsCIExyYTRIPLE primaries = {
        {xy[2], xy[3], 1.0}, {xy[4], xy[5], 1.0}, {xy[6], xy[7], 1.0}};
    LcmsCurve curve(colour.mGamma > 0 ? cmsBuildGamma(context, 1.0 / colour.mGamma)
                                      : cmsBuildParametricToneCurve(context, 4, kSrgbCurve));
    if (!curve) {
        *why = "gAMA " + std::to_string(colour.mGamma) + " gives no tone curve";
        return nullptr;
    }
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    LcmsProfile profile(colour.mModel == EColourModel::Grey
                            ? cmsCreateGrayProfileTHR(context, &white, curve.get())
                            : cmsCreateRGBProfileTHR(context, &white, &primaries, curves));
    if (!profile)
        *why = "the white point and primaries of cHRM make no colour space";
    return profile;
}

// The PNG chunks say sRGB, or close enough: many writers put gAMA 1/2.2 for it.
bool chunksMeanSrgb(const SPictureColour& colour) {
    if (colour.mSrgb)
        return true;
    if (colour.mGamma > 0 && std::abs(colour.mGamma * 2.2 - 1) > 0.002)
        return false;
    for (int i = 0; colour.mHasChromaticities && i < 8; ++i)
        if (std::abs(colour.mChromaticities[i] - kSrgbChromaticities[i]) > 0.005)
            return false;
    return true;
}

// Samples from 0 to 255 in steps of 8 on each axis: enough to tell a transform from sRGB
// and to check the fast way against the library's.
std::vector<uint8_t> gridColours() {
    std::vector<uint8_t> grid;
    for (int r = 0; r <= 256; r += 8)
        for (int g = 0; g <= 256; g += 8)
            for (int b = 0; b <= 256; b += 8)
                for (int v : {r, g, b})
                    grid.push_back(uint8_t(std::min(v, 255)));
    return grid;
}

int largestDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int largest = 0;
    for (size_t i = 0; i < a.size(); ++i)
        largest = std::max(largest, std::abs(int(a[i]) - int(b[i])));
    return largest;
}

// The matrix way for a profile of three curves and primaries: the curves from the
// profile, the matrix from the library's unclipped float transform to linear sRGB.
bool prepareMatrix(CColourTransform& t, cmsHPROFILE input) {
    const cmsContext context = t.mSession.get();
    if (!cmsIsMatrixShaper(input))
        return false;
    const cmsTagSignature tags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    float ends[3];
    for (int c = 0; c < 3; ++c) {
        const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(input, tags[c]));
        if (!curve)
            return false;
        for (int v = 0; v < 256; ++v) {
            t.mLinear[c][v] = cmsEvalToneCurveFloat(curve, float(v) / 255);
            if (!std::isfinite(t.mLinear[c][v]))
                return false;
        }
        ends[c] = t.mLinear[c][255];
        if (!(ends[c] > 0))
            return false;
    }
    const cmsCIExyY white = {kSrgbChromaticities[0], kSrgbChromaticities[1], 1.0};
    const double* xy = kSrgbChromaticities;
    const cmsCIExyYTRIPLE primaries = {
        {xy[2], xy[3], 1.0}, {xy[4], xy[5], 1.0}, {xy[6], xy[7], 1.0}};
    const LcmsCurve one(cmsBuildGamma(context, 1.0));
    cmsToneCurve* curves[3] = {one.get(), one.get(), one.get()};
    const LcmsProfile linear(cmsCreateRGBProfileTHR(context, &white, &primaries, curves));
    const LcmsTransform toLinear(linear ? cmsCreateTransformTHR(context, input, TYPE_RGB_FLT,
                                                                linear.get(), TYPE_RGB_FLT,
                                                                INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE)
                                        : nullptr);
    if (!toLinear)
        return false;
    const float unit[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    float columns[9];
    cmsDoTransform(toLinear.get(), unit, columns, 3);
    for (int row = 0; row < 3; ++row)
        for (int c = 0; c < 3; ++c) {
            t.mMatrix[row][c] = columns[c * 3 + row] / ends[c];
            if (!std::isfinite(t.mMatrix[row][c]))
                return false;
        }
    for (int i = 0; i <= CColourTransform::kEncodeSteps; ++i)
        t.mEncode[i] =
            uint8_t(std::lround(255 * srgbEncode(float(i) / CColourTransform::kEncodeSteps)));
    t.mWay = CColourTransform::EWay::Matrix;
    return true;
}

// Null: sRGB already, or unusable (*why says why).
std::shared_ptr<CColourTransform> buildTransform(const SPictureColour& colour, std::string* why) {
    if (colour.mModel == EColourModel::Cmyk) {
        *why = "profiles of CMYK pictures are not applied";
        return nullptr;
    }
    auto t = std::make_shared<CColourTransform>();
    const cmsContext context = t->mSession.get();
    if (!context) {
        *why = "the colour library has no memory left";
        return nullptr;
    }
    const LcmsProfile input = pictureProfile(t->mSession, colour, why);
    const LcmsProfile srgb(cmsCreate_sRGBProfileTHR(context));
    if (!input || !srgb)
        return nullptr;
    const bool grey = colour.mModel == EColourModel::Grey;
    // The profile's own four bytes, which may name no colour space the library knows: held
    // as a number, never as the library's enumeration.
    const uint32_t space = uint32_t(cmsGetColorSpace(input.get()));
    if (space != uint32_t(grey ? cmsSigGrayData : cmsSigRgbData)) {
        *why = std::string(grey ? "a grey" : "a colour") +
               " picture whose profile is for other colours";
        return nullptr;
    }
    const uint32_t kind = uint32_t(cmsGetDeviceClass(input.get()));
    if (kind == uint32_t(cmsSigLinkClass) || kind == uint32_t(cmsSigAbstractClass) ||
        kind == uint32_t(cmsSigNamedColorClass)) {
        *why = "the colour profile describes no device";
        return nullptr;
    }
    // The reference for every way: the library's float transform, rounded. Its own 8-bit
    // transforms are up to ten levels off near black for linear pictures.
    const LcmsTransform exact(
        cmsCreateTransformTHR(context, input.get(), grey ? TYPE_GRAY_FLT : TYPE_RGB_FLT, srgb.get(),
                              TYPE_RGB_FLT, INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
    if (!exact) {
        *why = "the colour library cannot use the profile" +
               (t->mSession.message().empty() ? std::string() : " (" + t->mSession.message() + ")");
        return nullptr;
    }
    auto reference = [&exact](const std::vector<uint8_t>& samples, size_t pixels) {
        std::vector<float> in(samples.begin(), samples.end()), out(pixels * 3);
        for (float& v : in)
            v /= 255;
        cmsDoTransform(exact.get(), in.data(), out.data(), cmsUInt32Number(pixels));
        std::vector<uint8_t> rounded(out.size());
        for (size_t i = 0; i < out.size(); ++i)
            rounded[i] = uint8_t(std::lround(255 * (out[i] > 0 ? std::min(out[i], 1.0f) : 0.0f)));
        return rounded;
    };
    if (grey) {
        std::vector<uint8_t> levels(256);
        for (int v = 0; v < 256; ++v)
            levels[size_t(v)] = uint8_t(v);
        const std::vector<uint8_t> out = reference(levels, 256);
        bool same = true;
        for (int v = 0; v < 256; ++v)
            for (int c = 0; c < 3; ++c) {
                t->mTables[c][v] = out[size_t(v * 3 + c)];
                same = same && std::abs(int(out[size_t(v * 3 + c)]) - v) <= 1;
            }
        t->mWay = CColourTransform::EWay::Tables;
        return same ? nullptr : t;
    }
    const std::vector<uint8_t> grid = gridColours();
    const std::vector<uint8_t> expected = reference(grid, grid.size() / 3);
    // Profiles that only restate sRGB (most cameras write one) change nothing worth a pass.
    if (largestDifference(grid, expected) <= 1)
        return nullptr;
    if (prepareMatrix(*t, input.get())) {
        std::vector<uint8_t> fast = grid;
        t->run(fast.data(), fast.size() / 3, 3);
        if (largestDifference(fast, expected) <= 1)
            return t;
    }
    t->mWay = CColourTransform::EWay::Library;
    t->mRgb.reset(cmsCreateTransformTHR(context, input.get(), TYPE_RGB_8, srgb.get(), TYPE_RGB_8,
                                        INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE));
    t->mRgba.reset(cmsCreateTransformTHR(context, input.get(), TYPE_RGBA_8, srgb.get(), TYPE_RGBA_8,
                                         INTENT_PERCEPTUAL,
                                         cmsFLAGS_NOCACHE | cmsFLAGS_COPY_ALPHA));
    if (!t->mRgb || !t->mRgba) {
        *why = "the colour library cannot use the profile" +
               (t->mSession.message().empty() ? std::string() : " (" + t->mSession.message() + ")");
        return nullptr;
    }
    return t;
}

// The key of a picture's colours in the cache of transforms.
std::string cacheKey(const SPictureColour& colour) {
    std::string key(1, char('0' + int(colour.mModel)));
    if (!colour.mIcc.empty())
        return key + "icc" + std::string(colour.mIcc.begin(), colour.mIcc.end());
    key += "png " + std::to_string(colour.mGamma);
    for (int i = 0; colour.mHasChromaticities && i < 8; ++i)
        key += " " + std::to_string(colour.mChromaticities[i]);
    return key;
}

struct SCached {
    std::string mKey;
    std::shared_ptr<const CColourTransform> mTransform;
    std::string mWhy;
};

}  // namespace

std::vector<uint8_t> assembleIccProfile(
    const std::vector<std::pair<const uint8_t*, size_t>>& segments, std::string* why) {
    std::vector<std::pair<const uint8_t*, size_t>> pieces;  // by sequence number - 1
    int count = 0;
    auto fail = [why](const std::string& text) {
        if (why)
            *why = "the colour profile's pieces do not fit: " + text;
        return std::vector<uint8_t>();
    };
    for (const auto& [data, size] : segments) {
        if (!data || size < sizeof kIccMarker || std::memcmp(data, kIccMarker, sizeof kIccMarker))
            continue;
        if (size <= kIccHeadBytes)
            return fail("a piece without data");
        const int number = data[sizeof kIccMarker], total = data[sizeof kIccMarker + 1];
        if (count == 0) {
            if (total == 0)
                return fail("a count of 0 pieces");
            count = total;
            pieces.assign(size_t(count), {nullptr, 0});
        }
        if (total != count)
            return fail("counts " + std::to_string(count) + " and " + std::to_string(total));
        if (number < 1 || number > count)
            return fail("piece " + std::to_string(number) + " of " + std::to_string(count));
        if (pieces[size_t(number - 1)].first)
            return fail("piece " + std::to_string(number) + " twice");
        pieces[size_t(number - 1)] = {data + kIccHeadBytes, size - kIccHeadBytes};
    }
    std::vector<uint8_t> profile;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (!pieces[i].first)
            return fail("piece " + std::to_string(i + 1) + " of " + std::to_string(count) +
                        " is missing");
        profile.insert(profile.end(), pieces[i].first, pieces[i].first + pieces[i].second);
    }
    if (profile.empty())
        return profile;
    const uint32_t declared = profile.size() >= 4 ? bigEndian32(profile.data()) : 0;
    if (declared < kIccHeaderBytes || declared > profile.size())
        return fail("the profile says it has " + std::to_string(declared) + " bytes, " +
                    std::to_string(profile.size()) + " came");
    profile.resize(declared);  // writers may pad the last piece
    return profile;
}

std::shared_ptr<const CColourTransform> colourTransformFor(const SPictureColour& colour,
                                                           std::string* why) {
    std::string ignored;
    if (!why)
        why = &ignored;
    if (!colour.mIccProblem.empty()) {
        *why = colour.mIccProblem;
        return nullptr;
    }
    if (colour.mIcc.empty() && chunksMeanSrgb(colour))
        return nullptr;
    static std::mutex mutex;
    static std::vector<SCached> cache;  // newest last
    constexpr size_t kKept = 16;
    const std::string key = cacheKey(colour);
    std::lock_guard<std::mutex> lock(mutex);
    for (const SCached& entry : cache)
        if (entry.mKey == key) {
            *why = entry.mWhy;
            return entry.mTransform;
        }
    SCached entry{key, nullptr, ""};
    entry.mTransform = buildTransform(colour, &entry.mWhy);
    if (cache.size() == kKept)
        cache.erase(cache.begin());
    cache.push_back(entry);
    *why = entry.mWhy;
    return entry.mTransform;
}

void convertToSrgb(const CColourTransform& transform, const SImage& image) {
    if (!image.mPixels || image.mBitDepth != 8 || (image.mChannels != 3 && image.mChannels != 4))
        return;
    const size_t pixels = size_t(image.mWidth) * size_t(image.mHeight);
    const int channels = image.mChannels;
    // Small pictures are not worth a thread.
    const size_t parts = pixels < (size_t(1) << 20)
                             ? 1
                             : std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 4);
    std::vector<std::thread> helpers;
    const size_t share = (pixels + parts - 1) / parts;
    for (size_t part = 1; part < parts; ++part) {
        const size_t first = std::min(pixels, part * share);
        const size_t count = std::min(share, pixels - first);
        uint8_t* start = image.mPixels + first * size_t(channels);
        try {
            helpers.emplace_back(
                [&transform, start, count, channels] { transform.run(start, count, channels); });
        } catch (const std::system_error&) {
            transform.run(start, count, channels);  // no thread to be had: done here
        }
    }
    transform.run(image.mPixels, std::min(share, pixels), channels);
    for (std::thread& helper : helpers)
        helper.join();
}

void convertPixelsToSrgb(const CColourTransform& transform, unsigned char* pixels, size_t count,
                         int channels) {
    if (pixels && (channels == 3 || channels == 4))
        transform.run(pixels, count, channels);
}

void reportColourProblemOnce(const std::string& path, const std::string& why) {
    static std::mutex mutex;
    static std::set<std::string> reported;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!reported.insert(path).second)
            return;
    }
    RUV_WARNING(path + ": colours shown as they are stored, without conversion: " + why);
}
