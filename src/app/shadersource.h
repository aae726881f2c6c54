#pragma once
#include <string>

// The source reference of a shader: the file name when a file of that name can be read
// in the working directory (so that an edited shader overrides the built-in one
// without rebuilding), else '*' followed by the text of the compiled-in resource.
std::string findShaderSource(const char* fileName, const char* resourcePath);
