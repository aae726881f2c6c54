#pragma once
// The image view: one photograph at a time, plain or as a stereo pair, from a small
// cache of recently shown pictures in GL textures. Decoding happens elsewhere (the
// loader threads); this class asks for pictures through a callback, takes decoded
// pixels in owning handles, and uploads them in the next paint, with the context
// current. No widget toolkit here: GLWidget hosts it.
#include "glh.h"

#include "CApp.h"
#include "GLSLParams.h"
#include "exif.h"
#include "imagehandle.h"

#include <functional>
#include <string>
#include <vector>

class GLSLProgram;

// Uniform locations of the gray program.
struct SImgShaderParams : public GLSLParamsContainer {
    int colMat = -1;
    void declare(BindingTable& table) override { table.uniform("colMat", &colMat); }
};

// One picture of the cache. Each texture has the size of the picture it holds.
struct SPictureEntry {
    std::string fileName;  // 8-bit path; empty for an entry not yet used
    SExifInfo info;
    GLuint texLeft = 0, texRight = 0;
    // The Exif thumbnail has a texture of its own, so that the picture's keeps its size
    // and the picture replaces the preview without re-specifying it.
    GLuint texThumb = 0;
    int thumbWidth = 0, thumbHeight = 0;
    int leftWidth = 0, leftHeight = 0;  // texel sizes as uploaded
    int rightWidth = 0, rightHeight = 0;
    bool leftLoaded = false, rightLoaded = false;
    bool thumbnailShown = false;  // texLeft holds the Exif thumbnail as a preview
    bool leftRequested = false, rightRequested = false;
    bool thumbnailTried = false;                               // decoded once, shown or not
    bool rightFailed = false;                                  // no second picture: shown in mono
    SImageHandle pendingLeft, pendingRight, pendingThumbnail;  // uploaded at the next paint
};

class CRuvello : public CApp {
public:
    // The largest texture side the view uses, whatever the driver allows.
    static constexpr int kMaxTexSize = 4416;
    static constexpr size_t kCacheSize = 5;

    // What to decode: the picture (false: left/primary, true: right of an MPO) of a
    // file, no side above maxSize. prefetch: a read-ahead that must not replace the
    // current request.
    using DecodeRequest =
        std::function<void(const std::string& file, bool right, int maxSize, bool prefetch)>;

    explicit CRuvello(CGlutWindow* window);
    ~CRuvello() override;

    // GL set-up with the context current: the framework, the gray program, the limit.
    void initShaders(const char* stereoVs, const char* stereoFs, const char* grayVs,
                     const char* grayFs);
    void shutdownGL() override;

    // Without a request function pictures are decoded in the paint that needs them.
    void setDecodeRequest(DecodeRequest request) { mDecodeRequest = std::move(request); }

    void selectPicture(const std::string& filename, const SExifInfo& info);
    // Read-ahead into a cache entry that is not the current one; nothing when cached.
    void prefetch(const std::string& filename, const SExifInfo& info);
    // Decoded pixels for the entry of that file; dropped when no entry holds it any more.
    void uploadPicture(const std::string& filename, bool right, SImageHandle image);
    void updatePictureInfo(const std::string& filename, const SExifInfo& info);

    bool isLeftLoaded() const;
    bool isRightLoaded() const;
    // Stereo is on for an MPO whose second picture has not failed.
    bool wantsRightPicture() const;
    // Nothing that the current frame needs is missing (the wait cursor can go).
    bool pictureComplete() const;

    void setNearestFilter(bool flag);
    bool handleMouseButton();

    // CApp
    void display() override;
    void reshape() override;
    bool keyboard(unsigned key) override;
    bool motion() override;
    void zoomIn() override;
    void zoomOut() override;
    void drawScene() override;
    void drawLeft() override;
    void drawRight() override;
    bool stereoFrame() const override;

    const std::vector<SPictureEntry>& cache() const { return mCache; }
    int maxTexSize() const { return mMaxTexSize; }
    // Decodes done in paints, for tests: a cache hit does none.
    int syncDecodes() const { return mSyncDecodes; }

    std::vector<SPictureEntry> mCache;  // least recently used first; the last is current
    int mImageWidth = 1, mImageHeight = 1;
    bool mIsMpo = false;
    std::string mFileName;
    SExifInfo mInfo;
    bool mZoomMode = false;
    bool mMoved = false;
    bool mDrawingRight = false;
    GLSLProgram* mGrayProgram = nullptr;
    SImgShaderParams mGrayParams;
    float mShift = 0.0f;
    bool mImageChanged = false;

private:
    SPictureEntry* current();
    const SPictureEntry* current() const;
    SPictureEntry* entryFor(const std::string& filename);
    void updateCache();
    void requestMissing(SPictureEntry& entry, bool prefetch);
    void uploadPending(SPictureEntry& entry);
    void uploadTexture(GLuint& texture, int& width, int& height, const SImage& image);
    const SPictureEntry* entryToShow() const;
    void displaySize(const SPictureEntry& entry, int& w, int& h) const;
    void fitToWindow();
    void fitZoom();
    void clampPan();

    DecodeRequest mDecodeRequest;
    std::unique_ptr<BindingTable> mGrayTable;
    int mMaxTexSize = kMaxTexSize;
    bool mNearest = false;
    bool mFilterDirty = false;
    int mSyncDecodes = 0;
    bool mInPaint = false;
};
