#pragma once
// The command line of ruvello-anaglyph.
#include "anaglyphExport.h"

#include <string>
#include <vector>

extern const char* const kConverterUsage;

struct SConverterOptions {
    SAnaglyphExport mExport;
    std::string mCalibration;           // --calib; empty: the start-up search
    std::string mOutput;                // -o
    std::string mOutDir;                // --out-dir
    std::string mPairLeft, mPairRight;  // --pair
    std::vector<std::string> mInputs;
    bool mHelp = false;
    bool mVersion = false;
    bool mTimePass = false;  // times of the steps on standard error, for benchmarks
    // --print-alignment: one line per input on standard output. It aligns (mExport.mAlign);
    // alone it writes nothing (mWrite false), with --align, --layout, -o or --out-dir it
    // writes what they ask for as well.
    bool mPrintAlignment = false;
    bool mWrite = true;
};

// Reads the arguments (argv[1] on); false with *error for a command line that makes no
// sense, which the program answers with the usage and exit status 2.
bool parseConverterOptions(int argc, char** argv, SConverterOptions* options, std::string* error);
