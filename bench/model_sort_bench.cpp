// The first sort by Date of a listed folder: every date is read from the Exif data of
// its file. Prints the number of rows, the time of the sort alone in seconds, and the
// dates of the first and last rows, tab-separated.
//   model_sort_bench FOLDER
#include "CImageListModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: model_sort_bench FOLDER\n");
        return 2;
    }
    CImageListModel model;
    // Listing sorts by file name, which reads nothing.
    model.setDirPath(QString::fromLocal8Bit(argv[1]));
    const int rows = model.rowCount();
    if (rows == 0) {
        std::fprintf(stderr, "model_sort_bench: no pictures in %s\n", argv[1]);
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    model.sort(CImageListModel::ColDate, Qt::AscendingOrder);
    const qint64 nanoseconds = timer.nsecsElapsed();
    const auto date = [&](int row) {
        return model.data(model.index(row, CImageListModel::ColDate)).toString().toStdString();
    };
    std::printf("%d\t%.4f\t%s\t%s\n", rows, double(nanoseconds) * 1e-9, date(0).c_str(),
                date(rows - 1).c_str());
    return 0;
}
