#include "pngwrite.h"

#include <png.h>

#include <csetjmp>
#include <cstddef>
#include <memory>
#include <new>

namespace {

struct SPngOutput {
    std::vector<uint8_t> bytes;
    std::string message;
    bool outOfMemory = false;
};

// No exception may pass through the library's C frames: running out of memory is noted
// and checked when the library is done.
void append(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<SPngOutput*>(png_get_io_ptr(png));
    if (out->outOfMemory)
        return;
    try {
        out->bytes.insert(out->bytes.end(), data, data + size);
    } catch (const std::bad_alloc&) {
        out->outOfMemory = true;
    }
}

void flush(png_structp) {}

void fail(png_structp png, png_const_charp message) {
    auto* out = static_cast<SPngOutput*>(png_get_error_ptr(png));
    out->message = message ? message : "unknown error";
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) {}

// Only plain data and pointers in this frame: the library may jump back into it.
bool encodeInto(png_structp png, png_infop info, const uint8_t* const* rows, int width, int height,
                int channels) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8,
                 channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y)
        png_write_row(png, const_cast<png_bytep>(rows[y]));
    png_write_end(png, info);
    return true;
}

// The library's write structs, destroyed on every way out. The library's jumps land
// in encodeInto, a frame below the one that holds this.
struct SPngWriter {
    png_structp png = nullptr;
    png_infop info = nullptr;
    SPngWriter() = default;
    ~SPngWriter() { png_destroy_write_struct(&png, &info); }
    SPngWriter(const SPngWriter&) = delete;
    SPngWriter& operator=(const SPngWriter&) = delete;
};

}  // namespace

std::vector<uint8_t> encodePngRows(const uint8_t* const* rows, int width, int height, int channels,
                                   std::string* error) {
    SPngOutput out;
    if (!rows || width <= 0 || height <= 0 || (channels != 3 && channels != 4)) {
        if (error)
            *error = "no picture to encode";
        return {};
    }
    SPngWriter writer;
    writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &out, fail, ignoreWarning);
    writer.info = writer.png ? png_create_info_struct(writer.png) : nullptr;
    bool ok = false;
    if (writer.png && writer.info) {
        png_set_write_fn(writer.png, &out, append, flush);
        ok = encodeInto(writer.png, writer.info, rows, width, height, channels);
    } else {
        out.message = "out of memory";
    }
    if (ok && out.outOfMemory) {
        ok = false;
        out.message = "out of memory";
    }
    if (!ok) {
        if (error)
            *error = "cannot encode the PNG picture: " + out.message;
        return {};
    }
    return std::move(out.bytes);
}

std::vector<uint8_t> encodePng(const uint8_t* rgb, int width, int height, std::string* error) {
    if (!rgb || width <= 0 || height <= 0) {
        if (error)
            *error = "no picture to encode";
        return {};
    }
    const std::unique_ptr<const uint8_t*[]> rows(new (std::nothrow) const uint8_t*[size_t(height)]);
    if (!rows) {
        if (error)
            *error = "cannot encode the PNG picture: out of memory";
        return {};
    }
    const size_t stride = size_t(width) * 3;
    for (int y = 0; y < height; ++y)
        rows[size_t(y)] = rgb + size_t(y) * stride;
    return encodePngRows(rows.get(), width, height, 3, error);
}
