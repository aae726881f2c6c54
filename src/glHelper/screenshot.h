#pragma once
// Pictures of what the window shows: the framebuffer read back into a PNG file.
#include "glh.h"

#include <string>

// The first number n >= start for which the file named by format (one %i or %0Ni
// conversion) does not exist yet, so that screenshots never replace older ones.
int firstFreeNumber(const char* format, int start);

// The file name for number n.
std::string numberedName(const char* format, int n);

// Writes the lower left width x height pixels of the framebuffer `source` as an RGB
// PNG, upright. A multisampled framebuffer is resolved first. Warns and writes no file
// when the size is empty or the pixels cannot be read. `source` is bound afterwards.
bool saveFramebufferPng(GLuint source, int width, int height, const std::string& path);
