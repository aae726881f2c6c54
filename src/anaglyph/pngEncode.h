#pragma once
// PNG encoding of 8-bit RGB pictures into memory, so that the file can be written
// atomically like any other.
#include <cstdint>
#include <string>
#include <vector>

// width x height RGB samples, rows without gaps, top row first. Empty, with *error set,
// on failure.
std::vector<uint8_t> encodePng(const uint8_t* rgb, int width, int height, std::string* error);
