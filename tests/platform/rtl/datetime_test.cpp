// TDateTime: days since 1899-12-30 with the time of day in the fraction.
#include "rtl/datetime.h"
#include "rtl/exceptions.h"
#include "support/scopedtimezone.h"

#include <gtest/gtest.h>

#include <limits>

namespace qor {
namespace {

struct Day
{
    QDate date;
    double value;
};

class DateEncoding : public ::testing::TestWithParam<Day>
{
};

TEST_P(DateEncoding, CountsDaysFromTheEpochBothWays)
{
    EXPECT_DOUBLE_EQ(DateToDateTime(GetParam().date), GetParam().value);
    EXPECT_EQ(DateTimeToQDate(GetParam().value), GetParam().date);
}

INSTANTIATE_TEST_SUITE_P(Days, DateEncoding,
                         ::testing::Values(Day{QDate(1899, 12, 30), 0}, Day{QDate(1900, 1, 1), 2},
                                           Day{QDate(2000, 1, 1), 36526},
                                           Day{QDate(2024, 3, 15), 45366},
                                           Day{QDate(1899, 12, 29), -1}));

struct Moment
{
    double value;
    QDateTime local;
};

class MomentDecoding : public ::testing::TestWithParam<Moment>
{
};

TEST_P(MomentDecoding, RoundsToTheMillisecond)
{
    EXPECT_EQ(DateTimeToQDateTime(GetParam().value), GetParam().local);
}

INSTANTIATE_TEST_SUITE_P(
    Moments, MomentDecoding,
    ::testing::Values(
        Moment{45366.5, QDateTime(QDate(2024, 3, 15), QTime(12, 0))},
        Moment{45366.25, QDateTime(QDate(2024, 3, 15), QTime(6, 0))},
        // 0.4 ms rounds down, 0.6 ms up, 23:59:59.9996 reaches the next day.
        Moment{45366 + (36000000 + 0.4) / 86400000.0, QDateTime(QDate(2024, 3, 15), QTime(10, 0))},
        Moment{45366 + (36000000 + 0.6) / 86400000.0,
               QDateTime(QDate(2024, 3, 15), QTime(10, 0, 0, 1))},
        Moment{45366 + 86399999.6 / 86400000.0, QDateTime(QDate(2024, 3, 16), QTime(0, 0))},
        // Before the epoch the fraction still adds time to the day, and rounding up to
        // midnight reaches the next calendar day there too.
        Moment{-1.25, QDateTime(QDate(1899, 12, 29), QTime(6, 0))},
        Moment{-1 - 86399999.6 / 86400000.0, QDateTime(QDate(1899, 12, 30), QTime(0, 0))},
        Moment{-2 - 86399999.6 / 86400000.0, QDateTime(QDate(1899, 12, 29), QTime(0, 0))}));

TEST(DateTime, LocalDateTimesRoundTrip)
{
    const QDateTime moments[] = {QDateTime(QDate(2024, 3, 15), QTime(23, 59, 59, 999)),
                                 QDateTime(QDate(1950, 7, 1), QTime(0, 0, 0, 1)),
                                 QDateTime(QDate(1899, 12, 29), QTime(6, 0)),
                                 QDateTime(QDate(9999, 12, 31), QTime(12, 30))};
    for (const QDateTime &moment : moments)
        EXPECT_EQ(DateTimeToQDateTime(QDateTimeToDateTime(moment)), moment)
            << moment.toString().toStdString();
}

struct ZoneMoment
{
    const char *zone;
    QDate date;
    QTime time;
};

// A local QDateTime is the wall-clock reading. Sao Paulo skipped midnight when daylight
// saving time began (until 2019) and repeated 23:00 to 24:00 when it ended; Qt calls a
// skipped moment invalid but keeps its date and time.
TEST(DateTime, LocalDateTimesAreTheWallClockReading)
{
    const ZoneMoment cases[] = {
        {"America/Sao_Paulo", QDate(2018, 11, 4), QTime(0, 0)},
        {"America/Sao_Paulo", QDate(2018, 11, 4), QTime(0, 30, 15, 250)},
        {"America/Sao_Paulo", QDate(2017, 10, 15), QTime(0, 0)},
        {"America/Sao_Paulo", QDate(2018, 2, 17), QTime(23, 30)},
        {"America/Sao_Paulo", QDate(2018, 2, 18), QTime(0, 0)},
        {"America/Rio_Branco", QDate(2018, 11, 4), QTime(0, 0)},
        {"UTC", QDate(2024, 2, 29), QTime(23, 59, 59, 999)},
    };
    for (const ZoneMoment &c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.date.toString(Qt::ISODate).toStdString() + " "
                     + c.time.toString(u"HH:mm:ss.zzz").toStdString());
        const qor::testing::ScopedTimeZone zone(c.zone);
        try {
            EXPECT_EQ(QDateTimeToDateTime(QDateTime(c.date, c.time)),
                      EncodeDateTime(c.date, c.time.msecsSinceStartOfDay()));
        } catch (const Exception &e) {
            ADD_FAILURE() << e.Message().toStdString();
        }
    }
    // Nothing to read from a QDateTime without a date or time.
    EXPECT_THROW(QDateTimeToDateTime(QDateTime()), EConvertError);
    EXPECT_THROW(QDateTimeToDateTime(QDateTime(QDate(2024, 2, 30), QTime(0, 0))), EConvertError);
}

TEST(DateTimeText, WritesAndReadsEveryPartOfTheMoment)
{
    struct Case
    {
        QDateTime local;
        const char *text; // with a space between date and time
    };
    const Case cases[] = {
        {QDateTime(QDate(2024, 2, 29), QTime(7, 5, 9, 42)), "2024-02-29 07:05:09.042"},
        {QDateTime(QDate(1, 1, 1), QTime(0, 0)), "0001-01-01 00:00:00.000"},
        {QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999)), "9999-12-31 23:59:59.999"},
        {QDateTime(QDate(1899, 12, 29), QTime(18, 0)), "1899-12-29 18:00:00.000"},
    };
    for (const Case &c : cases) {
        const QString spaced = QString::fromLatin1(c.text);
        QString iso = spaced;
        iso[10] = u'T';
        const TDateTime value = QDateTimeToDateTime(c.local);
        EXPECT_EQ(DateTimeText(value, u' '), spaced);
        EXPECT_EQ(DateTimeText(value, u'T'), iso);
        TDateTime read = -7;
        ASSERT_TRUE(ReadDateTimeText(iso, u'T', &read)) << c.text;
        EXPECT_EQ(DateTimeToQDateTime(read), c.local) << c.text;
        ASSERT_TRUE(ReadDateTimeText(spaced, u' ', &read)) << c.text;
        EXPECT_EQ(DateTimeToQDateTime(read), c.local) << c.text;
    }
    // The shorter forms: a date alone, and a time without milliseconds.
    TDateTime read = -7;
    ASSERT_TRUE(ReadDateTimeText(u"2024-03-15", u'T', &read));
    EXPECT_EQ(DateTimeToQDateTime(read), QDateTime(QDate(2024, 3, 15), QTime(0, 0)));
    ASSERT_TRUE(ReadDateTimeText(u"2024-03-15 10:20:30", u' ', &read));
    EXPECT_EQ(DateTimeToQDateTime(read), QDateTime(QDate(2024, 3, 15), QTime(10, 20, 30)));
}

TEST(DateTimeText, RefusesWhatIsNoMoment)
{
    const char *const bad[] = {
        "",
        "2024-03-15T10:20", // minutes without seconds
        "2024-03-15 10:20:30.000", // the other separator
        "2024-03-15T10:20:30.0000", // four fraction digits
        "2024-03-15T10:20:30,000", // decimal comma
        "2024/03/15", // other date separators
        "2024-02-30", // no such day
        "2023-02-29", // not a leap year
        "2024-13-01", // no such month
        "0000-01-01", // no year zero
        "2024-03-15T24:00:00.000", // no hour 24
        "2024-03-15T10:60:00.000", // no minute 60
        "2024-03-15T10:20:60.000", // no leap second
        "2024-03-15T1a:20:30.000", // not a digit
        "-024-03-15", // a sign is not a digit
        " 2024-03-15", // surrounding blanks are not read away
    };
    for (const char *text : bad) {
        TDateTime read = 42;
        EXPECT_FALSE(ReadDateTimeText(QString::fromLatin1(text), u'T', &read)) << text;
        EXPECT_EQ(read, 42) << text; // left alone
    }
    // No four-digit year can hold these.
    for (double value :
         {std::numeric_limits<double>::quiet_NaN(), DateToDateTime(QDate(9999, 12, 31)) + 1,
          DateToDateTime(QDate(1, 1, 1)) - 1, 1e300})
        EXPECT_TRUE(DateTimeText(value, u'T').isEmpty()) << value;
}

TEST(DateTime, InvalidInputNeverCrashes)
{
    EXPECT_THROW(DateToDateTime(QDate()), EConvertError);
    EXPECT_THROW(QDateTimeToDateTime(QDateTime()), EConvertError);
    for (double value : {std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity(), 1e300, -1e300}) {
        EXPECT_FALSE(DateTimeToQDate(value).isValid()) << value;
        EXPECT_FALSE(DateTimeToQDateTime(value).isValid()) << value;
    }
}

TEST(Exceptions, AbortIsSilentAndMessagesTravelAsUtf8)
{
    EXPECT_THROW(Abort(), EAbort);
    const EConvertError error(QStringLiteral(u"'abc' não é um número válido."));
    EXPECT_EQ(QByteArray(error.what()), error.Message().toUtf8());
}

} // namespace
} // namespace qor
