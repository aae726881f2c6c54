#pragma once
// PNG reading into the picture record and writing of frames as PNG files. A broken
// file or a failed write is reported and returned, never fatal.
#include "colourprofile.h"
#include "image.h"
#include "imagehandle.h"

#include <cstdio>
#include <memory>
#include <string>

// The file's samples as stored: palette indices stay indices, 16-bit samples stay
// 16-bit (big-endian, as in the file), low bit depths stay packed with each row
// starting on a byte; interlaced files are combined. Top row first.
// Never null; the failure record's handle when the file cannot be opened, is no PNG or
// is broken.
SImageHandle readPngFile(const char* path);

// The same for a PNG that starts at the stream's current position; nameForMessages
// stands for the stream in warnings. The stream stays open; its position afterwards
// is undefined.
SImageHandle readPngStream(FILE* file, const char* nameForMessages);

// For display: 8-bit RGB, or RGBA when the file has transparency (an alpha channel, or
// a tRNS chunk for a palette, gray or RGB picture); palettes expanded, low bit depths
// grown to 8 bits, 16-bit samples rounded to 8. Top row first, buffers from the
// recycler (fresh memory when null). Never null; the failure record's handle on failure.
SImageHandle readPngFileForView(const char* path,
                                const std::shared_ptr<CPixelRecycler>& recycler = nullptr);
// partial (when not null): a plain picture whose data ends early is kept, the missing
// rows grey, and *partial says how much was there ("truncated after 51 %"); empty for a
// whole picture. colour (when not null): what the file says of its colours (iCCP, sRGB,
// gAMA, cHRM and whether it is grey); the samples are left as stored.
SImageHandle readPngStreamForView(FILE* file, const char* nameForMessages,
                                  const std::shared_ptr<CPixelRecycler>& recycler = nullptr,
                                  std::string* partial = nullptr, SPictureColour* colour = nullptr);

// Writes 8-bit samples with 3 (RGB) or 4 (RGBA) channels whose row 0 is the BOTTOM row
// of the picture (as OpenGL reads frames back), through writeFileAtomically: the file
// appears whole or not at all. Returns false, after an ERROR line saying why, when the
// picture cannot be encoded or the file cannot be written.
bool writePngFile(const char* path, const SImage& image);

// The PNG library's own version and notice text, for the About box.
const char* pngLibraryNotice();
