#include "jpegio.h"

#include "diagnostics.h"
#include "filecloser.h"

#include <algorithm>
#include <csetjmp>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#if defined(__linux__)
#endif

namespace {

// The library's standard error manager, with fatal errors jumping back to the decoder.
// It also notes whether the entropy data ever ended early.
struct SJumpingErrorManager {
    jpeg_error_mgr mStandard;
    std::jmp_buf mJump;
    void (*mStandardEmit)(j_common_ptr, int);
    bool mHitMarker;
    bool mHitEof;                  // the file ended: truncated rather than damaged
    char mFatal[JMSG_LENGTH_MAX];  // the library's words for the error that ended the decode
};

void jumpBack(j_common_ptr info) {
    SJumpingErrorManager* manager = reinterpret_cast<SJumpingErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->mFatal);
    (*info->err->output_message)(info);
    // The line's string is gone before the jump: nothing here is left for it to skip.
    consoleLine("jump back");
    std::longjmp(manager->mJump, 1);
}

void noteMessage(j_common_ptr info, int level) {
    SJumpingErrorManager* manager = reinterpret_cast<SJumpingErrorManager*>(info->err);
    if (level < 0 && info->err->msg_code == JWRN_HIT_MARKER)
        manager->mHitMarker = true;
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF)
        manager->mHitEof = true;
    manager->mStandardEmit(info, level);
}

enum class EDecodeResult { Done, Failed, TooLarge, Unsupported, PrematureEnd, Aborted };

// Rows handed to the library per call: fewer calls, and its own row groups fit.
constexpr int kRowsPerRead = 16;

// Everything a decode touches lives here, outside the frame that calls setjmp, so that
// a jump back finds it intact. The owners in it (the output's handle) are destroyed with
// the state by the caller, which the jump never leaves: no destructor is skipped.
struct SDecodeState {
    jpeg_decompress_struct mInfo{};  // zeroed: destroying it before it was created is safe
    SJumpingErrorManager mErrors;
    SImage mImage;         // the output's size, and its pixels once there are any
    SImageHandle mOutput;  // owns mImage.mPixels
    int64_t mDeclaredBytes = 0;
    const SJpegDecodeRequest* mRequest = nullptr;  // null: the file's own samples
    bool mCmykToRgb = false;
    // Kept partial pictures: the rows that were whole before the data ended; -1 when a
    // progressive picture's scans ended early (every row has some of it).
    int mGoodRows = 0;
    bool mPartial = false;
    bool mHeaderOnly = false;  // the colours of the stream and nothing else
};

// round(a * b / 255) for samples, exact for every pair.
inline unsigned char scaledProduct(unsigned a, unsigned b) {
    const unsigned v = a * b + 128;
    return (unsigned char)((v + (v >> 8)) >> 8);
}

// Ink amounts to light. Files with the Adobe marker (all that Adobe's programs write,
// and YCCK after the library's conversion) store the inks inverted.
void cmykRowToRgb(const unsigned char* cmyk, unsigned char* rgb, int width, bool inverted,
                  int channels) {
    const unsigned flip = inverted ? 0 : 255;
    for (int x = 0; x < width; ++x, cmyk += 4, rgb += channels) {
        const unsigned k = cmyk[3] ^ flip;
        rgb[0] = scaledProduct(cmyk[0] ^ flip, k);
        rgb[1] = scaledProduct(cmyk[1] ^ flip, k);
        rgb[2] = scaledProduct(cmyk[2] ^ flip, k);
        if (channels == 4)
            rgb[3] = 255;
    }
}

// Applies the request to the header just read: scale and output colours.
void applyRequest(SDecodeState* state) {
    jpeg_decompress_struct* info = &state->mInfo;
    const SJpegDecodeRequest* request = state->mRequest;
    if (!request)
        return;
    if (request->mEighths) {
        const int eighths = request->mEighths(int(info->image_width), int(info->image_height));
        info->scale_num = unsigned(eighths < 1 ? 1 : eighths > 8 ? 8 : eighths);
        info->scale_denom = 8;
    }
    if (request->mFastAbove > 0 && (info->image_width > unsigned(request->mFastAbove) ||
                                    info->image_height > unsigned(request->mFastAbove))) {
        info->dct_method = JDCT_IFAST;
        info->do_fancy_upsampling = FALSE;
    }
    if (!request->mRgb && !request->mRgba)
        return;
    if (info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK) {
        info->out_color_space = JCS_CMYK;
        state->mCmykToRgb = true;
    } else if (request->mRgba) {
        // Four bytes a pixel straight from the decoder: what textures take fastest.
        info->out_color_space = JCS_EXT_RGBA;
    } else if (info->jpeg_color_space == JCS_GRAYSCALE) {
        info->out_color_space = JCS_RGB;
    }
}

// The stream's colours from the header just read: its colour model and the ICC profile
// in its APP2 segments. Called between library calls, as allocateOutput is.
void noteColour(const jpeg_decompress_struct* info, SPictureColour* colour) {
    colour->mModel = info->jpeg_color_space == JCS_GRAYSCALE ? EColourModel::Grey
                     : info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK
                         ? EColourModel::Cmyk
                         : EColourModel::Rgb;
    std::vector<std::pair<const uint8_t*, size_t>> segments;
    for (jpeg_saved_marker_ptr marker = info->marker_list; marker; marker = marker->next)
        if (marker->marker == JPEG_APP0 + 2)
            segments.emplace_back(marker->data, marker->data_length);
    colour->mIccProblem.clear();
    colour->mIcc = assembleIccProfile(segments, &colour->mIccProblem);
}

// Called between library calls, never during one: the handles made here are in
// state->mOutput before the library can jump.
bool allocateOutput(SDecodeState* state) {
    if (!state->mRequest || !state->mRequest->mRecycler) {
        state->mOutput = allocateImage(state->mImage);
    } else {
        state->mOutput = takeImage(state->mImage, state->mRequest->mRecycler);
        if (!state->mOutput->mPixels)
            RUV_WARNING("out of memory for a picture of " +
                        std::to_string(state->mDeclaredBytes >> 20) + " MiB");
    }
    state->mImage.mPixels = state->mOutput->mPixels;
    return state->mImage.mPixels != nullptr;
}

// The library's side of a decode, freed on every way out of runDecode, also after a jump
// back from an error: the guard lives in runDecode's frame, above the one that calls
// setjmp, so the jump never skips it.
struct SDecompressGuard {
    explicit SDecompressGuard(jpeg_decompress_struct* info) : mInfo(info) {}
    ~SDecompressGuard() { jpeg_destroy_decompress(mInfo); }
    SDecompressGuard(const SDecompressGuard&) = delete;
    SDecompressGuard& operator=(const SDecompressGuard&) = delete;

    jpeg_decompress_struct* const mInfo;
};

// Only plain data in this frame: the library may longjmp back into it.
EDecodeResult decodeInto(SDecodeState* state, FILE* file) {
    jpeg_decompress_struct* info = &state->mInfo;
    info->err = jpeg_std_error(&state->mErrors.mStandard);
    state->mErrors.mStandard.error_exit = jumpBack;
    state->mErrors.mStandardEmit = state->mErrors.mStandard.emit_message;
    state->mErrors.mStandard.emit_message = noteMessage;
    if (setjmp(state->mErrors.mJump))
        return EDecodeResult::Failed;

    jpeg_create_decompress(info);
    // Progressive pictures keep all coefficients in memory; the library has no backing
    // store, so a cap turns an absurd header into an error instead of an exhausted
    // machine.
    info->mem->max_memory_to_use = long(kMaxImageBytes);
    jpeg_stdio_src(info, file);
    SPictureColour* colour = state->mRequest ? state->mRequest->mColour : nullptr;
    if (colour)
        jpeg_save_markers(info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(info, TRUE);
    if (colour)
        noteColour(info, colour);
    if (state->mHeaderOnly)
        return EDecodeResult::Done;
    applyRequest(state);
    jpeg_calc_output_dimensions(info);

    SImage& image = state->mImage;
    image.mWidth = int(info->output_width);
    image.mHeight = int(info->output_height);
    const bool rgba = state->mRequest && state->mRequest->mRgba;
    image.mChannels = state->mCmykToRgb ? (rgba ? 4 : 3) : info->output_components;
    image.mBitDepth = 8;
    state->mDeclaredBytes = imageByteSize(image);
    if (image.mChannels != 1 && image.mChannels != 3 && image.mChannels != 4)
        return EDecodeResult::Unsupported;
    if (state->mDeclaredBytes > kMaxImageBytes)
        return EDecodeResult::TooLarge;

    const bool keepPartial = state->mRequest && state->mRequest->mKeepPartial;
    jpeg_start_decompress(info);
    // A progressive picture is read whole here, and the end-of-image marker that the
    // library puts in for missing data hides the early end from the check below.
    if (state->mErrors.mHitMarker) {
        if (!keepPartial)
            return EDecodeResult::PrematureEnd;
        state->mPartial = true;
        state->mGoodRows = -1;
    }
    if (!allocateOutput(state))
        return EDecodeResult::Failed;
    adviseHugePages(image.mPixels, size_t(state->mDeclaredBytes));
    const size_t rowBytes = size_t(imageRowBytes(image));
    // CMYK rows go through the library's own memory, which it frees even after a jump.
    JSAMPARRAY cmyk = state->mCmykToRgb ? (*info->mem->alloc_sarray)(
                                              reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE,
                                              info->output_width * 4, kRowsPerRead)
                                        : nullptr;
    JSAMPROW rows[kRowsPerRead];
    while (info->output_scanline < info->output_height) {
        const JDIMENSION first = info->output_scanline;
        const int count = int(std::min<JDIMENSION>(kRowsPerRead, info->output_height - first));
        for (int r = 0; r < count; ++r)
            rows[r] = cmyk ? cmyk[r] : image.mPixels + rowBytes * (first + JDIMENSION(r));
        const JDIMENSION read = jpeg_read_scanlines(info, rows, JDIMENSION(count));
        if (read == 0)
            return EDecodeResult::Failed;
        for (JDIMENSION r = 0; cmyk && r < read; ++r)
            cmykRowToRgb(cmyk[r], image.mPixels + rowBytes * (first + r), image.mWidth,
                         info->saw_Adobe_marker != 0, image.mChannels);
        // Entropy data that ends early decodes to grey: shown only when asked for.
        if (info->err->msg_code == JWRN_HIT_MARKER && !state->mPartial) {
            if (!keepPartial)
                return EDecodeResult::PrematureEnd;
            state->mPartial = true;
            state->mGoodRows = int(first);
        }
        if (state->mRequest && state->mRequest->mRowsDone)
            state->mRequest->mRowsDone(image, int(info->output_scanline));
        if (state->mRequest && state->mRequest->mAbort &&
            state->mRequest->mAbort->load(std::memory_order_relaxed))
            return EDecodeResult::Aborted;
    }
    jpeg_finish_decompress(info);
    return EDecodeResult::Done;
}

// Runs one decode; on failure reports what deserves it and returns the failure record's
// handle.
SImageHandle runDecode(SDecodeState* state, FILE* file) {
    if (!file)
        return makeImageHandle(failedImage());
    state->mErrors.mFatal[0] = 0;
    EDecodeResult result;
    {
        const SDecompressGuard library(&state->mInfo);
        result = decodeInto(state, file);
    }
    if (result == EDecodeResult::Done) {
        if (state->mPartial && state->mRequest->mWhy) {
            const bool cut = state->mErrors.mHitEof;
            const int height = std::max(1, state->mImage.mHeight);
            // Whole percents that were there, never rounded up to a picture that is not.
            *state->mRequest->mWhy =
                state->mGoodRows < 0
                    ? std::string(cut ? "truncated" : "damaged") +
                          ": the picture shows only its first passes"
                    : std::string(cut ? "truncated after " : "damaged after ") +
                          std::to_string(int64_t(state->mGoodRows) * 100 / height) + " %";
        }
        return std::move(state->mOutput);
    }

    const SImage& image = state->mImage;
    const std::string size = std::to_string(image.mWidth) + " x " + std::to_string(image.mHeight);
    std::string why;
    switch (result) {
        case EDecodeResult::TooLarge:
            why = "JPEG picture of " + size + " pixels would need " +
                  std::to_string(state->mDeclaredBytes >> 20) + " MiB, more than the limit of " +
                  std::to_string(kMaxImageBytes >> 20) + " MiB";
            RUV_WARNING(why);
            break;
        case EDecodeResult::Unsupported:
            why = "JPEG picture with " + std::to_string(image.mChannels) +
                  " colour components is not supported";
            RUV_WARNING(why);
            break;
        case EDecodeResult::PrematureEnd:
            why = "the picture data ends early (truncated or corrupt file)";
            break;
        case EDecodeResult::Aborted:
            why = kDecodeStopped;
            break;
        default:
            why = state->mErrors.mFatal[0] ? state->mErrors.mFatal : "cannot decode the JPEG data";
            break;
    }
    if (state->mRequest && state->mRequest->mWhy)
        *state->mRequest->mWhy = why;
    // Whoever reads the finished rows meanwhile lets go of them before they go.
    if (state->mRequest && state->mRequest->mRowsDone)
        state->mRequest->mRowsDone(state->mImage, -1);
    state->mOutput.reset();
    state->mImage.mPixels = nullptr;
    return makeImageHandle(failedImage());
}

FilePtr openFile(const char* path) {
    FilePtr file(path ? std::fopen(path, "rb") : nullptr);
    if (!file)
        consoleLine(std::string("Could not open >") + (path ? path : "") + "<");
    return file;
}

}  // namespace

SImageHandle decodeJpegStream(FILE* file) {
    std::unique_ptr<SDecodeState> state(new (std::nothrow) SDecodeState());
    return state ? runDecode(state.get(), file) : makeImageHandle(failedImage());
}

SImageHandle decodeJpegStreamScaled(FILE* file, const SJpegDecodeRequest& request) {
    std::unique_ptr<SDecodeState> state(new (std::nothrow) SDecodeState());
    if (!state)
        return makeImageHandle(failedImage());
    state->mRequest = &request;
    return runDecode(state.get(), file);
}

SPictureColour readJpegColour(FILE* file) {
    SPictureColour colour;
    std::unique_ptr<SDecodeState> state(new (std::nothrow) SDecodeState());
    if (!state || !file)
        return colour;
    SJpegDecodeRequest request;
    request.mColour = &colour;
    state->mRequest = &request;
    state->mHeaderOnly = true;
    const SDecompressGuard library(&state->mInfo);
    if (decodeInto(state.get(), file) != EDecodeResult::Done)
        colour = SPictureColour();
    return colour;
}

SImageHandle readJpegFile(const char* path, long offset) {
    FilePtr file = openFile(path);
    if (!file)
        return makeImageHandle(failedImage());
    if (offset < 0 || fseeko(file.get(), offset, SEEK_SET) != 0) {
        RUV_WARNING("cannot seek to offset " + std::to_string(offset) + " of " + path);
        return makeImageHandle(failedImage());
    }
    return decodeJpegStream(file.get());
}

SImageHandle readStereoJpegFile(const char* path, bool right) {
    FilePtr file = openFile(path);
    if (!file)
        return makeImageHandle(failedImage());
    if (right) {
        const long offset = findSecondPicture(file.get());
        if (offset < 0) {
            RUV_WARNING(std::string("no second picture in ") + path);
            return makeImageHandle(failedImage());
        }
        if (fseeko(file.get(), offset, SEEK_SET) != 0)
            return makeImageHandle(failedImage());
    }
    return decodeJpegStream(file.get());
}

long secondPictureOffset(const char* path) {
    FilePtr file = openFile(path);
    return file ? findSecondPicture(file.get()) : -1;
}
