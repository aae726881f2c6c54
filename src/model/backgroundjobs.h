#pragma once
// File work off the GUI thread: each job runs on a thread of its own and hands its result
// back to the thread this object lives on, where it may touch widgets and models. Jobs
// do CPU and file work only, never GL and never a widget. When this object goes it
// cancels the jobs that still run and waits for them, so that no job outlives its owner
// and no half-written temporary file stays behind at exit.
#include <QObject>

#include <atomic>
#include <functional>
#include <list>
#include <memory>

class QThread;

class CBackgroundJobs : public QObject {
public:
    // What a job gives back: runs on this object's thread once the job has ended, never
    // after this object is gone.
    using Done = std::function<void()>;
    // The job's own work; cancelled turns true when it should stop early.
    using Work = std::function<Done(const std::atomic<bool>& cancelled)>;

    explicit CBackgroundJobs(QObject* parent = nullptr) : QObject(parent) {}
    ~CBackgroundJobs() override;

    // Starts work; setting the flag it returns cancels it.
    std::shared_ptr<std::atomic<bool>> start(Work work);
    // Jobs started whose results have not been handed back yet.
    int running() const { return int(mJobs.size()); }

private:
    struct SJob {
        // A thread of Qt's own: Qt objects made by the work (a QProcess) find an event
        // dispatcher there.
        QThread* mThread = nullptr;
        std::shared_ptr<std::atomic<bool>> mCancelled;
    };
    void finish(SJob* job, const Done& done);

    std::list<SJob> mJobs;
};
