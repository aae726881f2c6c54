// ruvello-anaglyph: turns stereo pictures into calibrated anaglyph pictures, as the
// viewer shows them, or into side-by-side and Multi-Picture files, aligned when asked,
// without a window. Links the picture input, the aligner and the anaglyph arithmetic
// only; QtCore for where the viewer keeps its calibration.
#include "anaglyphExport.h"
#include "calibFit.h"
#include "calibSearch.h"
#include "converterOptions.h"
#include "diagnostics.h"

#include <QCoreApplication>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace {

const char* const kProgram = "ruvello-anaglyph";

void note(const std::string& text) {
    std::fprintf(stderr, "%s\n", text.c_str());
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string stem(const std::string& path) {
    const std::string name = baseName(path);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool isMpoName(const std::string& path) {
    const std::string name = baseName(path);
    if (name.size() < 4)
        return false;
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".mpo";
}

// The filters from --calib, else from the file the viewer would load at start-up, else
// the built-in ones. The first line on standard error says which; false when the file
// that was asked for cannot be used.
bool chooseCalibration(const std::string& asked, SAnaglyphSettings* settings) {
    const std::string path = asked.empty() ? findStartupCalibration() : asked;
    if (path.empty()) {
        note(std::string("calibration: the built-in filters (no ") + kCalibFileName +
             " in the working directory or in " + folderOf(calibrationConfigPath()) + ")");
        return true;
    }
    SLoadedCalibration loaded;
    std::string why;
    if (!loadCalibration(path, true, &loaded, &why)) {
        if (!asked.empty()) {
            RUV_ERROR("cannot use the calibration: " + why);
            return false;
        }
        note("calibration: the built-in filters, because " + why);
        return true;
    }
    note("calibration: " + path + ": " + calibFitSummary(loaded.mFit));
    for (const SCalibNote& n : loaded.mFile.mNotes)
        if (n.mWarning)
            RUV_WARNING(n.mText);
    const SCalibFit& fit = loaded.mFit;
    settings->a_l = fit.mFilter[0][0];
    settings->b_l = fit.mFilter[0][1];
    settings->a_r = fit.mFilter[1][0];
    settings->b_r = fit.mFilter[1][1];
    settings->gamma = fit.mGamma;
    return true;
}

struct SJob {
    SStereoSource mSource;
    std::string mOutput;
};

// The MPO files of a folder, by name.
std::vector<std::string> mpoFilesIn(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code failure;
    for (const auto& entry : std::filesystem::directory_iterator(folder, failure))
        if (entry.is_regular_file(failure) && isMpoName(entry.path().filename().string()))
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// The name's ending for each layout; a Multi-Picture file that is not aligned is no
// other than the pair, upright.
std::string outputEnding(const SAnaglyphExport& options) {
    switch (options.mLayout) {
        case EStereoLayout::Parallel:
            return "-parallel.jpg";
        case EStereoLayout::Cross:
            return "-cross.jpg";
        case EStereoLayout::Mpo:
            return options.mAlign ? "-aligned.mpo" : "-stereo.mpo";
        case EStereoLayout::OverUnder:
            return "-over-under.jpg";
        case EStereoLayout::HalfParallel:
            return "-half-parallel.jpg";
        case EStereoLayout::HalfOverUnder:
            return "-half-over-under.jpg";
        case EStereoLayout::Rows:
            return "-rows.png";
        case EStereoLayout::Columns:
            return "-columns.png";
        case EStereoLayout::Checkerboard:
            return "-checkerboard.png";
        case EStereoLayout::Anaglyph:
            break;
    }
    return "-anaglyph.jpg";
}

std::string outputFor(const SConverterOptions& options, const std::string& input) {
    if (!options.mOutput.empty())
        return options.mOutput;
    const std::string folder = options.mOutDir.empty() ? folderOf(input) : options.mOutDir;
    return folder + "/" + stem(input) + outputEnding(options.mExport);
}

// One line on standard output: the file, a tab, then the alignment or why there is none.
// The source says what set the shift: with too few matches the camera's parallax does,
// and the numbers of the matches alone would read as a failed alignment.
void printAlignment(const std::string& name, const SStereoAlignment& a) {
    if (a.mOk)
        std::printf(
            "%s\tdy=%.2f rotation=%.2f scale=%.5f dx=%.2f matches=%d near=%.2f far=%.2f "
            "source=%s\n",
            name.c_str(), a.mDy, a.mRotation * 180.0 / 3.14159265358979323846, a.mScale, a.mDx,
            a.mMatches, a.mNear, a.mFar, a.mFromParallax ? "camera-parallax" : "matches");
    else
        std::printf("%s\tno alignment: %s\n", name.c_str(), a.mWhy.c_str());
    std::fflush(stdout);
}

// The alignment of an input without writing anything; false after the error line.
bool alignmentOf(const SConverterOptions& options, const SJob& job, SStereoAlignment* alignment) {
    SStereoPair pair;
    std::string why;
    if (!prepareStereoPair(options.mExport, job.mSource, &pair, &why)) {
        RUV_ERROR(job.mSource.mLeft + ": " + why);
        return false;
    }
    *alignment = pair.mAlignment;
    return true;
}

// The work the command line asks for. Folders give their MPO files; a folder without
// any counts as a failed input.
std::vector<SJob> listJobs(const SConverterOptions& options, int* failed) {
    std::vector<SJob> jobs;
    if (!options.mPairLeft.empty()) {
        jobs.push_back(
            {{options.mPairLeft, options.mPairRight}, outputFor(options, options.mPairLeft)});
        return jobs;
    }
    for (const std::string& input : options.mInputs) {
        std::error_code failure;
        if (!std::filesystem::is_directory(input, failure)) {
            jobs.push_back({{input, {}}, outputFor(options, input)});
            continue;
        }
        const std::vector<std::string> files = mpoFilesIn(input);
        if (files.empty()) {
            RUV_ERROR(input + ": no MPO files in this folder");
            ++*failed;
        }
        for (const std::string& file : files)
            jobs.push_back({{file, {}}, outputFor(options, file)});
    }
    return jobs;
}

// The output folder of --out-dir, made when it is missing; false after a message when it
// cannot take files.
bool prepareOutDir(const std::string& folder) {
    std::error_code failure;
    std::filesystem::create_directories(folder, failure);
    if (failure) {
        RUV_ERROR("cannot make the folder " + folder + ": " + failure.message());
        return false;
    }
    if (access(folder.c_str(), W_OK | X_OK) != 0) {
        RUV_ERROR("cannot write into " + folder + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

std::pair<dev_t, ino_t> fileId(const struct stat& st) {
    return {st.st_dev, st.st_ino};
}

// The outputs written so far in this run and the input each was made from. Two names of
// one file (d1/x.jpg and ./d1/x.jpg, a link, a folder reached twice, a file system that
// ignores case) are found by the normalised path, and once the file is written by its
// device and inode.
class CWrittenOutputs {
public:
    // The input whose output path names, or empty when no output of this run is that file.
    std::string sourceOf(const std::string& path) const {
        const auto byName = mByName.find(normalised(path));
        if (byName != mByName.end())
            return byName->second;
        struct stat st;
        if (stat(path.c_str(), &st) == 0) {
            const auto byId = mById.find(fileId(st));
            if (byId != mById.end())
                return byId->second;
        }
        return {};
    }
    void add(const std::string& path, const std::string& input) {
        mByName.emplace(normalised(path), input);
        struct stat st;
        if (stat(path.c_str(), &st) == 0)
            mById.emplace(fileId(st), input);
    }

private:
    static std::string normalised(const std::string& path) {
        std::error_code failure;
        const std::filesystem::path absolute = std::filesystem::absolute(path, failure);
        return (failure ? std::filesystem::path(path) : absolute).lexically_normal().string();
    }
    std::map<std::string, std::string> mByName;
    std::map<std::pair<dev_t, ino_t>, std::string> mById;
};

}  // namespace

int main(int argc, char** argv) {
    SConverterOptions options;
    std::string problem;
    if (!parseConverterOptions(argc, argv, &options, &problem)) {
        std::fprintf(stderr, "%s: %s\n%s", kProgram, problem.c_str(), kConverterUsage);
        return 2;
    }
    if (options.mHelp) {
        std::fputs(kConverterUsage, stdout);
        return 0;
    }
    if (options.mVersion) {
        std::printf("%s %s\n", kProgram, RUVELLO_VERSION);
        return 0;
    }
    // The viewer's names, so that both find the calibration in the same folder.
    QCoreApplication::setOrganizationName("Ruvello");
    QCoreApplication::setApplicationName("Ruvello");
    const bool anaglyphs = options.mWrite && options.mExport.mLayout == EStereoLayout::Anaglyph;
    if (anaglyphs && !chooseCalibration(options.mCalibration, &options.mExport.mAnaglyph))
        return 1;

    int failed = 0;
    const std::vector<SJob> jobs = listJobs(options, &failed);
    if (!options.mOutput.empty() && jobs.size() > 1) {
        std::fprintf(stderr, "%s: -o names one output, but there are %zu inputs; use --out-dir\n",
                     kProgram, jobs.size());
        return 2;
    }
    if (options.mWrite && !options.mOutDir.empty() && !prepareOutDir(options.mOutDir))
        return 1;

    // No output may replace any input of the run, not only its own.
    std::set<std::pair<dev_t, ino_t>> inputs;
    for (const SJob& job : jobs)
        for (const std::string* path : {&job.mSource.mLeft, &job.mSource.mRight}) {
            struct stat st;
            if (!path->empty() && stat(path->c_str(), &st) == 0)
                inputs.insert(fileId(st));
        }

    const bool progress = jobs.size() > 1 && isatty(STDERR_FILENO);
    CWrittenOutputs written;
    for (size_t i = 0; i < jobs.size(); ++i) {
        const SJob& job = jobs[i];
        const std::string name = job.mSource.mLeft;
        if (progress)
            std::fprintf(stderr, "[%zu/%zu] %s\n", i + 1, jobs.size(), name.c_str());
        if (!options.mWrite) {
            SStereoAlignment alignment;
            if (alignmentOf(options, job, &alignment))
                printAlignment(name, alignment);
            else
                ++failed;
            continue;
        }
        struct stat st;
        if (stat(job.mOutput.c_str(), &st) == 0 && inputs.count(fileId(st))) {
            RUV_ERROR(name + ": its output " + job.mOutput + " is one of the inputs");
            ++failed;
            continue;
        }
        // Another input's picture, made a moment ago, is never replaced: two inputs that
        // differ only in the case of their suffix have one output name.
        const std::string earlier = written.sourceOf(job.mOutput);
        if (!earlier.empty()) {
            RUV_ERROR(name + ": " + job.mOutput + " was written from " + earlier +
                      " in this run; not replaced");
            ++failed;
            continue;
        }
        std::string why;
        SExportTimes times;
        SStereoAlignment alignment;
        switch (
            exportAnaglyph(options.mExport, job.mSource, job.mOutput, &why, &times, &alignment)) {
            case EExportResult::Written:
                written.add(job.mOutput, name);
                if (options.mTimePass)
                    std::fprintf(
                        stderr,
                        "decode_ms=%.1f pass_ms=%.1f encode_ms=%.1f write_ms=%.1f align_ms=%.1f\n",
                        times.mDecode * 1e3, times.mPass * 1e3, times.mEncode * 1e3,
                        times.mWrite * 1e3, times.mAlign * 1e3);
                if (options.mExport.mAlign && !alignment.mOk)
                    note(name + ": not aligned: " + alignment.mWhy);
                if (options.mPrintAlignment)
                    printAlignment(name, alignment);
                break;
            case EExportResult::Kept:
                note(name + ": " + job.mOutput + " exists and is kept (--overwrite replaces it)");
                // Still a line for each input.
                if (options.mPrintAlignment) {
                    if (alignmentOf(options, job, &alignment))
                        printAlignment(name, alignment);
                    else
                        ++failed;
                }
                break;
            case EExportResult::Failed:
                RUV_ERROR(name + ": " + why);
                ++failed;
                break;
        }
    }
    return failed > 0 ? 1 : 0;
}
