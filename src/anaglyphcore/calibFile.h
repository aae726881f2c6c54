#pragma once
// The calibration file as plain text: the patches of both eyes with their levels, so
// that a calibration can be resumed or fitted again later. No GL and no Qt, so that
// programs without a window read the same files as the viewer.
#include <cstdint>
#include <string>
#include <vector>

// One patch: a base colour and the user's level, whose meaning depends on the
// adjustment mode (the face grey times 255, or the colour's mix level -255..255).
struct SCalibPatch {
    uint8_t r = 0, g = 0, b = 0;
    int16_t level = 0;
};

// One line that reading a file has to report, in the order it arose: plain notes in the
// form the console shows them ("num = 3"), or warnings for the console.
struct SCalibNote {
    bool mWarning = false;
    std::string mText;  // a plain note ends with its line end; a warning has none
};

struct SCalibFileRead {
    bool mOk = false;
    std::vector<SCalibPatch> mPatches[2];
    bool mColorLevels = false;  // a file of version 0.3.0.0: levels of colour adjustment
    std::vector<SCalibNote> mNotes;
    std::string mError;  // why the file cannot be used, when !mOk; names the file
};

// Reads a calibration file. Older versions are converted; a count that is no whole
// number of triples loses the incomplete triple (with a warning note). Files with an
// unusable count, too short or unreadable give mOk false and change nothing.
SCalibFileRead readCalibFile(const std::string& path);

// The text of a calibration file of the current version.
std::string calibFileText(const std::vector<SCalibPatch>& left,
                          const std::vector<SCalibPatch>& right);
