#pragma once
// The readers below take file names, as the program hands them the user's files: each
// input is written to one scratch file in the system's temporary folder ($TMPDIR when
// set), which the process removes when it ends.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace fuzzscratch {

inline std::string& scratchPath() {
    static std::string path;
    return path;
}

inline void removeScratch() {
    if (!scratchPath().empty())
        std::remove(scratchPath().c_str());
}

// The scratch file holding exactly the input's bytes; its name stays the same for the
// whole run. Aborts when the file cannot be made: a run that reads nothing proves nothing.
inline const std::string& writeScratch(const uint8_t* data, size_t size, const char* name) {
    std::string& path = scratchPath();
    if (path.empty()) {
        const char* dir = std::getenv("TMPDIR");
        path = std::string(dir && *dir ? dir : P_tmpdir) + "/" + name + "-XXXXXX";
        const int fd = mkstemp(path.data());
        if (fd < 0)
            std::abort();
        close(fd);
        std::atexit(removeScratch);
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size)
        std::abort();
    if (std::fclose(file) != 0)
        std::abort();
    return path;
}

}  // namespace fuzzscratch
