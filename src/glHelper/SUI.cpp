// The block is read word by word into strings and each value is parsed on its own, so
// that a hand-edited file can neither overflow a buffer nor put half a number into a
// field. Output is formatted in a stream of our own: the classic locale and the default
// six significant digits, whatever the caller's stream or the process locale is set to.
#include "SUI.h"

#include "diagnostics.h"
#include "filewrite.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <locale>
#include <sstream>
#include <variant>

namespace {

// The block's entries in file order. A template so that writing sees const fields and
// reading writable ones through the same table.
template <typename UI>
auto blockOf(UI& ui) {
    using Float = decltype(&ui.rotateX);
    using Int = decltype(&ui.mDrawMode);
    using Bool = decltype(&ui.mLight);
    struct SEntry {
        const char* name;
        std::variant<Float, Int, Bool> field;
        bool positive;  // divides the view: must stay above 0
    };
    return std::array<SEntry, SUI::kBlockSize>{{
        {"rotateX", &ui.rotateX, false},
        {"rotateY", &ui.rotateY, false},
        {"rotateZ", &ui.rotateZ, false},
        {"mPosX", &ui.mPosX, false},
        {"mPosY", &ui.mPosY, false},
        {"mPosZ", &ui.mPosZ, false},
        {"mZoom", &ui.mZoom, true},
        {"weightL0", &ui.weightL0, false},
        {"weightL1", &ui.weightL1, false},
        {"weightL2", &ui.weightL2, false},
        {"mDrawMode", &ui.mDrawMode, false},
        {"mArr", &ui.mArr, false},
        {"mLight", &ui.mLight, false},
        {"mColorPoints", &ui.mColorPoints, false},
        {"mDrawWithNormals", &ui.mDrawWithNormals, false},
        {"mDrawRaw", &ui.mDrawRaw, false},
        {"mDrawSingle", &ui.mDrawSingle, false},
        {"mColorShader", &ui.mColorShader, false},
        {"mOrtho", &ui.mOrtho, false},
        {"mTransl", &ui.mTransl, true},
        {"mNear", &ui.mNear, false},
        {"mFar", &ui.mFar, false},
        {"mLightPosition[0]", &ui.mLightPosition[0], false},
        {"mLightPosition[1]", &ui.mLightPosition[1], false},
        {"mLightPosition[2]", &ui.mLightPosition[2], false},
        {"mLightPosition[3]", &ui.mLightPosition[3], false},
        {"mScale", &ui.mScale, true},
    }};
}

const char* const kOldVersions[] = {"0.4.1.0", "0.4.2.0", "0.4.3.0"};

// A parsed value: taken, refused (a number, but not one the field may hold), or not a
// value of the field's type at all.
enum class EParse { Ok, Refused, Unreadable };

template <typename T>
EParse parseNumber(const std::string& word, T& value) {
    const char* first = word.data();
    const char* last = first + word.size();
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-')
        ++first;  // from_chars takes no plus sign, a hand-edited file may
    T parsed{};
    const auto [end, code] = std::from_chars(first, last, parsed);
    if (end != last || first == last)
        return EParse::Unreadable;
    if (code == std::errc::result_out_of_range)
        return EParse::Refused;
    if (code != std::errc())
        return EParse::Unreadable;
    value = parsed;
    return EParse::Ok;
}

EParse parseValue(const std::string& word, float& value, bool positive) {
    const EParse result = parseNumber(word, value);
    if (result != EParse::Ok)
        return result;
    if (!std::isfinite(value) || (positive && !(value > 0)))
        return EParse::Refused;
    return EParse::Ok;
}

EParse parseValue(const std::string& word, int& value, bool) {
    return parseNumber(word, value);
}

// Written as 0 or 1; nothing else is a bool.
EParse parseValue(const std::string& word, bool& value, bool) {
    if (word != "0" && word != "1")
        return EParse::Unreadable;
    value = word == "1";
    return EParse::Ok;
}

std::ostringstream classicStream() {
    std::ostringstream out;
    out.imbue(std::locale::classic());
    return out;
}

std::string inFile(const std::string& source) {
    return source.empty() ? std::string() : source + ": ";
}

}  // namespace

SUI::~SUI() = default;

std::ostream& SUI::writeBlock(std::ostream& out) const {
    std::ostringstream text = classicStream();
    for (const auto& entry : blockOf(*this)) {
        text << entry.name << " = ";
        std::visit([&text](auto* field) { text << *field; }, entry.field);
        text << '\n';
    }
    return out << text.str();
}

bool SUI::saveFile(const std::string& path) {
    std::ostringstream text;
    text << "version = " << kVersion << '\n';
    writeBlock(text);
    // All of it or nothing: the old file stays whole when the disk is full, and the
    // writer's warning names the file and the cause.
    return writeFileAtomically(path, text.str());
}

bool SUI::readBlock(std::istream& in, int drawModes, const std::string& source) {
    return readEntries(in, drawModes, source).matched;
}

SUI::SReadResult SUI::readEntries(std::istream& in, int drawModes, const std::string& source) {
    SReadResult result;
    std::string word;
    for (const auto& entry : blockOf(*this)) {
        bool drawModeRead = false;
        // A failed stream leaves the word as it was: clear it so it cannot match.
        word.clear();
        in >> word;
        if (word != entry.name)
            result.matched = false;
        word.clear();
        in >> word;
        if (word != "=")
            result.matched = false;
        word.clear();
        in >> word;

        std::ostringstream echo = classicStream();
        echo << entry.name << " = ";
        std::visit(
            [&](auto* field) {
                if (!in)
                    return;
                auto value = *field;
                switch (parseValue(word, value, entry.positive)) {
                    case EParse::Ok:
                        *field = value;
                        if (static_cast<const void*>(field) == &mZoom)
                            result.zoomRead = true;
                        else if (static_cast<const void*>(field) == &mTransl)
                            result.translRead = true;
                        else if (static_cast<const void*>(field) == &mDrawMode)
                            drawModeRead = true;
                        break;
                    case EParse::Refused: {
                        std::ostringstream kept = classicStream();
                        kept << *field;
                        RUV_WARNING(inFile(source) + entry.name + " = " + word + " refused (" +
                                    (entry.positive ? "not a finite number above 0"
                                                    : "not a finite number in range") +
                                    "); keeping " + kept.str());
                        break;
                    }
                    case EParse::Unreadable:
                        // What follows can no longer be trusted to sit at its position.
                        in.setstate(std::ios::failbit);
                        break;
                }
            },
            entry.field);
        if (drawModeRead)
            clampDrawMode(drawModes, source);
        std::visit([&echo](auto* field) { echo << *field; }, entry.field);
        consoleInfo(echo.str());
    }
    return result;
}

void SUI::loadFile(const std::string& path, int drawModes) {
    std::ifstream in(path);
    if (!in) {
        RUV_WARNING("cannot read " + path + ": " + std::strerror(errno) +
                    "; the view parameters stay as they were");
        return;
    }
    std::string word;
    in >> word;
    if (word != "version")
        consoleLine("WARNING: " + path + " version!");
    word.clear();
    in >> word;
    if (word != "=")
        consoleLine("WARNING: " + path + " =!");
    std::string version;
    in >> version;
    consoleInfo("buff = " + version);
    bool old = false;
    for (const char* oldVersion : kOldVersions)
        old = old || version == oldVersion;
    if (old)
        consoleLine("WARNING: " + path + " =!");

    const SReadResult read = readEntries(in, drawModes, path);
    if (!read.matched)
        consoleLine("WARNING: " + path + " outdated!");
    if (old)
        convertPixelUnits(read, path);
}

// A mode beyond the application's is no mode it can draw, and a key steps on from the
// mode by adding one.
void SUI::clampDrawMode(int drawModes, const std::string& source) {
    const int last = std::max(drawModes, 1) - 1;
    const int clamped = std::clamp(mDrawMode, 0, last);
    if (clamped == mDrawMode)
        return;
    RUV_WARNING(inFile(source) + "mDrawMode = " + std::to_string(mDrawMode) +
                " out of range (draw modes 0 to " + std::to_string(last) + "); clamped to " +
                std::to_string(clamped));
    mDrawMode = clamped;
}

// Versions 0.4.x kept the viewing distance and the zoom in screen pixels. Only values
// that came from the file are converted: a field the file did not give is already in
// metres. A result that would end as 0, a subnormal or infinity is refused, since the
// view divides by these.
void SUI::convertPixelUnits(const SReadResult& read, const std::string& source) {
    if (read.translRead) {
        const float transl = mTransl / kPixelsPerMeter;
        if (std::isnormal(transl)) {
            mTransl = transl;
        } else {
            RUV_WARNING(inFile(source) + "mTransl cannot be converted from pixels; keeping it");
        }
    }
    if (read.zoomRead) {
        const float q = mZoom / kPixelsPerMeter;
        if (std::isnormal(q)) {
            mScale = q;
            mZoom = 1.0f;  // q / q
        } else {
            RUV_WARNING(inFile(source) + "mZoom cannot be converted from pixels; keeping it");
        }
    }
    std::ostringstream echo = classicStream();
    echo << "mZoom = " << mZoom << '\n' << "mScale = " << mScale;
    consoleInfo(echo.str());
}
