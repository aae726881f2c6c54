#pragma once
// The picture list: one row per picture file, with file name, path, capture date, Exif
// orientation and camera. Rows come from a folder, from files dropped onto the list or
// from a CSV image list. QtCore and QtGui only, so that it runs without a window.
#include "SImageEntry.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class CBackgroundJobs;
class QFileSystemWatcher;
struct SExifInfo;
class QMimeData;
class QTimer;
struct SExifFill;
struct SFillResult;
struct SListing;

// The date arithmetic behind the date operations, free of files and models. Dates are
// calendar dates and wall-clock times without a zone: every day has 24 hours.
namespace capturedate {

// Fixed widths, so that text order is time order and the list sorts dates as text.
extern const char* const kFormat;  // "yyyy:MM:dd hh:mm:ss"

// The leading digits of a file name spread over "0000:00:00 00:00:00": year, month,
// day, hour, minute, second; digits after the fourteenth are ignored. No validation.
QString fromFilename(const QString& filename);
// The capture date that a camera or phone wrote into a file name: "IMG_20190704_153000",
// "PXL_20230115_101112345", "20190704_153000", "2019-07-04 15.30.00", a date alone
// ("VID-20190704-WA0001", at 00:00:00), or else the leading digits as fromFilename spreads
// them. A null text when none of them is a possible date and time.
QString dateInFilename(const QString& filename);
// Number of leading ASCII digits of the name.
int leadingDigits(const QString& filename);
// date shifted by years, then months, then days, then the rest as one number of
// seconds; a null text when date does not parse.
QString shifted(const QString& date, int years, int months, int days, int hours, int minutes,
                int seconds);
// The date text of the given date and time; a null text for an impossible date.
QString composed(int year, int month, int day, int hour, int minute, int second);
// date parsed and formatted again: the same text for a valid date, empty otherwise.
QString normalised(const QString& date);
// The date that cameras with an unset clock write: shown as no date, sorted last.
bool isZeroDate(const QString& date);
// Texts of the Exif reader for files that have no capture date of their own.
bool isDatelessStatus(const QString& date);
// The file's modification time as a local date text; null when it has none.
QString fileTimeDate(const QByteArray& path);
// Make and model as the Camera column shows them; null when the file names neither.
QString cameraText(const SExifInfo& info);

}  // namespace capturedate

class CImageListModel : public QAbstractItemModel {
    Q_OBJECT

public:
    enum EColumn { ColFilename, ColPath, ColDate, ColOrientation, ColCamera, ColumnCount };
    // The orientation column shows codes 1..8 only; this role gives the stored number
    // (0 never read, -2 no tag, -1 unreadable file) of every column's row.
    static constexpr int OrientationCodeRole = Qt::UserRole;

    explicit CImageListModel(QObject* parent = nullptr);
    ~CImageListModel() override;

    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // A row whose file is gone (mMissing) shows in the disabled text colour, with the
    // tooltip "missing: the file is gone".
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    Qt::DropActions supportedDropActions() const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Replaces the list by a CSV image list and switches to list mode. Not modified
    // afterwards, also when the list could not be read (the reader's exception passes).
    void loadList(const QString& fileName);
    // Writes the list to a new list file, its folders now relative to that file's
    // folder, and goes on in list mode with it. Throws "out.fail", changing nothing,
    // when the file cannot be written.
    void saveAs(const QString& fileName);
    // Writes the list as saveAs would to fileName, but goes on as it was: its own list
    // file, its unsaved changes. Throws "out.fail" as saveAs does.
    void writeCopy(const QString& fileName);
    // Opens such a copy as a list whose rows are all unsaved changes (isModified()).
    void loadCopy(const QString& fileName);
    // Closes the list: folder mode, no rows, not modified. Dropped files still go to
    // the folder last selected.
    void clear();

    // The file of the index's row: "/..." and "C:/..." paths as they are, others below
    // mBasePath.
    QString fullPath(const QModelIndex& index) const;
    // The file of the index's row as bytes, as open() takes them: the one name of a file
    // from the list to the decoder. Names that are no valid UTF-8 keep their bytes.
    QByteArray filePath(const QModelIndex& index) const;
    void setOrientation(const QModelIndex& index, int orientation);
    // Whether an orientation can be written into the row's file, from what the list knows
    // without opening it: JPEG and MPO content once the fill has read the file, before
    // that the name's extension. Says nothing of the file's permissions.
    bool canWriteOrientation(const QModelIndex& index) const;
    // A write of the row's file begins or ends: its Orientation cell shows "…" while one
    // is on its way.
    void setBusy(const QModelIndex& index, bool busy);

    // The capture-date operations on the entry shown in the index's row.
    void loadExifDate(const QModelIndex& index);
    void loadFSDate(const QModelIndex& index);
    void loadFilenameDate(const QModelIndex& index);
    void addToDate(const QModelIndex& index, int years, int months, int days, int hours,
                   int minutes, int seconds);
    void setDate(const QModelIndex& index, int year, int month, int day, int hour, int minute,
                 int second);

    // Sorts again by the current column and direction. Only the order changes: a sort
    // reads no file and changes no value (the background fill fills what was never
    // read). Rows whose value in that column is not filled in yet go last, both ways.
    void sortItems();

    int sortColumn() const { return mSortColumn; }
    bool sortAscending() const { return mSortAscending; }
    // Empty in directory mode.
    const QString& listFile() const { return mListFile; }
    // False in directory mode, where save() has nowhere to write.
    bool hasListFile() const { return !mListFile.isEmpty(); }
    // Whether the rows hold changes that no list file has: dates, orientations, dropped
    // files and, in list mode, pictures added from another folder than the list's own.
    bool isModified() const { return mModified; }
    // Why the last save or saveAs failed, in the system's words ("No space left on
    // device"); empty after a save that succeeded.
    const QString& saveError() const { return mSaveError; }
    // Whether another program changed, replaced or made the list file since this list
    // was opened or last saved; false in directory mode and when the file is gone.
    bool listChangedOnDisk() const;
    const QString& basePath() const { return mBasePath; }
    const QString& dirPath() const { return mDirPath; }

signals:
    // The new number of entries, after a folder's pictures or dropped files were added.
    void numberPopulated(int number);
    // isModified() changed.
    void modifiedChanged(bool modified);
    // A dropped file could not be copied into the folder (the console has the warning).
    void copyFailed(const QString& file);
    // Something the user should read in the status bar.
    void statusMessage(const QString& text);
    // The background reading of the rows' Exif data has nothing left to do.
    void fillFinished();

public slots:
    // Lists the folder's pictures (joining a loaded list's rows in list mode). The names
    // are read on a worker: a folder that lists within a moment has its rows on return,
    // a larger one gets them when they are there (isListing() until then).
    void setDirPath(const QString& path);
    // Writes the list back to mListFile; nothing in directory mode (see hasListFile).
    // Throws "out.fail" when the file cannot be written.
    void save();

public:
    // Whether the background reading of Exif data is still running.
    bool isFilling() const;
    // Whether a folder's names are still being read.
    bool isListing() const;
    // How long setDirPath waits for a folder's names before it returns without its rows
    // (15 ms, within a frame). Tests that check the rows at once wait longer.
    static void setListingWait(int ms);
    // Milliseconds from a change in the listed folder to the list following it.
    static constexpr int kFolderSettleMs = 200;

private:
    // Reads the Exif data of every row not read yet on a worker thread; the results
    // come back in batches through applyFill. Stops a fill that runs.
    void startFill();
    // Stops the fill and drops the batches it has on the way.
    void stopFill();
    void applyFill(quint64 generation, const std::vector<SFillResult>& results, bool last);
    // The listed folder's pictures as they are now: new ones join, vanished ones go
    // (in directory mode; a list keeps its rows).
    void followFolder();
    // CImageListModelListing.cpp: reads mDirPath's names on a worker, then hands them to
    // followNames (follow) or appendListed.
    void listFolder(bool follow);
    void takeListing(quint64 generation, const std::shared_ptr<SListing>& listing);
    // Drops the listings on their way.
    void stopListing();
    void appendListed(const QString& dir, const QList<QByteArray>& names, const QStringList& texts);
    void followNames(const QList<QByteArray>& names);
    void watchFolder(const QString& path);
    // Removes the rows at the given rows (any order) without touching the entries.
    void removeRowsOf(std::vector<int> rows);

    // The entry shown in a row, or nullptr outside the list.
    SImageEntry* entryAt(int row);
    const SImageEntry* entryAt(int row) const;
    QString fullPath(const SImageEntry& entry) const;
    QByteArray filePath(const SImageEntry& entry) const;
    // The folder of the entry's file in bytes as open() takes them, with a slash at its end.
    QByteArray folderPath(const SImageEntry& entry) const;
    // The file's modification time as a date text in local time; a null text when the
    // file has none (it is gone).
    QString modificationDate(const SImageEntry& entry) const;
    // dir as the list keeps it: empty for mBasePath, relative below it, else absolute.
    QString relativePath(const QString& dir) const;
    // Writes the rows in their current order, with folders[i] as the folder field of
    // mEntries[i], and the lines that the list kept where they stood; throws "out.fail",
    // with the cause in mSaveError.
    void writeList(const QString& fileName, const std::vector<QByteArray>& folders);
    // The row's folder field as the list file keeps it.
    static QByteArray folderField(const SImageEntry& entry);
    void setModified(bool modified);
    // Appends as the last row, without the duplicate check and without telling views:
    // callers wrap it in beginInsertRows/endInsertRows (or a reset).
    void appendEntry(const SImageEntry& entry);
    // Appends the new files of one folder (path relative to mBasePath), given by their
    // names' bytes, as rows, leaving out those already listed; tells views about exactly
    // the appended rows. changed: the new rows are a change of the user's. Returns their
    // number.
    // texts: the names as text, when a worker has decoded them already.
    int appendNew(const QList<QByteArray>& names, const QString& path, bool changed,
                  const QStringList* texts = nullptr);
    // Tells views that whole rows changed, in the given roles.
    void rowsChanged(const std::vector<int>& rows, const QList<int>& roles);
    // Drops all entries (model reset).
    void clearEntries();
    // Gives the row's entry a new date text; tells views and marks the list modified
    // when that changes the text.
    void changeDate(int row, const QString& date);
    bool lessThan(int a, int b) const;
    // Whether the entry's value in the sort column still waits for the fill.
    bool notFilled(const SImageEntry& entry) const;

    // Only ever appended to, or emptied: a row that goes leaves its entry behind, so that
    // indexes and the fill's results keep naming entries by position.
    std::vector<SImageEntry> mEntries;
    std::vector<int> mOrder;  // row -> position in mEntries
    int mSortColumn = 0;
    bool mSortAscending = true;
    QString mListFile;  // the loaded CSV image list; empty in directory mode
    QString mDirPath;   // folder last selected; dropped files are copied there
    QString mBasePath;  // folder that relative paths start from
    bool mModified = false;
    // The lines before the first row of the list file that the reader did not understand.
    std::string mLeadingLines;
    quint64 mLoads = 0;  // times the rows were replaced: a message about older ones goes unsaid
    QString mSaveError;
    // What the list file was when it was read or written last.
    struct SFileStamp {
        bool mExists = false;
        quint64 mDevice = 0, mInode = 0;
        qint64 mSize = 0, mModified = 0;  // bytes; nanoseconds since the epoch
    };
    static SFileStamp stampOf(const QString& fileName);
    SFileStamp mListStamp;
    std::shared_ptr<SExifFill> mFill;  // shared: the type is known only where it runs
    quint64 mFillGeneration = 0;
    CBackgroundJobs* mJobs = nullptr;                  // the folder listings; a child of the model
    std::vector<std::shared_ptr<SListing>> mListings;  // on their way, oldest first
    quint64 mListGeneration = 0;
    static int sListingWaitMs;
    QHash<int, int> mBusy;  // position in mEntries -> writes of its file on their way
    QFileSystemWatcher* mWatcher = nullptr;
    QTimer* mSettle = nullptr;  // gathers a burst of folder changes into one look
};
