#pragma once
// What the window runs off the GUI thread: the anaglyph export and the orientation writes.
#include "backgroundjobs.h"

#include <QList>
#include <QPersistentModelIndex>
#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>

class QWidget;

// One request to write orientations: the rows selected when it was made.
struct SOrientationRun {
    std::function<int(int)> mFor;  // the new orientation for the one a file has
    QString mNotWritten;           // "%1 files not …; %2"
    QString mWritten;              // "… %1 file(s)", with the number written
    QList<QPersistentModelIndex> mRows;
};

class CWindowWork : public CBackgroundJobs {
public:
    using CBackgroundJobs::CBackgroundJobs;

    // The export that runs, if any: its flag to cancel it, the share done, and its part
    // of the status bar (a progress bar and Cancel).
    std::shared_ptr<std::atomic<bool>> mExportCancel;
    std::shared_ptr<std::atomic<int>> mExportProgress;
    QWidget* mExportBar = nullptr;

    // Orientation writes run one request after another, in the order asked: a turn reads
    // the orientation that the request before it wrote.
    std::deque<SOrientationRun> mOrientationQueue;
    bool mWritingOrientations = false;
};
