#pragma once
// The image view: one photograph at a time, plain or as a stereo pair, from a small
// cache of recently shown pictures in GL textures. It asks for pictures through
// CPictureRequests and hears of them as a CPictureSink; decoded pixels wait in owning
// handles and are uploaded in the next paint, with the context current. No widget
// toolkit here: GLWidget hosts it.
//
// The rule that keeps a picture from being lost: a current picture that lacks pixels
// and has no request alive is asked for again, after every event that may end one.
#include "glh.h"

#include "CApp.h"
#include "GLSLParams.h"
#include "glObject.h"
#include "anaglyphImage.h"
#include "exif.h"
#include "imagehandle.h"
#include "picturerequests.h"
#include "viewdecode.h"

#include <map>
#include <string>
#include <vector>

class GLSLProgram;

// Uniform locations of the gray program.
struct SImgShaderParams : public GLSLParamsContainer {
    int colMat = -1;
    void declare(BindingTable& table) override { table.uniform("colMat", &colMat); }
};

// The textures of a cache entry, each with the size of the picture it holds; an entry
// that makes room for another hands them on.
struct SEntryTextures {
    CGLTexture texLeft, texRight;
    // The Exif thumbnail has a texture of its own, so that the picture's keeps its size
    // and the picture replaces the preview without re-specifying it.
    CGLTexture texThumb;
    int thumbWidth = 0, thumbHeight = 0;
    int leftWidth = 0, leftHeight = 0;  // texel sizes as uploaded
    int rightWidth = 0, rightHeight = 0;
};

// One picture of the cache.
struct SPictureEntry : SEntryTextures {
    std::string fileName;  // the name's bytes; empty for an entry not yet used
    // What the file is, as its left request found out; known once identified.
    bool identified = false;
    SPictureKind kind;
    SExifInfo info;
    SCameraParallax parallax;
    bool leftLoaded = false, rightLoaded = false;  // in their textures (a failure too)
    bool thumbnailShown = false;                   // texThumb holds the preview
    bool leftFailed = false;                       // shown as a placeholder
    bool rightFailed = false;                      // no second view: shown in mono
    std::string failure;                           // why the left picture failed
    std::string partial;  // what a cut or damaged file lacks ("truncated after 51 %")
    // The left picture's size at full detail, which the view's geometry is in: a picture
    // decoded at the size shown is drawn over it, and replaced by a larger decode when the
    // screen could show more detail than it holds (zoomed in, a larger window).
    int wholeWidth = 0, wholeHeight = 0;
    RequestId detailRequest = 0;
    SImageHandle pendingDetail;
    int detailAsked = 0;  // the widest cover asked for: one that failed is not asked again
    RequestId leftRequest = 0, rightRequest = 0;               // alive requests; 0 none
    SImageHandle pendingLeft, pendingRight, pendingThumbnail;  // uploaded at the next paint
    // A stereo pair's alignment, in texels of the left texture, once found (or refused:
    // then alignment.mWhy says why). The decoded pictures are kept for it until they go to
    // the aligner.
    bool aligned = false;
    SStereoAlignment alignment;
    RequestId alignRequest = 0;
    SImageHandle keptLeft, keptRight;
};

// What a frame showed of the current picture, for the window's title and menus.
enum class EShown { Preview, Full, Failed };
struct SShownPicture {
    std::string file;
    EShown state = EShown::Preview;
    int width = 0, height = 0;  // as shown: after the Exif orientation; 0 when Failed
    int texWidth = 0;           // of the stored picture as the view holds it
    SExifInfo info;
    SCameraParallax parallax;
    EPictureKind kind = EPictureKind::Unreadable;
    bool stereo = false;  // a stereo pair whose second view did not fail
    std::string reason;   // Failed: why
    std::string partial;  // a picture shown as far as its file goes: what is missing
    // Stereo pairs shown aligned: the alignment, in pixels of the picture as shown.
    bool aligned = false;
    SStereoAlignment alignment;
    bool operator==(const SShownPicture& o) const {
        return file == o.file && state == o.state && width == o.width && height == o.height &&
               kind == o.kind && stereo == o.stereo && info.mOrientation == o.info.mOrientation &&
               reason == o.reason && partial == o.partial && aligned == o.aligned &&
               alignment.mOk == o.alignment.mOk;
    }
};

class CRuvello : public CApp, public CPictureSink {
public:
    // The largest texture side the view uses, whatever the driver allows.
    static constexpr int kMaxTexSize = kViewMaxSize;
    static constexpr size_t kCacheSize = 5;

    explicit CRuvello(CGlutWindow* window);
    ~CRuvello() override;

    // GL set-up with the context current: the framework, the gray program, the limit.
    // False, after saying so, when a program cannot be built.
    bool initShaders(const char* stereoVs, const char* stereoFs, const char* grayVs,
                     const char* grayFs);
    void shutdownGL() override;

    // Without requests the paint that needs a picture decodes it itself, on the same
    // path the loader threads take.
    void setPictureRequests(CPictureRequests* requests) { mRequests = requests; }

    // The device pixels the view will have, for pictures asked for before its GL set-up
    // and first size (at start): they come at the size shown without waiting for both.
    void setExpectedViewSize(int width, int height) {
        mExpectedWidth = width;
        mExpectedHeight = height;
    }
    // The picture to show: the file name's bytes. What the file is comes with it.
    void selectPicture(const std::string& filename);
    // The picture likely to be shown next (empty: none). It is decoded once the current
    // picture is complete, into an entry of its own.
    void setReadAhead(const std::string& filename);
    // Asks for whatever the current picture lacks (after stereo was switched on, say).
    void requestCurrent();
    void updatePictureInfo(const std::string& filename, const SExifInfo& info);

    // CPictureSink
    void pictureIdentified(RequestId id, const std::string& file,
                           const SPictureFacts& facts) override;
    void pictureFinished(const SPictureResult& result) override;

    bool isLeftLoaded() const;
    bool isRightLoaded() const;
    // Stereo is on for a stereo pair whose second picture has not failed.
    bool wantsRightPicture() const;
    // Nothing that the current frame needs is missing.
    bool pictureComplete() const;
    // The current frame still waits for a picture that is on its way (the wait cursor).
    bool waiting() const;
    // What the last frame showed of the current picture, when that changed since the
    // last call; false otherwise. A picture still covered by the previous one is not
    // shown yet.
    bool takeShownChange(SShownPicture& shown);
    // After a frame: starts the read-ahead once the current picture is complete.
    void frameDone();
    // The next frame would show something of the current picture that the last one did
    // not: without it, a repaint draws the same frame again.
    bool hasNewFrame() const;
    // Whether what the requests told since the last call wants a paint: anything of the
    // current picture, and the uploads of others once the current one is complete (a
    // paint meanwhile would take the cores from its decode).
    bool takeRepaintRequest();

    void setNearestFilter(bool flag);
    // Stereo pairs are aligned by themselves (on by default).
    void setAutoAlign(bool on);
    bool autoAlign() const { return mAutoAlign; }
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
    // Over the frame: the name of a current picture that cannot be shown, or is shown
    // only in part, and why, after the framework's own lines.
    std::vector<std::string> viewNotes() const override;

    const std::vector<SPictureEntry>& cache() const { return mCache; }
    // The current entry (the last of the cache), or null.
    const SPictureEntry* currentEntry() const;
    const std::string& fileName() const { return mFileName; }
    int imageWidth() const { return mImageWidth; }
    int imageHeight() const { return mImageHeight; }
    bool zoomMode() const { return mZoomMode; }
    // The keys' zoom: one step in or out about the window point (x, y), y from the top;
    // the whole picture in the window; one picture pixel on one window pixel.
    void zoomStep(bool in, int x, int y);
    void fitView() { fitToWindow(); }
    void actualSize();
    // The window point (x, y), y from the top, shows the picture.
    bool showsPicture(int x, int y) const;
    // The current picture's horizontal shift between the views, in pixels of the picture
    // the view holds. Each picture keeps its own while the program runs; another picture
    // starts from none.
    float shift() const { return mShift; }
    // Back to no shift for the current picture; false when it had none.
    bool resetShift();
    // The renderer's settings and the shift, as an export at the shown size needs them.
    SAnaglyphSettings anaglyphSettings() const;
    int maxTexSize() const { return mMaxTexSize; }
    // Decodes done in paints (without requests), for tests: a cache hit does none.
    int syncDecodes() const { return mSyncDecodes; }

private:
    SPictureEntry* current();
    SPictureEntry* entryFor(const std::string& filename);
    // The entry of filename, made (from the least recently used one) when missing, at
    // the end (current) or just before it (read-ahead).
    SPictureEntry& entryOf(const std::string& filename, bool current);
    bool needsRight(const SPictureEntry& e) const;
    bool complete(const SPictureEntry& e) const;
    void requestMissing(SPictureEntry& e, EPriority priority);
    // Asks for the alignment of a complete stereo pair that has none yet.
    void requestAlignment(SPictureEntry& e, EPriority priority);
    bool wantsAlignment(const SPictureEntry& e) const;
    // A stereo pair to be shown aligned whose alignment is not known yet: until it is, the
    // entry shows a preview (its thumbnail, else its left picture alone).
    bool awaitsAlignment(const SPictureEntry& e) const;
    // The alignment the entry is drawn with, or null.
    const SStereoAlignment* drawnAlignment(const SPictureEntry& e) const;
    void decodeHere(SPictureEntry& e);
    // The size that a left request asks for: the view's device pixels to cover.
    SPictureSize leftSize() const;
    // Asks for more of the current picture when the screen shows fewer of its pixels than
    // it could.
    void requestDetail(SPictureEntry& e);
    void cancelRequests(SPictureEntry& e);
    // Requests of entries that are neither current nor the read-ahead are cancelled;
    // the current one's are made current.
    void settleRequests();
    void applyFacts(SPictureEntry& e, const SPictureFacts& facts);
    void applyResult(SPictureEntry& e, const SPictureResult& result);
    void uploadPending(SPictureEntry& entry);
    void uploadTexture(CGLTexture& texture, int& width, int& height, const SImage& image);
    void noteShown();
    const SPictureEntry* entryToShow() const;
    void displaySize(const SPictureEntry& entry, int& w, int& h) const;
    void fitToWindow();
    void fitZoom();
    void clampPan();
    // Shift is held with the key being handled.
    bool shifted() const;
    // The shift a picture is drawn with: the current one's, or what another was left at.
    float shiftOf(const std::string& filename) const;

    std::vector<SPictureEntry> mCache;  // least recently used first; the last is current
    std::string mFileName;              // the current picture
    std::string mReadAhead;             // the picture to read ahead; empty: none
    std::string mLastShown;             // what the last frame drew: kept in the cache
    int mImageWidth = 1, mImageHeight = 1;
    bool mZoomMode = false;
    bool mMoved = false;
    bool mDrawingRight = false;
    float mShift = 0.0f;                   // of the current picture
    std::map<std::string, float> mShifts;  // of the others that were shifted, by name
    GLSLProgram* mGrayProgram = nullptr;
    SImgShaderParams mGrayParams;
    std::unique_ptr<BindingTable> mGrayTable;
    CPictureRequests* mRequests = nullptr;
    RequestId mLocalIds = 0;  // ids of the decodes done here
    int mMaxTexSize = kMaxTexSize;
    bool mNearest = false;
    bool mFilterDirty = false;
    int mSyncDecodes = 0;
    SShownPicture mShown;  // what the last frame showed of the current picture
    bool mShownValid = false, mShownChanged = false;
    bool mRepaint = false;  // see takeRepaintRequest
    bool mAutoAlign = true;
    bool mHadContext = false;  // a GL set-up was done: a new one finds old textures gone
    int mExpectedWidth = 0, mExpectedHeight = 0;
};
