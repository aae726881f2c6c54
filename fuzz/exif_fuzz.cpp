// The Exif reader over arbitrary bytes, read through the same lazy blocks as a file.
#include "exif.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One buffer for every input, as the program keeps one for every file: bytes of an
    // earlier, larger input must never show through in a later one.
    static SFileBuffer buffer;
    buffer.openMemory(data, size);
    const SExifInfo info = parseExif(buffer);
    buffer.close();
    // Offsets the viewer would seek to must lie in the file.
    if (info.mThumbnailOffset >= 0 && static_cast<size_t>(info.mThumbnailOffset) >= size)
        __builtin_trap();
    return 0;
}
