#pragma once
// Stereo photos that hold both views in one picture (side by side or one over the other),
// and pairs kept as two files: what the file's own header or its name says of the
// layout, the cut into two views, and the name of the other eye's file.
#include "imagehandle.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>

// LR: the left view on the left (or on top); RL: the right view first.
enum class EStoredLayout { Mono, SideBySideLR, SideBySideRL, OverUnderLR, OverUnderRL };

struct SStoredLayout {
    EStoredLayout mLayout = EStoredLayout::Mono;
    // Each view was squeezed to half width (side by side) or half height (over-under)
    // and is stretched back to the full aspect.
    bool mHalf = false;

    bool operator==(const SStoredLayout& other) const {
        return mLayout == other.mLayout && mHalf == other.mHalf;
    }
    bool operator!=(const SStoredLayout& other) const { return !(*this == other); }
};

// The layout the JPS record (an APP3 segment "_JPSJPS_" before the first scan) gives;
// nothing when the JPEG holds no such record or is cut short inside it. Anaglyph,
// interleaved and non-stereo records give Mono: those cannot be cut into two views.
std::optional<SStoredLayout> readJpsMarker(const uint8_t* bytes, size_t size);
// From the stream's start; the file position is undefined afterwards.
std::optional<SStoredLayout> readJpsMarker(FILE* file);

// The order the PNG's sTER chunk (before the first IDAT) gives to two views side by side:
// 0 right view first, 1 left view first; nothing without a valid chunk.
std::optional<SStoredLayout> readPnsOrder(const uint8_t* bytes, size_t size);
std::optional<SStoredLayout> readPnsOrder(FILE* file);

// The hints people put into names (any case, after "_" or "-", before the extension or
// another separator): sbs and lr side by side left first, rl right first, tb and ou
// over-under left on top, bt right on top; an "h" before or after each means half size
// ("_lrh", "-hsbs", "_htb"). With no hint, ".jps" and ".pns" files are side by side with
// the right view first; other names Mono. The last hint in the name counts.
SStoredLayout layoutFromName(const std::string& fileName);

// Cuts the two views out of both (8 bits a sample, 1 to 4 channels): left first. An odd
// width (side by side) or height (over-under) drops the extra column or row. Half layouts
// are stretched back to twice the half's width or height. Mono, a picture too small to
// cut and memory running out give failure records (the caller says what that means).
std::pair<SImageHandle, SImageHandle> splitStereoImage(
    const SImage& both, SStoredLayout layout, const std::shared_ptr<CPixelRecycler>& recycler);

struct SPairPartner {
    std::string mPath;  // empty when the name marks no eye
    bool mPartnerIsLeft = false;
};

// The other eye's file of a pair kept in two files: "NAME_L.EXT" and "NAME_R.EXT" (also
// "-", "." before the letter, and "left"/"right"), any case, the partner's mark written in
// the case the file's own uses; else the same name in a sibling folder "L"/"R" or
// "left"/"right". Whether the partner exists is the caller's to check.
SPairPartner pairPartner(const std::string& path);
