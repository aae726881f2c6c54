#include "pngio.h"

#include "diagnostics.h"
#include "filecloser.h"
#include "filewrite.h"
#include "pngwrite.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kSignatureBytes = 8;

// libpng's usual limits, set explicitly so that a build of the library without them
// cannot let a crafted file ask for absurd sizes: sides (our own 1 GiB cap on the
// pixels comes on top), memory for one ancillary chunk (compressed text and colour
// profiles are inflated into it) and the number of ancillary chunks kept.
constexpr png_uint_32 kMaxSide = 1000000;
constexpr png_alloc_size_t kMaxChunkBytes = 8000000;
constexpr png_uint_32 kMaxAncillaryChunks = 1000;

enum class EPngRead { Ok, InitIoFailed, ReadImageFailed, UnexpectedLayout, TooLarge };

// The library's read structs, destroyed with their holder on every way out.
struct SPngReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;

    SPngReadStructs() = default;
    ~SPngReadStructs() { png_destroy_read_struct(&png, &info, nullptr); }
    SPngReadStructs(const SPngReadStructs&) = delete;
    SPngReadStructs& operator=(const SPngReadStructs&) = delete;
};

// Everything the library calls touch. libpng reports errors by a longjmp back into
// decodePng, whose frame holds plain data only. The owners (structs, row pointers,
// pixels) are in this record, which lives in the caller's frame: the jump never leaves
// that frame, so no destructor is skipped and each owner frees what it holds once.
struct SPngReader {
    SPngReadStructs library;
    std::unique_ptr<png_bytep[]> rows;
    SImageHandle pixels;  // owns image.mPixels
    SImage image;
    EPngRead failure = EPngRead::InitIoFailed;  // what a library error means right now
    bool forView = false;                       // 8-bit RGB or RGBA instead of the samples
    std::shared_ptr<CPixelRecycler> recycler;   // for the view's buffers
    // The view's partial pictures: a plain (not interlaced) picture whose data ends early
    // keeps the rows read before, the rest grey.
    bool keepPartial = false;
    int rowsRead = 0;
    bool rowWise = false;
    SPictureColour* colour = nullptr;  // where the file's words on its colours go
};

// The chunks that say what the samples mean. Called between library calls.
void noteColour(png_structp png, png_infop info, SPictureColour* colour) {
    const int type = png_get_color_type(png, info);
    colour->mModel = type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA
                         ? EColourModel::Grey
                         : EColourModel::Rgb;
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length) && profile)
        colour->mIcc.assign(profile, profile + length);
    int intent = 0;
    colour->mSrgb = png_get_sRGB(png, info, &intent) != 0;
    png_fixed_point gamma = 0;
    if (png_get_gAMA_fixed(png, info, &gamma) && gamma > 0)
        colour->mGamma = gamma / 100000.0;
    png_fixed_point xy[8] = {};
    colour->mHasChromaticities = png_get_cHRM_fixed(png, info, &xy[0], &xy[1], &xy[2], &xy[3],
                                                    &xy[4], &xy[5], &xy[6], &xy[7]) != 0;
    for (int i = 0; i < 8; ++i)
        colour->mChromaticities[i] = xy[i] / 100000.0;
}

// A tRNS chunk that can make anything transparent: palette alphas, or a gray or RGB key
// that fits the bit depth (the library warns about others and no pixel can match them).
bool hasUsableTransparency(png_structp png, png_infop info) {
    png_bytep alphas = nullptr;
    int count = 0;
    png_color_16p key = nullptr;
    if (!png_get_valid(png, info, PNG_INFO_tRNS) || !png_get_tRNS(png, info, &alphas, &count, &key))
        return false;
    const int type = png_get_color_type(png, info);
    if (type == PNG_COLOR_TYPE_PALETTE)
        return count > 0;
    const unsigned limit = 1u << png_get_bit_depth(png, info);
    if (type == PNG_COLOR_TYPE_GRAY)
        return key && key->gray < limit;
    return type == PNG_COLOR_TYPE_RGB && key && key->red < limit && key->green < limit &&
           key->blue < limit;
}

// Every kind of PNG as 8-bit RGB, with alpha only where the file has transparency:
// palettes become colours, tRNS becomes alpha, low bit depths grow to 8, 16-bit
// samples are scaled to 8 bits with rounding (as other decoders show them), gray
// becomes RGB.
void requestViewTransforms(png_structp png, png_infop info) {
    const int type = png_get_color_type(png, info);
    if (type == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (hasUsableTransparency(png, info))
        png_set_tRNS_to_alpha(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
}

// Called between library calls, never during one: the handles made here are in
// r->pixels before the library can jump.
bool allocateRead(SPngReader* r) {
    if (!r->forView) {
        r->pixels = allocateImage(r->image);
    } else {
        const int64_t size = imageByteSize(r->image);
        if (size <= 0 || size > kMaxImageBytes) {
            RUV_WARNING("picture of " + std::to_string(r->image.mWidth) + " x " +
                        std::to_string(r->image.mHeight) + " pixels would need " +
                        std::to_string(size >> 20) + " MiB, more than the limit of " +
                        std::to_string(kMaxImageBytes >> 20) + " MiB");
            return false;
        }
        r->pixels = takeImage(r->image, r->recycler);
    }
    r->image.mPixels = r->pixels->mPixels;
    return r->image.mPixels != nullptr;
}

// Only plain data in this frame: the library may longjmp back into it.
EPngRead decodePng(SPngReader* r, FILE* file) {
    png_structp png = r->library.png;
    png_infop info = r->library.info;
    // r->failure lives in the caller's frame, so its value survives the jump back.
    r->failure = EPngRead::InitIoFailed;
    if (setjmp(png_jmpbuf(png)))
        return r->failure;

    png_init_io(png, file);
    png_set_sig_bytes(png, kSignatureBytes);
    png_read_info(png, info);
    if (r->colour)
        noteColour(png, info, r->colour);

    r->image.mWidth = int(png_get_image_width(png, info));
    r->image.mHeight = int(png_get_image_height(png, info));
    r->image.mChannels = png_get_channels(png, info);
    r->image.mBitDepth = png_get_bit_depth(png, info);

    if (r->forView)
        requestViewTransforms(png, info);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (r->forView) {
        r->image.mChannels = png_get_channels(png, info);
        r->image.mBitDepth = png_get_bit_depth(png, info);
    }

    // The library's rows (after the view's transformations, if any) must be exactly
    // ours: the buffer is sized by our count, and the library fills rows by its own.
    const int64_t stride = imageRowBytes(r->image);
    if (stride <= 0 || int64_t(png_get_rowbytes(png, info)) != stride)
        return EPngRead::UnexpectedLayout;
    if (!allocateRead(r))
        return EPngRead::TooLarge;
    r->rows.reset(new (std::nothrow) png_bytep[size_t(r->image.mHeight)]);
    if (!r->rows)
        return EPngRead::TooLarge;
    for (int row = 0; row < r->image.mHeight; ++row)
        r->rows[row] = r->image.mPixels + row * stride;

    r->failure = EPngRead::ReadImageFailed;
    r->rowWise = r->keepPartial && png_get_interlace_type(png, info) == PNG_INTERLACE_NONE;
    if (r->rowWise) {
        for (; r->rowsRead < r->image.mHeight; ++r->rowsRead)
            png_read_row(png, r->rows[r->rowsRead], nullptr);
    } else {
        png_read_image(png, r->rows.get());
    }
    // Every row is there: a file cut in its last chunks still shows whole.
    r->failure = EPngRead::Ok;
    png_read_end(png, nullptr);
    return EPngRead::Ok;
}

// The library leaves the bits after a row's last pixel as they were in the fresh
// buffer; clear them so that low bit depths give the same bytes every time.
void clearRowPadding(SImage& image) {
    const int64_t stride = imageRowBytes(image);
    const int padding = int(stride * 8 - int64_t(image.mWidth) * image.mChannels * image.mBitDepth);
    if (padding == 0)
        return;
    const unsigned char keep = (unsigned char)(0xff << padding);
    for (int row = 0; row < image.mHeight; ++row)
        image.mPixels[row * stride + stride - 1] &= keep;
}

// libpng trusts a chunk's length and, for some chunks, asks for that much memory before
// reading a byte of it, so a few crafted bytes could claim gigabytes. No block it needs
// for a picture we accept comes near this: a row is at most kMaxSide x 8 bytes, an
// inflated chunk at most kMaxChunkBytes.
constexpr png_alloc_size_t kMaxLibraryBlock = png_alloc_size_t(64) << 20;

png_voidp limitedMalloc(png_structp, png_alloc_size_t size) {
    return size <= kMaxLibraryBlock ? std::malloc(size) : nullptr;
}

void libraryFree(png_structp, png_voidp block) {
    std::free(block);
}

bool isWritableFrame(const SImage& image) {
    return image.mPixels && image.mWidth > 0 && image.mHeight > 0 &&
           png_uint_32(image.mWidth) <= kMaxSide && png_uint_32(image.mHeight) <= kMaxSide &&
           image.mBitDepth == 8 && (image.mChannels == 3 || image.mChannels == 4) &&
           imageByteSize(image) <= kMaxImageBytes;
}

}  // namespace

namespace {

// Reads the PNG at the stream's position into r->image; the failure record's handle on
// failure.
SImageHandle readPng(SPngReader& r, FILE* file, const char* nameForMessages) {
    const std::string name = nameForMessages ? nameForMessages : "(stream)";
    png_byte signature[kSignatureBytes];
    if (!file || std::fread(signature, 1, kSignatureBytes, file) != kSignatureBytes ||
        png_sig_cmp(signature, 0, kSignatureBytes) != 0) {
        RUV_WARNING("[read_png_file] File " + name + " is not recognized as a PNG file");
        return makeImageHandle(failedImage());
    }

    r.library.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr,
                                             nullptr, limitedMalloc, libraryFree);
    if (!r.library.png) {
        RUV_WARNING("[read_png_file] png_create_read_struct failed");
        return makeImageHandle(failedImage());
    }
    r.library.info = png_create_info_struct(r.library.png);
    if (!r.library.info) {
        RUV_WARNING("[read_png_file] png_create_info_struct failed");
        return makeImageHandle(failedImage());
    }
    png_set_user_limits(r.library.png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(r.library.png, kMaxChunkBytes);
    png_set_chunk_cache_max(r.library.png, kMaxAncillaryChunks);

    const EPngRead result = decodePng(&r, file);
    if (result == EPngRead::ReadImageFailed && r.rowWise && r.rowsRead > 0) {
        // Grey below the rows that came, as the JPEG decoder leaves a cut picture.
        const int64_t stride = imageRowBytes(r.image);
        std::memset(r.image.mPixels + int64_t(r.rowsRead) * stride, 128,
                    size_t(int64_t(r.image.mHeight - r.rowsRead) * stride));
        if (r.image.mChannels == 4)
            for (int64_t i = int64_t(r.rowsRead) * stride + 3; i < r.image.mHeight * stride; i += 4)
                r.image.mPixels[i] = 255;
        clearRowPadding(r.image);
        return std::move(r.pixels);
    }
    if (result == EPngRead::Ok) {
        clearRowPadding(r.image);
        return std::move(r.pixels);
    }

    r.pixels.reset();
    r.image.mPixels = nullptr;
    switch (result) {
        case EPngRead::InitIoFailed:
            RUV_WARNING("[read_png_file] Error during init_io");
            break;
        case EPngRead::ReadImageFailed:
            RUV_WARNING("[read_png_file] Error during read_image");
            break;
        case EPngRead::UnexpectedLayout:
            RUV_WARNING("[read_png_file] File " + name + " has rows of an unexpected size");
            break;
        case EPngRead::TooLarge:
            RUV_WARNING("[read_png_file] File " + name + " is too large to read");
            break;
        case EPngRead::Ok:
            break;
    }
    return makeImageHandle(failedImage());
}

// Opens path for reading; says so when it cannot.
FilePtr openForReading(const char* path) {
    FilePtr file(path ? std::fopen(path, "rb") : nullptr);
    if (!file)
        RUV_WARNING(std::string("[read_png_file] File ") + (path ? path : "(null)") +
                    " could not be opened for reading");
    return file;
}

}  // namespace

SImageHandle readPngStream(FILE* file, const char* nameForMessages) {
    SPngReader r;
    return readPng(r, file, nameForMessages);
}

SImageHandle readPngStreamForView(FILE* file, const char* nameForMessages,
                                  const std::shared_ptr<CPixelRecycler>& recycler,
                                  std::string* partial, SPictureColour* colour) {
    SPngReader r;
    r.forView = true;
    r.colour = colour;
    r.recycler = recycler;
    r.keepPartial = partial != nullptr;
    SImageHandle image = readPng(r, file, nameForMessages);
    if (!image->mPixels)
        return image;
    if (partial && r.rowsRead < image->mHeight && r.rowWise) {
        // A file that ends reads as end-of-file at the cut; anything else is damage.
        const bool cut = std::feof(file) != 0;
        *partial = std::string(cut ? "truncated after " : "damaged after ") +
                   std::to_string(int64_t(r.rowsRead) * 100 / image->mHeight) + " %";
    }
    return image;
}

SImageHandle readPngFileForView(const char* path, const std::shared_ptr<CPixelRecycler>& recycler) {
    const FilePtr file = openForReading(path);
    if (!file)
        return makeImageHandle(failedImage());
    return readPngStreamForView(file.get(), path, recycler);
}

SImageHandle readPngFile(const char* path) {
    const FilePtr file = openForReading(path);
    if (!file)
        return makeImageHandle(failedImage());
    return readPngStream(file.get(), path);
}

bool writePngFile(const char* path, const SImage& image) {
    consoleInfo("img.mWidth = " + std::to_string(image.mWidth));
    consoleInfo("img.mHeight = " + std::to_string(image.mHeight));
    consoleInfo(std::string("filename = ") + (path ? path : "(null)"));
    if (!path || !*path) {
        consoleLine("ERROR: no file name to write the picture to");
        return false;
    }
    if (!isWritableFrame(image)) {
        consoleLine(std::string("ERROR: cannot write ") + path + ": a " +
                    std::to_string(image.mWidth) + " x " + std::to_string(image.mHeight) +
                    " picture with " + std::to_string(image.mChannels) + " channels of " +
                    std::to_string(image.mBitDepth) + " bits" +
                    (image.mPixels ? "" : " and no pixels") + " is no 8-bit RGB or RGBA frame");
        return false;
    }

    // The buffer holds the bottom row first; the file wants the top row first.
    const std::unique_ptr<const uint8_t*[]> rows(new (std::nothrow)
                                                     const uint8_t*[size_t(image.mHeight)]);
    if (!rows) {
        consoleLine(std::string("ERROR: out of memory for writing ") + path);
        return false;
    }
    const int64_t stride = imageRowBytes(image);
    for (int row = 0; row < image.mHeight; ++row)
        rows[size_t(image.mHeight - 1 - row)] = image.mPixels + row * stride;

    // Encoded whole before anything is written, so that the file appears whole or not
    // at all, and a full disk leaves an older file of that name as it was.
    std::string why;
    const std::vector<uint8_t> bytes =
        encodePngRows(rows.get(), image.mWidth, image.mHeight, image.mChannels, &why);
    if (bytes.empty() || !writeFileAtomically(path, bytes, &why)) {
        consoleLine(std::string("ERROR: could not write ") + path + ": " + why);
        return false;
    }
    return true;
}

const char* pngLibraryNotice() {
    return png_get_copyright(nullptr);
}
