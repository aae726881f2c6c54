// What the calibration reads and writes: the face picture, and the calibration file with
// the patches of both eyes and their levels, so that a calibration can be resumed or
// fitted again later (fitted values are not kept).
#include "glHelper.h"

#include "CStereoCalib.h"

#include "calibFit.h"
#include "calibModel.h"
#include "calibSearch.h"
#include "filecloser.h"
#include "filewrite.h"
#include "pngio.h"

#include <QByteArray>
#include <QFile>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <utility>

namespace {

const char* const kFaceFile = "dface.png";
const char* const kFaceResource = ":/images/dface.png";
// Side of the face picture built when neither the file nor the resource gives one.
constexpr int kBuiltFaceSide = 512;

// The face picture as one byte per pixel, first row at the top.
struct SFacePicture {
    int width = 0, height = 0;
    std::vector<uint8_t> alpha;
};

// The first sample of every pixel as a byte, whatever the file's layout: 16-bit samples
// give their high byte, packed low bit depths are spread over 0..255. Only the part that
// fits into the texture is kept.
SFacePicture firstChannel(const SImage& image, int maxSide) {
    SFacePicture face;
    if (!image.mPixels || image.mWidth <= 0 || image.mHeight <= 0 || image.mChannels < 1)
        return face;
    const int depth = image.mBitDepth;
    if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16)
        return face;
    face.width = std::min(image.mWidth, maxSide);
    face.height = std::min(image.mHeight, maxSide);
    face.alpha.resize(size_t(face.width) * size_t(face.height));
    const int64_t stride = imageRowBytes(image);
    for (int y = 0; y < face.height; ++y) {
        const unsigned char* row = image.mPixels + y * stride;
        for (int x = 0; x < face.width; ++x) {
            const int64_t sample = int64_t(x) * image.mChannels;
            uint8_t value;
            if (depth == 8) {
                value = row[sample];
            } else if (depth == 16) {
                value = row[sample * 2];  // big-endian, as stored
            } else {
                const int64_t bit = sample * depth;
                const int shift = 8 - depth - int(bit % 8);
                const int maxValue = (1 << depth) - 1;
                value = uint8_t(((row[bit / 8] >> shift) & maxValue) * 255 / maxValue);
            }
            face.alpha[size_t(y) * size_t(face.width) + size_t(x)] = value;
        }
    }
    return face;
}

SFacePicture takeFace(const SImageHandle& image, int maxSide) {
    return firstChannel(*image, maxSide);
}

SFacePicture faceFromResource(int maxSide) {
    QFile resource(QString::fromLatin1(kFaceResource));
    if (!resource.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = resource.readAll();
    if (bytes.isEmpty())
        return {};
    const FilePtr stream(fmemopen(bytes.data(), size_t(bytes.size()), "rb"));
    if (!stream)
        return {};
    return takeFace(readPngStream(stream.get(), kFaceResource), maxSide);
}

// Two grey levels: the right half and the middle square swap them, so that a face of
// either brightness shows whatever the patch.
SFacePicture builtFace(int maxSide) {
    SFacePicture face;
    face.width = face.height = std::min(kBuiltFaceSide, maxSide);
    face.alpha.resize(size_t(face.width) * size_t(face.height));
    for (int y = 0; y < face.height; ++y) {
        for (int x = 0; x < face.width; ++x) {
            const bool right = x > 256;
            const bool square = x >= 129 && x <= 383 && y >= 129 && y <= 383;
            face.alpha[size_t(y) * size_t(face.width) + size_t(x)] = right != square ? 191 : 127;
        }
    }
    return face;
}

// A file in the working directory overrides the compiled-in picture.
SFacePicture loadFacePicture(int maxSide) {
    if (FilePtr(std::fopen(kFaceFile, "rb"))) {
        SFacePicture face = takeFace(readPngFile(kFaceFile), maxSide);
        if (!face.alpha.empty())
            return face;
    }
    SFacePicture face = faceFromResource(maxSide);
    if (!face.alpha.empty())
        return face;
    return builtFace(maxSide);
}

// The sRGB transfer function undone, for the linear values the diagnostic prints.
float srgbToLinear(float d) {
    const float e = std::pow((d + 0.055f) / 1.055f, 2.4f);
    return e <= 0.0031308f ? d / 12.92f : e;
}

}  // namespace

void CStereoCalib::createFaceTexture() {
    const CPixelStoreGuard pixelStore;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glGenTextures(1, mFaceTexture.out());
    glBindTexture(GL_TEXTURE_2D, mFaceTexture.get());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    checkGLError(__FILE__, __LINE__);
    // A square of the largest size, so that any face picture fits into its corner.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, mMaxTexSize, mMaxTexSize, 0, GL_ALPHA,
                 GL_UNSIGNED_BYTE, nullptr);

    const SFacePicture face = loadFacePicture(mMaxTexSize);
    mFaceWidth = face.width;
    mFaceHeight = face.height;
    if (!face.alpha.empty())
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, face.width, face.height, GL_ALPHA, GL_UNSIGNED_BYTE,
                        face.alpha.data());
    checkGLError(__FILE__, __LINE__);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBindTexture(GL_TEXTURE_2D, 0);
}

bool CStereoCalib::saveFile(const std::string& path, std::string* why) {
    for (int eye = 0; eye < 2; ++eye) {
        for (size_t i = 0; i < mPatches[eye].size(); ++i) {
            const SCalibPatch& patch = mPatches[eye][i];
            // The colour level that would match the face's grey taken as sRGB.
            const SRgb c = {patch.r / 255.0f, patch.g / 255.0f, patch.b / 255.0f};
            const SRgb v = equalLuminanceColor(c, eye, srgbToLinear(patchGray(eye, int(i))));
            std::ostringstream line;
            line << "getA(ungamma(color2bRsGsBs), base) = "
                 << mixLevel((v[0] + v[1] + v[2]) / 3.0f, (c[0] + c[1] + c[2]) / 3.0f) << '\n';
            consoleInfoText(line.str());
        }
    }
    // The writer says on the console what failed; the old file stays whole.
    if (!writeFileAtomically(path, calibFileText(mPatches[0], mPatches[1]), why))
        return false;
    mUnsaved = false;
    return true;
}

bool CStereoCalib::saveFileAndCopy() {
    std::string why;
    if (!calibFitUsable(fitCalibration(mPatches[0], mPatches[1], mAdjustGray), &why)) {
        RUV_WARNING("calibration not saved: " + why + "; the saved calibration stays as it was");
        setOutcome({"Not saved: " + why + ".",
                    "The saved calibration stays as it was: match the patches again, then "
                    "Shift+A and [."});
        return false;
    }
    const std::string copy = calibrationConfigPath();
    std::string copyWhy;
    const bool copied =
        saveCalibrationCopy(copy, calibFileText(mPatches[0], mPatches[1]), &copyWhy);
    struct stat st;
    const bool local = stat(kFileName, &st) == 0 && !S_ISDIR(st.st_mode);
    if (!copied)
        RUV_WARNING(copyWhy + (local ? "; the program will not find this calibration when it "
                                       "starts in another folder"
                                     : "; the calibration is not saved"));
    std::string localWhy;
    const bool saved = local ? saveFile(kFileName, &localWhy) : copied;
    if (saved)
        mUnsaved = false;
    // Every failure in the notes with the system's words: a full disk must not read as
    // "Saved".
    std::vector<std::string> lines;
    if (copied) {
        lines.push_back(
            "Saved to " + copy +
            (local && saved ? " and " + std::string(kFileName) + " (read first)." : "."));
    } else if (local && saved) {
        lines.push_back("Saved to " + std::string(kFileName) + ".");
        lines.push_back("Not kept for a start in another folder: " + copyWhy + ".");
    } else {
        lines.push_back("Not saved: " + copyWhy + ".");
    }
    if (local && !saved)
        lines.push_back("Could not write " + std::string(kFileName) +
                        ", which is read first: " + localWhy + ".");
    setOutcome(std::move(lines));
    return saved;
}

bool CStereoCalib::loadSaved() {
    const std::string path = findStartupCalibration();
    if (path.empty()) {
        RUV_WARNING("no saved calibration to load; the matches stay as they were");
        setOutcome({"No saved calibration to load."});
        return false;
    }
    if (!loadFile(path)) {
        setOutcome({"Could not load " + path + ": see the console."});
        return false;
    }
    setOutcome({"Loaded the matches of " + path + "; Shift+A fits them."});
    return true;
}

namespace {

// The notes of reading, as the console shows them: plain lines, and warnings.
void printNotes(const SCalibFileRead& read, bool plainToo) {
    for (const SCalibNote& note : read.mNotes) {
        if (note.mWarning)
            RUV_WARNING(note.mText);
        else if (plainToo)
            consoleInfoText(note.mText);
    }
}

}  // namespace

bool CStereoCalib::loadFile(const std::string& path) {
    const SCalibFileRead read = readCalibFile(path);
    printNotes(read, true);
    if (!read.mOk) {
        RUV_WARNING(read.mError + "; the calibration stays as it was");
        return false;
    }
    adopt(read);
    return true;
}

void CStereoCalib::adopt(const SCalibFileRead& read) {
    mPatches[0] = read.mPatches[0];
    mPatches[1] = read.mPatches[1];
    mUnsaved = false;
    if (read.mColorLevels)
        mAdjustGray = false;
    const int count = int(mPatches[0].size());
    if (mCurrent >= count)
        mCurrent = count - 1;
}

bool CStereoCalib::loadAndFit(const std::string& path) {
    SLoadedCalibration loaded;
    std::string why;
    if (!loadCalibration(path, mAdjustGray, &loaded, &why)) {
        RUV_WARNING("calibration not used: " + why + "; the filters stay as they were");
        setOutcome({"Saved calibration not used: " + why + "."});
        return false;
    }
    printNotes(loaded.mFile, false);
    adopt(loaded.mFile);
    for (int eye = 0; eye < 2; ++eye)
        for (int k = 0; k < 3; ++k)
            mFilter[eye][k] = loaded.mFit.mFilter[eye][k];
    mGamma = loaded.mFit.mGamma;
    consoleInfo("calibration " + path + ": " + calibFitSummary(loaded.mFit));
    setOutcome({"Calibration of " + path + "."});
    return true;
}
