#include "calibFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

const char* const kVersion = "0.4.0.0";
// Levels of this version were stored on 0..255 for the range -255..255.
const char* const kVersionHalfLevels = "0.2.0.0";
// Files of this version hold colour levels.
const char* const kVersionColorLevels = "0.3.0.0";
// The procedure uses a handful of patches per eye. A fit runs its passes over every
// patch, so a larger list would keep the program busy for minutes.
constexpr long long kMaxPatches = 64;

void note(SCalibFileRead& read, const std::string& text) {
    read.mNotes.push_back({false, text});
}

SCalibFileRead failure(SCalibFileRead read, const std::string& why) {
    read.mOk = false;
    read.mError = why;
    read.mPatches[0].clear();
    read.mPatches[1].clear();
    return read;
}

}  // namespace

SCalibFileRead readCalibFile(const std::string& path) {
    SCalibFileRead read;
    std::ifstream in(path);
    if (!in)
        return failure(read, "cannot read " + path + ": " + std::strerror(errno));

    std::string word, version;
    in >> word;
    if (word != "version")
        note(read, "WARNING: " + path + " version!\n");
    in >> word;
    if (word != "=")
        note(read, "WARNING: " + path + " =!\n");
    in >> version;
    const bool halfLevels = version == kVersionHalfLevels;
    read.mColorLevels = version == kVersionColorLevels;
    if (halfLevels || read.mColorLevels)
        note(read, "WARNING: " + path + ": verion = " + version + "\n");

    in >> word >> word;  // "num" "="
    long long count = -1;
    if (in >> count)
        note(read, "num = " + std::to_string(count) + "\n");
    if (in && count > kMaxPatches)
        return failure(read, path + ": " + std::to_string(count) + " patches per eye, more than " +
                                 std::to_string(kMaxPatches));
    if (!in || count < 3)
        return failure(read, path + ": no usable number of patches");

    for (auto& list : read.mPatches) {
        for (long long i = 0; i < count; ++i) {
            long long r, g, b, value;
            if (!(in >> r >> g >> b >> value))
                return failure(read, path + ": the file ends before its " + std::to_string(count) +
                                         " patches of each eye");
            // Only the low 16 bits are kept, so unsigned arithmetic (which wraps) gives
            // the same level for any value the file holds.
            uint64_t level = uint64_t(value);
            if (halfLevels)
                level = 2 * level - 255;
            SCalibPatch patch;
            patch.r = uint8_t(r & 0xFF);
            patch.g = uint8_t(g & 0xFF);
            patch.b = uint8_t(b & 0xFF);
            patch.level = int16_t(uint16_t(level & 0xFFFF));
            list.push_back(patch);
        }
    }

    // Patches are shown and fitted three at a time: a triple that is not whole is dropped.
    const size_t whole = size_t(count / 3 * 3);
    if (whole != size_t(count)) {
        read.mNotes.push_back({true, path + ": " + std::to_string(count) +
                                         " patches are no whole triples; the last " +
                                         std::to_string(count % 3) + " of each eye are left out"});
        for (auto& list : read.mPatches)
            list.resize(whole);
    }
    read.mOk = true;
    return read;
}

std::string calibFileText(const std::vector<SCalibPatch>& left,
                          const std::vector<SCalibPatch>& right) {
    std::ostringstream out;
    out << "version = " << kVersion << '\n';
    out << "num = " << left.size() << '\n';
    for (const auto* list : {&left, &right})
        for (const SCalibPatch& patch : *list)
            out << int(patch.r) << ' ' << int(patch.g) << ' ' << int(patch.b) << ' ' << patch.level
                << '\n';
    return out.str();
}
