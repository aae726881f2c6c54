#include "pngio.h"

#include "diagnostics.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <sys/stat.h>

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

// Everything the library calls touch. libpng reports errors by longjmp, so this is
// plain data only: the jump skips no destructor, and the caller frees what it holds.
struct SPngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_bytep* rows = nullptr;
    SImage image;
    EPngRead failure = EPngRead::InitIoFailed;  // what a library error means right now
    bool forView = false;                       // 8-bit RGB or RGBA instead of the samples
    CPixelRecycler* recycler = nullptr;         // for the view's buffers
    size_t capacity = 0;                        // of image.mPixels, when recycled
    // The view's partial pictures: a plain (not interlaced) picture whose data ends early
    // keeps the rows read before, the rest grey.
    bool keepPartial = false;
    int rowsRead = 0;
    bool rowWise = false;
};

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

bool allocateRead(SPngReader* r) {
    if (!r->forView)
        return allocatePixels(r->image);
    const int64_t size = imageByteSize(r->image);
    if (size <= 0 || size > kMaxImageBytes) {
        RUV_WARNING("picture of " + std::to_string(r->image.mWidth) + " x " +
                    std::to_string(r->image.mHeight) + " pixels would need " +
                    std::to_string(size >> 20) + " MiB, more than the limit of " +
                    std::to_string(kMaxImageBytes >> 20) + " MiB");
        return false;
    }
    r->image.mPixels = takePixels(r->recycler, size_t(size), &r->capacity);
    return r->image.mPixels != nullptr;
}

void releaseRead(SPngReader* r) {
    if (r->forView)
        givePixels(r->recycler, r->image.mPixels, r->capacity);
    else
        delete[] r->image.mPixels;
    r->image.mPixels = nullptr;
}

EPngRead decodePng(SPngReader* r, FILE* file) {
    // r->failure lives in the caller's frame, so its value survives the jump back.
    r->failure = EPngRead::InitIoFailed;
    if (setjmp(png_jmpbuf(r->png)))
        return r->failure;

    png_init_io(r->png, file);
    png_set_sig_bytes(r->png, kSignatureBytes);
    png_read_info(r->png, r->info);

    r->image.mWidth = int(png_get_image_width(r->png, r->info));
    r->image.mHeight = int(png_get_image_height(r->png, r->info));
    r->image.mChannels = png_get_channels(r->png, r->info);
    r->image.mBitDepth = png_get_bit_depth(r->png, r->info);

    if (r->forView)
        requestViewTransforms(r->png, r->info);
    png_set_interlace_handling(r->png);
    png_read_update_info(r->png, r->info);
    if (r->forView) {
        r->image.mChannels = png_get_channels(r->png, r->info);
        r->image.mBitDepth = png_get_bit_depth(r->png, r->info);
    }

    // The library's rows (after the view's transformations, if any) must be exactly
    // ours: the buffer is sized by our count, and the library fills rows by its own.
    const int64_t stride = imageRowBytes(r->image);
    if (stride <= 0 || int64_t(png_get_rowbytes(r->png, r->info)) != stride)
        return EPngRead::UnexpectedLayout;
    if (!allocateRead(r))
        return EPngRead::TooLarge;
    r->rows = new (std::nothrow) png_bytep[size_t(r->image.mHeight)];
    if (!r->rows)
        return EPngRead::TooLarge;
    for (int row = 0; row < r->image.mHeight; ++row)
        r->rows[row] = r->image.mPixels + row * stride;

    r->failure = EPngRead::ReadImageFailed;
    r->rowWise = r->keepPartial && png_get_interlace_type(r->png, r->info) == PNG_INTERLACE_NONE;
    if (r->rowWise) {
        for (; r->rowsRead < r->image.mHeight; ++r->rowsRead)
            png_read_row(r->png, r->rows[r->rowsRead], nullptr);
    } else {
        png_read_image(r->png, r->rows);
    }
    // Every row is there: a file cut in its last chunks still shows whole.
    r->failure = EPngRead::Ok;
    png_read_end(r->png, nullptr);
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

struct SPngWriter {
    FILE* file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_bytep* rows = nullptr;
};

bool encodePng(SPngWriter* w, const SImage* image) {
    if (setjmp(png_jmpbuf(w->png)))
        return false;
    png_init_io(w->png, w->file);
    png_set_IHDR(w->png, w->info, png_uint_32(image->mWidth), png_uint_32(image->mHeight), 8,
                 image->mChannels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_rows(w->png, w->info, w->rows);
    png_write_png(w->png, w->info, PNG_TRANSFORM_IDENTITY, nullptr);
    return true;
}

bool isWritableFrame(const SImage& image) {
    return image.mPixels && image.mWidth > 0 && image.mHeight > 0 &&
           png_uint_32(image.mWidth) <= kMaxSide && png_uint_32(image.mHeight) <= kMaxSide &&
           image.mBitDepth == 8 && (image.mChannels == 3 || image.mChannels == 4) &&
           imageByteSize(image) <= kMaxImageBytes;
}

// Only a regular file is ours to delete: the path may name a device such as /dev/null.
void removePartialFile(const char* path) {
    struct stat info;
    if (stat(path, &info) == 0 && (info.st_mode & S_IFMT) == S_IFREG)
        std::remove(path);
}

}  // namespace

namespace {

// Reads the PNG at the stream's position into r->image; the failure record on failure.
SImage readPng(SPngReader& r, FILE* file, const char* nameForMessages) {
    const std::string name = nameForMessages ? nameForMessages : "(stream)";
    png_byte signature[kSignatureBytes];
    if (!file || std::fread(signature, 1, kSignatureBytes, file) != kSignatureBytes ||
        png_sig_cmp(signature, 0, kSignatureBytes) != 0) {
        RUV_WARNING("[read_png_file] File " + name + " is not recognized as a PNG file");
        return failedImage();
    }

    r.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr, nullptr,
                                     limitedMalloc, libraryFree);
    if (!r.png) {
        RUV_WARNING("[read_png_file] png_create_read_struct failed");
        return failedImage();
    }
    r.info = png_create_info_struct(r.png);
    if (!r.info) {
        png_destroy_read_struct(&r.png, nullptr, nullptr);
        RUV_WARNING("[read_png_file] png_create_info_struct failed");
        return failedImage();
    }
    png_set_user_limits(r.png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(r.png, kMaxChunkBytes);
    png_set_chunk_cache_max(r.png, kMaxAncillaryChunks);

    const EPngRead result = decodePng(&r, file);
    png_destroy_read_struct(&r.png, &r.info, nullptr);
    delete[] r.rows;
    if (result == EPngRead::ReadImageFailed && r.rowWise && r.rowsRead > 0) {
        // Grey below the rows that came, as the JPEG decoder leaves a cut picture.
        const int64_t stride = imageRowBytes(r.image);
        std::memset(r.image.mPixels + int64_t(r.rowsRead) * stride, 128,
                    size_t(int64_t(r.image.mHeight - r.rowsRead) * stride));
        if (r.image.mChannels == 4)
            for (int64_t i = int64_t(r.rowsRead) * stride + 3; i < r.image.mHeight * stride; i += 4)
                r.image.mPixels[i] = 255;
        clearRowPadding(r.image);
        return r.image;
    }
    if (result == EPngRead::Ok) {
        clearRowPadding(r.image);
        return r.image;
    }

    releaseRead(&r);
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
    return failedImage();
}

}  // namespace

SImage readPngStream(FILE* file, const char* nameForMessages) {
    SPngReader r;
    return readPng(r, file, nameForMessages);
}

SImageHandle readPngStreamForView(FILE* file, const char* nameForMessages,
                                  const std::shared_ptr<CPixelRecycler>& recycler,
                                  std::string* partial) {
    SPngReader r;
    r.forView = true;
    r.recycler = recycler.get();
    r.keepPartial = partial != nullptr;
    const SImage image = readPng(r, file, nameForMessages);
    if (!image.mPixels)
        return makeImageHandle(failedImage());
    if (partial && r.rowsRead < image.mHeight && r.rowWise) {
        // A file that ends reads as end-of-file at the cut; anything else is damage.
        const bool cut = std::feof(file) != 0;
        *partial = std::string(cut ? "truncated after " : "damaged after ") +
                   std::to_string(int64_t(r.rowsRead) * 100 / image.mHeight) + " %";
    }
    return makeImageHandle(image, recycler, r.capacity);
}

SImageHandle readPngFileForView(const char* path, const std::shared_ptr<CPixelRecycler>& recycler) {
    FILE* file = path ? std::fopen(path, "rb") : nullptr;
    if (!file) {
        RUV_WARNING(std::string("[read_png_file] File ") + (path ? path : "(null)") +
                    " could not be opened for reading");
        return makeImageHandle(failedImage());
    }
    SImageHandle image = readPngStreamForView(file, path, recycler);
    std::fclose(file);
    return image;
}

SImage readPngFile(const char* path) {
    FILE* file = path ? std::fopen(path, "rb") : nullptr;
    if (!file) {
        RUV_WARNING(std::string("[read_png_file] File ") + (path ? path : "(null)") +
                    " could not be opened for reading");
        return failedImage();
    }
    const SImage image = readPngStream(file, path);
    std::fclose(file);
    return image;
}

bool writePngFile(const char* path, const SImage& image) {
    std::fprintf(stderr, "img.mWidth = %i\nimg.mHeight = %i\nfilename = %s\n", image.mWidth,
                 image.mHeight, path ? path : "(null)");
    if (!path || !*path) {
        std::fputs("ERROR: no file name to write the picture to\n", stderr);
        return false;
    }
    if (!isWritableFrame(image)) {
        std::fprintf(stderr,
                     "ERROR: cannot write %s: a %i x %i picture with %i channels of %i bits%s is "
                     "no 8-bit RGB or RGBA frame\n",
                     path, image.mWidth, image.mHeight, image.mChannels, image.mBitDepth,
                     image.mPixels ? "" : " and no pixels");
        return false;
    }

    // Built before the file is opened, so that running out of memory leaves no file.
    // The buffer holds the bottom row first; the file wants the top row first.
    SPngWriter w;
    w.rows = new (std::nothrow) png_bytep[size_t(image.mHeight)];
    if (!w.rows) {
        std::fprintf(stderr, "ERROR: out of memory for writing %s\n", path);
        return false;
    }
    const int64_t stride = imageRowBytes(image);
    for (int row = 0; row < image.mHeight; ++row)
        w.rows[image.mHeight - 1 - row] = image.mPixels + row * stride;

    w.file = std::fopen(path, "wb");
    if (!w.file) {
        std::fprintf(stderr, "ERROR: could not open %s\n", path);
        delete[] w.rows;
        return false;
    }
    bool ok = false;
    w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!w.png) {
        std::fputs("ERROR: got no png_ptr\n", stderr);
    } else {
        w.info = png_create_info_struct(w.png);
        if (!w.info) {
            png_destroy_write_struct(&w.png, nullptr);
            std::fputs("ERROR: got no info_ptr\n", stderr);
        } else {
            ok = encodePng(&w, &image);
            png_destroy_write_struct(&w.png, &w.info);
            if (!ok)
                std::fprintf(stderr, "ERROR: could not write %s\n", path);
        }
    }
    delete[] w.rows;

    // A full disk may show only when the last buffered bytes go out.
    const bool flushed = std::fflush(w.file) == 0 && !std::ferror(w.file);
    const bool closed = std::fclose(w.file) == 0;
    if (ok && !(flushed && closed)) {
        std::fprintf(stderr, "ERROR: could not write %s\n", path);
        ok = false;
    }
    if (!ok)
        removePartialFile(path);
    return ok;
}

const char* pngLibraryNotice() {
    return png_get_copyright(nullptr);
}
