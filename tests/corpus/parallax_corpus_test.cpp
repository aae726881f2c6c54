// The cameras' parallax of real files against exiftool, the reference reader of maker
// notes: the same value from the same maker note of the same picture, or none from both.
#include "corpus.h"
#include "parallax.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
struct SReference {
    std::string mGroup;  // the picture ("Doc2:" for the second) and the maker note
    double mValue = 0.0;
};

// One exiftool run over all files: "======== FILE" starts each file, then comes
// "[GROUP] Parallax: VALUE" for each picture that has one, the first picture first.
// Gives the first value of each file that has one; seen gets every file reported on.
std::map<std::string, SReference> exiftoolParallax(const std::vector<std::string>& paths,
                                                   std::vector<std::string>* seen) {
    std::string command = "exiftool -n -ee -G3:1 -S -Parallax";
    for (const std::string& path : paths) {
        EXPECT_EQ(path.find('\''), std::string::npos) << path;
        command += " '" + path + "'";
    }
    std::map<std::string, SReference> references;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    std::string file;
    char line[4096];
    while (pipe && std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        const size_t mark = text.find("] Parallax: ");
        if (text.rfind("======== ", 0) == 0)
            seen->push_back(file = text.substr(9));
        else if (text[0] == '[' && mark != std::string::npos && !references.count(file))
            references[file] = {text.substr(1, mark - 1), std::atof(text.c_str() + mark + 12)};
    }
    if (pipe)
        pclose(pipe);
    return references;
}
}  // namespace

// Every JPEG and MPO file of the corpus, the broken ones included.
TEST(ParallaxCorpus, EveryPictureAgreesWithExiftool) {
    RUV_REQUIRE_CORPUS();
    std::vector<std::string> paths;
    for (const char* table : {"exif.tsv", "broken.tsv"}) {
        for (const CorpusRow& row : readCorpusTable(table)) {
            if (!row.count("kind") || row.at("kind") != "png")
                paths.push_back(corpusPath(row.at("file")));
        }
    }
    std::vector<std::string> seen;
    const std::map<std::string, SReference> references = exiftoolParallax(paths, &seen);
    ASSERT_EQ(seen, paths) << "exiftool is needed as the reference, and reports on each file";

    std::map<std::string, int> found;
    for (const std::string& path : paths) {
        const SCameraParallax ours = readCameraParallax(path);
        const auto reference = references.find(path);
        ASSERT_EQ(ours.mFound, reference != references.end()) << path << " " << ours.mValue;
        if (!ours.mFound)
            continue;
        ++found[ours.mSource];
        // The console's note in the first picture, the W3's in the second.
        EXPECT_EQ(ours.mSource == "Nintendo" ? "Nintendo" : "Doc2:FujiFilm",
                  reference->second.mGroup)
            << path << " " << ours.mSource;
        // exiftool prints 15 digits; the cameras store a 32-bit float or a rational.
        EXPECT_NEAR(ours.mValue, reference->second.mValue,
                    std::fabs(reference->second.mValue) * FLT_EPSILON)
            << path;
    }
    // The console's three files and two broken copies of one, and the W3's file.
    EXPECT_EQ(found["Nintendo"], 5);
    EXPECT_EQ(found["FUJIFILM"], 1);
}
