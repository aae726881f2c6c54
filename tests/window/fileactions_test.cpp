// What the window does to the files themselves, driven by keys through the X server:
// a quarter turn from the way a photo shows (read back by exiftool and on the screen),
// Delete into a real freedesktop trash and Undo out of it, and Open on what users have.
#include "GLWidget.h"
#include "screenframes.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QProcess>
#include <QUrl>
#include <QStatusBar>
#include <QTreeView>

#include <fstream>
#include <sstream>

namespace {

std::string bytesOf(const QString& path) {
    std::ostringstream text;
    text << std::ifstream(path.toStdString(), std::ios::binary).rdbuf();
    return text.str();
}

// Four quadrants of their own colour: red, green / blue, yellow. Every turn and mirror of
// it looks different.
using Rgb = std::vector<uint8_t>;
const uint8_t kQuadrant[4][3] = {{230, 20, 20}, {20, 200, 20}, {20, 20, 230}, {230, 230, 20}};
Rgb upright(int w, int h) {
    Rgb rgb(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            std::copy_n(kQuadrant[(y >= h / 2) * 2 + (x >= w / 2)], 3,
                        &rgb[(size_t(y) * w + x) * 3]);
    return rgb;
}
// The picture turned a quarter anticlockwise (w, h are its size before the turn).
Rgb turnedLeft(const Rgb& in, int w, int h) {
    Rgb out(in.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            std::copy_n(&in[(size_t(y) * w + x) * 3], 3, &out[(size_t(w - 1 - x) * h + y) * 3]);
    return out;
}

std::vector<uint8_t> jpeg(const Rgb& rgb, int w, int h, int orientation) {
    SExifWrite exif;
    exif.mOrientation = orientation;
    exif.mPixelWidth = w;
    exif.mPixelHeight = h;
    SJpegWrite options;
    options.mApp1 = buildExifPayload(exif);
    return encodeJpeg(rgb.data(), w, h, options);
}

// Whether the quadrants show where an upright picture has them.
bool showsUpright(const QImage& screen) {
    double sx[4] = {}, sy[4] = {}, n[4] = {};
    for (int y = 0; y < screen.height(); ++y)
        for (int x = 0; x < screen.width(); ++x) {
            const QRgb p = screen.pixel(x, y);
            for (int q = 0; q < 4; ++q)
                if (std::abs(qRed(p) - kQuadrant[q][0]) < 40 &&
                    std::abs(qGreen(p) - kQuadrant[q][1]) < 40 &&
                    std::abs(qBlue(p) - kQuadrant[q][2]) < 40)
                    sx[q] += x, sy[q] += y, ++n[q];
        }
    for (double count : n)
        if (count < 100)
            return false;
    auto cx = [&](int q) { return sx[q] / n[q]; };
    auto cy = [&](int q) { return sy[q] / n[q]; };
    return cx(0) < cx(1) && cx(2) < cx(3) && cy(0) < cy(2) && cy(1) < cy(3);
}

QString exifOrientation(const QString& path) {
    QProcess process;
    process.start("exiftool", {"-n", "-s3", "-Orientation", path});
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// Hands the next modal widget of type T to act: polled by a timer, not waited for, as
// the key that opens it is still being sent when its own event loop starts.
template <typename T>
void onNextModal(std::function<void(T*)> act) {
    auto* timer = new QTimer(QApplication::instance());
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* widget = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(widget);
        }
    });
    timer->start(20);
}

class FileActions : public WindowTest {
protected:
    void selectRow(int row) {
        window->listView()->selectionModel()->setCurrentIndex(
            model().index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    QString status() { return window->statusBar()->currentMessage(); }
};

}  // namespace

TEST_F(FileActions, RotateRightTurnsFromTheWayThePhotoShows) {
    const int w = 96, h = 64;
    const Rgb shown = upright(w, h);
    const Rgb left = turnedLeft(shown, w, h);                    // h x w
    const Rgb half = turnedLeft(turnedLeft(shown, w, h), h, w);  // w x h
    // Each shows upright after one turn right: 1 -> 6, 6 -> 3, 8 -> 1.
    temp.write("p1.jpg", jpeg(left, h, w, 1));
    temp.write("p6.jpg", jpeg(half, w, h, 6));
    temp.write("p8.jpg", jpeg(shown, w, h, 8));
    open(folder);
    ASSERT_TRUE(waitUntil([&] { return model().rowCount() == 6; }));
    for (const auto& [name, expected] :
         {std::pair{"p1.jpg", "6"}, {"p6.jpg", "3"}, {"p8.jpg", "1"}}) {
        SCOPED_TRACE(name);
        const int row = rowOf(name);
        ASSERT_GE(row, 0);
        selectRow(row);
        ASSERT_TRUE(waitUntil([&] { return !showsUpright(grabView(*window->glWidget())); }, 5000));
        pressKeys(*window, "ctrl+r");
        EXPECT_TRUE(waitUntil([&] { return exifOrientation(fileOf(row)) == expected; }, 10000))
            << exifOrientation(fileOf(row)).toStdString();
        EXPECT_TRUE(waitUntil([&] { return showsUpright(grabView(*window->glWidget())); }, 10000));
    }
}

TEST_F(FileActions, DeleteGoesToTheTrashAndUndoBringsItBack) {
    const QString data = QString::fromStdString(temp.path("data"));
    QDir().mkpath(data);
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", data.toLocal8Bit());
    QDir(QString::fromStdString(temp.path())).mkdir("photos");
    // A saved list keeps the row of a photo that went, shown missing.
    std::ofstream(temp.path("photos/list.csv"))
        << "\"a.jpg\",\"\",\"2010:03:28 02:30:00\",1,\"Alpha\"\n"
           "\"b.jpg\",\"\",\"2011:01:01 10:00:00\",6,\"Beta\"\n";
    temp.write("photos/a.jpg", photo(64, 48, "2010:03:28 02:30:00", 1, "Alpha"));
    temp.write("photos/b.jpg", photo(48, 64, "2011:01:01 10:00:00", 6, "Beta"));
    const QString b = QString::fromStdString(temp.path("photos/b.jpg"));
    const std::string original = bytesOf(b);

    for (const char* start : {"photos", "photos/list.csv"}) {
        SCOPED_TRACE(start);
        open(QString::fromStdString(temp.path(start)));
        const bool list = model().hasListFile();
        ASSERT_TRUE(waitUntil([&] { return model().rowCount() == 2 && currentRow() >= 0; }));
        selectRow(rowOf("b.jpg"));
        onNextModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
        pressKeys(*window, "Delete");
        EXPECT_TRUE(waitUntil([&] { return !QFile::exists(b); }));
        EXPECT_TRUE(bytesOf(data + "/Trash/files/b.jpg") == original);
        QFile info(data + "/Trash/info/b.jpg.trashinfo");
        ASSERT_TRUE(info.open(QIODevice::ReadOnly));
        EXPECT_TRUE(info.readAll().contains("Path=" + QUrl::toPercentEncoding(b, "/")));
        info.close();
        if (list)
            EXPECT_TRUE(waitUntil([&] {
                const int row = rowOf("b.jpg");
                return row >= 0 && model()
                                       .data(model().index(row, 0), Qt::ToolTipRole)
                                       .toString()
                                       .contains("missing");
            }));
        else
            EXPECT_TRUE(waitUntil([&] { return model().rowCount() == 1; }));
        EXPECT_EQ(model().rowCount(), list ? 2 : 1);

        // The question had the keyboard; without a window manager nothing gives it back.
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        pressKeys(*window, "ctrl+z");
        EXPECT_TRUE(waitUntil([&] { return QFile::exists(b); })) << status().toStdString();
        EXPECT_TRUE(bytesOf(b) == original);
        EXPECT_FALSE(QFile::exists(data + "/Trash/files/b.jpg"));
        EXPECT_FALSE(info.exists());
        EXPECT_TRUE(waitUntil([&] { return currentRow() >= 0 && fileOf(currentRow()) == b; }));
        EXPECT_EQ(model().rowCount(), 2);
        window.reset();
    }
    qputenv("XDG_DATA_HOME", oldData);
}

TEST_F(FileActions, OpenTakesAPictureInItsFolderAndRefusesOtherFiles) {
    QDir(QString::fromStdString(temp.path())).mkdir("elsewhere");
    temp.write("elsewhere/x.jpg", photo(64, 48, "2012:01:01 00:00:00", 1, "Delta"));
    temp.write("notes.bin", {0x00, 0x01, 'a', ',', 'b', 0x00, 0xff});
    open(QString::fromStdString(temp.path("elsewhere")));
    ASSERT_TRUE(waitUntil([&] { return model().rowCount() == 1; }));
    auto openByKeys = [&](const QString& path) {
        onNextModal<QFileDialog>([path](QFileDialog* dialog) {
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        pressKeys(*window, "ctrl+o");
    };

    const QString c = QString::fromStdString(temp.path("c.jpg"));
    openByKeys(c);
    EXPECT_TRUE(waitUntil([&] { return currentRow() >= 0 && fileOf(currentRow()) == c; }));
    EXPECT_EQ(model().rowCount(), 3);
    EXPECT_FALSE(model().hasListFile());
    // The picture's name, not a list's rows read from its bytes.
    EXPECT_TRUE(waitUntil([&] {
        return window->windowTitle().startsWith("Ruvello") &&
               window->windowTitle().endsWith("c.jpg");
    })) << window->windowTitle().toStdString();

    openByKeys(QString::fromStdString(temp.path("notes.bin")));
    EXPECT_TRUE(waitUntil([&] { return status().contains("not a picture list"); }))
        << status().toStdString();
    EXPECT_EQ(model().rowCount(), 3);
    EXPECT_FALSE(model().hasListFile());
    EXPECT_EQ(fileOf(currentRow()), c);
}
