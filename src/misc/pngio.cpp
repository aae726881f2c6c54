#include "pngio.h"

SImage readPngFile(const char*) { return failedImage(); }
bool writePngFile(const char*, const SImage&) { return false; }
const char* pngLibraryNotice() { return ""; }
