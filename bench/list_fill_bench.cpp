// The picture list's background fill of a large folder: the time from listing until the
// Date, Orientation and Camera columns are full, the longest pause of the event loop
// meanwhile (a timer that should tick every 5 ms), and a Date sort afterwards.
//   list_fill_bench FOLDER COUNT
// FOLDER gets COUNT small JPEG files with Exif blocks, made with the program's own
// writers (kept for the next run when the count matches). Prints, tab-separated: rows,
// listing seconds, fill seconds, longest pause in seconds, Date sort seconds.
#include "CImageListModel.h"
#include "exifwrite.h"
#include "filewrite.h"
#include "jpegwrite.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

bool makeFiles(const QString& folder, int count) {
    QDir().mkpath(folder);
    QFile stamp(folder + "/complete");
    if (stamp.open(QIODevice::ReadOnly) && stamp.readAll().trimmed().toInt() == count)
        return true;
    stamp.close();
    std::vector<uint8_t> rgb(32 * 24 * 3, 128);
    for (int i = 0; i < count; ++i) {
        SExifWrite exif;
        char date[32];
        std::snprintf(date, sizeof date, "2019:%02d:%02d %02d:%02d:%02d", i / 200 % 12 + 1,
                      i / 8 % 28 + 1, i % 24, i * 7 % 60, i * 13 % 60);
        exif.mDateTime = date;
        exif.mOrientation = i % 8 + 1;
        exif.mMake = "Stereo Works";
        exif.mModel = "SW-3D Twin";
        exif.mPixelWidth = 32;
        exif.mPixelHeight = 24;
        SJpegWrite options;
        options.mApp1 = buildExifPayload(exif);
        char name[32];
        std::snprintf(name, sizeof name, "/img%06d.jpg", i);
        if (!writeFileAtomically((folder + name).toStdString(),
                                 encodeJpeg(rgb.data(), 32, 24, options)))
            return false;
    }
    if (!stamp.open(QIODevice::WriteOnly))
        return false;
    stamp.write(QByteArray::number(count));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: list_fill_bench FOLDER COUNT\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!makeFiles(folder, std::atoi(argv[2]))) {
        std::fprintf(stderr, "list_fill_bench: could not write %s\n", argv[1]);
        return 1;
    }
    CImageListModel model;
    QElapsedTimer clock;
    clock.start();
    model.setDirPath(folder);
    const double listing = double(clock.nsecsElapsed()) * 1e-9;

    qint64 lastTick = clock.nsecsElapsed(), longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - lastTick);
        lastTick = now;
    });
    ticker.start(5);
    QObject::connect(&model, &CImageListModel::fillFinished, &app, &QCoreApplication::quit);
    if (model.isFilling())
        app.exec();
    const double fill = double(clock.nsecsElapsed()) * 1e-9 - listing;
    longest = std::max(longest, clock.nsecsElapsed() - lastTick);
    ticker.stop();

    QElapsedTimer sortClock;
    sortClock.start();
    model.sort(CImageListModel::ColDate, Qt::DescendingOrder);
    const double sort = double(sortClock.nsecsElapsed()) * 1e-9;
    std::printf("%d\t%.4f\t%.4f\t%.4f\t%.4f\n", model.rowCount(), listing, fill,
                double(longest) * 1e-9, sort);
    return 0;
}
