// Any bytes as a calibration file ("ui-calib.txt"): read, then fitted and judged as the
// viewer and the converter do at start-up. A file that reads must hold whole triples of
// patches, the same number for both eyes and no more than the reader allows, and must
// read back unchanged once the program has written it again.
#include "calibFile.h"
#include "calibFit.h"

#include "scratchfile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The reader's own limit on patches per eye.
const size_t kMaxPatches = 64;

bool samePatches(const std::vector<SCalibPatch>& a, const std::vector<SCalibPatch>& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].r != b[i].r || a[i].g != b[i].g || a[i].b != b[i].b || a[i].level != b[i].level)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = fuzzscratch::writeScratch(data, size, "calib_fuzz");
    const SCalibFileRead read = readCalibFile(path);
    // A file that cannot be used says so, naming itself, and gives no patches.
    if (!read.mOk) {
        if (read.mError.find(path) == std::string::npos || !read.mPatches[0].empty() ||
            !read.mPatches[1].empty())
            std::abort();
        return 0;
    }
    const size_t count = read.mPatches[0].size();
    if (count < 3 || count % 3 != 0 || count > kMaxPatches || read.mPatches[1].size() != count)
        std::abort();

    // Start-up: the viewer and the converter fit in grey adjustment unless the file holds
    // colour levels; the summary is what the console shows.
    SLoadedCalibration loaded;
    std::string why;
    if (loadCalibration(path, true, &loaded, &why))
        calibFitSummary(loaded.mFit);
    else if (why.find(path) == std::string::npos)
        std::abort();

    // Saved again ('[') and read back: the same patches, and nothing to warn about.
    const std::string text = calibFileText(read.mPatches[0], read.mPatches[1]);
    const std::string& again = fuzzscratch::writeScratch(
        reinterpret_cast<const uint8_t*>(text.data()), text.size(), "calib_fuzz");
    const SCalibFileRead back = readCalibFile(again);
    if (!back.mOk || !samePatches(back.mPatches[0], read.mPatches[0]) ||
        !samePatches(back.mPatches[1], read.mPatches[1]))
        std::abort();
    for (const SCalibNote& note : back.mNotes)
        if (note.mWarning)
            std::abort();
    return 0;
}
