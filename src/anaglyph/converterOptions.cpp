#include "converterOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

const char* const kConverterUsage =
    "Usage: ruvello-anaglyph [options] INPUT...\n"
    "       ruvello-anaglyph [options] --pair LEFT RIGHT -o OUTPUT\n"
    "Turns stereo pictures (MPO files, or folders of them) into anaglyphs for glasses with\n"
    "a red and a cyan filter, as Ruvello shows them, at full resolution, or into other\n"
    "stereo layouts. Each INPUT gives NAME-anaglyph.jpg (NAME-parallel.jpg, NAME-cross.jpg,\n"
    "NAME-aligned.mpo or, not aligned, NAME-stereo.mpo) beside it, or in the folder given\n"
    "with --out-dir. Every output stands upright.\n"
    "\n"
    "Options:\n"
    "  --layout LAYOUT     anaglyph (default); parallel: the left and the right picture side\n"
    "                      by side in one JPEG; cross: right and left, for cross-eyed\n"
    "                      viewing; mpo: both pictures in a Multi-Picture file (.mpo);\n"
    "                      over-under: left above right; half-parallel, half-over-under:\n"
    "                      each view squeezed to half size, for 3D TVs and projectors;\n"
    "                      rows, columns, checkerboard: the views interleaved, the left one\n"
    "                      on the even rows, columns or squares counted from 0 at the top\n"
    "                      left, for passive 3D monitors and DLP projectors (.png). A side-\n"
    "                      by-side or over-under output named .jps carries the JPS marker.\n"
    "                      The options from --calib to --shift only make anaglyphs\n"
    "  --align             bring the right picture onto the left one (height, rotation,\n"
    "                      size; the nearest object at the screen) and keep the part that\n"
    "                      both eyes see; a pair that cannot be aligned is written as it is,\n"
    "                      with a line saying why\n"
    "  --print-alignment   print the alignment of each input on standard output:\n"
    "                      FILE, a tab, then \"dy= rotation= scale= dx= matches= near= far=\n"
    "                      source=\" (pixels of the left picture as stored, degrees; source:\n"
    "                      matches, or camera-parallax when the camera's parallax set the\n"
    "                      shift of a pair with too few matches) or \"no alignment: WHY\".\n"
    "                      Implies --align; alone it writes nothing, with --align,\n"
    "                      --layout, -o or --out-dir the outputs too\n"
    "  --calib FILE        fit the filters to this calibration file (default: ui-calib.txt\n"
    "                      in the working directory, else the one Ruvello keeps in the\n"
    "                      configuration folder, else the built-in filters)\n"
    "  --mode MODE         full, half or gray colour (default: full)\n"
    "  --no-halo-removal   let the ghost images through that the filters leak\n"
    "  --restricted-range  keep the colours within what both filters can separate\n"
    "  --shift PIXELS      move the views apart: the left one by -PIXELS, the right one by\n"
    "                      +PIXELS\n"
    "  --quality Q         JPEG quality, 1 to 100 (default: 90)\n"
    "  --overwrite         replace outputs that exist (never an input, nor an output of\n"
    "                      an earlier input of the same run); else they are kept\n"
    "  -o, --output FILE   the output of a single input: an anaglyph .jpg, .jpeg or .png; a\n"
    "                      side-by-side .jpg, .jpeg or .jps; a Multi-Picture file .mpo\n"
    "  --out-dir DIR       the folder the outputs go to\n"
    "  --pair LEFT RIGHT   one pair of separate pictures (JPEG or PNG) instead of MPO files,\n"
    "                      each turned upright by its own Exif orientation; pictures that\n"
    "                      then differ in size fail\n"
    "  --fit               with --pair: fit the right picture to the left one's size\n"
    "  --time-pass         print how long each step took, on standard error\n"
    "  -h, --help          print this help and exit\n"
    "  -v, --version       print the version and exit\n"
    "\n"
    "Exit status: 0 when every input was converted or its output kept, 1 when an input\n"
    "failed, 2 for a command line that makes no sense.\n";

namespace {

class CArguments {
public:
    CArguments(int argc, char** argv) : mArgc(argc), mArgv(argv) {}

    bool done() const { return mNext >= mArgc; }
    std::string next() { return mArgv[mNext++]; }
    // The value of an option: after '=' in the same word, else the next word.
    bool value(const std::string& option, const std::string& inlineValue, bool hasInline,
               std::string* out, std::string* error) {
        if (hasInline) {
            *out = inlineValue;
            return true;
        }
        if (done()) {
            *error = option + " needs a value";
            return false;
        }
        *out = next();
        return true;
    }

private:
    int mArgc;
    char** mArgv;
    int mNext = 1;
};

bool parseShift(const std::string& text, float* shift) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value) ||
        std::fabs(value) > 1e6)
        return false;
    *shift = float(value);
    return true;
}

bool parseQuality(const std::string& text, int* quality) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < 1 || value > 100)
        return false;
    *quality = int(value);
    return true;
}

bool parseLayout(const std::string& text, EStereoLayout* layout) {
    const std::pair<const char*, EStereoLayout> names[] = {
        {"anaglyph", EStereoLayout::Anaglyph},
        {"parallel", EStereoLayout::Parallel},
        {"cross", EStereoLayout::Cross},
        {"mpo", EStereoLayout::Mpo},
        {"over-under", EStereoLayout::OverUnder},
        {"half-parallel", EStereoLayout::HalfParallel},
        {"half-over-under", EStereoLayout::HalfOverUnder},
        {"rows", EStereoLayout::Rows},
        {"columns", EStereoLayout::Columns},
        {"checkerboard", EStereoLayout::Checkerboard}};
    for (const auto& [name, value] : names)
        if (text == name) {
            *layout = value;
            return true;
        }
    return false;
}

bool parseMode(const std::string& text, int* mode) {
    const char* const names[] = {"full", "half", "gray"};
    for (int i = 0; i < 3; ++i)
        if (text == names[i]) {
            *mode = i;
            return true;
        }
    return false;
}

}  // namespace

bool parseConverterOptions(int argc, char** argv, SConverterOptions* options, std::string* error) {
    CArguments args(argc, argv);
    SAnaglyphSettings& anaglyph = options->mExport.mAnaglyph;
    bool optionsEnd = false;
    bool layoutGiven = false;
    std::string anaglyphOption;  // the first option that only the anaglyph layout uses
    while (!args.done()) {
        const std::string word = args.next();
        if (optionsEnd || word.size() < 2 || word[0] != '-') {
            options->mInputs.push_back(word);
            continue;
        }
        const size_t equals = word.find('=');
        const bool hasInline = word.compare(0, 2, "--") == 0 && equals != std::string::npos;
        const std::string name = hasInline ? word.substr(0, equals) : word;
        const std::string inlineValue = hasInline ? word.substr(equals + 1) : std::string();
        std::string value;
        auto takeValue = [&] { return args.value(name, inlineValue, hasInline, &value, error); };
        if (anaglyphOption.empty() &&
            (name == "--calib" || name == "--mode" || name == "--no-halo-removal" ||
             name == "--restricted-range" || name == "--shift"))
            anaglyphOption = name;

        if (name == "--") {
            optionsEnd = true;
        } else if (name == "-h" || name == "--help") {
            options->mHelp = true;
        } else if (name == "-v" || name == "--version") {
            options->mVersion = true;
        } else if (name == "--no-halo-removal") {
            anaglyph.mRemoveHalos = false;
        } else if (name == "--restricted-range") {
            anaglyph.mRestrictedRange = true;
        } else if (name == "--overwrite") {
            options->mExport.mOverwrite = true;
        } else if (name == "--fit") {
            options->mExport.mFitRight = true;
        } else if (name == "--time-pass") {
            options->mTimePass = true;
        } else if (name == "--align") {
            options->mExport.mAlign = true;
        } else if (name == "--print-alignment") {
            options->mPrintAlignment = true;
        } else if (name == "--layout") {
            if (!takeValue())
                return false;
            if (!parseLayout(value, &options->mExport.mLayout)) {
                *error =
                    "--layout takes anaglyph, parallel, cross, mpo, over-under, half-parallel, "
                    "half-over-under, rows, columns or checkerboard, not \"" +
                    value + "\"";
                return false;
            }
            layoutGiven = true;
        } else if (name == "--calib") {
            if (!takeValue())
                return false;
            options->mCalibration = value;
        } else if (name == "--mode") {
            if (!takeValue())
                return false;
            if (!parseMode(value, &anaglyph.mMode)) {
                *error = "--mode takes full, half or gray, not \"" + value + "\"";
                return false;
            }
        } else if (name == "--shift") {
            if (!takeValue())
                return false;
            if (!parseShift(value, &anaglyph.mShift)) {
                *error = "--shift takes a number of pixels, not \"" + value + "\"";
                return false;
            }
        } else if (name == "--quality") {
            if (!takeValue())
                return false;
            if (!parseQuality(value, &options->mExport.mQuality)) {
                *error = "--quality takes a number from 1 to 100, not \"" + value + "\"";
                return false;
            }
        } else if (name == "-o" || name == "--output") {
            if (!takeValue())
                return false;
            options->mOutput = value;
        } else if (name == "--out-dir") {
            if (!takeValue())
                return false;
            options->mOutDir = value;
        } else if (name == "--pair") {
            if (hasInline || args.done()) {
                *error = "--pair needs two pictures: --pair LEFT RIGHT";
                return false;
            }
            options->mPairLeft = args.next();
            if (args.done()) {
                *error = "--pair needs two pictures: --pair LEFT RIGHT";
                return false;
            }
            options->mPairRight = args.next();
        } else {
            *error = "unknown option " + word;
            return false;
        }
    }
    if (options->mHelp || options->mVersion)
        return true;
    const bool pair = !options->mPairLeft.empty();
    if (!options->mOutput.empty() && !options->mOutDir.empty()) {
        *error = "-o and --out-dir exclude each other";
        return false;
    }
    if (!pair && options->mExport.mFitRight) {
        *error = "--fit goes with --pair";
        return false;
    }
    if (pair && !options->mInputs.empty()) {
        *error = "--pair takes no further inputs";
        return false;
    }
    if (!pair && options->mInputs.empty()) {
        *error = "no input";
        return false;
    }
    if (options->mExport.mLayout != EStereoLayout::Anaglyph && !anaglyphOption.empty()) {
        *error = anaglyphOption + " goes with --layout anaglyph";
        return false;
    }
    // The alignment printed is the one the outputs are made with.
    if (options->mPrintAlignment) {
        options->mWrite = options->mExport.mAlign || layoutGiven || !options->mOutput.empty() ||
                          !options->mOutDir.empty();
        options->mExport.mAlign = true;
    }
    return true;
}
