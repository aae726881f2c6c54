// Makes the README's picture of the main window: a stereo sample shown as an anaglyph.
//   ruvello-screenshot SAMPLE OUT.png [WIDTH HEIGHT]
// Run it under a display (xvfb-run -a for none).
#include "CImgWindow.h"
#include "CRuvello.h"
#include "GLWidget.h"
#include "startup.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QSurfaceFormat>
#include <QThread>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: ruvello-screenshot SAMPLE OUT.png [WIDTH HEIGHT]\n");
        return 2;
    }
    QSurfaceFormat::setDefaultFormat(defaultGLFormat());
    QApplication app(argc, argv);
    setApplicationIdentity();
    const QString sample = QString::fromLocal8Bit(argv[1]);
    CImgWindow window(sample);
    // The folder tree would show this machine's folders; the list and the view are the
    // point of the picture.
    if (QWidget* tree = window.findChild<QWidget*>("dockWidgetDir"))
        tree->hide();
    window.resize(argc > 4 ? atoi(argv[3]) : 1100, argc > 4 ? atoi(argv[4]) : 700);
    window.show();

    auto waitFor = [&](auto done) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < 20000) {
            app.processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(10);
        }
        return done();
    };
    CRuvello* view = window.glWidget()->application();
    if (!waitFor([&] { return view->isLeftLoaded(); })) {
        std::fprintf(stderr, "ruvello-screenshot: the picture did not load\n");
        return 1;
    }
    if (QAction* stereo = window.findChild<QAction*>("actionStereo"))
        stereo->setChecked(true);
    if (!waitFor([&] { return view->pictureComplete(); })) {
        std::fprintf(stderr, "ruvello-screenshot: the second picture did not load\n");
        return 1;
    }
    // Past the transient overlay, which shows for the first frames after a resize.
    view->endOverlay();
    window.glWidget()->update();
    int spins = 0;
    waitFor([&] { return ++spins > 20; });
    const QPixmap picture = window.grab();
    if (!picture.save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "ruvello-screenshot: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
