#pragma once
// The bytes of an export's pictures: JPEG or PNG with the Exif block of the photo they
// are made from, and the stereo marker of a side-by-side JPEG.
#include "image.h"

#include <cstdint>
#include <string>
#include <vector>

// The Exif block (its TIFF structure) of an output of width x height upright pixels made
// from the photo at source: the photo's own, carried over; a photo without one gives the
// orientation and size alone; a corrupt one gives none, and a line that says why.
std::vector<uint8_t> exifFor(const std::string& source, int width, int height);

// The JPEG with the Exif block of the photo it is made from, and an APP3 payload.
std::vector<uint8_t> encodeAsJpeg(const SImage& image, const std::string& exifSource, int quality,
                                  std::vector<uint8_t> app3 = {});

// The PNG with the Exif block of the photo it is made from, in an eXIf chunk.
std::vector<uint8_t> encodeAsPng(const SImage& image, const std::string& exifSource,
                                 std::string* why);

// The JPS marker (APP3 payload) of a side-by-side picture; leftFirst: the left eye's
// picture is the left half.
std::vector<uint8_t> jpsMarker(bool leftFirst, bool overUnder = false, bool halfWidth = false,
                               bool halfHeight = false);
