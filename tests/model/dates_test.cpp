// The date arithmetic of the picture list, without files. The tests run in a zone one
// hour east of UTC with summer time from the last Sunday of March, 02:00, to the last
// Sunday of October, 03:00 (main.cpp), which the date texts must not notice.
#include "CImageListModel.h"

#include <gtest/gtest.h>

#include <QDateTime>

using namespace capturedate;

namespace {
std::string text(const QString& value) {
    return value.isNull() ? "(null)" : value.toStdString();
}
}  // namespace

TEST(FilenameDate, LeadingDigitsFillTheTemplateInOrder) {
    // The underscore ends the run: the time after it is not used.
    EXPECT_EQ(text(fromFilename("20100514_123000.jpg")), "2010:05:14 00:00:00");
    EXPECT_EQ(text(fromFilename("201005141230.jpg")), "2010:05:14 12:30:00");
    EXPECT_EQ(text(fromFilename("20100514123059.mpo")), "2010:05:14 12:30:59");
    // Digits beyond the fourteenth are dropped rather than spilling over the end.
    EXPECT_EQ(text(fromFilename("2010051412305999999.jpg")), "2010:05:14 12:30:59");
    // A partial run fills from the left and is not checked: month 00 stays.
    EXPECT_EQ(text(fromFilename("2010_05.jpg")), "2010:00:00 00:00:00");
    EXPECT_EQ(text(fromFilename("2010051.jpg")), "2010:05:10 00:00:00");
    EXPECT_EQ(text(fromFilename("IMG_0001.jpg")), "0000:00:00 00:00:00");
    // Digits of other scripts are not ASCII digits.
    EXPECT_EQ(text(fromFilename(QString::fromUtf8("\u0662\u0660\u0661\u0660.jpg"))),
              "0000:00:00 00:00:00");
    EXPECT_EQ(leadingDigits("20100514_123000.jpg"), 8);
    EXPECT_EQ(leadingDigits("x2010.jpg"), 0);
}

TEST(ShiftDate, CarriesAcrossDaysMonthsYearsAndLeapDays) {
    EXPECT_EQ(text(shifted("2010:12:31 23:30:00", 0, 0, 0, 1, 0, 0)), "2011:01:01 00:30:00");
    EXPECT_EQ(text(shifted("2012:02:29 12:00:00", -1, 0, 0, 0, 0, 0)), "2011:02:28 12:00:00");
    EXPECT_EQ(text(shifted("2012:02:29 12:00:00", 4, 0, 0, 0, 0, 0)), "2016:02:29 12:00:00");
    // Months before days: 30 January + 1 month is the last of February, then + 1 day.
    EXPECT_EQ(text(shifted("2011:01:30 10:00:00", 0, 1, 1, 0, 0, 0)), "2011:03:01 10:00:00");
    // Seconds, minutes and hours are one span, so they carry into the date.
    EXPECT_EQ(text(shifted("2011:06:30 23:59:30", 0, 0, 0, 0, 0, 45)), "2011:07:01 00:00:15");
    EXPECT_EQ(text(shifted("2011:06:30 00:00:00", 0, 0, 0, 0, -1, 0)), "2011:06:29 23:59:00");
    EXPECT_EQ(text(shifted("2011:06:30 12:00:00", 0, 0, 0, 50, 0, 0)), "2011:07:02 14:00:00");
    // Backwards over a year end with every part at once.
    EXPECT_EQ(text(shifted("2011:01:01 00:00:10", 0, 0, -1, -1, -1, -11)), "2010:12:30 22:58:59");
}

TEST(LocalZone, IsOneHourEastOfUtcWithSummerTime) {
    // Without the zone's data the summer-time cases below would prove nothing.
    const QDateTime winter(QDate(2010, 1, 15), QTime(12, 0), Qt::LocalTime);
    const QDateTime summer(QDate(2010, 7, 15), QTime(12, 0), Qt::LocalTime);
    EXPECT_EQ(winter.offsetFromUtc(), 3600) << "is the time zone database installed?";
    EXPECT_EQ(summer.offsetFromUtc(), 7200);
}

TEST(ShiftDate, IgnoresSummerTime) {
    // 02:30 on the night the clocks go forward does not exist in local time; a camera
    // clock still says so.
    EXPECT_EQ(text(shifted("2010:03:28 02:30:00", 0, 0, 0, 1, 0, 0)), "2010:03:28 03:30:00");
    EXPECT_EQ(text(shifted("2010:03:28 02:30:00", 0, 0, 0, 0, 0, 0)), "2010:03:28 02:30:00");
    EXPECT_EQ(text(shifted("2010:03:28 01:30:00", 0, 0, 0, 1, 0, 0)), "2010:03:28 02:30:00");
    EXPECT_EQ(text(shifted("2010:03:27 02:15:00", 0, 0, 1, 0, 0, 0)), "2010:03:28 02:15:00");
    // 02:30 on the night they go back exists twice; one hour later is still 03:30.
    EXPECT_EQ(text(shifted("2010:10:31 02:30:00", 0, 0, 0, 1, 0, 0)), "2010:10:31 03:30:00");
    EXPECT_EQ(text(shifted("2010:10:31 01:30:00", 0, 0, 0, 1, 0, 0)), "2010:10:31 02:30:00");
    // Every day has 24 hours.
    EXPECT_EQ(text(shifted("2010:03:27 12:00:00", 0, 0, 0, 24, 0, 0)), "2010:03:28 12:00:00");
    EXPECT_EQ(text(shifted("2010:10:30 12:00:00", 0, 0, 0, 24, 0, 0)), "2010:10:31 12:00:00");
    EXPECT_EQ(text(normalised("2010:03:28 02:45:59")), "2010:03:28 02:45:59");
}

TEST(ShiftDate, ResultsOutsideTheFourDigitYearsGiveNull) {
    EXPECT_TRUE(shifted("0001:01:01 00:00:00", 0, 0, 0, 0, 0, -1).isNull());
    EXPECT_TRUE(shifted("9999:12:31 23:59:59", 0, 0, 0, 0, 0, 1).isNull());
    EXPECT_EQ(text(shifted("9999:12:31 23:59:58", 0, 0, 0, 0, 0, 1)), "9999:12:31 23:59:59");
    EXPECT_TRUE(composed(10000, 1, 1, 0, 0, 0).isNull());
    EXPECT_TRUE(composed(-5, 1, 1, 0, 0, 0).isNull());
}

TEST(ShiftDate, TextsThatAreNoDateGiveNull) {
    for (const char* date : {"undefined", "no Exif data", "could not open file", "",
                             "0000:00:00 00:00:00", "2010:13:01 00:00:00", "2010-05-14 12:30:00",
                             "2010:05:14 12:30", "+201:05:14 12:30:00", "2010:05:14 12:30:0 ",
                             "2010:05:14T12:30:00", "2010:02:30 12:00:00", "2010:05:14 24:00:00"}) {
        SCOPED_TRACE(date);
        EXPECT_TRUE(shifted(date, 0, 0, 1, 0, 0, 0).isNull());
    }
}

TEST(ComposeDate, GivesTheTextOfPossibleDatesOnly) {
    EXPECT_EQ(text(composed(2011, 6, 7, 8, 9, 10)), "2011:06:07 08:09:10");
    EXPECT_EQ(text(composed(2012, 2, 29, 0, 0, 0)), "2012:02:29 00:00:00");
    EXPECT_EQ(text(composed(999, 1, 2, 3, 4, 5)), "0999:01:02 03:04:05");
    // The hour that summer time skips in the test zone.
    EXPECT_EQ(text(composed(2010, 3, 28, 2, 15, 0)), "2010:03:28 02:15:00");
    EXPECT_TRUE(composed(2011, 2, 29, 0, 0, 0).isNull());
    EXPECT_TRUE(composed(2011, 4, 31, 0, 0, 0).isNull());
    EXPECT_TRUE(composed(2011, 6, 7, 24, 0, 0).isNull());
}

TEST(NormaliseDate, ShowsWhetherATextIsADate) {
    EXPECT_EQ(text(normalised("2010:05:14 12:30:00")), "2010:05:14 12:30:00");
    EXPECT_TRUE(normalised("2010:00:00 00:00:00").isEmpty());
    EXPECT_TRUE(normalised("no Exif data").isEmpty());
}

TEST(FilenameDate, FindsTheDatesThatCamerasAndPhonesWrite) {
    struct SCase {
        const char* mName;
        const char* mDate;  // nullptr: no date
    };
    const SCase cases[] = {
        {"IMG_20190704_153000.jpg", "2019:07:04 15:30:00"},
        {"PXL_20230115_101112345.jpg", "2023:01:15 10:11:12"},
        {"PXL_20230115_101112345.MP.jpg", "2023:01:15 10:11:12"},
        {"20190704_153000.jpg", "2019:07:04 15:30:00"},
        {"Screenshot_20190704-153000.png", "2019:07:04 15:30:00"},
        {"2019-07-04 15.30.00.jpg", "2019:07:04 15:30:00"},
        {"2019-07-04_15-30-00.jpg", "2019:07:04 15:30:00"},
        {"VID-20190704-WA0001.jpg", "2019:07:04 00:00:00"},
        {"IMG-20200229-WA0002.jpeg", "2020:02:29 00:00:00"},
        {"holiday 2019-07-04.jpg", "2019:07:04 00:00:00"},
        // The leading digits as before.
        {"201005141230.jpg", "2010:05:14 12:30:00"},
        {"20100514123059.mpo", "2010:05:14 12:30:59"},
        {"2010051412305999999.jpg", "2010:05:14 12:30:59"},
        // Impossible dates and times are none; the next possible one counts.
        {"IMG_20191304_153000.jpg", nullptr},  // month 13
        {"IMG_20190431_120000.jpg", nullptr},  // 31 April
        {"IMG_20190229_120000.jpg", nullptr},  // no leap year
        {"IMG_20190704_243000.jpg", nullptr},  // hour 24
        {"IMG_20190704_156000.jpg", nullptr},  // minute 60
        {"2019-07-04 15.30.61.jpg", nullptr},  // second 61
        {"VID-20190700-WA0001.jpg", nullptr},  // day 0
        {"x_20191399_y_20180102.jpg", "2018:01:02 00:00:00"},
        // Digit runs that are no date.
        {"IMG_0001.jpg", nullptr},
        {"DSC_1234567.jpg", nullptr},
        {"IMG_120190704_153000.jpg", nullptr},  // nine digits before the separator
        {"2010_05.jpg", nullptr},
        {"2010 trip.jpg", nullptr},
        {"\u0662\u0660\u0661\u0669\u0660\u0667\u0660\u0664.jpg", nullptr},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(text(dateInFilename(QString::fromUtf8(c.mName))), c.mDate ? c.mDate : "(null)")
            << c.mName;
}
