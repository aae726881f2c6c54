#pragma once
// A FILE* that closes itself, on every path out of the code that opened it.
#include <cstdio>
#include <memory>

struct SFileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, SFileCloser>;
