#include "CImgWindow.h"

#include "CImageListModel.h"
#include "CTimeAdjustPanel.h"
#include "GLWidget.h"
#include "diagnostics.h"

#include <utility>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QSessionManager>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cstdlib>

CImgWindow::CImgWindow(const QString& startPath, QWidget* parent) : QMainWindow(parent) {
    setObjectName("CImgWindow");
    buildForm();
    buildActions();
    retranslate();
    mGLWidget->update();
    consoleMilestone("window: form and actions");

    QIcon icon(":/images/icon.png");
    for (const char* name : {":/images/icon-32.png", ":/images/icon-48.png", ":/images/icon-64.png",
                             ":/images/icon-128.png", ":/images/icon-256.png"})
        icon.addFile(name, QSize(), QIcon::Normal, QIcon::Off);
    setWindowIcon(icon);

    mImageListModel = std::make_unique<CImageListModel>();
    mListView->setModel(mImageListModel.get());
    mListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    mListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    mListView->setDragEnabled(true);
    mListView->setAcceptDrops(true);
    mListView->setDragDropMode(QAbstractItemView::DragDrop);
    mListView->setRootIsDecorated(false);
    mListView->setUniformRowHeights(true);
    QHeaderView* header = mListView->header();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(0, Qt::AscendingOrder);
    header->setSectionsClickable(true);
    connect(header, &QHeaderView::sortIndicatorChanged, this,
            &CImgWindow::onn_listView_header_sortIndicatorChanged);

    mDirModel = std::make_unique<QFileSystemModel>();
    mDirModel->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
    mDirModel->setReadOnly(false);
    mTreeView->setModel(mDirModel.get());
    for (int column = 1; column < 4; ++column)
        mTreeView->hideColumn(column);
    mTreeView->sortByColumn(0, Qt::AscendingOrder);
    mTreeView->setSortingEnabled(true);
    mTreeView->setDragEnabled(true);
    mTreeView->setDragDropMode(QAbstractItemView::DragDrop);
    // A double click opens a folder; renaming takes F2.
    mTreeView->setEditTriggers(QAbstractItemView::EditKeyPressed);
    mDirModel->setRootPath("");
    consoleMilestone("window: folder tree model");
    // The tree fills in the background: the current folder can be scrolled to only
    // once the folders above it are listed.
    // Folders keep arriving and the tree keeps sorting them for a moment, so the scroll
    // follows until the user takes over or the tree has settled.
    auto follow = [this] {
        if (mTreeScrollPending && mTreeView->currentIndex().isValid())
            mTreeView->scrollTo(mTreeView->currentIndex(), QAbstractItemView::PositionAtCenter);
    };
    connect(mDirModel.get(), &QFileSystemModel::directoryLoaded, this, follow);
    connect(mDirModel.get(), &QAbstractItemModel::layoutChanged, this, follow);
    connect(mDirModel.get(), &QAbstractItemModel::rowsInserted, this, follow);
    connect(mTreeView, &QTreeView::expanded, this, [this] { mTreeScrollPending = false; });

    connect(mListView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CImgWindow::onn_listView_currentChanged);
    connect(mTreeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CImgWindow::onn_treeView_currentChanged);
    connect(mImageListModel.get(), &QAbstractItemModel::rowsInserted, this,
            &CImgWindow::onn_listModel_rowsInserted);
    connect(mImageListModel.get(), &QAbstractItemModel::layoutChanged, this,
            &CImgWindow::selectFirstRowOnceSorted);
    // Queued: the fill sorts the list once more after it says it is done.
    connect(mImageListModel.get(), &CImageListModel::fillFinished, this,
            &CImgWindow::firstRowAfterFill, Qt::QueuedConnection);
    connect(mImageListModel.get(), &CImageListModel::modifiedChanged, this,
            [this](bool) { updateTitle(); });
    connect(mImageListModel.get(), &CImageListModel::copyFailed, this,
            [this](const QString& file) { report(tr("Could not copy %1").arg(file)); });
    followListModel();
    // The start-up's timeline (--verbose): when the tree and the list came.
    connect(mDirModel.get(), &QFileSystemModel::directoryLoaded, this,
            [] { consoleMilestoneOnce("folder tree: first folder listed"); });
    connect(mImageListModel.get(), &QAbstractItemModel::rowsInserted, this,
            [] { consoleMilestoneOnce("list: first rows"); });
    connect(mImageListModel.get(), &CImageListModel::fillFinished, this,
            [] { consoleMilestoneOnce("list: dates and Exif read"); });
    connect(mLineEdit, &QLineEdit::returnPressed, this, &CImgWindow::on_lineEdit_returnPressed);
    connect(mGLWidget, &GLWidget::pictureShown, this, &CImgWindow::pictureShown);
    connect(mGLWidget, &GLWidget::imageLoaded, this, &CImgWindow::imageLoaded);
    connect(mTimePanel->addTime, &QPushButton::clicked, this, &CImgWindow::addToDate);
    connect(mTimePanel->setTime, &QPushButton::clicked, this, &CImgWindow::setDate);

    // Logging out of the desktop closes the program like the window's close button: the
    // user is asked about unsaved work while the session manager lets us ask.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!manager.allowsInteraction()) {
            // No one to ask: the next start offers what was not saved.
            if (mImageListModel->isModified())
                keepUnsavedList();
            return;
        }
        const bool goOn = maybeSave() && maybeSaveCalibration();
        manager.release();
        if (!goOn)
            manager.cancel();
    });

    placeOnScreen();
    restoreSettings();
    mDockExif->hide();
    mDockTime->hide();
    startAt(startPath);
    consoleMilestone("window: start folder selected");
    updateActions();
    focusView();
}

CImgWindow::~CImgWindow() {
    // The views go with the window; the models were made without a parent and go
    // first, no longer shown.
    mListView->setModel(nullptr);
    mTreeView->setModel(nullptr);
    mImageListModel.reset();
    mDirModel.reset();
}

void CImgWindow::buildForm() {
    auto* central = new QWidget(this);
    central->setObjectName("centralWidget");
    auto* layout = new QHBoxLayout(central);
    layout->setObjectName("horizontalLayout");
    layout->setSpacing(6);
    layout->setContentsMargins(0, 0, 0, 0);
    mGLWidget = new GLWidget(central);
    mGLWidget->setObjectName("widget");
    layout->addWidget(mGLWidget);
    setCentralWidget(central);

    menuBar()->setObjectName("menuBar");
    statusBar()->setObjectName("statusBar");

    mDockDir = new QDockWidget(this);
    mDockDir->setObjectName("dockWidgetDir");
    auto* dirContents = new QWidget(mDockDir);
    dirContents->setObjectName("dockWidgetContentsDir");
    auto* dirLayout = new QVBoxLayout(dirContents);
    dirLayout->setObjectName("verticalLayout");
    dirLayout->setSpacing(6);
    dirLayout->setContentsMargins(0, 0, 0, 0);
    mLineEdit = new QLineEdit(dirContents);
    mLineEdit->setObjectName("lineEdit");
    mTreeView = new QTreeView(dirContents);
    mTreeView->setObjectName("treeView");
    dirLayout->addWidget(mLineEdit);
    dirLayout->addWidget(mTreeView);
    mDockDir->setWidget(dirContents);
    addDockWidget(Qt::LeftDockWidgetArea, mDockDir);

    mDockFile = new QDockWidget(this);
    mDockFile->setObjectName("dockWidgetFile");
    auto* fileContents = new QWidget(mDockFile);
    fileContents->setObjectName("dockWidgetContentsFile");
    auto* fileLayout = new QHBoxLayout(fileContents);
    fileLayout->setObjectName("horizontalLayout_3");
    fileLayout->setContentsMargins(0, 0, 0, 0);
    mListView = new QTreeView(fileContents);
    mListView->setObjectName("listView");
    fileLayout->addWidget(mListView);
    mDockFile->setWidget(fileContents);
    addDockWidget(Qt::LeftDockWidgetArea, mDockFile);

    mDockExif = new QDockWidget(this);
    mDockExif->setObjectName("dockWidgetExif");
    auto* exifContents = new QWidget(mDockExif);
    exifContents->setObjectName("dockWidgetContentsExif");
    auto* exifLayout = new QVBoxLayout(exifContents);
    exifLayout->setObjectName("verticalLayout_2");
    exifLayout->setContentsMargins(0, 0, 0, 0);
    mExifTable = new QTreeWidget(exifContents);
    mExifTable->setObjectName("treeWidget");
    mExifTable->setColumnCount(3);
    mExifTable->header()->setDefaultSectionSize(70);
    mExifTable->setRootIsDecorated(false);
    for (int row = 0; row < 4; ++row)
        new QTreeWidgetItem(mExifTable);
    exifLayout->addWidget(mExifTable);
    mDockExif->setWidget(exifContents);
    addDockWidget(Qt::RightDockWidgetArea, mDockExif);

    mDockTime = new QDockWidget(this);
    mDockTime->setObjectName("dockWidgetTimeAdjust");
    mTimePanel = new CTimeAdjustPanel(mDockTime);
    mDockTime->setWidget(mTimePanel);
    addDockWidget(Qt::RightDockWidgetArea, mDockTime);
}

QAction* CImgWindow::makeAction(const char* name, const char* text, const char* icon,
                                const char* shortcut, bool checkable, bool checked) {
    auto* action = new QAction(tr(text), this);
    action->setObjectName(name);
    if (icon)
        action->setIcon(QIcon(icon));
    if (shortcut)
        action->setShortcut(QKeySequence(shortcut));
    action->setCheckable(checkable);
    action->setChecked(checked);
    // On the window as well, so that the shortcuts work while full screen hides the
    // menus and the tool bar.
    addAction(action);
    return action;
}

void CImgWindow::buildActions() {
    QAction* open = makeAction("actionOpen", "Open", ":/images/fileopen.png", "Ctrl+O");
    QAction* save = makeAction("actionSave", "Save", ":/images/filesave.png", "Ctrl+S");
    QAction* saveAs = makeAction("actionSave_As", "Save As…", nullptr, "Ctrl+Shift+S");
    QAction* clear = makeAction("actionClear", "Clear");
    QAction* exportAction =
        makeAction("actionExport_Anaglyph", "Export Anaglyph…", nullptr, "Ctrl+E");
    QAction* quit = makeAction("actionQuit", "Quit", nullptr, "Ctrl+Q");
    QAction* exifDate =
        makeAction("actionLoad_Exif_Date", "Load Exif Date", ":/images/exifDate.png");
    QAction* fsDate = makeAction("actionLoad_FS_Date", "Load FS Date", ":/images/fsDate.png");
    QAction* nameDate =
        makeAction("actionLoad_Filename_Date", "Load Filename Date", ":/images/filenameDate.png");
    QAction* nearest = makeAction("actionNearest_Filtering", "Nearest Filtering",
                                  ":/images/nearest.png", nullptr, true, false);
    QAction* o1 = makeAction("actionOrientation_Top_Left", "Orientation: upright as stored",
                             ":/images/orientation1.png");
    QAction* o6 =
        makeAction("actionOrientation_Right_Top", "Orientation: top of the picture on the right",
                   ":/images/orientation6.png");
    QAction* o8 =
        makeAction("actionOrientation_Left_Bottom", "Orientation: top of the picture on the left",
                   ":/images/orientation8.png");
    QAction* halos = makeAction("actionRemoveHalos", "RemoveHalos", ":/images/noHalo.png",
                                "Shift+H", true, true);
    QAction* full =
        makeAction("actionFullColor", "FullColor", ":/images/fullColor.png", nullptr, true, true);
    QAction* half =
        makeAction("actionHalfColor", "HalfColor", ":/images/halfColor.png", nullptr, true, false);
    QAction* gray = makeAction("actionGray", "Gray", ":/images/gray.png", nullptr, true, false);
    QAction* stereo =
        makeAction("actionStereo", "Stereo", ":/images/stereo.png", "Shift+S", true, false);
    QAction* calibrate = makeAction("actionCalibrate", "Calibrate", ":/images/calibrate.png",
                                    "Shift+C", true, false);
    QAction* restricted = makeAction("actionRestricted_Range", "Restricted Range",
                                     ":/images/restricted.png", nullptr, true, false);
    QAction* align = makeAction("actionAuto_Align", "Auto Align", nullptr, nullptr, true,
                                QSettings().value("view/autoAlign", true).toBool());
    QAction* resetShift = makeAction("actionReset_Shift", "Reset Shift");
    QAction* about = makeAction("actionAbout", "About");
    QAction* helpAction = makeAction("actionHelp", "Help", nullptr, "F1");

    // What each button does, in plain words, for the tool bar's tool tips.
    const std::pair<QAction*, const char*> tips[] = {
        {open, "Open a picture in its folder, a folder, or a list of pictures saved as CSV"},
        {save, "Save the list with its dates as a CSV file"},
        {saveAs, "Save the list under another name, elsewhere"},
        {clear, "Close the list and show the folder's own pictures"},
        {exportAction, "Save the anaglyph as it shows, at the picture's full resolution"},
        {exifDate, "Dates of the selected rows from the camera's Exif data"},
        {fsDate, "Dates of the selected rows from the files' modification times"},
        {nameDate, "Dates of the selected rows from their file names"},
        {nearest, "Show zoomed picture pixels as sharp squares"},
        {o1, "Set the orientation: upright as stored"},
        {o6, "Set the orientation: top of the picture on the right"},
        {o8, "Set the orientation: top of the picture on the left"},
        {halos, "Remove the ghost images that the glasses let through (Shift+H)"},
        {full, "Anaglyph in full colour"},
        {half, "Anaglyph in half colour: less rivalry between the eyes"},
        {gray, "Anaglyph in grey: no colours, least ghosting"},
        {stereo, "Show a stereo picture in depth for red/cyan glasses (Shift+S)"},
        {calibrate, "Match patches to calibrate for your glasses and monitor (Shift+C)"},
        {restricted, "Keep the colours inside what both filters can separate"},
        {align,
         "Bring the right picture onto the left one and the nearest object to the "
         "screen"},
        {resetShift, "Put the two views of this picture back where the arrow keys found them"},
    };
    for (const auto& [action, tip] : tips)
        action->setToolTip(tr(tip));

    mColorModeGroup = new QActionGroup(this);
    mColorModeGroup->setExclusive(true);
    for (QAction* a : {full, half, gray})
        mColorModeGroup->addAction(a);

    connect(open, &QAction::triggered, this, &CImgWindow::open);
    connect(save, &QAction::triggered, this, &CImgWindow::save);
    connect(saveAs, &QAction::triggered, this, &CImgWindow::saveAs);
    connect(clear, &QAction::triggered, this, &CImgWindow::clearList);
    connect(exportAction, &QAction::triggered, this, &CImgWindow::exportAnaglyph);
    connect(quit, &QAction::triggered, this, &QWidget::close);
    connect(exifDate, &QAction::triggered, this, &CImgWindow::loadExifDate);
    connect(fsDate, &QAction::triggered, this, &CImgWindow::loadFSDate);
    connect(nameDate, &QAction::triggered, this, &CImgWindow::loadFilenameDate);
    connect(nearest, &QAction::toggled, mGLWidget, &GLWidget::nearestFilter);
    connect(o1, &QAction::triggered, this, &CImgWindow::orientation1);
    connect(o6, &QAction::triggered, this, &CImgWindow::orientation6);
    connect(o8, &QAction::triggered, this, &CImgWindow::orientation8);
    connect(halos, &QAction::toggled, mGLWidget, &GLWidget::removeHalos);
    connect(full, &QAction::triggered, mGLWidget, &GLWidget::fullColor);
    connect(half, &QAction::triggered, mGLWidget, &GLWidget::halfColor);
    connect(gray, &QAction::triggered, mGLWidget, &GLWidget::gray);
    connect(stereo, &QAction::toggled, mGLWidget, &GLWidget::stereo);
    connect(calibrate, &QAction::toggled, this, &CImgWindow::calibrationToggled);
    // Typed letters in the list search by name: the view's keys need the focus.
    connect(stereo, &QAction::toggled, this, &CImgWindow::focusView);
    connect(calibrate, &QAction::toggled, this, &CImgWindow::focusView);
    connect(restricted, &QAction::toggled, mGLWidget, &GLWidget::restrictedRange);
    connect(align, &QAction::toggled, mGLWidget, &GLWidget::autoAlign);
    connect(align, &QAction::toggled, this,
            [](bool on) { QSettings().setValue("view/autoAlign", on); });
    mGLWidget->autoAlign(align->isChecked());
    buildStatus(resetShift);
    connect(about, &QAction::triggered, this, &CImgWindow::helpAbout);
    connect(helpAction, &QAction::triggered, this, &CImgWindow::help);

    QMenu* file = menuBar()->addMenu(QString());
    file->setObjectName("menuFile");
    file->addActions({open, save, saveAs, clear});
    file->addSeparator();
    file->addAction(exportAction);
    file->addSeparator();
    file->addAction(quit);
    QMenu* edit = menuBar()->addMenu(QString());
    edit->setObjectName("menuDate");
    edit->addActions({exifDate, fsDate, nameDate});
    edit->addSeparator();
    edit->addActions({o1, o6, o8});
    QMenu* stereoMenu = menuBar()->addMenu(QString());
    stereoMenu->setObjectName("menuStereo");
    stereoMenu->addActions({calibrate, resetCalibrationAction(), stereo, align, resetShift, halos});
    stereoMenu->addSeparator();
    stereoMenu->addActions({full, half, gray});
    stereoMenu->addSeparator();
    stereoMenu->addAction(restricted);

    QToolBar* tools = addToolBar(QString());
    tools->setObjectName("mainToolBar");
    tools->addActions({open, save});
    tools->addSeparator();
    tools->addActions({exifDate, fsDate, nameDate});
    tools->addSeparator();
    tools->addActions(buildFileActions(edit));
    tools->addSeparator();
    tools->addActions({nearest, calibrate, stereo, halos, full, half, gray, restricted});

    QMenu* view = menuBar()->addMenu(QString());
    view->setObjectName("menuView");
    for (QDockWidget* dock : {mDockDir, mDockFile, mDockExif, mDockTime})
        view->addAction(dock->toggleViewAction());
    view->addAction(tools->toggleViewAction());
    buildKeyActions(view);

    QMenu* helpMenu = menuBar()->addMenu(QString());
    helpMenu->setObjectName("menuHelp");
    helpMenu->addActions({helpAction, about});
}

void CImgWindow::retranslate() {
    updateTitle();
    auto title = [this](const char* name, const char* text) {
        if (QMenu* menu = findChild<QMenu*>(name))
            menu->setTitle(tr(text));
    };
    title("menuFile", "File");
    title("menuDate", "Edit");
    title("menuStereo", "Stereo");
    title("menuView", "View");
    title("menuHelp", "Help");
    if (QToolBar* tools = findChild<QToolBar*>("mainToolBar"))
        tools->setWindowTitle(tr("Main Tool Bar"));
    mDockDir->setWindowTitle(tr("Dir"));
    mDockFile->setWindowTitle(tr("File"));
    mDockExif->setWindowTitle(tr("Exif"));
    mDockTime->setWindowTitle(tr("Time Adjust"));
    mExifTable->setHeaderLabels({tr("Tag"), tr("Name"), tr("Value")});
    const char* names[4] = {"Date", "Orientation", "Thumbnail", "Parallax"};
    for (int row = 0; row < 4; ++row)
        mExifTable->topLevelItem(row)->setText(1, tr(names[row]));
}

void CImgWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        retranslate();
        consoleInfo("QEvent::LanguageChange");
    }
}

void CImgWindow::restoreSettings() {
    QSettings settings;
    restoreGeometry(settings.value("window/geometry").toByteArray());
    restoreState(settings.value("window/state").toByteArray());
    restoreListColumns();
}

void CImgWindow::storeSettings() {
    QSettings settings;
    settings.setValue("window/geometry", saveGeometry());
    settings.setValue("window/state", saveState());
    storeListColumns();
}

void CImgWindow::closeEvent(QCloseEvent* event) {
    if (!maybeSave() || !maybeSaveCalibration()) {
        event->ignore();
        return;
    }
    storeSettings();
    // The user has answered for the unsaved work: what was kept for a forced end goes.
    if (mRecoveryWritten) {
        recovery::remove();
        mRecoveryWritten = false;
    }
    event->accept();
}

void CImgWindow::focusView() {
    mGLWidget->setFocus(Qt::OtherFocusReason);
}

void CImgWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_PageDown:
            moveRow(1);
            break;
        case Qt::Key_PageUp:
            moveRow(-1);
            break;
        case Qt::Key_F:
            setFullScreenMode(!mFullScreen);
            break;
        case Qt::Key_Escape:
            // Users press Escape to leave full screen; only then does it close.
            if (mFullScreen)
                setFullScreenMode(false);
            else
                close();
            break;
        default:
            break;
    }
    event->accept();
}

void CImgWindow::wheelEvent(QWheelEvent* event) {
    // Only the view's unused wheel moves through the list; a short list passes its
    // own wheel events up too, and those must not.
    QWidget* source = childAt(mapFromGlobal(event->globalPosition().toPoint()));
    if (source != mGLWidget && !mGLWidget->isAncestorOf(source)) {
        event->ignore();
        return;
    }
    // Turning the wheel away from the user goes back through the list.
    const int steps = mWheelSteps.add(event->angleDelta().y());
    for (int i = 0; i < std::abs(steps); ++i)
        moveRow(steps > 0 ? -1 : 1);
    event->accept();
}

void CImgWindow::setFullScreenMode(bool on) {
    if (on == mFullScreen)
        return;
    mFullScreen = on;
    QToolBar* tools = findChild<QToolBar*>("mainToolBar");
    if (on) {
        mWasMaximized = isMaximized();
        showFullScreen();
        for (QWidget* w : std::initializer_list<QWidget*>{tools, mDockDir, mDockFile, mDockExif,
                                                          mDockTime, statusBar(), menuBar()})
            w->hide();
    } else {
        if (mWasMaximized)
            showMaximized();
        else
            showNormal();
        for (QWidget* w :
             std::initializer_list<QWidget*>{tools, menuBar(), mDockDir, mDockFile, statusBar()})
            w->show();
    }
    focusView();
}
