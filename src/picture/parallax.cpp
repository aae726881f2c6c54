#include "parallax.h"

#include "exif.h"
#include "jpegio.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {
// Nintendo: the maker note is a bare directory at its first byte, in the Exif block's byte
// order, whose value offsets count from the block's TIFF header like those of the Exif
// directories themselves. Its camera record (0x1101) is a structure of the little-endian
// console, whatever the block's order: "3DS1", a time stamp, a serial number, and at byte
// 0x28 the parallax as a 32-bit float.
constexpr uint16_t kTagNintendoCamera = 0x1101;
constexpr int64_t kNintendoParallaxAt = 0x28;

// FUJIFILM: "FUJIFILM", then the offset of the directory from the maker note's first
// byte. The directory and its values are little-endian whatever the Exif block's order,
// and their offsets count from the maker note's first byte as well. The parallax is a
// signed rational (0xB211) that the W3 writes into the second picture's note only.
constexpr char kFujiHeader[] = "FUJIFILM";
constexpr int64_t kFujiHeaderSize = 12;  // the name and the directory's offset
constexpr uint16_t kTagFujiParallax = 0xB211;
constexpr uint16_t kTypeSignedRational = 10;

// Callers have checked that the four bytes lie inside the maker note.
uint32_t u32(SFileBuffer& file, int64_t pos, bool little) {
    uint32_t value = 0;
    for (int k = 0; k < 4; ++k) {
        const uint32_t byte = file.at(pos + (little ? 3 - k : k));
        value = value << 8 | byte;
    }
    return value;
}

int64_t noteEnd(const SMakerNote& note) {
    return note.mPos + note.mSize;
}

SCameraParallax found(double value, const char* source) {
    SCameraParallax parallax;
    // A corrupt note may hold anything; a shift that is no number (a float's NaN or
    // infinity, a rational over zero) is no parallax.
    if (!std::isfinite(value))
        return parallax;
    parallax.mFound = true;
    parallax.mValue = value;
    parallax.mSource = source;
    return parallax;
}

SCameraParallax nintendoParallax(SFileBuffer& file, const SMakerNote& note) {
    SDirectoryEntry camera;
    if (!findDirectoryEntry(file, note.mPos, noteEnd(note), note.mLittle, note.mPos, note.mTiff,
                            kTagNintendoCamera, &camera) ||
        camera.mBytes < kNintendoParallaxAt + 4)
        return SCameraParallax();
    const uint32_t bits = u32(file, camera.mValue + kNintendoParallaxAt, true);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return found(value, "Nintendo");
}

bool isFujiNote(SFileBuffer& file, const SMakerNote& note) {
    if (note.mPos < 0 || note.mSize < kFujiHeaderSize)
        return false;
    for (int k = 0; k < 8; ++k) {
        if (file.at(note.mPos + k) != static_cast<uint8_t>(kFujiHeader[k]))
            return false;
    }
    return true;
}

SCameraParallax fujiParallax(SFileBuffer& file, const SMakerNote& note) {
    const int64_t dir = note.mPos + u32(file, note.mPos + 8, true);
    SDirectoryEntry entry;
    if (!findDirectoryEntry(file, note.mPos, noteEnd(note), true, dir, note.mPos, kTagFujiParallax,
                            &entry) ||
        entry.mType != kTypeSignedRational)
        return SCameraParallax();
    const auto numerator = static_cast<int32_t>(u32(file, entry.mValue, true));
    const auto denominator = static_cast<int32_t>(u32(file, entry.mValue + 4, true));
    return found(double(numerator) / double(denominator), "FUJIFILM");
}
}  // namespace

SCameraParallax readCameraParallax(const std::string& path) {
    SFileBuffer first;
    if (!first.open(path.c_str()))
        return SCameraParallax();
    SMakerNote note;
    const SExifInfo info = parseExif(first, &note);
    if (note.mPos < 0)
        return SCameraParallax();
    // The Nintendo note has no header of its own: only the make tells it from others.
    if (info.mMake.compare(0, 8, "Nintendo") == 0)
        return nintendoParallax(first, note);
    // Only a FUJIFILM file is worth the search for its second picture, which in a file
    // without an MP index means reading through the whole first picture.
    if (!isFujiNote(first, note))
        return SCameraParallax();
    first.close();
    const long offset = secondPictureOffset(path.c_str());
    SFileBuffer second;
    if (offset <= 0 || !second.openAt(path.c_str(), offset))
        return SCameraParallax();
    parseExif(second, &note);
    if (!isFujiNote(second, note))
        return SCameraParallax();
    return fujiParallax(second, note);
}

// What each maker's value means was found by comparing it with the shift that the
// automatic alignment puts the nearest object at the screen with, on the camera pairs we
// have (the sign agrees for both makers):
// - Nintendo 3DS, 640 pixels wide: -26.20 / -35.51 / -44.80 against -55.1 / -68.0 /
//   -101.5 px, ratios 2.10, 1.92 and 2.27. Taken as pixels of a picture 320 wide (twice
//   the value at 640: -52.4 / -71.0 / -89.6 px), it lands within 5, 4 and 12 % of the
//   aligner's shift.
// - FUJIFILM W3, 3584 pixels wide: +1.5 against +62.1 px (nearest at the screen) and
//   +30.7 px (median at the screen). Taken as a percentage of the width, 53.8 px, between
//   the two.
// A shift of more than a quarter of the width is no parallax anyone can view: a corrupt
// note rather than the camera's intent.
double cameraParallaxPixels(const SCameraParallax& parallax, int width) {
    if (!parallax.mFound || !std::isfinite(parallax.mValue) || width <= 0)
        return NAN;
    double pixels = NAN;
    if (parallax.mSource == "Nintendo")
        pixels = parallax.mValue * width / 320.0;
    else if (parallax.mSource == "FUJIFILM")
        pixels = parallax.mValue * width / 100.0;
    return std::abs(pixels) <= width / 4.0 ? pixels : NAN;
}
