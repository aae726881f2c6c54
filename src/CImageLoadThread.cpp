#include "CImageLoadThread.h"

#include "viewdecode.h"

#include <utility>

namespace {

// Queued connections copy their arguments by meta-type; once per process is enough.
void registerHandleType() {
    static const int id = qRegisterMetaType<SImageHandle>("SImageHandle");
    (void)id;
}

}  // namespace

CImageLoadThread::CImageLoadThread(std::shared_ptr<CPixelRecycler> recycler, QObject* parent)
    : QObject(parent), mRecycler(std::move(recycler)) {
    registerHandleType();
}

CImageLoadThread::~CImageLoadThread() {
    std::thread worker;
    {
        std::lock_guard<std::mutex> lock(mMutex);
        mAbort = true;
        worker = std::move(mThread);
    }
    mCondition.notify_one();
    if (worker.joinable())
        worker.join();
}

void CImageLoadThread::load(const std::string& filename, bool right, int maxSize) {
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (mAbort)
            return;
        mFilename = filename;
        mRight = right;
        mMaxSize = maxSize;
        mPending = true;
        if (!mThread.joinable())
            mThread = std::thread(&CImageLoadThread::run, this);
    }
    mCondition.notify_one();
}

void CImageLoadThread::run() {
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;) {
        mCondition.wait(lock, [this] { return mPending || mAbort; });
        if (mAbort)
            return;
        const SViewDecode request{mFilename, mRight ? EViewPicture::Right : EViewPicture::Left, 0,
                                  mMaxSize, mRgba};
        const bool right = mRight;
        mPending = false;
        lock.unlock();

        SImageHandle image = decodeForView(request, mRecycler);

        lock.lock();
        // Overtaken by a newer request, or the object is going: nobody wants this one.
        const bool wanted = !mPending && !mAbort;
        lock.unlock();
        if (wanted)
            emit dataLoaded(QByteArray(request.path.data(), int(request.path.size())), right,
                            image);
        // Dropped here, outside the lock: back to the recycler unless a receiver holds it.
        image.reset();
        lock.lock();
    }
}
