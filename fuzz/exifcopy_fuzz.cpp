// The copy of a photo's Exif block for an export, over arbitrary bytes: whatever the
// source says, the copy is made from bytes inside its segment, fits one segment, and reads
// back upright, of the export's size, without a thumbnail.
#include "exif.h"
#include "exifcopy.h"
#include "jpegwrite.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SFileBuffer buffer;
    buffer.openMemory(data, size);
    const SExifCopy copy = copyExifBlock(buffer, 123, 45);
    buffer.close();
    if (copy.mTiff.empty())
        return 0;
    const std::vector<uint8_t> app1 = exifApp1Payload(copy.mTiff);
    if (app1.size() > kMaxSegmentPayload)
        __builtin_trap();
    std::vector<uint8_t> jpeg = {
        0xFF, 0xD8, 0xFF, 0xE1, uint8_t((app1.size() + 2) >> 8), uint8_t(app1.size() + 2)};
    jpeg.insert(jpeg.end(), app1.begin(), app1.end());
    SFileBuffer again;
    again.openMemory(jpeg.data(), jpeg.size());
    const SExifInfo info = parseExif(again);
    if (info.mOrientation != 1 || info.mPixelXDimension != 123 || info.mPixelYDimension != 45 ||
        info.mThumbnailOffset != -1)
        __builtin_trap();
    return 0;
}
