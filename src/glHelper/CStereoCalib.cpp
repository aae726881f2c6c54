#include "glHelper.h"

#include "CStereoCalib.h"

#include "calibFit.h"
#include "calibModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>
#include <utility>

namespace {

const char* const kFitLine = "-------------- fit ---------------\n";

SRgb colorOf(const SCalibPatch& patch) {
    return {patch.r / 255.0f, patch.g / 255.0f, patch.b / 255.0f};
}

float mean(const SRgb& c) {
    return (c[0] + c[1] + c[2]) / 3.0f;
}

// A computed level as stored: truncated towards zero; a value that is no number (a fit
// gone astray) gives 0 rather than an undefined conversion.
int16_t toLevel(float value) {
    if (!(value == value))
        return 0;
    return int16_t(std::clamp(value, float(std::numeric_limits<int16_t>::min()),
                              float(std::numeric_limits<int16_t>::max())));
}

// The colour level that shows c as bright as the linear luminance target through the
// filter: it moves the mean of the displayed components to where the exactly matching
// colour has it, rounded to the nearest level.
int16_t colorLevel(const SRgb& c, const SRgb& filter, float gamma, float target) {
    const float y = filterLuminance(c, filter, gamma);
    const SRgb v = gammaEncode(mixColor(mixLevel(target, y), c), gamma);
    return toLevel(std::trunc(mixLevel(mean(v), mean(c)) * 255.0f + 255.5f) - 255.0f);
}

// "left filter 0.926 0.061 0.013, right filter ..., gamma 1.668": short enough to read
// over the calibration screen.
std::string filtersText(const float (&filter)[2][3], float gamma) {
    std::ostringstream text;
    text.setf(std::ios::fixed);
    text.precision(3);
    text << "left filter " << filter[0][0] << ' ' << filter[0][1] << ' ' << filter[0][2]
         << ", right filter " << filter[1][0] << ' ' << filter[1][1] << ' ' << filter[1][2]
         << ", gamma " << gamma;
    return text.str();
}

}  // namespace

CStereoCalib::CStereoCalib() {
    setDefaultMatches();
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    mMaxTexSize = std::min(int(maxSize), kMaxFaceTexSize);
}

void CStereoCalib::setDefaultMatches() {
    const SCalibPatch red{255, 0, 0, 128}, green{0, 255, 0, 128}, blue{0, 0, 255, 128};
    for (auto& patches : mPatches)
        patches = {red, green, blue};
    mBaseColors = {red, green, blue, {0, 255, 255, 128}, {255, 0, 255, 128}, {255, 255, 0, 128}};
}

void CStereoCalib::useBuiltIn() {
    for (int eye = 0; eye < 2; ++eye)
        setFilter(eye, kBuiltInFilter[eye][0], kBuiltInFilter[eye][1], kBuiltInFilter[eye][2]);
    mGamma = kBuiltInGamma;
    setDefaultMatches();
    mEye = 0;
    mCurrent = 0;
    mAdjustGray = true;
    mUnsaved = false;
    setOutcome({"Back to the built-in calibration."});
}

void CStereoCalib::setOutcome(std::vector<std::string> lines) {
    mOutcome = std::move(lines);
    ++mOutcomeCount;
}

void CStereoCalib::addOutcome(const std::string& line) {
    mOutcome.push_back(line);
    ++mOutcomeCount;
}

std::vector<std::string> CStereoCalib::notes() const {
    const int count = int(mPatches[mEye].size());
    std::ostringstream head;
    head << "Calibration: " << (mEye == 0 ? "left eye (red filter)" : "right eye (cyan filter)")
         << ", patch " << std::clamp(mCurrent + 1, std::min(count, 1), count) << " of " << count;
    const char* shut = mEye == 0 ? "Shut your right eye" : "Shut your left eye";
    const std::string task =
        std::string(shut) +
        (mAdjustGray ? "; make the face on the marked patch brighter or darker until it disappears."
                     : "; make the marked patch brighter or darker until the face on it "
                       "disappears.");
    const std::string keys =
        std::string(mAdjustGray ? "w/s: face brighter/darker" : "w/s: colour brighter/darker") +
        " (t/g: by 10)  a/d: previous/next patch  e: other eye  Shift+D: three more patches  "
        "Shift+A: fit  [: save  ]: load saved matches";
    bool builtIn = mGamma == kBuiltInGamma;
    for (int eye = 0; eye < 2; ++eye)
        for (int k = 0; k < 2; ++k)
            builtIn = builtIn && mFilter[eye][k] == kBuiltInFilter[eye][k];
    std::vector<std::string> lines = {
        head.str(), task, keys,
        "In use: " + filtersText(mFilter, mGamma) + (builtIn ? " (built-in)" : "")};
    lines.insert(lines.end(), mOutcome.begin(), mOutcome.end());
    return lines;
}

void CStereoCalib::setFilter(int eye, float red, float green, float /*blue*/) {
    mFilter[eye][0] = red;
    mFilter[eye][1] = green;
    mFilter[eye][2] = 1.0f - red - green;
}

std::array<float, 3> CStereoCalib::getFilter(int eye) const {
    return {mFilter[eye][0], mFilter[eye][1], mFilter[eye][2]};
}

bool CStereoCalib::validIndex(int index) const {
    return index >= 0 && size_t(index) < mPatches[mEye].size();
}

void CStereoCalib::draw(int width, int height) {
    if (!mFaceTexture)
        createFaceTexture();
    checkGLError(__FILE__, __LINE__);
    if (width <= 0 || height <= 0)
        return;

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, width, 0.0, height, -5000.0, 5000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT);
    // The frame goes on with the application's overlay: give it back its switches.
    glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_TEXTURE_BIT | GL_CURRENT_BIT);
    glDisable(GL_DEPTH_TEST);

    const int first = mCurrent / 3 * 3;
    for (int i = first; i < first + 3; ++i) {
        if (validIndex(i))
            drawPatch(i, width, height);
    }

    // An arrow at the centre points to the eye being calibrated.
    const int cx = width / 2, cy = height / 2;
    const int side = mEye == 0 ? -1 : 1;
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_TRIANGLES);
    glVertex2i(cx + side * 25, cy);
    glVertex2i(cx + side * 10, cy - 5);
    glVertex2i(cx + side * 10, cy + 5);
    glEnd();
    glPopAttrib();
}

void CStereoCalib::drawPatch(int index, int width, int height) {
    if (mFaceWidth <= 0 || mFaceHeight <= 0)
        return;
    const int column = index % 3;
    const int row = (index / 3) % 2;
    // A window too narrow for three faces shrinks all three alike.
    const float scale = width < 3 * mFaceWidth ? float(width) / float(3 * mFaceWidth) : 1.0f;
    const int pw = int(float(mFaceWidth) * scale);
    const int ph = int(float(mFaceHeight) * scale);
    const int x = column * pw + (column * (width - 3 * pw)) / 2;
    const int y = (height - ph) * row;

    glPushMatrix();
    glTranslatef(float(x), float(y), 0.0f);
    glDisable(GL_BLEND);
    const std::array<float, 3> color = patchColor(mEye, index);
    glColor4f(color[0], color[1], color[2], 0.0f);
    glRecti(0, 0, pw, ph);

    // Only the face's bright half passes; it shows in the grey, the rest in the colour.
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.5f);
    const float gray = patchGray(mEye, index);
    glColor3f(gray, gray, gray);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, mFaceTexture.get());
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    const float s = float(mFaceWidth) / float(mMaxTexSize);
    const float t = float(mFaceHeight) / float(mMaxTexSize);
    // The picture's first row is at the top.
    glBegin(GL_TRIANGLE_STRIP);
    glTexCoord2f(0.0f, t);
    glVertex2i(0, 0);
    glTexCoord2f(s, t);
    glVertex2i(pw, 0);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2i(0, ph);
    glTexCoord2f(s, 0.0f);
    glVertex2i(pw, ph);
    glEnd();
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_ALPHA_TEST);

    if (index == mCurrent) {
        // A black ring inside a white one: one of them stands out on any grey.
        const int ring = 3;
        for (int k = 0; k < 2; ++k) {
            const int in = k * ring, out = in + ring;
            glColor3f(float(1 - k), float(1 - k), float(1 - k));
            glRecti(in, in, pw - in, in + ring);
            glRecti(in, ph - out, pw - in, ph - in);
            glRecti(in, in, out, ph - in);
            glRecti(pw - out, in, pw - in, ph - in);
        }
        // The diamond sits where the level's meaning is read: the left corner for the
        // colour's level, the right one for the face's grey.
        const int x0 = mAdjustGray ? pw - 30 : 0;
        glBegin(GL_TRIANGLE_STRIP);
        glColor3f(0.0f, 0.0f, 0.0f);
        glVertex2i(x0 + 15, ph - 25);
        glVertex2i(x0 + 20, ph - 20);
        glVertex2i(x0 + 10, ph - 20);
        glColor3f(1.0f, 1.0f, 1.0f);
        glVertex2i(x0 + 15, ph - 15);
        glEnd();
    }
    glPopMatrix();
}

bool CStereoCalib::keyboard(int key) {
    // Character codes only: a toolkit key code above them is no key of calibration.
    if (key < 0 || key > 255)
        return false;
    switch (key) {
        case 'w':
            brighter();
            return true;
        case 's':
            darker();
            return true;
        case 't':
            brighter(10);
            return true;
        case 'g':
            darker(10);
            return true;
        case 'd':
            if (mCurrent + 1 < int(mPatches[mEye].size()))
                ++mCurrent;
            return true;
        case 'a':
            if (mCurrent > 0)
                --mCurrent;
            return true;
        case 'e':
            mEye = 1 - mEye;
            return true;
        case 'D':
            addColors();
            return true;
        case '}':
            predictLevels();
            return true;
        case '[':
            saveFileAndCopy();
            return true;
        case ']':
            loadSaved();
            return true;
        default:
            return false;
    }
}

void CStereoCalib::brighter(int step) {
    if (!validIndex(mCurrent))
        return;
    int16_t& level = mPatches[mEye][size_t(mCurrent)].level;
    if (level < 255) {
        level = int16_t(std::min(255, level + step));
        mUnsaved = true;
    }
}

void CStereoCalib::darker(int step) {
    if (!validIndex(mCurrent))
        return;
    int16_t& level = mPatches[mEye][size_t(mCurrent)].level;
    const int lowest = mAdjustGray ? 0 : -255;
    if (level > lowest) {
        level = int16_t(std::max(lowest, level - step));
        mUnsaved = true;
    }
}

SRgb CStereoCalib::patchColor(int eye, int index) const {
    if (index < 0 || size_t(index) >= mPatches[eye].size())
        return {0.0f, 0.0f, 0.0f};
    return calibPatchColor(mPatches[eye][size_t(index)], mAdjustGray);
}

float CStereoCalib::patchGray(int eye, int index) const {
    if (!mAdjustGray)
        return calibPatchGray(SCalibPatch(), index, false);
    if (index < 0 || size_t(index) >= mPatches[eye].size())
        return 0.0f;
    return calibPatchGray(mPatches[eye][size_t(index)], index, true);
}

SCalibFit CStereoCalib::fitAndReport() const {
    consoleInfoText(kFitLine);
    const SCalibFit fit = fitCalibration(mPatches[0], mPatches[1], mAdjustGray);
    // Formatted on a stream of its own, whose number format nobody else changes.
    // Printed in double precision, as the fitter computed them.
    const double* p = fit.mParameters;
    const double filters[2][3] = {{p[0], p[1], 1.0 - p[0] - p[1]}, {p[2], p[3], 1.0 - p[2] - p[3]}};
    std::ostringstream report;
    report << "success = " << (fit.mSuccess ? 1 : 0) << '\n';
    report << "Left  filter RGB luminance transmission: " << filters[0][0] << ' ' << filters[0][1]
           << ' ' << filters[0][2] << '\n';
    report << "Right filter RGB luminance transmission: " << filters[1][0] << ' ' << filters[1][1]
           << ' ' << filters[1][2] << '\n';
    consoleInfoText(report.str());

    if (!fit.mPositive)
        RUV_WARNING(
            "some filter values have been fited to negative values\n"
            " - try to be more precise when adjusting the colors\n"
            " - alternatively you can also fit more than 3 colors on each eye\n"
            "   by pressing Shift+D when blue is selected you get 3 more colors to fit\n"
            " - you can also continue using these calibration values\n");

    char spread[128];
    std::snprintf(spread, sizeof spread, "distribution variance estimate [0..1]   = %g",
                  fit.mSpread);
    consoleInfo(spread);
    std::snprintf(spread, sizeof spread, "distribution variance estimate [0..255] = %g",
                  255.0 * fit.mSpread);
    consoleInfo(spread);
    consoleInfoText(kFitLine);
    return fit;
}

bool CStereoCalib::fit() {
    const SCalibFit fit = fitAndReport();
    std::string why;
    if (!calibFitUsable(fit, &why)) {
        RUV_WARNING("fit refused: " + why + "; the calibration in use stays as it was");
        setOutcome({"Fit refused: " + why + ".",
                    "The calibration in use stays as it was: match the patches again, then "
                    "Shift+A."});
        return false;
    }
    for (int eye = 0; eye < 2; ++eye)
        for (int k = 0; k < 3; ++k)
            mFilter[eye][k] = fit.mFilter[eye][k];
    mGamma = fit.mGamma;
    setOutcome({"Fit taken: " + filtersText(mFilter, mGamma) + ". [ saves it."});
    if (!fit.mPositive)
        addOutcome(
            "Some transmissions came out below zero: match more carefully, or add patches "
            "with Shift+D.");
    return true;
}

void CStereoCalib::addColors() {
    const int count = int(mPatches[mEye].size());
    if (mCurrent + 1 < count) {
        ++mCurrent;
        return;
    }
    // Right past the end, even when a damaged state had the selection beyond it.
    mCurrent = count;
    mUnsaved = true;
    // The new patches start from what the matches so far predict, even from a fit that
    // would be refused (one eye not matched yet, say): it only presets levels, the
    // calibration in use stays.
    const SCalibFit fit = fitAndReport();
    const float gamma = fit.mGamma;
    const float target = mAdjustGray ? 0.5f : std::pow(patchGray(mEye, mCurrent), gamma);
    const int first = mCurrent % 6 < 3 ? 0 : 3;
    for (int eye = 0; eye < 2; ++eye) {
        SRgb f = {fit.mFilter[eye][0], fit.mFilter[eye][1], fit.mFilter[eye][2]};
        const float sum = f[0] + f[1] + f[2];
        for (float& t : f)
            t /= sum;
        for (int k = first; k < first + 3; ++k) {
            SCalibPatch patch = mBaseColors[size_t(k)];
            const SRgb c = colorOf(patch);
            patch.level = mAdjustGray ? toLevel(255.0f * matchingGray(c, f, gamma))
                                      : colorLevel(c, f, gamma, target);
            mPatches[eye].push_back(patch);
        }
    }
    std::ostringstream line;
    line << "gray = " << target;
    consoleInfo(line.str());
}

void CStereoCalib::predictLevels() {
    mUnsaved = true;
    // Presets only, as with new patches: the calibration in use stays.
    const SCalibFit fit = fitAndReport();
    const float gamma = fit.mGamma;
    const size_t groups = mPatches[mEye].size() / 6;
    for (size_t g = 0; g < groups; ++g) {
        const float gray = mAdjustGray ? mPatches[mEye][6 * g].level / 255.0f
                                       : calibGray(int(g) + 1) * kCalibGrayScale;
        const float target = std::pow(gray, gamma);
        for (int eye = 0; eye < 2; ++eye) {
            const SRgb f = {fit.mFilter[eye][0], fit.mFilter[eye][1], fit.mFilter[eye][2]};
            std::vector<SCalibPatch>& patches = mPatches[eye];
            for (size_t k = 0; k < 6 && 6 * g + k < patches.size(); ++k) {
                SCalibPatch patch = patches[k];
                patch.level = colorLevel(colorOf(patch), f, gamma, target);
                patches[6 * g + k] = patch;
            }
        }
    }
}

SRgb CStereoCalib::equalLuminanceColor(const SRgb& c, const SRgb& filter, float x) const {
    return ::equalLuminanceColor(c, filter, mGamma, x);
}

SRgb CStereoCalib::equalLuminanceColor(const SRgb& c, int eye, float x) const {
    return equalLuminanceColor(c, getFilter(eye), x);
}
