#pragma once
// Where the second picture of a Multi-Picture (MPO) file starts: the MP index of the
// first picture's APP2 "MPF\0" segment, checked against the file, and failing that the
// first start of an image after the end of the first picture's stream; and whether that
// picture is the right view of a stereo pair or something else (a depth or gain map, a
// preview). This file also holds findSecondPicture (declared in jpegio.h), which is
// built on this parser.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// MP type codes: the low 24 bits of an MP entry's individual image attribute.
constexpr uint32_t kMpTypeMask = 0xFFFFFF;
constexpr uint32_t kMpTypeUndefined = 0x000000;
constexpr uint32_t kMpTypeDisparity = 0x020002;  // one view of a multi-frame stereo set

// MP entry 2 (the second picture) as the index states it.
struct SMpEntry {
    uint32_t mAttribute = 0;  // individual image attribute: flags, data format and type
    uint32_t mSize = 0;       // bytes
    int64_t mOffset = -1;     // from the MP header; -1 when the entry says 0
};

// Reads MP entry 2 from the payload of an APP2 segment (the bytes after its length field,
// starting "MPF\0"). False when the payload holds no readable MP index with at least two
// entries. Reads only inside [payload, payload + size).
bool mpSecondPictureEntry(const unsigned char* payload, size_t size, SMpEntry* entry);

// Offset of MP entry 2 relative to the MP header, from such a payload. Returns -1 when
// there is no readable entry 2, or when its offset is 0.
int64_t mpSecondPictureOffset(const unsigned char* payload, size_t size);

// The frame size of a JPEG stream's first SOF segment; -1 x -1 when it cannot be read.
struct SFrameSize {
    int mWidth = -1;
    int mHeight = -1;
};

// What a JPEG file holds as its second picture.
struct SSecondPicture {
    int64_t mOffset = -1;  // file offset of its start of image; -1: there is none
    // Found through the MP index, which gives mType; else found after the first picture's
    // end, and there is no type.
    bool mIndexed = false;
    uint32_t mType = kMpTypeUndefined;
    SFrameSize mFirst, mSecond;
};

// Locates the second picture of the JPEG file like findSecondPicture and reads the frame
// sizes of both pictures. With a usable MP index only the headers of the two pictures are
// read, not the first picture's data. The file position is undefined afterwards.
SSecondPicture inspectSecondPicture(FILE* file);

// Whether the second picture is the right view of a stereo pair: its MP type says
// disparity, or its type is undefined (some writers leave it so for real pairs) or there
// is none, and its frame size equals the first picture's. Otherwise false, and *why (when
// why is not null) says in plain words why not.
bool isSecondView(const SSecondPicture& second, std::string* why);
