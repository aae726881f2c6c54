// view_latency FILE...: pages through the files in the real GL view (an 800 x 600
// window) as the main window does, and times from each selection the frame that shows
// the Exif thumbnail and the frame that shows the picture itself. Meanwhile a 1 ms timer
// measures the longest time the GUI thread spends away from its event loop.
//
// The files go in threes: a picture selected with the next one to be read ahead (cold:
// nothing of it was decoded, and a read-ahead of an earlier step may still run), then,
// once the read-ahead had time, that next picture (read ahead), whose own read-ahead is
// the third file, never shown. Then a burst: a selection every 40 ms through all files
// (backwards), as Page Down held down, until the last one shows in full.
//
// Lines of figures, then one line of medians:
//   preview_ms=... full_ms=... readahead_ms=... stall_ms=... rss_growth=...
//   detail_ms=...
//   burst_stall_ms=... burst_selections=... burst_decodes=... burst_settle_ms=...
// rss_growth: the largest resident size after the sixth and later pictures against the
// size after the fifth, when the picture cache has filled.
#include "CPictureSource.h"
#include "CRuvello.h"
#include "GLWidget.h"
#include "startup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSurfaceFormat>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kTimeoutMs = 60000;
constexpr int kSettleMs = 500;
constexpr int kBurstIntervalMs = 40;

double median(std::vector<double> values) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Turns the event loop until done() or the time is up.
bool turnUntil(const std::function<bool()>& done, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// One selection and the frames that showed it.
struct SLoad {
    QByteArray mFile;
    double mPreviewMs = -1, mFullMs = -1;
};

// The view with its clock, its frame watch and its stall meter.
class CBench {
public:
    CBench() {
        mView.resize(800, 600);
        mView.show();
        QObject::connect(&mView, &GLWidget::pictureShown, [this](const SShownPicture& shown) {
            if (QByteArray::fromStdString(shown.file) != mLoad.mFile)
                return;
            mPreviewPainted |= shown.state == EShown::Preview;
            mFullPainted |= shown.state == EShown::Full;
        });
        // pictureShown comes from the paint; the swap after it puts it on the screen.
        QObject::connect(&mView, &QOpenGLWidget::frameSwapped, [this] {
            const double now = mClock.nsecsElapsed() / 1e6;
            if (mPreviewPainted && mLoad.mPreviewMs < 0)
                mLoad.mPreviewMs = now;
            if (mFullPainted && mLoad.mFullMs < 0)
                mLoad.mFullMs = now;
        });
        mTicker.setTimerType(Qt::PreciseTimer);
        mTicker.setInterval(1);
        QObject::connect(&mTicker, &QTimer::timeout, [this] {
            const qint64 now = mClock.nsecsElapsed();
            mLongestGap = std::max(mLongestGap, now - mLastTick);
            mLastTick = now;
        });
    }
    bool ready() {
        return turnUntil([&] { return mView.isValid(); }, 10000);
    }

    void startClock() {
        mClock.start();
        mLastTick = 0;
        mLongestGap = 0;
        mTicker.start();
    }
    void select(const QByteArray& file, const QByteArray& readAhead) {
        mLoad = SLoad{file};
        mPreviewPainted = mFullPainted = false;
        mView.loadPicture(file);
        mView.setReadAhead(readAhead);
    }
    // Waits for the frame with the whole picture and the event loop's next turn after
    // it; the longest stall until then in *stallMs.
    bool waitFull(double* stallMs) {
        const bool shown = turnUntil([&] { return mLoad.mFullMs >= 0; }, kTimeoutMs);
        turnUntil([&] { return mLastTick / 1e6 > mLoad.mFullMs; }, kTimeoutMs);
        mTicker.stop();
        *stallMs = mLongestGap / 1e6;
        if (!shown)
            std::fprintf(stderr, "view_latency: %s was not shown within %d s\n",
                         mLoad.mFile.constData(), kTimeoutMs / 1000);
        return shown;
    }
    // One picture pixel on one screen pixel: the time until the frame that shows the
    // picture's own pixels (it was shown fitted from a smaller decode), and back to fit.
    double detailMs() {
        CRuvello& view = *mView.application();
        QElapsedTimer clock;
        clock.start();
        view.actualSize();
        mView.update();
        bool swapped = false;
        const auto connection =
            QObject::connect(&mView, &QOpenGLWidget::frameSwapped, [&] { swapped = true; });
        const bool sharp = turnUntil(
            [&] {
                const SPictureEntry* e = view.currentEntry();
                return e && e->leftWidth >= e->wholeWidth && swapped;
            },
            kTimeoutMs);
        QObject::disconnect(connection);
        const double ms = clock.nsecsElapsed() / 1e6;
        view.fitView();
        mView.update();
        return sharp ? ms : -1;
    }
    void settle() {
        QElapsedTimer settle;
        settle.start();
        turnUntil([&] { return settle.elapsed() >= kSettleMs; }, kSettleMs * 2);
    }
    const SLoad& load() const { return mLoad; }
    double now() const { return mClock.nsecsElapsed() / 1e6; }
    CPictureSource::SCounts counts() const { return mView.pictureSource()->counts(); }
    GLWidget& view() { return mView; }

private:
    GLWidget mView;
    QElapsedTimer mClock;
    QTimer mTicker;
    qint64 mLastTick = 0, mLongestGap = 0;
    SLoad mLoad;
    bool mPreviewPainted = false, mFullPainted = false;
};

}  // namespace

int main(int argc, char** argv) {
    QSurfaceFormat::setDefaultFormat(defaultGLFormat());
    QApplication app(argc, argv);
    QStringList names = app.arguments().mid(1);
    // A file shown before would come from the picture cache, with nothing to time.
    if (names.size() < 6 || names.size() % 3 != 0 || names.removeDuplicates() > 0) {
        std::fputs("usage: view_latency FILE... (all different, a multiple of 3, at least 6)\n",
                   stderr);
        return 2;
    }
    std::vector<QByteArray> files;
    for (const QString& name : names)
        files.push_back(QFile::encodeName(name));

    CBench bench;
    if (!bench.ready()) {
        std::fputs("view_latency: the view got no GL context\n", stderr);
        return 1;
    }

    std::vector<double> previews, fulls, readAheads, stalls, details;
    std::vector<long> resident;
    for (size_t i = 0; i + 2 < files.size(); i += 3) {
        const QByteArray &cold = files[i], &warm = files[i + 1], &decoy = files[i + 2];
        double stall = 0;
        bench.startClock();
        bench.select(cold, warm);
        if (!bench.waitFull(&stall))
            return 1;
        std::printf("%s: preview %.1f ms, full %.1f ms, longest stall %.1f ms", cold.constData(),
                    bench.load().mPreviewMs, bench.load().mFullMs, stall);
        if (bench.load().mPreviewMs >= 0)
            previews.push_back(bench.load().mPreviewMs);
        fulls.push_back(bench.load().mFullMs);
        stalls.push_back(stall);
        bench.settle();
        resident.push_back(residentKiB());
        std::printf(", resident %ld MiB\n", resident.back() / 1024);

        // The read-ahead of the third file starts once this one shows, and still runs
        // when the next cold picture is selected.
        bench.startClock();
        bench.select(warm, decoy);
        if (!bench.waitFull(&stall))
            return 1;
        std::printf("%s: read ahead, full %.1f ms, longest stall %.1f ms\n", warm.constData(),
                    bench.load().mFullMs, stall);
        readAheads.push_back(bench.load().mFullMs);
        stalls.push_back(stall);
        resident.push_back(residentKiB());
    }

    // For reading the figures: what one frame of the shown picture costs by itself.
    std::vector<double> frames;
    for (int i = 0; i < 20; ++i) {
        bool swapped = false;
        const auto connection =
            QObject::connect(&bench.view(), &QOpenGLWidget::frameSwapped, [&] { swapped = true; });
        bench.startClock();
        bench.view().update();
        turnUntil([&] { return swapped; }, 5000);
        QObject::disconnect(connection);
        frames.push_back(bench.now());
    }
    std::printf("one repaint of the view: %.1f ms (median)\n", median(frames));

    // Page Down held: a new picture every 40 ms, each with the next to read ahead.
    bench.settle();
    const CPictureSource::SCounts before = bench.counts();
    bench.startClock();
    size_t selected = 0;
    QTimer pager;
    pager.setTimerType(Qt::PreciseTimer);
    // Backwards, so that the burst ends on pictures that left the cache long ago.
    const std::vector<QByteArray> order(files.rbegin(), files.rend());
    QObject::connect(&pager, &QTimer::timeout, [&] {
        const QByteArray next = selected + 1 < order.size() ? order[selected + 1] : QByteArray();
        bench.select(order[selected++], next);
        if (selected == order.size())
            pager.stop();
    });
    pager.start(kBurstIntervalMs);
    turnUntil([&] { return selected == files.size(); }, kTimeoutMs);
    const double lastSelection = bench.now();
    double burstStall = 0;
    if (!bench.waitFull(&burstStall))
        return 1;
    const double settleMs = bench.load().mFullMs - lastSelection;
    const CPictureSource::SCounts after = bench.counts();
    std::printf(
        "burst: %zu selections every %d ms, %d decodes started, %d delivered, "
        "%d stopped read-aheads, the last shown in full %.1f ms after its selection\n",
        selected, kBurstIntervalMs, after.started - before.started,
        after.delivered - before.delivered, after.stopped - before.stopped, settleMs);

    // Last, so that the detail in the textures does not count in the memory figures.
    bench.settle();
    details.push_back(bench.detailMs());
    std::printf("1:1 on the last picture: its own pixels %.1f ms later\n", details.back());

    double growth = -1;
    if (resident.size() >= 6)
        growth = double(*std::max_element(resident.begin() + 5, resident.end())) / resident[4];
    std::printf("preview_ms=%.1f full_ms=%.1f readahead_ms=%.1f stall_ms=%.1f rss_growth=%.3f\n",
                median(previews), median(fulls), median(readAheads), median(stalls), growth);
    std::printf("detail_ms=%.1f (the picture's own pixels after 1:1 on a fitted one)\n",
                median(details));
    std::printf("burst_stall_ms=%.1f burst_selections=%zu burst_decodes=%d burst_settle_ms=%.1f\n",
                burstStall, selected, after.started - before.started, settleMs);
    std::fflush(stdout);
    return 0;
}
