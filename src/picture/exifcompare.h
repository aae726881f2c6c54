#pragma once
// Whether a rewrite of a photo by another tool kept everything but its orientation:
// every field of every Exif directory (IFD0, IFD1, Exif, GPS, Interoperability), the
// thumbnail, the maker note as its camera reads it, the camera's parallax, the other
// segments before the picture data, the Multi-Picture index and the picture data of
// both pictures. A tool that adds an entry moves the Exif block's contents; a maker note
// whose offsets count from the block's start is then read in the wrong places, which is
// what this tells.
#include <string>

// Empty when the two files differ at most in IFD0's Orientation entry (and in offsets
// that only say where moved things now lie); otherwise a few words on the first
// difference found ("the maker note", "Exif field 0x9003 of the Exif directory", …).
// A file that cannot be read counts as a difference.
std::string metadataDifference(const std::string& beforePath, const std::string& afterPath);

// Whether such a difference lies in what only the camera's maker can read: its maker
// note or the parallax read from it.
bool isMakerNoteDifference(const std::string& difference);
