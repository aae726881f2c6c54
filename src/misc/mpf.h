#pragma once
// Where the second picture of a Multi-Picture (MPO) file starts: the MP index of the
// first picture's APP2 "MPF\0" segment, checked against the file, and failing that the
// first start of an image after the end of the first picture's stream. This file also
// holds findSecondPicture (declared in jpegio.h), which is built on this parser.
#include <cstddef>
#include <cstdint>

// Offset of MP entry 2 (the second picture) relative to the MP header, read from the
// payload of an APP2 segment (the bytes after its length field, starting "MPF\0").
// Returns -1 when the payload holds no readable MP index with at least two entries, or
// when entry 2's offset is 0. Reads only inside [payload, payload + size).
int64_t mpSecondPictureOffset(const unsigned char* payload, size_t size);
