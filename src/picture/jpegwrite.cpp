#include "jpegwrite.h"

#include "diagnostics.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include <jerror.h>
#include <jpeglib.h>

namespace {

// Fatal library errors jump back to the encoder with the library's text kept for the
// warning; nothing is printed by the library itself.
struct SEncodeErrors {
    jpeg_error_mgr mStandard;
    std::jmp_buf mJump;
    char mMessage[JMSG_LENGTH_MAX];
};

void jumpBack(j_common_ptr info) {
    SEncodeErrors* errors = reinterpret_cast<SEncodeErrors*>(info->err);
    (*info->err->format_message)(info, errors->mMessage);
    std::longjmp(errors->mJump, 1);
}

void keepQuiet(j_common_ptr) {}

// A growing malloc'd buffer as the library's destination. libjpeg's own memory
// destination loses track of its buffer when an error strikes after it has grown, so
// that it could be neither freed nor trusted; this one stays owned by the state below.
struct SMemoryDestination {
    jpeg_destination_mgr mPublic;
    unsigned char* mData;
    size_t mCapacity;
    size_t mSize;
};

constexpr size_t kFirstCapacity = 64 * 1024;

void startDestination(j_compress_ptr info) {
    SMemoryDestination* dest = reinterpret_cast<SMemoryDestination*>(info->dest);
    if (!dest->mData) {
        dest->mData = static_cast<unsigned char*>(std::malloc(kFirstCapacity));
        if (!dest->mData)
            ERREXIT1(info, JERR_OUT_OF_MEMORY, 10);
        dest->mCapacity = kFirstCapacity;
    }
    dest->mPublic.next_output_byte = dest->mData;
    dest->mPublic.free_in_buffer = dest->mCapacity;
}

boolean growDestination(j_compress_ptr info) {
    SMemoryDestination* dest = reinterpret_cast<SMemoryDestination*>(info->dest);
    const size_t capacity = dest->mCapacity * 2;
    unsigned char* data = static_cast<unsigned char*>(std::realloc(dest->mData, capacity));
    if (!data)
        ERREXIT1(info, JERR_OUT_OF_MEMORY, 10);
    dest->mData = data;
    // The library calls this only when the buffer is full.
    dest->mPublic.next_output_byte = data + dest->mCapacity;
    dest->mPublic.free_in_buffer = capacity - dest->mCapacity;
    dest->mCapacity = capacity;
    return TRUE;
}

void finishDestination(j_compress_ptr info) {
    SMemoryDestination* dest = reinterpret_cast<SMemoryDestination*>(info->dest);
    dest->mSize = dest->mCapacity - dest->mPublic.free_in_buffer;
}

// Everything an encode touches, on the heap and outside the frame that calls setjmp,
// so that a jump back skips no destructor and finds it intact.
struct SEncodeState {
    jpeg_compress_struct mInfo;
    SEncodeErrors mErrors;
    SMemoryDestination mDestination;
    bool mCreated;
};

// The one owner of an encode: it destroys the compression object and frees the
// output buffer however the encode ended.
struct SEncodeStateDeleter {
    void operator()(SEncodeState* state) const {
        if (state->mCreated)
            jpeg_destroy_compress(&state->mInfo);
        std::free(state->mDestination.mData);
        delete state;
    }
};
using EncodeStatePtr = std::unique_ptr<SEncodeState, SEncodeStateDeleter>;

// Only plain data in this frame: the library may longjmp back into it.
bool encodeInto(SEncodeState* state, const uint8_t* rgb, int width, int height,
                const SJpegWrite& options) {
    jpeg_compress_struct* info = &state->mInfo;
    info->err = jpeg_std_error(&state->mErrors.mStandard);
    state->mErrors.mStandard.error_exit = jumpBack;
    state->mErrors.mStandard.output_message = keepQuiet;
    if (setjmp(state->mErrors.mJump))
        return false;

    // Destroying a compression object that was never fully created is harmless.
    state->mCreated = true;
    jpeg_create_compress(info);
    SMemoryDestination* dest = &state->mDestination;
    dest->mPublic.init_destination = startDestination;
    dest->mPublic.empty_output_buffer = growDestination;
    dest->mPublic.term_destination = finishDestination;
    info->dest = &dest->mPublic;

    info->image_width = JDIMENSION(width);
    info->image_height = JDIMENSION(height);
    info->input_components = 3;
    info->in_color_space = JCS_RGB;
    jpeg_set_defaults(info);
    const int quality = options.mQuality < 1 ? 1 : options.mQuality > 100 ? 100 : options.mQuality;
    jpeg_set_quality(info, quality, TRUE);
    info->write_JFIF_header = options.mApp1.empty() ? TRUE : FALSE;
    jpeg_start_compress(info, TRUE);
    if (!options.mApp1.empty())
        jpeg_write_marker(info, JPEG_APP0 + 1, options.mApp1.data(),
                          unsigned(options.mApp1.size()));
    if (!options.mApp2.empty())
        jpeg_write_marker(info, JPEG_APP0 + 2, options.mApp2.data(),
                          unsigned(options.mApp2.size()));
    if (!options.mApp3.empty())
        jpeg_write_marker(info, JPEG_APP0 + 3, options.mApp3.data(),
                          unsigned(options.mApp3.size()));
    const size_t rowBytes = size_t(width) * 3;
    while (info->next_scanline < info->image_height) {
        // The library only reads the rows it is given.
        JSAMPROW row = const_cast<JSAMPROW>(rgb + rowBytes * info->next_scanline);
        jpeg_write_scanlines(info, &row, 1);
    }
    jpeg_finish_compress(info);
    return true;
}

}  // namespace

std::vector<uint8_t> encodeJpeg(const uint8_t* rgb, int width, int height,
                                const SJpegWrite& options) {
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (!rgb || width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION ||
        height > JPEG_MAX_DIMENSION) {
        RUV_WARNING("cannot encode a JPEG picture of " + size + " pixels");
        return {};
    }
    const size_t largest =
        std::max({options.mApp1.size(), options.mApp2.size(), options.mApp3.size()});
    if (largest > kMaxSegmentPayload) {
        RUV_WARNING("APP segment of " + std::to_string(largest) +
                    " bytes does not fit into a JPEG segment of at most " +
                    std::to_string(kMaxSegmentPayload));
        return {};
    }
    EncodeStatePtr state(new (std::nothrow) SEncodeState());
    if (!state) {
        RUV_WARNING("out of memory for encoding a JPEG picture");
        return {};
    }
    if (!encodeInto(state.get(), rgb, width, height, options)) {
        RUV_WARNING("cannot encode a JPEG picture of " + size +
                    " pixels: " + state->mErrors.mMessage);
        return {};
    }
    const SMemoryDestination& dest = state->mDestination;
    return std::vector<uint8_t>(dest.mData, dest.mData + dest.mSize);
}

std::vector<uint8_t> encodeJpeg(const SImage& image, const SJpegWrite& options) {
    if (image.mChannels != 3 || image.mBitDepth != 8) {
        RUV_WARNING("cannot encode a JPEG picture with " + std::to_string(image.mChannels) +
                    " channels of " + std::to_string(image.mBitDepth) +
                    " bits; only 8-bit RGB is written");
        return {};
    }
    return encodeJpeg(image.mPixels, image.mWidth, image.mHeight, options);
}
