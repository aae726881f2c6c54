// Arbitrary bytes as a JPEG or MPO file: the decoder, the second-picture search and
// the MP index parser must neither crash, leak nor read out of bounds.
#include "jpegio.h"
#include "mpf.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

FILE* openBytes(std::vector<unsigned char>& bytes) {
    // fmemopen refuses an empty buffer on some C libraries; one spare byte is never read
    // because the size given excludes it.
    return fmemopen(bytes.data(), bytes.size() - 1, "rb");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> bytes(data, data + size);
    bytes.push_back(0);

    if (FILE* file = openBytes(bytes)) {
        const SImageHandle image = decodeJpegStream(file);
        std::fclose(file);
    }
    if (FILE* file = openBytes(bytes)) {
        const long offset = findSecondPicture(file);
        if (offset >= 0 && std::fseek(file, offset, SEEK_SET) == 0) {
            const SImageHandle right = decodeJpegStream(file);
        }
        std::fclose(file);
    }
    // The parser on its own, the input taken as an APP2 payload.
    mpSecondPictureOffset(data, size);
    return 0;
}
