// The capture-date operations of the picture list: the date of a row from the Exif
// data, the file system or the file name, shifted, or set. Dates are only changed in
// the list; the files are left alone. All computations are in local time.
#include "CImageListModel.h"

#include "exif.h"

#include <QDateTime>
#include <QTimeZone>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
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
    std::fprintf(stderr, "%s%s\n", what, value.toUtf8().constData());
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
    const int n = capturedate::leadingDigits(entry->mFilename);
    note("format = ", QStringLiteral("yyyyMMddhhmm").left(n));
    note("name.toAscii().constData() = ", entry->mFilename.left(n));
    // Kept even when it is no date (2010_05 gives month 00): the name said so, and the
    // line below shows the user that it does not parse.
    changeDate(index.row(), capturedate::fromFilename(entry->mFilename));
    note(
        "QDateTime::fromString(result, format2). toString(\"yyyy:MM:dd hh:mm:ss\")"
        ".toAscii().constData() = ",
        capturedate::normalised(entry->mDate));
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
