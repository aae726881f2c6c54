#include "exif.h"

SFileBuffer::~SFileBuffer() { close(); }
bool SFileBuffer::open(const char*) { return false; }
void SFileBuffer::close() {}
void SFileBuffer::ensure(int64_t) {}
uint8_t SFileBuffer::at(int64_t) { return 0; }
SExifInfo readExif(const std::string&) { return SExifInfo(); }
SExifInfo parseExif(SFileBuffer&) { return SExifInfo(); }
