// Process entry: application object, splash picture, main window, event loop.
#include "CImgWindow.h"
#include "CQtExceptionApp.h"
#include "CSignalQuit.h"
#include "GLWidget.h"
#include "diagnostics.h"
#include "startup.h"

#include <QBitmap>
#include <QCommandLineParser>
#include <QPixmap>
#include <QSplashScreen>
#include <QSurfaceFormat>
#include <QTimer>

#include <memory>

namespace {
// How long the splash may stay after the main window was shown without drawing.
constexpr int kSplashLongestMs = 2000;
}  // namespace

int main(int argc, char** argv) {
    setConsoleVerbose(wantsVerbose(argc, argv));
    consoleMilestone("main (process started, libraries linked)");
    if (wantsHelpOrVersion(argc, argv)) {
        // Help and version need no window, so they work without a display too.
        QCoreApplication app(argc, argv);
        setApplicationIdentity();
        QCommandLineParser parser;
        setupCommandLine(parser);
        parser.process(app);
        return 0;
    }
    if (!haveDisplay(argc, argv)) {
        consoleLine(
            "ruvello: no display to show a window on (DISPLAY is not set); "
            "run it in a desktop session, or under xvfb-run -a");
        return 1;
    }

    QSurfaceFormat::setDefaultFormat(defaultGLFormat());
    CQtExceptionApp app(argc, argv);
    consoleMilestone("application object");
    setApplicationIdentity();
    QCommandLineParser parser;
    setupCommandLine(parser);
    parser.process(app);
    setConsoleVerbose(parser.isSet("verbose"));
    const QString startPath = startPathFromArguments(parser.positionalArguments());
    CSignalQuit signalQuit;

    QPixmap pixmap(":/images/splash.png");
    QSplashScreen splash(pixmap, Qt::WindowStaysOnTopHint);
    splash.setMask(pixmap.mask());
    // Not "Ruvello": that title names the main window, for window lists and scripts.
    splash.setWindowTitle("Ruvello: starting");
    splash.show();
    app.processEvents();
    consoleMilestone("splash shown");

    auto window = std::make_unique<CImgWindow>(startPath);
    consoleMilestone("main window built");
    // Queued: the view finds out while it is first shown, and the event loop ends then.
    QObject::connect(
        window->glWidget(), &GLWidget::glUnusable, &app,
        [](int code) { QCoreApplication::exit(code); }, Qt::QueuedConnection);
    // A termination signal while the window was made: nothing can be unsaved yet.
    if (signalQuit.quitRequested())
        return 0;
    // From here on a signal closes the window as its close button does, asking about
    // unsaved work. Queued: the question it may bring up waits outside the notification.
    QObject::connect(&signalQuit, &CSignalQuit::received, window.get(),
                     &CImgWindow::terminationSignal, Qt::QueuedConnection);
    // The splash goes with the view's first frame on the screen, never to stand over the
    // picture; a window that draws nothing (minimised, say) drops it after a moment.
    QObject::connect(window->glWidget(), &QOpenGLWidget::frameSwapped, &splash, &QWidget::close,
                     Qt::SingleShotConnection);
    window->show();
    consoleMilestone("main window shown");
    QTimer::singleShot(kSplashLongestMs, &splash, &QWidget::close);
    // Inside the event loop, which a forced end during the offer then leaves.
    QTimer::singleShot(0, window.get(), &CImgWindow::offerRecovery);

    // A view that found its OpenGL unusable while the window came up ends the program
    // before the event loop, which would otherwise not hear of it.
    const int unusable = window->glWidget()->unusableCode();
    const bool running = window->isVisible() && !window->ending();
    const int result = unusable ? unusable : running ? app.exec() : 0;
    window.reset();
    return result;
}
