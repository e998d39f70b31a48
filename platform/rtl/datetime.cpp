#include "datetime.h"

#include "exceptions.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

constexpr qint64 MSecsPerDay = 86400000;
// Far beyond the year 9999 (day 2958465), near enough to keep every cast exact.
constexpr double MaxDays = 1.0e8;

QDate epoch()
{
    return QDate(1899, 12, 30);
}

} // namespace

TDateTime EncodeDateTime(const QDate &date, int msecsOfDay)
{
    const double days = double(epoch().daysTo(date));
    const double fraction = double(msecsOfDay) / double(MSecsPerDay);
    return days >= 0 ? days + fraction : days - fraction;
}

bool DecodeDateTime(TDateTime value, QDate *date, int *msecsOfDay)
{
    if (!std::isfinite(value) || std::fabs(value) > MaxDays)
        return false;
    qint64 days = qint64(std::trunc(value));
    qint64 msecs = std::llround(std::fabs(value - double(days)) * double(MSecsPerDay));
    if (msecs >= MSecsPerDay) { // rounding reached the next (or, below zero, previous) day
        msecs -= MSecsPerDay;
        days += value < 0 ? -1 : 1;
    }
    if (date)
        *date = epoch().addDays(days);
    if (msecsOfDay)
        *msecsOfDay = int(msecs);
    return true;
}

TDateTime DateToDateTime(const QDate &date)
{
    if (!date.isValid())
        throw EConvertError(u"Data inválida."_s);
    return EncodeDateTime(date, 0);
}

TDateTime QDateTimeToDateTime(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        throw EConvertError(u"Data e hora inválidas."_s);
    const QDateTime local = dateTime.toLocalTime();
    return EncodeDateTime(local.date(), local.time().msecsSinceStartOfDay());
}

QDate DateTimeToQDate(TDateTime value)
{
    QDate date;
    DecodeDateTime(value, &date, nullptr);
    return date;
}

QDateTime DateTimeToQDateTime(TDateTime value)
{
    QDate date;
    int msecs = 0;
    if (!DecodeDateTime(value, &date, &msecs))
        return QDateTime();
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(msecs), Qt::LocalTime);
}

TDateTime Date()
{
    return DateToDateTime(QDate::currentDate());
}

TDateTime Now()
{
    return QDateTimeToDateTime(QDateTime::currentDateTime());
}

} // namespace qor
