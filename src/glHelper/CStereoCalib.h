#pragma once
// The interactive calibration of one pair of anaglyph glasses on one monitor. For each
// eye the user looks through that eye's filter at coloured patches with a grey face
// drawn over them and changes a level until the face disappears. The matches are fitted
// to a luminance model that gives, per eye, the filter's transmissions of red, green and
// blue, and one display gamma.
#include "glHelper.h"
#include "glObject.h"

#include "calibFile.h"
#include "calibFit.h"
#include "calibModel.h"
#include "calibSearch.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The state is public for the application to read, as the other framework objects'.
// Both eyes' lists always have the same length, a multiple of three; every operation
// copes with a selected index outside the list all the same.
class CStereoCalib {
public:
    // The name of the calibration file, in the working directory.
    static constexpr const char* kFileName = kCalibFileName;
    // Side of the face texture at most, whatever the driver allows.
    static constexpr int kMaxFaceTexSize = 4096;
    // The calibration of one monitor with red/cyan paper glasses, until the user makes
    // his own: per eye the red, green and blue transmissions, and the display gamma.
    static constexpr float kBuiltInFilter[2][3] = {{0.925951f, 0.0611928f, 0.0128566f},
                                                   {0.00942937f, 0.87051f, 0.120061f}};
    static constexpr float kBuiltInGamma = 1.66804f;

    // Needs the GL context to be current: it asks for the largest texture side.
    CStereoCalib();
    // The face texture goes with the object: the context must be current then too.

    // Stores the three transmissions of one eye's filter; blue becomes 1 - red - green,
    // whatever is given for it, so that white passes whole.
    void setFilter(int eye, float red, float green, float blue);
    SRgb getFilter(int eye) const;
    float getGamma() const { return mGamma; }
    void setGamma(float gamma) { mGamma = gamma; }

    // What a patch shows: its colour, and the grey of the face over it (0..1).
    SRgb patchColor(int eye, int index) const;
    float patchGray(int eye, int index) const;

    // The calibration screen for a drawing area of width x height pixels.
    void draw(int width, int height);
    // One key of calibration mode (the low 8 bits of the character); true when taken.
    bool keyboard(int key);

    // The marked patch's level by step grey levels (1 a key press, 10 with t/g).
    void brighter(int step = 1);
    void darker(int step = 1);
    // Moves to the next patch; on the last one fits and appends the next three base
    // colours to both eyes, preset to the levels the fit predicts. The calibration in use
    // stays: only Shift+A takes a fit.
    void addColors();
    // Fits, then presets every complete group of six to the fitted prediction; the
    // calibration in use stays.
    void predictLevels();
    // Fits the matches of both eyes and prints the report. A fit that calibFitUsable
    // refuses (filters that do not separate the eyes, say) changes nothing and says why on
    // the console and in the notes; otherwise it replaces filters and gamma. True when taken.
    bool fit();
    // Back to the built-in filters and gamma and to the first three patches per eye, as
    // at a start without a calibration file; the matches count as saved.
    void useBuiltIn();

    // What calibration mode shows over its screen, top first: which eye and patch, what
    // to do, the keys, the calibration in use and what the last fit, save or load gave.
    std::vector<std::string> notes() const;

    // The colour derived from c whose luminance through the filter (or through the
    // fitted filter of an eye) is x, with the current gamma.
    SRgb equalLuminanceColor(const SRgb& c, const SRgb& filter, float x) const;
    SRgb equalLuminanceColor(const SRgb& c, int eye, float x) const;

    // The calibration file, the working directory's unless another path is given. Both
    // say on the console what went wrong and return false then; a file that cannot be
    // loaded changes nothing. saveFile writes through writeFileAtomically: on failure the
    // old file stays as it was and *why (when not null) holds the system's words.
    bool saveFile(const std::string& path = kFileName, std::string* why = nullptr);
    bool loadFile(const std::string& path = kFileName);
    // What '[' does. Matches whose fit calibFitUsable refuses are not saved: at the next
    // start they would turn every stereo picture into noise. Otherwise they go to the
    // user's configuration folder, which the program finds wherever it starts, and into
    // the working directory's file when there is one (it is read first, so it must not go
    // stale); a new file is never made in the working directory, which may be a folder
    // of photos or a source checkout. True when the file read first at start-up now holds
    // the matches.
    bool saveFileAndCopy();
    // What ']' does: loads the matches of the file the program would read at start-up
    // (without fitting them); false, changing nothing, when there is none or it is broken.
    bool loadSaved();
    // The matches changed since they were last saved or loaded: leaving calibration
    // would lose them at the next start.
    bool hasUnsavedMatches() const { return mUnsaved; }
    // The user chose not to save the matches as they are: no more questions about them.
    void dropUnsavedMark() { mUnsaved = false; }
    // Loads a file and fits it, as ']' and Shift+a do, and takes the matches, the filters
    // and the gamma only when both succeed; otherwise everything stays as it was and the
    // console says why. Reports the file and the fit's result in one line.
    bool loadAndFit(const std::string& path);

    int mEye = 0;  // 0 left, 1 right
    std::vector<SCalibPatch> mPatches[2];
    std::vector<SCalibPatch> mBaseColors;
    int mCurrent = 0;  // index of the selected patch in the current eye's list
    CGLTexture mFaceTexture;
    int mFaceWidth = 0, mFaceHeight = 0;
    int mMaxTexSize = 0;
    float mFilter[2][3] = {};
    // Set by the application right after construction; a neutral value until then.
    float mGamma = 1.0f;
    bool mAdjustGray = true;  // false: colour adjustment, entered by loading a 0.3.0.0 file
    // What the last fit, save or load gave, for the notes: one line or two. A failed save
    // says what could not be written and why.
    const std::vector<std::string>& outcome() const { return mOutcome; }
    // Grows with every outcome given, so that a host can tell a new one from the last one,
    // even when both read the same (two saves onto a full disk).
    unsigned outcomeCount() const { return mOutcomeCount; }
    void setOutcome(std::vector<std::string> lines);
    void addOutcome(const std::string& line);

private:
    // Takes the patches of a file that was read, as ']' does.
    void adopt(const SCalibFileRead& read);
    void setDefaultMatches();
    // Fits the matches of both eyes and prints the report; takes nothing.
    SCalibFit fitAndReport() const;
    void createFaceTexture();
    void drawPatch(int index, int width, int height);
    bool validIndex(int index) const;

    bool mUnsaved = false;
    std::vector<std::string> mOutcome;
    unsigned mOutcomeCount = 0;
};
