#pragma once
// Access to the folder of real-world files (RUVELLO_TEST_CORPUS) and its tables.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

// The corpus folder, or "" when RUVELLO_TEST_CORPUS is unset.
std::string corpusDir();

// Skips the calling test, saying so, when there is no corpus.
#define RUV_REQUIRE_CORPUS()                                                               \
    do {                                                                                   \
        if (corpusDir().empty())                                                           \
            GTEST_SKIP() << "RUVELLO_TEST_CORPUS is not set: no real-world files to test"; \
    } while (0)

// One row of a table: column name -> cell text (verbatim, not trimmed).
using CorpusRow = std::map<std::string, std::string>;

// Reads a tab-separated table of the corpus (its first line names the columns).
std::vector<CorpusRow> readCorpusTable(const std::string& name);

// Absolute path of a file named in a table.
std::string corpusPath(const std::string& file);
