#include "corpus.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

std::string corpusDir() {
    const char* dir = std::getenv("RUVELLO_TEST_CORPUS");
    return dir ? dir : "";
}

std::string corpusPath(const std::string& file) {
    return corpusDir() + "/" + file;
}

namespace {
std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> cells;
    size_t start = 0;
    while (true) {
        const size_t tab = line.find('\t', start);
        cells.push_back(
            line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return cells;
        start = tab + 1;
    }
}
}  // namespace

std::vector<CorpusRow> readCorpusTable(const std::string& name) {
    std::vector<CorpusRow> rows;
    std::ifstream in(corpusPath(name), std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << corpusPath(name);
    std::string line;
    if (!std::getline(in, line))
        return rows;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    const std::vector<std::string> header = splitTabs(line);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const std::vector<std::string> cells = splitTabs(line);
        CorpusRow row;
        for (size_t i = 0; i < header.size(); ++i)
            row[header[i]] = i < cells.size() ? cells[i] : "";
        rows.push_back(row);
    }
    return rows;
}
