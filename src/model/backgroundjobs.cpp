#include "backgroundjobs.h"

#include <QMetaObject>
#include <QThread>

CBackgroundJobs::~CBackgroundJobs() {
    for (SJob& job : mJobs)
        *job.mCancelled = true;
    // Results on their way are dropped with this object: no one is left to take them.
    for (SJob& job : mJobs) {
        job.mThread->wait();
        delete job.mThread;
    }
}

std::shared_ptr<std::atomic<bool>> CBackgroundJobs::start(Work work) {
    mJobs.emplace_back();
    SJob* job = &mJobs.back();
    job->mCancelled = std::make_shared<std::atomic<bool>>(false);
    job->mThread = QThread::create([this, job, work = std::move(work),
                                    cancelled = job->mCancelled] {
        Done done = work(*cancelled);
        // Queued to this object's thread; the destructor waits for this thread before
        // the object goes, so the call finds it there.
        QMetaObject::invokeMethod(
            this, [this, job, done = std::move(done)] { finish(job, done); }, Qt::QueuedConnection);
    });
    job->mThread->start();
    return job->mCancelled;
}

void CBackgroundJobs::finish(SJob* job, const Done& done) {
    job->mThread->wait();  // it has done its work and is ending
    delete job->mThread;
    for (auto it = mJobs.begin(); it != mJobs.end(); ++it)
        if (&*it == job) {
            mJobs.erase(it);
            break;
        }
    if (done)
        done();
}
