// TDateTime: days since 1899-12-30 with the time of day in the fraction.
#include "rtl/datetime.h"
#include "rtl/exceptions.h"

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
        // Before the epoch the fraction still adds time to the day.
        Moment{-1.25, QDateTime(QDate(1899, 12, 29), QTime(6, 0))}));

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
