#pragma once
// The loader's GL declarations must precede every Qt GL header.
#include "glh.h"

#include "CAppHost.h"
#include "CGlutWindow.h"
#include "CRuvello.h"
#include "exif.h"
#include "wheelsteps.h"

#include <QByteArray>
#include <QOpenGLWidget>
#include <QString>

#include <memory>

class CPictureSource;

Q_DECLARE_METATYPE(SShownPicture)

// The GL view at the centre of the main window. It hosts the image view: it keeps the
// window state up to date in device pixels, turns Qt's GL callbacks and input into
// calls on CRuvello, owns the picture source that decodes for it and shows a wait
// cursor while the frame waits for a picture on its way. File names travel as the
// bytes of the name, so that a name that is no valid UTF-8 still opens.
class GLWidget : public QOpenGLWidget, public CAppHost {
    Q_OBJECT
public:
    explicit GLWidget(QWidget* parent = nullptr);
    ~GLWidget() override;

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

    CGlutWindow& glutWindow() { return mWindow; }
    CRuvello* application() const { return app.get(); }
    CPictureSource* pictureSource() const { return mSource.get(); }
    // The wait cursor is installed.
    bool busy() const { return mBusy; }

    // The picture to show. What it is (its kind, Exif record and size) comes with
    // pictureShown.
    void loadPicture(const QByteArray& file);
    // The picture likely to be shown next (empty: none); decoded once the current one
    // is complete.
    void setReadAhead(const QByteArray& file);
    // In calibration mode.
    bool calibrating() const;
    // Calibration matches changed since they were saved or loaded.
    bool calibrationUnsaved() const;
    // Saves the matches as '[' does; false when the file could not be written.
    bool saveCalibration();
    // The matches as they are stay unsaved, and nobody asks about them again.
    void discardCalibrationChanges();
    // The file's Exif record changed (a new orientation was written into it).
    void updatePictureInfo(const QByteArray& file, const SExifInfo& info);

    // CAppHost
    unsigned defaultFramebuffer() const override;
    int screenWidth() const override;
    int screenHeight() const override;
    void requestRepaint() override;
    std::string setSwapInterval(int interval) override;
    // The code glUnusable gave, or 0 while the view works.
    int unusableCode() const { return mUnusableCode; }

signals:
    // OpenGL lacks what the view needs (code -1) or its shaders cannot be built (1):
    // nothing can be shown, and the program ends with that code.
    void glUnusable(int code);
    // At once when a picture becomes the current one.
    void pictureCurrent(const QByteArray& file);
    // After a frame that showed the current picture differently from before: as a
    // preview, in full or failed, with its size, kind and Exif record. A picture from
    // the cache is reported like any other; a read-ahead never.
    void pictureShown(const SShownPicture& shown);
    // With every pictureShown: the file's name and the size it is shown at.
    void imageLoaded(QString filename, int width, int height);
    // A key of calibration mode gave a new outcome (a fit, a save, a load): its lines as
    // one text, for the window's status bar, since the notes over the view may be hidden.
    void calibrationOutcome(const QString& text);
    // The current picture's shift between the views changed: by a key, by Reset Shift or
    // with the picture (in pixels of the picture the view holds; 0 for none).
    void shiftChanged(float shift);

public slots:
    void nearestFilter(bool flag);
    void removeHalos(bool flag);
    void fullColor();
    void halfColor();
    void gray();
    void calibrate(bool flag);
    void stereo(bool flag);
    void restrictedRange(bool flag);
    // Stereo pairs aligned by themselves.
    void autoAlign(bool flag);
    // The current picture's views without the shift that the arrow keys gave them.
    void resetShift();
    // GLWidgetKeys.cpp: a zoom step about the pointer when it is over the picture, else
    // about the view's centre; the whole picture; 1:1.
    void zoomInStep();
    void zoomOutStep();
    void fitView();
    void actualSize();

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // The toolkit's modifier keys as the framework names them.
    static int appModifiers(Qt::KeyboardModifiers modifiers);

private slots:
    void contextAboutToBeDestroyed();

private:
    void syncDeviceSize();
    QPoint devicePosition(const QPointF& logical) const;
    void mouseButton(QMouseEvent* event, int state);
    void zoomStep(bool in);
    // The wait cursor on exactly while the frame waits for a picture on its way.
    void updateBusy();
    // The application's notes over the frame, in the widget's own painter.
    void paintNotes();
    void setBusy();
    void releaseBusy();
    // Tells shiftChanged when the current picture's shift is not the one told last.
    void noteShift();

    std::unique_ptr<CRuvello> app;
    CGlutWindow mWindow{800, 1200};
    // Between the loader and the view: notes the start-up's first results in the timeline.
    std::unique_ptr<CPictureSink> mTimelineSink;
    std::unique_ptr<CPictureSource> mSource;
    bool mBusy = false;
    int mUnusableCode = 0;  // initializeGL failed: no GL work at all
    CWheelSteps mWheelSteps;
    float mToldShift = 0.0f;
    bool mSharpDrawn = false;  // a whole picture was drawn: its frame ends the start-up
};
