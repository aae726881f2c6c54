// Any bytes as the saved view parameters ("ui.txt") and as a recording that is replayed
// ("ui-rec.txt", one block a frame until a block does not match). Whatever the file
// holds, the values that divide the view stay finite and above 0, every float stays
// finite, the draw mode stays among the application's modes, and a block the program
// writes reads back to the same block.
#include "SUI.h"

#include "scratchfile.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string blockText(const SUI& ui) {
    std::ostringstream out;
    ui.writeBlock(out);
    return out.str();
}

void checkValues(const SUI& ui, int drawModes) {
    const float floats[] = {ui.rotateX,
                            ui.rotateY,
                            ui.rotateZ,
                            ui.mPosX,
                            ui.mPosY,
                            ui.mPosZ,
                            ui.weightL0,
                            ui.weightL1,
                            ui.weightL2,
                            ui.mNear,
                            ui.mFar,
                            ui.mLightPosition[0],
                            ui.mLightPosition[1],
                            ui.mLightPosition[2],
                            ui.mLightPosition[3]};
    for (float value : floats)
        if (!std::isfinite(value))
            std::abort();
    for (float divisor : {ui.mZoom, ui.mTransl, ui.mScale})
        if (!std::isfinite(divisor) || !(divisor > 0))
            std::abort();
    if (ui.mDrawMode < 0 || ui.mDrawMode >= std::max(drawModes, 1))
        std::abort();
    // Written and read again, the block is the same block.
    const std::string text = blockText(ui);
    std::istringstream in(text);
    SUI back;
    if (!back.readBlock(in, drawModes) || blockText(back) != text)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = fuzzscratch::writeScratch(data, size, "ui_fuzz");
    // Applications have one draw mode or several; 0 must be taken as one.
    const int drawModes = int(size % 5);

    SUI saved;
    saved.loadFile(path, drawModes);
    checkValues(saved, drawModes);

    // A replay: the header's three words, then block after block on the same values.
    std::ifstream replay(path);
    std::string word;
    for (int i = 0; i < 3; ++i)
        replay >> word;
    SUI ui;
    // Each matching block takes 81 words of at least one byte and a separator each.
    const size_t maxBlocks = size / (3 * SUI::kBlockSize * 2) + 1;
    size_t blocks = 0;
    while (ui.readBlock(replay, drawModes, "ui-rec.txt")) {
        checkValues(ui, drawModes);
        if (++blocks > maxBlocks)
            std::abort();
    }
    checkValues(ui, drawModes);
    return 0;
}
