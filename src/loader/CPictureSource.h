#pragma once
// Decodes the pictures the view asks for on loader threads of its own, so that the window
// stays responsive while camera-sized stereo pictures are decoded. Every request ends
// exactly once (delivered, failed or cancelled) and the sink hears of it on the thread
// that owns this object, through its event loop.
//
// Scheduling: the current picture's requests are served first, in the order they came.
// Read-ahead requests run only while no current request waits or runs: one that is
// running when a current request comes is stopped and queued again, so it never takes a
// core from the picture on the screen. A read-ahead request that becomes current goes on
// where it is.
#include "picturejob.h"

#include <QObject>

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CPictureSource : public QObject, public CPictureRequests {
    Q_OBJECT
public:
    explicit CPictureSource(int workers = 2, QObject* parent = nullptr);
    // Stops every decode, waits for the loader threads and delivers nothing more.
    ~CPictureSource() override;
    CPictureSource(const CPictureSource&) = delete;
    CPictureSource& operator=(const CPictureSource&) = delete;

    void setSink(CPictureSink* sink) { mSink = sink; }
    // How alignment requests are served; set before the first one. Called on the loader
    // threads, so it must be safe to run on several at once.
    void setAligner(StereoAligner aligner) { mAligner = std::move(aligner); }
    const std::shared_ptr<CPixelRecycler>& recycler() const { return mRecycler; }

    using CPictureRequests::request;
    RequestId request(const std::string& file, EPicturePart part, EPriority priority,
                      SPictureSize size) override;
    RequestId requestAlignment(const std::string& file, SImageHandle left, SImageHandle right,
                               EPriority priority) override;
    void setPriority(RequestId id, EPriority priority) override;
    void cancel(RequestId id) override;

    // What the loader threads did so far, for tests and benchmarks.
    struct SCounts {
        int started = 0;  // jobs a loader took up (a job stopped for the current picture
                          // and taken up again counts twice)
        int stopped = 0;  // read-ahead jobs stopped for the current picture, queued again
        int delivered = 0, failed = 0, cancelled = 0;
    };
    SCounts counts() const;
    // Requests that have not ended.
    int alive() const;

signals:
    // After the sink has heard of something: a good moment to repaint.
    void changed();

private:
    struct SJob {
        SPictureJob mJob;
        EPriority mPriority = EPriority::Current;
        std::atomic<bool> mAbort{false};
        bool mRunning = false;
        bool mCancelled = false;
        bool mFactsSent = false;
    };
    using JobPtr = std::shared_ptr<SJob>;

    RequestId enqueue(std::shared_ptr<SJob> job);

    void work();
    // The next job for a free loader, or null; mMutex held.
    JobPtr takeJob();
    // Stops running read-ahead jobs while current ones wait or run; mMutex held.
    void stopReadAheadIfNeeded();
    void post(SPictureResult result);
    void postFacts(RequestId id, const std::string& file, const SPictureFacts& facts);

    const std::shared_ptr<CPixelRecycler> mRecycler;
    CPictureSink* mSink = nullptr;
    StereoAligner mAligner;
    mutable std::mutex mMutex;
    std::condition_variable mWake;
    // Everything below is shared with the loaders: read and written under mMutex only.
    std::map<RequestId, JobPtr> mJobs;  // alive requests, pending or running
    std::deque<JobPtr> mQueue;          // pending, in the order they came
    RequestId mLastId = 0;
    bool mQuit = false;
    SCounts mCounts;
    std::vector<std::thread> mWorkers;
};
