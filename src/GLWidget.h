#pragma once
// The loader's GL declarations must precede every Qt GL header.
#include "glh.h"

#include "CAppHost.h"
#include "CGlutWindow.h"
#include "exif.h"
#include "imagehandle.h"

#include <QByteArray>
#include <QOpenGLWidget>
#include <QString>

#include <memory>

class CImageLoadThread;
class CPixelRecycler;
class CRuvello;

// The GL view at the centre of the main window. It hosts the image view: it keeps the
// window state up to date in device pixels, turns Qt's GL callbacks and input into
// calls on CRuvello, runs the picture loaders and shows a wait cursor while the frame
// lacks a picture. File names travel as bytes in the local 8-bit encoding, so that a
// name that is no valid UTF-8 still opens.
class GLWidget : public QOpenGLWidget, public CAppHost {
    Q_OBJECT
public:
    explicit GLWidget(QWidget* parent = nullptr);
    ~GLWidget() override;

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

    CGlutWindow& glutWindow() { return mWindow; }
    CRuvello* application() const { return app; }
    // The wait cursor is installed.
    bool busy() const { return mBusy; }

    // The picture to show; info is its Exif record.
    void loadPicture(const QByteArray& file, const SExifInfo& info);
    // Decodes a picture that is likely to be shown next, without showing it.
    void prefetch(const QByteArray& file, const SExifInfo& info);
    // The file's Exif record changed (a new orientation was written into it).
    void updatePictureInfo(const QByteArray& file, const SExifInfo& info);

    // CAppHost
    unsigned defaultFramebuffer() const override;
    int screenWidth() const override;
    int screenHeight() const override;
    void requestRepaint() override;
    std::string setSwapInterval(int interval) override;

signals:
    void imageLoaded(QString filename, int width, int height);

public slots:
    void dataLoaded(const QByteArray& filename, bool right, SImageHandle image);
    void nearestFilter(bool flag);
    void removeHalos(bool flag);
    void fullColor();
    void halfColor();
    void gray();
    void calibrate(bool flag);
    void stereo(bool flag);
    void restrictedRange(bool flag);

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void contextAboutToBeDestroyed();

private:
    void syncDeviceSize();
    QPoint devicePosition(const QPointF& logical) const;
    void mouseButton(QMouseEvent* event, int state);
    void setBusy();
    void releaseBusy();

    CRuvello* app = nullptr;
    CGlutWindow mWindow{800, 1200};
    std::shared_ptr<CPixelRecycler> mRecycler;
    std::unique_ptr<CImageLoadThread> leftLoader;
    std::unique_ptr<CImageLoadThread> rightLoader;
    std::unique_ptr<CImageLoadThread> prefetchLoader;
    bool mBusy = false;
    int mWheelDelta = 0;  // eighths of a degree not yet turned into a step
};
