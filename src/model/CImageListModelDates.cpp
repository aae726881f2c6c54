// The capture-date operations of the picture list: the date of a row from the Exif
// data, the file system or the file name, shifted, or set. Dates are only changed in
// the list; the files are left alone. All computations are in local time.
#include "CImageListModel.h"

#include "diagnostics.h"
#include "exif.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>

#include <sys/stat.h>

#include <algorithm>
#include <iterator>

namespace capturedate {

const char* const kFormat = "yyyy:MM:dd hh:mm:ss";

namespace {

// A calendar date and time with no zone of its own: UTC has no gaps and no repeats.
QDateTime calendarTime(const QDate& date, const QTime& time) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    return QDateTime(date, time, QTimeZone::UTC);
#else
    return QDateTime(date, time, Qt::UTC);
#endif
}

// Date and time are read apart, since QDateTime would read the text as local time.
QDateTime parsed(const QString& date) {
    // Only the fixed form: no signs, spaces or short fields that the readers would take.
    static const QLatin1String shape("0000:00:00 00:00:00");
    if (date.size() != shape.size())
        return QDateTime();
    for (qsizetype i = 0; i < shape.size(); ++i) {
        const bool digit = date[i] >= QLatin1Char('0') && date[i] <= QLatin1Char('9');
        if (shape[i] == QLatin1Char('0') ? !digit : date[i] != shape[i])
            return QDateTime();
    }
    const QDate day = QDate::fromString(date.left(10), QStringLiteral("yyyy:MM:dd"));
    const QTime time = QTime::fromString(date.mid(11), QStringLiteral("hh:mm:ss"));
    if (!day.isValid() || !time.isValid())
        return QDateTime();
    return calendarTime(day, time);
}

// The text of a date that fits the fixed form, a null text for any other.
QString formatted(const QDateTime& time) {
    if (!time.isValid() || time.date().year() < 1 || time.date().year() > 9999)
        return QString();
    return time.toString(QLatin1String(kFormat));
}

// The lines that show how a date was made go to the console uncoloured.
void note(const char* what, const QString& value) {
    consoleInfo(what + value.toStdString());
}

}  // namespace

int leadingDigits(const QString& filename) {
    int n = 0;
    while (n < filename.size() && filename[n] >= QLatin1Char('0') &&
           filename[n] <= QLatin1Char('9'))
        ++n;
    return n;
}

QString fromFilename(const QString& filename) {
    // Where digit k of the name goes: year, month, day, hour, minute, second, skipping
    // the separators.
    static const int positions[] = {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18};
    QString date = QStringLiteral("0000:00:00 00:00:00");
    const int n = std::min(leadingDigits(filename), int(std::size(positions)));
    for (int k = 0; k < n; ++k)
        date[positions[k]] = filename[k];
    return date;
}

bool isZeroDate(const QString& date) {
    return date == QLatin1String("0000:00:00 00:00:00");
}

QString dateInFilename(const QString& filename) {
    // The patterns that cameras, phones and messengers write, most telling first. No
    // digit may stand right before or after the date: 120190704_... is no date.
    struct SPattern {
        const char* mExpression;
        bool mTime;
    };
    static const SPattern patterns[] = {
        // IMG_20190704_153000, 20190704_153000, PXL_20230115_101112345 (milliseconds),
        // Screenshot_20190704-153000
        {R"((?<![0-9])([0-9]{4})([0-9]{2})([0-9]{2})[_-]([0-9]{2})([0-9]{2})([0-9]{2})(?:[0-9]{3})?(?![0-9]))",
         true},
        // 2019-07-04 15.30.00, 2019-07-04_15-30-00, 2019-07-04T15:30:00
        {R"((?<![0-9])([0-9]{4})-([0-9]{2})-([0-9]{2})[ _T]([0-9]{2})[.:-]([0-9]{2})[.:-]([0-9]{2})(?![0-9]))",
         true},
        // VID-20190704-WA0001, IMG-20190704-WA0001: the day alone
        {R"((?<![0-9])([0-9]{4})([0-9]{2})([0-9]{2})(?![0-9]))", false},
        {R"((?<![0-9])([0-9]{4})-([0-9]{2})-([0-9]{2})(?![0-9]))", false},
    };
    static const std::vector<QRegularExpression> expressions = [] {
        std::vector<QRegularExpression> compiled;
        for (const SPattern& pattern : patterns)
            compiled.emplace_back(QString::fromLatin1(pattern.mExpression));
        return compiled;
    }();
    // A date and time that cannot be is no date either: its day alone does not count.
    std::vector<std::pair<qsizetype, qsizetype>> impossible;
    for (size_t i = 0; i < expressions.size(); ++i) {
        // A name may hold a number that looks like a date before the real one: each
        // match is tried.
        QRegularExpressionMatchIterator it = expressions[i].globalMatch(filename);
        while (it.hasNext()) {
            const QRegularExpressionMatch match = it.next();
            const bool inside = std::any_of(impossible.begin(), impossible.end(), [&](auto span) {
                return match.capturedStart() >= span.first && match.capturedStart() < span.second;
            });
            if (inside)
                continue;
            const auto field = [&](int n) {
                return n <= match.lastCapturedIndex() ? match.captured(n).toInt() : 0;
            };
            const QString date =
                patterns[i].mTime
                    ? composed(field(1), field(2), field(3), field(4), field(5), field(6))
                    : composed(field(1), field(2), field(3), 0, 0, 0);
            if (!date.isNull())
                return date;
            if (patterns[i].mTime)
                impossible.emplace_back(match.capturedStart(), match.capturedEnd());
        }
    }
    // Names that begin with the date and time without separators: 201005141230.
    if (leadingDigits(filename) >= 6)
        return normalised(fromFilename(filename));
    return QString();
}

QString shifted(const QString& date, int years, int months, int days, int hours, int minutes,
                int seconds) {
    QDateTime time = parsed(date);
    if (!time.isValid())
        return QString();
    // Months before days: one month after 31 January is the end of February, and the
    // days count from there. Hours, minutes and seconds carry over as one span.
    time = time.addYears(years).addMonths(months).addDays(days);
    time = time.addSecs(qint64(seconds) + qint64(minutes) * 60 + qint64(hours) * 3600);
    return formatted(time);
}

QString composed(int year, int month, int day, int hour, int minute, int second) {
    const QDate date(year, month, day);
    const QTime time(hour, minute, second, 0);
    if (!date.isValid() || !time.isValid())
        return QString();
    return formatted(calendarTime(date, time));
}

QString normalised(const QString& date) {
    return parsed(date).toString(QLatin1String(kFormat));
}

}  // namespace capturedate

using capturedate::note;

void CImageListModel::loadExifDate(const QModelIndex& index) {
    SImageEntry* entry = entryAt(index.row());
    if (!entry)
        return;
    // Status texts such as "no Exif data" go into the list as they are: they tell the
    // user why there is no date.
    changeDate(index.row(),
               QString::fromStdString(readExif(filePath(*entry).toStdString()).mDateTime));
}

void CImageListModel::loadFSDate(const QModelIndex& index) {
    SImageEntry* entry = entryAt(index.row());
    if (!entry)
        return;
    // A file without a readable time keeps its date, as the shifts below do.
    const QString modified = modificationDate(*entry);
    if (!modified.isNull())
        changeDate(index.row(), modified);
}

QString CImageListModel::modificationDate(const SImageEntry& entry) const {
    // A modification time is an instant; the list shows it as the local wall-clock time,
    // like the camera's clock would have. The file is found by its name's bytes, which
    // QFileInfo cannot take.
    struct stat info;
    if (::stat(filePath(entry).constData(), &info) != 0)
        return QString();
    return QDateTime::fromSecsSinceEpoch(info.st_mtime)
        .toString(QLatin1String(capturedate::kFormat));
}

void CImageListModel::loadFilenameDate(const QModelIndex& index) {
    SImageEntry* entry = entryAt(index.row());
    if (!entry)
        return;
    const QString date = capturedate::dateInFilename(entry->mFilename);
    // A name without a date leaves the row's date as it was: a made-up one would
    // replace a real date.
    if (date.isNull()) {
        emit statusMessage(tr("No date in the file name %1").arg(entry->mFilename));
        return;
    }
    changeDate(index.row(), date);
    note("date from the file name: ", date);
}

void CImageListModel::addToDate(const QModelIndex& index, int years, int months, int days,
                                int hours, int minutes, int seconds) {
    SImageEntry* entry = entryAt(index.row());
    if (!entry)
        return;
    note("date.toString(format2).toAscii().constData() = ", capturedate::normalised(entry->mDate));
    const QString date =
        capturedate::shifted(entry->mDate, years, months, days, hours, minutes, seconds);
    // A status text or "undefined" is no date to shift: it stays, so that the user still
    // sees why the row has no date instead of an empty cell.
    if (!date.isNull())
        changeDate(index.row(), date);
    note("item[2].toAscii().constData() = ", entry->mDate);
}

void CImageListModel::setDate(const QModelIndex& index, int year, int month, int day, int hour,
                              int minute, int second) {
    SImageEntry* entry = entryAt(index.row());
    if (!entry)
        return;
    const QString date = capturedate::composed(year, month, day, hour, minute, second);
    // An impossible date (31 April) leaves the old one, like a shift of an unparsable one.
    if (!date.isNull())
        changeDate(index.row(), date);
    note("item[2].toAscii().constData() = ", entry->mDate);
}
