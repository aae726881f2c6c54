// view_latency FILE...: shows the files one after the other in the real GL view (an
// 800 x 600 window) and times, from the call that selects a file, the frame that shows
// its Exif thumbnail and the frame that shows the picture itself. Meanwhile a 1 ms timer
// measures the longest time the GUI thread spends away from its event loop. After each
// picture the resident memory is read once the view has settled. One line per file,
// then the medians:
//   preview_ms=... full_ms=... stall_ms=... rss_growth=...
// rss_growth: the largest resident size after the sixth and later pictures against the
// size after the fifth, when the picture cache has filled. A line before them gives the
// time of one plain repaint, which every frame above includes.
#include "CRuvello.h"
#include "GLWidget.h"
#include "exif.h"
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

struct SLoad {
    std::string mFile;
    bool mPreviewPainted = false, mFullPainted = false;
    double mPreviewMs = -1, mFullMs = -1;
};

}  // namespace

int main(int argc, char** argv) {
    QSurfaceFormat::setDefaultFormat(defaultGLFormat());
    QApplication app(argc, argv);
    QStringList files = app.arguments().mid(1);
    // A file shown before would come from the picture cache, with nothing to time.
    if (files.isEmpty() || files.removeDuplicates() > 0) {
        std::fputs("usage: view_latency FILE... (all different)\n", stderr);
        return 2;
    }

    GLWidget view;
    view.resize(800, 600);
    view.show();
    if (!turnUntil([&] { return view.isValid(); }, 10000)) {
        std::fputs("view_latency: the view got no GL context\n", stderr);
        return 1;
    }
    CRuvello* ruvello = view.application();

    QElapsedTimer clock;
    SLoad load;
    // imageLoaded comes from the paint that uploaded a picture; the swap after it shows it.
    QObject::connect(&view, &GLWidget::imageLoaded, [&] {
        const SPictureEntry& entry = ruvello->cache().back();
        if (entry.fileName != load.mFile)
            return;
        load.mPreviewPainted |= entry.thumbnailShown;
        load.mFullPainted |= entry.leftLoaded;
    });
    QObject::connect(&view, &QOpenGLWidget::frameSwapped, [&] {
        const double now = clock.nsecsElapsed() / 1e6;
        if (load.mPreviewPainted && load.mPreviewMs < 0)
            load.mPreviewMs = now;
        if (load.mFullPainted && load.mFullMs < 0)
            load.mFullMs = now;
    });
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(1);
    qint64 lastTick = 0, longestGap = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
    });

    std::vector<double> previews, fulls, stalls;
    std::vector<long> resident;
    for (const QString& name : files) {
        const QByteArray file = QFile::encodeName(name);
        // The main window reads the Exif record before it hands the file over.
        const SExifInfo info = readExif(file.toStdString());
        load = SLoad{file.toStdString()};
        longestGap = 0;
        clock.start();
        lastTick = 0;
        ticker.start();
        view.loadPicture(file, info);
        const bool shown = turnUntil([&] { return load.mFullMs >= 0; }, kTimeoutMs);
        // The paint that showed the picture ends with its swap; the first tick after it
        // measures how long the event loop waited for that paint.
        turnUntil([&] { return lastTick / 1e6 > load.mFullMs; }, kTimeoutMs);
        ticker.stop();
        const double stallMs = longestGap / 1e6;
        if (!shown) {
            std::fprintf(stderr, "view_latency: %s was not shown within %d s\n", file.constData(),
                         kTimeoutMs / 1000);
            return 1;
        }
        QElapsedTimer settle;
        settle.start();
        turnUntil([&] { return settle.elapsed() >= kSettleMs; }, kSettleMs * 2);
        resident.push_back(residentKiB());
        std::printf("%s: preview %.1f ms, full %.1f ms, longest stall %.1f ms, resident %ld MiB\n",
                    file.constData(), load.mPreviewMs, load.mFullMs, stallMs,
                    resident.back() / 1024);
        if (load.mPreviewMs >= 0)
            previews.push_back(load.mPreviewMs);
        fulls.push_back(load.mFullMs);
        stalls.push_back(stallMs);
    }

    // For reading the figures: what one frame of the shown picture costs by itself.
    std::vector<double> frames;
    for (int i = 0; i < 20; ++i) {
        bool swapped = false;
        const auto connection =
            QObject::connect(&view, &QOpenGLWidget::frameSwapped, [&] { swapped = true; });
        clock.start();
        view.update();
        turnUntil([&] { return swapped; }, 5000);
        QObject::disconnect(connection);
        frames.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::printf("one repaint of the view: %.1f ms (median)\n", median(frames));

    double growth = -1;
    if (resident.size() >= 6)
        growth = double(*std::max_element(resident.begin() + 5, resident.end())) / resident[4];
    std::printf("preview_ms=%.1f full_ms=%.1f stall_ms=%.1f rss_growth=%.3f\n", median(previews),
                median(fulls), median(stalls), growth);
    std::fflush(stdout);
    return 0;
}
