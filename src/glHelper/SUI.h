#pragma once
// The view parameters of a GL application: rotation, position, zoom and scale of the
// scene, drawing switches, clipping distances and the light position. They travel as a
// block of 27 "name = value" lines, in "ui.txt" and once per frame in a recording.
#include <iosfwd>
#include <string>

struct SUI {
    // Screen pixels per metre (96 dots per inch): the unit of older files.
    static constexpr float kPixelsPerMeter = 3779.5276f;
    // The file of saved view parameters, in the working directory.
    static constexpr const char* kFileName = "ui.txt";
    static constexpr const char* kVersion = "0.5.0.0";
    // Number of entries in a block.
    static constexpr int kBlockSize = 27;

    virtual ~SUI();

    float rotateX = 0, rotateY = 0, rotateZ = 0;  // radians
    float mPosX = 0, mPosY = 0, mPosZ = 0;        // the view moves by the negative
    float weightL0 = 1.0f / 3, weightL1 = 1.0f / 3, weightL2 = 1.0f / 3;
    int mDrawMode = 0;
    int mArr = 0;
    bool mLight = true;
    bool mColorPoints = true;
    bool mDrawWithNormals = true;
    bool mDrawRaw = false;
    bool mDrawSingle = false;
    bool mColorShader = false;
    bool mMultisample = true;  // not in the block
    bool mOrtho = false;
    float mNear = 0.4f;  // clipping planes as factors of the viewing distance
    float mFar = 8.0f;
    bool m2DPixelMode = false;  // not in the block
    float mLightPosition[4] = {1, 1, 2, 1};
    // The three below divide the view: they stay finite and above 0.
    float mZoom = 1.0f;
    float mTransl = 0.4f;  // viewing distance in metres
    float mScale = 1.0f;

    // Writes the block in the classic format (six significant digits, bools as 0/1),
    // whatever format the stream is set to; the stream's own settings are not changed.
    virtual std::ostream& writeBlock(std::ostream& out) const;
    // "version = 0.5.0.0" and the block, through writeFileAtomically. False, after a
    // warning naming the file and the cause, when it cannot be written completely; the
    // old file then stays as it was.
    virtual bool saveFile(const std::string& path = kFileName);
    // Reads one block by position and echoes every entry on standard error. True when
    // every name and every "=" matched. A value that is refused (not finite, or a zoom,
    // scale or distance not above 0) keeps the old one, with a warning; a value that
    // cannot be read at all ends the block: it and every later field keep their contents.
    // A draw mode beyond the drawModes modes of the application (at least mode 0) is
    // clamped to them, with a warning. source names the stream in warnings.
    virtual bool readBlock(std::istream& in, int drawModes = 1,
                           const std::string& source = std::string());
    // Reads a file written by saveFile, converting the pixel units of versions 0.4.x. A
    // file that cannot be opened changes nothing, with a warning naming it.
    virtual void loadFile(const std::string& path = kFileName, int drawModes = 1);

private:
    struct SReadResult {
        bool matched = true;      // every name and "=" as expected
        bool zoomRead = false;    // mZoom was taken from the stream
        bool translRead = false;  // mTransl was taken from the stream
    };
    // source names the file in warnings; empty for a stream of unknown origin.
    SReadResult readEntries(std::istream& in, int drawModes, const std::string& source);
    void clampDrawMode(int drawModes, const std::string& source);
    void convertPixelUnits(const SReadResult& read, const std::string& source);
};
