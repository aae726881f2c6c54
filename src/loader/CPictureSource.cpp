#include "CPictureSource.h"

namespace {
// Pictures come at the size they are shown: a few screenfuls of pixels are worth keeping
// for the next decodes; a picture decoded in full for a zoom is not.
constexpr size_t kKeptPixelBytes = size_t(96) << 20;
}  // namespace

#include <algorithm>

CPictureSource::CPictureSource(int workers, QObject* parent)
    : QObject(parent), mRecycler(std::make_shared<CPixelRecycler>(4, kKeptPixelBytes)) {
    for (int i = 0; i < std::max(1, workers); ++i)
        mWorkers.emplace_back(&CPictureSource::work, this);
}

CPictureSource::~CPictureSource() {
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mQuit = true;
        for (auto& [id, job] : mJobs)
            job->mAbort = true;
    }
    mWake.notify_all();
    for (std::thread& worker : mWorkers)
        worker.join();
    // Results still on their way are posted to this object and go with it, pixels and all.
}

RequestId CPictureSource::request(const std::string& file, EPicturePart part, EPriority priority,
                                  SPictureSize size) {
    auto job = std::make_shared<SJob>();
    job->mJob.mFile = file;
    job->mJob.mPart = part;
    job->mJob.mMaxSize = size.mMaxSize;
    job->mJob.mCoverWidth = size.mCoverWidth;
    job->mJob.mCoverHeight = size.mCoverHeight;
    job->mPriority = priority;
    return enqueue(std::move(job));
}

RequestId CPictureSource::requestAlignment(const std::string& file, SImageHandle left,
                                           SImageHandle right, EPriority priority) {
    auto job = std::make_shared<SJob>();
    job->mJob.mFile = file;
    job->mJob.mPart = EPicturePart::Alignment;
    job->mJob.mLeft = std::move(left);
    job->mJob.mRight = std::move(right);
    job->mPriority = priority;
    return enqueue(std::move(job));
}

RequestId CPictureSource::enqueue(std::shared_ptr<SJob> job) {
    {
        std::lock_guard<std::mutex> lock(mMutex);
        job->mJob.mId = ++mLastId;
        mJobs.emplace(job->mJob.mId, job);
        mQueue.push_back(job);
        stopReadAheadIfNeeded();
    }
    mWake.notify_all();
    return job->mJob.mId;
}

void CPictureSource::setPriority(RequestId id, EPriority priority) {
    {
        std::lock_guard<std::mutex> lock(mMutex);
        const auto found = mJobs.find(id);
        if (found == mJobs.end() || found->second->mPriority == priority)
            return;
        SJob& job = *found->second;
        job.mPriority = priority;
        // A read-ahead stopped a moment ago for the current picture is that picture now.
        if (priority == EPriority::Current && job.mRunning && !job.mCancelled)
            job.mAbort = false;
        stopReadAheadIfNeeded();
    }
    mWake.notify_all();
}

void CPictureSource::cancel(RequestId id) {
    JobPtr pending;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        const auto found = mJobs.find(id);
        if (found == mJobs.end() || found->second->mCancelled)
            return;
        JobPtr job = found->second;
        job->mCancelled = true;
        job->mAbort = true;
        if (job->mRunning)
            return;  // its loader ends it as cancelled
        mQueue.erase(std::find(mQueue.begin(), mQueue.end(), job));
        mJobs.erase(found);
        ++mCounts.cancelled;
        pending = job;
    }
    mWake.notify_all();  // a read-ahead may run now
    SPictureResult result;
    result.mId = id;
    result.mFile = pending->mJob.mFile;
    result.mPart = pending->mJob.mPart;
    result.mOutcome = EOutcome::Cancelled;
    post(std::move(result));
}

CPictureSource::SCounts CPictureSource::counts() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mCounts;
}

int CPictureSource::alive() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return int(mJobs.size());
}

CPictureSource::JobPtr CPictureSource::takeJob() {
    bool currentRunning = false;
    for (const auto& [id, job] : mJobs)
        currentRunning |= job->mRunning && job->mPriority == EPriority::Current;
    auto next = std::find_if(mQueue.begin(), mQueue.end(),
                             [](const JobPtr& j) { return j->mPriority == EPriority::Current; });
    if (next == mQueue.end() && !currentRunning)
        next = mQueue.begin();
    if (next == mQueue.end())
        return nullptr;
    JobPtr job = *next;
    mQueue.erase(next);
    job->mRunning = true;
    ++mCounts.started;
    return job;
}

void CPictureSource::stopReadAheadIfNeeded() {
    bool currentAlive = false;
    for (const auto& [id, job] : mJobs)
        currentAlive |= job->mPriority == EPriority::Current && !job->mCancelled;
    if (!currentAlive)
        return;
    for (auto& [id, job] : mJobs)
        if (job->mRunning && job->mPriority == EPriority::ReadAhead)
            job->mAbort = true;
}

void CPictureSource::work() {
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;) {
        JobPtr job;
        mWake.wait(lock, [&] { return mQuit || (job = takeJob()) != nullptr; });
        if (mQuit) {
            if (job)
                job->mRunning = false;
            return;
        }
        lock.unlock();

        auto facts = [this, &job](const SPictureFacts& found) {
            {
                std::lock_guard<std::mutex> guard(mMutex);
                if (job->mFactsSent || job->mCancelled)
                    return;
                job->mFactsSent = true;
            }
            postFacts(job->mJob.mId, job->mJob.mFile, found);
        };
        SPictureResult result = runPictureJob(job->mJob, mRecycler, job->mAbort, facts, mAligner);

        lock.lock();
        job->mRunning = false;
        if (mQuit)
            return;
        if (result.mOutcome == EOutcome::Cancelled && !job->mCancelled) {
            // Stopped for the current picture, not by the view: it goes on later.
            job->mAbort = false;
            mQueue.push_front(job);
            ++mCounts.stopped;
            stopReadAheadIfNeeded();
            continue;
        }
        if (job->mCancelled) {
            result.mOutcome = EOutcome::Cancelled;
            result.mImage.reset();
            result.mReason.clear();
        }
        mJobs.erase(job->mJob.mId);
        ++(result.mOutcome == EOutcome::Delivered ? mCounts.delivered
           : result.mOutcome == EOutcome::Failed  ? mCounts.failed
                                                  : mCounts.cancelled);
        lock.unlock();
        mWake.notify_all();  // a read-ahead may run now
        post(std::move(result));
        job.reset();
        lock.lock();
    }
}

void CPictureSource::post(SPictureResult result) {
    QMetaObject::invokeMethod(
        this,
        [this, result = std::move(result)] {
            if (mSink)
                mSink->pictureFinished(result);
            emit changed();
        },
        Qt::QueuedConnection);
}

void CPictureSource::postFacts(RequestId id, const std::string& file, const SPictureFacts& facts) {
    QMetaObject::invokeMethod(
        this,
        [this, id, file, facts] {
            if (mSink)
                mSink->pictureIdentified(id, file, facts);
            emit changed();
        },
        Qt::QueuedConnection);
}
