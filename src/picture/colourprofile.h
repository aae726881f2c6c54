#pragma once
// What the samples of a picture mean, and their conversion to sRGB, in which the view,
// the anaglyph and the exports are computed. A picture that says nothing of its colours
// is taken as sRGB. Thread-safe: decodes on several threads share the transforms.
//
// Rules: an RGB picture (also a palette PNG) takes an RGB profile, a grey one (shown as
// RGB) a grey profile; the colours are converted, alpha is kept as it is. CMYK pictures
// keep the plain ink formula: their profiles are not used. A profile that is corrupt,
// that does not fit the picture or that the colour library refuses leaves the picture
// unconverted.
#include "image.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

enum class EColourModel { Rgb, Grey, Cmyk };

// A picture file's words on its colours, as the decoders find them.
struct SPictureColour {
    EColourModel mModel = EColourModel::Rgb;  // the file's samples, before any expansion
    std::vector<uint8_t> mIcc;                // the embedded ICC profile; empty: none
    std::string mIccProblem;                  // why an embedded profile could not be put together
    // PNG only: the sRGB chunk, the file gamma of gAMA (0: none) and the white point
    // and primaries of cHRM (x, y of white, red, green, blue; mHasChromaticities).
    bool mSrgb = false;
    double mGamma = 0;
    bool mHasChromaticities = false;
    double mChromaticities[8] = {};
};

// The data of APP2 segments in file order (each after its length field) holding the
// pieces of an ICC profile ("ICC_PROFILE\0", sequence number from 1, count); other APP2
// segments (the MP index, for one) are passed over. The profile put together, checked
// piece by piece: one count throughout, every number from 1 to count exactly once, no
// empty piece, the profile's own size within what came. Empty when there are no pieces;
// also when they do not fit, and *why then says why.
std::vector<uint8_t> assembleIccProfile(
    const std::vector<std::pair<const uint8_t*, size_t>>& segments, std::string* why);

class CColourTransform;

// The conversion that brings a picture with these colours to sRGB; null when it is sRGB
// already, or when the profile cannot be used (*why then says why). Transforms are made
// once per profile and kept for the next picture that has the same one.
std::shared_ptr<const CColourTransform> colourTransformFor(const SPictureColour& colour,
                                                           std::string* why);

// Converts 8-bit RGB (3 channels) or RGBA (4, alpha kept) in place. A large picture is
// shared among the cores.
void convertToSrgb(const CColourTransform& transform, const SImage& image);

// The same for count pixels of channels samples each, on the calling thread.
void convertPixelsToSrgb(const CColourTransform& transform, unsigned char* pixels, size_t count,
                         int channels);

// Says on the console, the first time only for each file, that its colours were left as
// they are and why.
void reportColourProblemOnce(const std::string& path, const std::string& why);
