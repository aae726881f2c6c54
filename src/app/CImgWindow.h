#pragma once
#include <functional>

#include <QMainWindow>
#include <QModelIndex>
#include <QString>

#include <memory>

#include "recovery.h"
#include "wheelsteps.h"

class CImageListModel;
class CTimeAdjustPanel;
class CWindowWork;
class GLWidget;
class QAction;
class QActionGroup;
class QDockWidget;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QTreeView;
class QTreeWidget;
struct SExifInfo;
struct SShownPicture;

// The program's main window: the GL view in the middle, the folder tree, the picture
// list, the Exif table and the date panel around it, with the menus and the tool bar
// that drive them.
class CImgWindow : public QMainWindow {
    Q_OBJECT
public:
    // startPath: a folder, a picture or a CSV list given on the command line; empty for
    // the folder of the last run, else the working directory.
    explicit CImgWindow(const QString& startPath = QString(), QWidget* parent = nullptr);
    ~CImgWindow() override;

    GLWidget* glWidget() const { return mGLWidget; }
    CImageListModel* listModel() const { return mImageListModel.get(); }
    QTreeView* listView() const { return mListView; }
    QTreeView* treeView() const { return mTreeView; }
    QLineEdit* pathEdit() const { return mLineEdit; }
    QTreeWidget* exifTable() const { return mExifTable; }
    CTimeAdjustPanel* timeAdjustPanel() const { return mTimePanel; }
    bool isFullScreenMode() const { return mFullScreen; }
    // Saves when the list has unsaved changes and the user wants it; false when the
    // user cancels (or the save failed), so the caller stops what it was about to do.
    bool maybeSave();
    // At start-up, after the window shows: offers the unsaved list that an earlier run
    // kept when it had to end without the user's answer.
    void offerRecovery();
    // A termination signal ends the program without the user's answer.
    bool ending() const { return mEnding; }
    // The same for calibration matches that were changed and not saved.
    bool maybeSaveCalibration();

public slots:
    void loadExifDate();
    void loadFSDate();
    void loadFilenameDate();
    void addToDate();
    void setDate();
    void open();
    // Both true once the list is written; false when the user cancelled or it failed
    // (the status bar and a message box say why).
    bool save();
    bool saveAs();
    void clearList();
    // Writes the current stereo picture's anaglyph at full resolution, as it shows.
    void exportAnaglyph();
    // Calibrate on or off; leaving asks first when the matches are not saved.
    void calibrationToggled(bool on);
    // CImgWindowCalib.cpp: back to the built-in calibration at once; then asks whether to
    // remove the saved calibration files too (No keeps them for the next start).
    void resetCalibration();
    void imageLoaded(QString filename, int width, int height);
    // The view showed the current picture as a preview, in full or failed.
    void pictureShown(const SShownPicture& shown);
    void orientation1();
    void orientation6();
    void orientation8();
    void helpAbout();
    void help();
    void onn_listView_currentChanged(QModelIndex current, QModelIndex previous);
    void onn_treeView_currentChanged(QModelIndex current, QModelIndex previous);
    void on_lineEdit_returnPressed();
    void onn_listModel_rowsInserted(QModelIndex parent, int start, int end);
    void onn_listView_header_sortIndicatorChanged(int logicalIndex, Qt::SortOrder order);
    // Opens a CSV list; false (the current list kept) when it cannot be read.
    bool openList(const QString& fileName);
    // SIGINT, SIGHUP or SIGTERM: closes the window as its close button does. While a
    // question is open it waits for the answer; only the third SIGTERM ends the program
    // without it, after keeping the unsaved list for the next start.
    void terminationSignal(int signalNumber);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // While a slide show runs, any key or click stops it (and does nothing else).
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildForm();
    void buildActions();
    QAction* makeAction(const char* name, const char* text, const char* icon = nullptr,
                        const char* shortcut = nullptr, bool checkable = false,
                        bool checked = false);
    void retranslate();
    void startAt(const QString& startPath);
    bool selectFolder(const QString& path);
    void selectFile(const QString& path);
    void moveRow(int step);
    // CImgWindowKeys.cpp: paging, zoom, full screen and the slide show, in the View menu.
    void buildKeyActions(QMenu* view);
    void moveToRow(int row);
    void setSlideShow(bool on);
    void slideShowStep();
    void setFullScreenMode(bool on);
    void setOrientation(int orientation);
    // For a quarter turn of stereo files: asks, naming them; true when agreed or none.
    bool turningStereoAgreed();
    void fillExifTable(const SExifInfo& info);
    void updateActions();
    // The current picture is a stereo pair whose second picture did not fail.
    bool canExportAnaglyph() const;
    // The row to read ahead after a move from row previous to row current.
    QByteArray readAheadFile(int current, int previous) const;
    // CImgWindowStatus.cpp: a message that fades; the permanent part of the status bar.
    void report(const QString& text);
    void buildStatus(QAction* resetShift);
    void updateViewStatus();
    // What the status bar says of a stereo pair's alignment.
    QString alignmentText(const SShownPicture& shown) const;
    void updateTitle();
    // CImgWindowSave.cpp: writes the list to its own file or, newFile, to target.
    bool writeListFile(const QString& target, bool newFile);
    // Whether the user still wants to replace a list that another program changed: false
    // for Cancel; saveInstead set for Save As.
    bool overwriteChangedList(bool* saveInstead);
    // The unsaved list into the recovery file; false when it could not be written.
    bool keepUnsavedList();
    void openRecovered(const SRecovery& kept);
    // The list is a recovered copy: saving it asks where.
    bool isRecoveredCopy() const;
    void focusView();
    void restoreSettings();
    void storeSettings();
    // CImgWindowColumns.cpp: the list's column widths, order and sort across starts.
    void restoreListColumns();
    void storeListColumns();
    QModelIndexList selectedRows() const;
    // CImgWindowList.cpp: the list's messages to the status bar; drops as copies.
    void followListModel();
    // The Stereo menu's Reset Calibration (CImgWindowCalib.cpp).
    QAction* resetCalibrationAction();
    // CImgWindowErrors.cpp: the first start, what cannot be read, the first row.
    // A size that uses the screen, centred on it; remembered geometry replaces it.
    void placeOnScreen();
    // The folder to start in for a path that does not exist (its nearest existing
    // folder), after a message box that says so; the path itself when it exists.
    QString existingStart(const QString& path);
    // The status bar says why a folder that cannot be listed shows no pictures.
    void reportUnreadableFolder(const QString& path);
    // The status bar's words for a picture that failed or shows only in part.
    void reportPictureTrouble(const SShownPicture& shown);
    // A folder's rows are selected once sorted: its first row, not the first one read.
    void selectFirstRowOnceSorted();
    void firstRowAfterFill();
    // CImgWindowTurn.cpp: turning, trash and undo in the Edit menu; gives the tool bar's
    // turn buttons.
    QList<QAction*> buildFileActions(QWidget* edit);
    // A quarter turn of each selected photo from the way it shows.
    void turnSelected(bool right);
    // CImgWindowWork.cpp: writes into each selected photo, in the background, the
    // orientation that orientationFor gives for the one it has; then says what failed
    // (notWritten: "%1 files not …; %2") and how many were written (written: "… %1 …").
    void writeOrientations(const std::function<int(int)>& orientationFor, const QString& notWritten,
                           const QString& written);
    void writeNextOrientations();
    // What runs in the background (made on first use, a child of the window).
    CWindowWork& work();
    // CImgWindowExport.cpp: the export's end, on the GUI thread.
    void exportEnded(bool written, const QString& target, const QString& why, bool cancelled);
    // CImgWindowTrash.cpp: Delete and its Undo.
    void trashCurrent();
    void undoTrash();
    // Selects path's row once the list holds it, trying for tries tenths of a second.
    void selectWhenListed(const QString& path, int tries = 30);
    // CImgWindowOpen.cpp: a picture, a folder or a list, known by its content.
    void openPath(const QString& path);
    // A list closes, without asking; the tree's folder shows again.
    void leaveList();
    // The list emptied and the tree's folder shown again.
    void backToTreeFolder();

    GLWidget* mGLWidget = nullptr;
    std::unique_ptr<CImageListModel> mImageListModel;
    std::unique_ptr<QFileSystemModel> mDirModel;
    QActionGroup* mColorModeGroup = nullptr;
    QTreeView* mListView = nullptr;
    QTreeView* mTreeView = nullptr;
    QLineEdit* mLineEdit = nullptr;
    QTreeWidget* mExifTable = nullptr;
    CTimeAdjustPanel* mTimePanel = nullptr;
    QDockWidget* mDockDir = nullptr;
    QDockWidget* mDockFile = nullptr;
    QDockWidget* mDockExif = nullptr;
    QDockWidget* mDockTime = nullptr;
    bool mFullScreen = false;
    bool mWasMaximized = false;
    QTimer* mSlideTimer = nullptr;
    QAction* mSlideShowAction = nullptr;
    // The key that stopped the slide show: its press goes nowhere.
    int mSlideStopKey = 0;
    bool mTreeScrollPending = false;  // until the user scrolls or picks another folder
    bool mRestoringFolder = false;    // the tree goes back after a cancelled question
    CWheelSteps mWheelSteps;
    QString mCurrentFile;      // the current row's file, for display and QFileInfo
    QByteArray mCurrentBytes;  // the same as the bytes of its name: the one name the view has
    // What the view last showed of the current file: nothing yet, a picture, a stereo pair.
    bool mCurrentShown = false;
    bool mCurrentStereo = false;
    QString mTitle = "Ruvello";     // without the mark of unsaved changes
    QString mPendingFile;           // to select once the list holds it
    bool mFirstRowPending = false;  // rows came to an empty list: row 0 once sorted
    QString mStandInFirst;          // row 0 chosen while the fill still sorts: its file
    // What a recovered list was; kept again with it when the program has to end.
    std::optional<SRecovery> mRecovered;
    bool mRecoveryWritten = false;  // this run kept the list; gone once it is settled
    int mTermSignals = 0;
    QList<QPair<QString, QString>> mTrashed;  // where each photo was, where it is in the trash
    bool mEnding = false;                     // leaving without the user's answer
    QLabel* mViewLabel = nullptr;
    CWindowWork* mWork = nullptr;
    int mShownWidth = 0, mShownHeight = 0;
};
