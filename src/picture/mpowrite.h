#pragma once
// Stereo pictures in the Multi-Picture format: two JPEG pictures one after the other,
// the first carrying the MP index that says where the second one starts.
#include <cstdint>
#include <vector>

// The MPO file of a left and a right JPEG picture (each from its start-of-image to its
// end-of-image marker, as encodeJpeg makes them). The left picture gets an APP2 "MPF\0"
// segment after its APP0/APP1 segments: the MP index (version, 2 pictures, the two MP
// entries with attributes, sizes and offsets) and an attribute directory; the right
// picture gets an APP2 segment with its own attribute directory. baselineMetres is the
// distance of the two eye positions (none written when it is not positive). Empty,
// with a warning, when a picture is no JPEG stream or the file would exceed 4 GiB.
std::vector<uint8_t> buildMpoFile(const std::vector<uint8_t>& left,
                                  const std::vector<uint8_t>& right, double baselineMetres);
