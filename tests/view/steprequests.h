#pragma once
// The loader threads' work, run in the test's own thread when the test says so: the same
// job function, real decoding; the test chooses when each step arrives.
#include "picturejob.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

class CStepRequests : public CPictureRequests {
public:
    using CPictureRequests::request;
    RequestId request(const std::string& file, EPicturePart part, EPriority,
                      SPictureSize size) override {
        SPictureJob job{++mLastId, file, part, size.mMaxSize, true, nullptr, nullptr};
        job.mCoverWidth = size.mCoverWidth;
        job.mCoverHeight = size.mCoverHeight;
        mRequested.push_back(job);
        mWaiting.push_back(job);
        return job.mId;
    }
    RequestId requestAlignment(const std::string& file, SImageHandle left, SImageHandle right,
                               EPriority) override {
        SPictureJob job{++mLastId, file,   EPicturePart::Alignment, kViewMaxSize, true,
                        nullptr,   nullptr};
        job.mLeft = std::move(left);
        job.mRight = std::move(right);
        mRequested.push_back(job);
        mWaiting.push_back(job);
        return job.mId;
    }
    void setPriority(RequestId, EPriority) override {}
    void cancel(RequestId id) override {
        if (!forget(id))
            return;
        mCancelled.push_back(id);
        SPictureResult result;
        result.mId = id;
        result.mOutcome = EOutcome::Cancelled;
        for (const SPictureJob& job : mRequested)
            if (job.mId == id)
                result.mFile = job.mFile, result.mPart = job.mPart;
        mHeld.push_back(result);  // told later, as the threads would
    }
    bool forget(RequestId id) {
        const auto it = std::find_if(mWaiting.begin(), mWaiting.end(),
                                     [&](const SPictureJob& j) { return j.mId == id; });
        if (it == mWaiting.end())
            return false;
        mWaiting.erase(it);
        return true;
    }
    // Runs the oldest waiting job; its facts go to the sink at once, its end too unless
    // held (until releaseHeld).
    void runNext(CPictureSink& sink, bool holdEnd = false) {
        const SPictureJob job = mWaiting.front();
        mWaiting.erase(mWaiting.begin());
        const std::atomic<bool> never{false};
        const SPictureResult result = runPictureJob(
            job, nullptr, never,
            [&](const SPictureFacts& facts) { sink.pictureIdentified(job.mId, job.mFile, facts); });
        if (holdEnd)
            mHeld.push_back(result);
        else
            sink.pictureFinished(result);
    }
    void releaseHeld(CPictureSink& sink) {
        std::vector<SPictureResult> held;
        held.swap(mHeld);
        for (const SPictureResult& result : held)
            sink.pictureFinished(result);
    }
    void runAll(CPictureSink& sink) {
        releaseHeld(sink);
        while (!mWaiting.empty())
            runNext(sink);
    }

    std::vector<SPictureJob> mRequested;  // every request, in order
    std::vector<RequestId> mCancelled;

private:
    std::vector<SPictureJob> mWaiting;
    std::vector<SPictureResult> mHeld;
    RequestId mLastId = 0;
};
