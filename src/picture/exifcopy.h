#pragma once
// A photo's Exif block carried over to a picture made from it (an anaglyph, a
// side-by-side pair): the fields of IFD0, the Exif sub-directory and the GPS directory
// as the photo has them, byte for byte, so that date, camera, lens, exposure and position
// survive. What would lie about the new picture or point into nothing is left out or
// set anew: the thumbnail (IFD1), the maker note and the interoperability directory,
// whose offsets count from places that move, strip and tile offsets, the colour profile;
// the orientation is 1, as the new pixels stand upright, and the pixel dimensions are
// the new picture's.
#include "exif.h"

#include <cstdint>
#include <string>
#include <vector>

struct SExifCopy {
    // The TIFF structure ("II" or "MM" as the photo's, then the directories); empty when
    // there is nothing to carry over.
    std::vector<uint8_t> mTiff;
    // The photo has an Exif block (even one that could not be carried over).
    bool mFound = false;
    // Why a block that was found is not carried over (a corrupt directory, an offset out
    // of its segment, too many bytes for one segment); empty otherwise.
    std::string mWhy;
};

// The Exif block of the JPEG in file (its first picture: an MPO file's left one) for a
// picture of width x height upright pixels. Every read stays within the block's segment;
// counts and offsets of the source are checked, never trusted.
SExifCopy copyExifBlock(SFileBuffer& file, int width, int height);
// The same for a file; not found when it cannot be opened.
SExifCopy copyExifBlock(const std::string& path, int width, int height);

// "Exif\0\0" and the TIFF structure: the payload of a JPEG's APP1 segment.
std::vector<uint8_t> exifApp1Payload(const std::vector<uint8_t>& tiff);
// The PNG file with the TIFF structure in an eXIf chunk right after its header chunk;
// false (png unchanged) when png does not start with a PNG signature and IHDR chunk.
bool addPngExif(std::vector<uint8_t>& png, const std::vector<uint8_t>& tiff);
