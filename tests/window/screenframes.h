#pragma once
// What a person does and sees at the window: keys and clicks through the X server
// (xdotool), and the view's part of the screen as the X server has it, grabbed after
// every frame the view swaps and every few milliseconds in between.
#include "windowfixtures.h"

#include <QGuiApplication>
#include <QImage>
#include <QOpenGLWidget>
#include <QProcess>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

// Runs xdotool with args, turning the event loop meanwhile as the program would.
inline void xdotool(const QStringList& args) {
    QProcess process;
    process.start("xdotool", args);
    ASSERT_TRUE(process.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

// Presses key count times at the window, a press every delay ms.
inline void pressKeys(const QWidget& window, const char* key, int count = 1, int delay = 0) {
    QStringList args{"key", "--window", QString::number(window.winId()), "--delay",
                     QString::number(delay)};
    for (int i = 0; i < count; ++i)
        args << key;
    xdotool(args);
}

// Clicks the middle of widget's rectangle area (its own coordinates) on the screen.
inline void clickAt(const QWidget& widget, const QRect& area) {
    const QPoint at = widget.mapToGlobal(area.center());
    xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "click", "1"});
}

// The view's part of the screen now, or of part of the view (in its own coordinates).
inline QImage grabView(const QOpenGLWidget& view, QRect part = QRect()) {
    const QWidget& top = *view.window();
    if (part.isNull())
        part = view.rect();
    const QRect area(view.mapTo(&top, part.topLeft()), part.size());
    return top.screen()
        ->grabWindow(top.winId(), area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// The mean difference of the channels of two grabs of the same size, 255 when not.
inline double meanDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull())
        return 255.0;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb* p = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const QRgb* q = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x)
            sum += std::abs(qRed(p[x]) - qRed(q[x])) + std::abs(qGreen(p[x]) - qGreen(q[x])) +
                   std::abs(qBlue(p[x]) - qBlue(q[x]));
    }
    return sum / (3.0 * a.width() * a.height());
}

// Hands every grab of the view (or of part of it) to look while it lives: after each
// swapped frame and every 10 ms, so that a frame that stays a moment is seen even if its
// swap reached the screen late.
class CFrameRecorder {
public:
    CFrameRecorder(QOpenGLWidget& view, std::function<void(const QImage&)> look,
                   QRect part = QRect())
        : mView(view), mLook(std::move(look)), mPart(part) {
        mSwapped = QObject::connect(
            &view, &QOpenGLWidget::frameSwapped, &mTimer, [this] { grab(); }, Qt::QueuedConnection);
        QObject::connect(&mTimer, &QTimer::timeout, [this] { grab(); });
        mTimer.start(10);
    }
    ~CFrameRecorder() { QObject::disconnect(mSwapped); }
    int grabs() const { return mGrabs; }

private:
    void grab() {
        ++mGrabs;
        mLook(grabView(mView, mPart));
    }

    QOpenGLWidget& mView;
    std::function<void(const QImage&)> mLook;
    QRect mPart;
    QTimer mTimer;
    QMetaObject::Connection mSwapped;
    int mGrabs = 0;
};
