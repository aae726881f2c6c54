#pragma once
// The one way the program writes a whole file: lists, calibrations, view parameters,
// recordings, exported pictures, screenshots and the converter's outputs. The new
// content goes to a temporary file beside the target; every write, the flush to the
// disk and the close are checked; only then does a rename put it in the target's place.
// A full disk, a read-only folder or a crash leaves the old file byte for byte.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Writes size bytes as the whole content of path. A path that is a symbolic link is
// written where the link points, and the link stays. A file that is replaced keeps its
// mode, its owner and group (where the system lets us set them) and its extended
// attributes. On failure nothing of path changes, no temporary file remains, a warning
// goes to the console, and *why (when not null) holds the system's words for the cause
// ("No space left on device").
bool writeFileAtomically(const std::string& path, const void* data, size_t size,
                         std::string* why = nullptr);
bool writeFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string* why = nullptr);
bool writeFileAtomically(const std::string& path, const std::string& text,
                         std::string* why = nullptr);

// Gives the open file fd the mode, owner, group and extended attributes of the file
// described by from (whose name is fromPath). Owner and group are set only as far as the
// system permits (root sets both; others keep themselves as owner and may set a group
// they belong to); attributes that the file system or our rights refuse are left out.
// False, with *why, only when the mode cannot be set or a user attribute cannot be copied.
bool copyFileAttributes(const char* fromPath, const struct stat& from, int fd,
                        std::string* why = nullptr);

// The system's words for an errno value.
std::string systemMessage(int code);
