#pragma once
// What the window tests share: waiting as a user waits, photos with chosen Exif data,
// answering the questions the window asks, and a window on a folder of three photos.
#include "CImageListModel.h"
#include "CImgWindow.h"
#include "exifwrite.h"
#include "jpegwrite.h"
#include "tempfolder.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

// Turns the event loop until done() or ms have passed; says whether done() came true.
inline bool waitUntil(const std::function<bool()>& done, int ms = 15000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QTest::qWait(10);
    return done();
}

// Once a modal widget of type T shows (within ms), hands it to act.
template <typename T>
void whenModal(std::function<void(T*)> act, int ms = 5000) {
    QTimer::singleShot(0, [act, ms] {
        waitUntil([] { return qobject_cast<T*>(QApplication::activeModalWidget()); }, ms);
        if (auto* widget = qobject_cast<T*>(QApplication::activeModalWidget()))
            act(widget);
    });
}

// Something for the aligner to match: blocks of colour of all sizes (up to largest px) on
// a gradient, with grain. RGB rows, top first.
inline std::vector<uint8_t> matchableScene(int width, int height, unsigned seed = 5,
                                           int blocks = 400, int largest = 60) {
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
            p[0] = uint8_t(40 + x * 120 / width);
            p[1] = uint8_t(60 + y * 100 / height);
            p[2] = 90;
        }
    std::mt19937 random(seed);
    for (int n = 0; n < blocks; ++n) {
        const int w = 4 + int(random() % unsigned(largest)),
                  h = 4 + int(random() % unsigned(largest));
        const int x0 = int(random() % unsigned(width - w)),
                  y0 = int(random() % unsigned(height - h));
        const uint8_t c[3] = {uint8_t(random()), uint8_t(random()), uint8_t(random())};
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x)
                std::copy(c, c + 3, &rgb[(size_t(y) * width + x) * 3]);
    }
    for (uint8_t& v : rgb)
        v = uint8_t(std::clamp(int(v) + int(random() % 9) - 4, 0, 255));
    return rgb;
}

inline std::vector<uint8_t> photo(int w, int h, const std::string& date, int orientation,
                                  const std::string& make) {
    std::vector<uint8_t> rgb(size_t(w) * size_t(h) * 3);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = uint8_t(i * 7 + date.size());
    SExifWrite exif;
    exif.mDateTime = date;
    exif.mOrientation = orientation;
    exif.mMake = make;
    exif.mModel = "M1";
    exif.mPixelWidth = w;
    exif.mPixelHeight = h;
    SJpegWrite options;
    options.mApp1 = buildExifPayload(exif);
    return encodeJpeg(rgb.data(), w, h, options);
}

// Answers the next message box with the given button, once it shows.
inline void answerNextBox(QMessageBox::StandardButton button) {
    QTimer::singleShot(0, [button] {
        waitUntil([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); },
                  5000);
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(button)->click();
    });
}

class WindowTest : public testing::Test {
protected:
    void SetUp() override {
        folder = QString::fromStdString(temp.path());
        temp.write("a.jpg", photo(64, 48, "2010:03:28 02:30:00", 1, "Alpha"));
        temp.write("b.jpg", photo(48, 64, "2011:01:01 10:00:00", 6, "Beta"));
        temp.write("c.jpg", photo(40, 30, "2009:05:05 05:05:05", 1, "Gamma"));
    }
    void open(const QString& start) {
        window = std::make_unique<CImgWindow>(start);
        window->resize(900, 600);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        // Shortcuts reach the active window only.
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override {
        if (window && window->listModel()->isModified())
            answerNextBox(QMessageBox::Discard);
        window.reset();
    }
    CImageListModel& model() { return *window->listModel(); }
    QAction* action(const char* name) { return window->findChild<QAction*>(name); }
    int currentRow() { return window->listView()->currentIndex().row(); }
    void selectRows(std::initializer_list<int> rows) {
        QItemSelectionModel* s = window->listView()->selectionModel();
        s->clearSelection();
        for (int row : rows)
            s->select(model().index(row, 0),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QString date(int row) { return model().data(model().index(row, 2)).toString(); }
    QString fileOf(int row) { return model().fullPath(model().index(row, 0)); }
    // The row whose file name is name; -1 when none.
    int rowOf(const QString& name) {
        for (int row = 0; row < model().rowCount(); ++row)
            if (model().data(model().index(row, 0)).toString() == name)
                return row;
        return -1;
    }

    CTempFolder temp;
    QString folder;
    std::unique_ptr<CImgWindow> window;
};
