#include "jpegio.h"

SImage decodeJpegStream(FILE*) { return failedImage(); }
SImage readJpegFile(const char*, long) { return failedImage(); }
SImage readStereoJpegFile(const char*, bool) { return failedImage(); }
long findSecondPicture(FILE*) { return -1; }
long secondPictureOffset(const char*) { return -1; }
