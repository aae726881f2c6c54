#pragma once
// Decodes one picture at a time on a thread of its own, so that the window stays
// responsive while a camera-sized stereo picture is decoded. Only the newest request
// counts: requests that arrive during a decode collapse into one, and a result that a
// newer request has overtaken is dropped (its buffer goes back to the recycler).
#include "imagehandle.h"

#include <QByteArray>
#include <QMetaType>
#include <QObject>

#include <condition_variable>
#include <memory>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

Q_DECLARE_METATYPE(SImageHandle)

class CImageLoadThread : public QObject {
    Q_OBJECT
public:
    explicit CImageLoadThread(std::shared_ptr<CPixelRecycler> recycler = nullptr,
                              QObject* parent = nullptr);
    // Returns at once when idle or never started; after the running decode otherwise,
    // whose result is then freed, not delivered.
    ~CImageLoadThread() override;
    CImageLoadThread(const CImageLoadThread&) = delete;
    CImageLoadThread& operator=(const CImageLoadThread&) = delete;

    // Asks for the left (primary) or right (second MPO) picture of filename (8-bit local
    // encoding), no side above maxSize. Wakes the worker, starting it on first use.
    // May be called from any thread.
    void load(const std::string& filename, bool right, int maxSize = 4416);
    // Pictures with four bytes a pixel from now on (see SViewDecode::rgba).
    void setRgba(bool on) { mRgba = on; }

signals:
    // Emitted on the worker thread, so receivers in other threads get it queued. The
    // name is the requested path's bytes as given; a missing or broken file arrives as
    // the failure record (width -1, no pixels). The handle frees the pixels when its last
    // copy goes, also when Qt drops a queued call unopened.
    void dataLoaded(const QByteArray& filename, bool right, SImageHandle image);

private:
    void run();

    const std::shared_ptr<CPixelRecycler> mRecycler;
    std::mutex mMutex;
    std::condition_variable mCondition;
    // Everything below is shared with the worker: read and written under mMutex only.
    bool mPending = false;  // a request the worker has not taken yet
    bool mAbort = false;    // the object is going: the worker must end
    std::string mFilename;
    bool mRight = false;
    int mMaxSize = 4416;
    std::atomic<bool> mRgba{false};
    std::thread mThread;
};
