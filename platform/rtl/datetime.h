#pragma once

#include <QDate>
#include <QDateTime>

namespace qor {

// Days since 1899-12-30; the time of day is the fraction.
using TDateTime = double;

TDateTime DateToDateTime(const QDate &date);
TDateTime QDateTimeToDateTime(const QDateTime &dateTime);
QDate DateTimeToQDate(TDateTime value);
// Local time, rounded to the millisecond.
QDateTime DateTimeToQDateTime(TDateTime value);

TDateTime Date(); // today, without time of day
TDateTime Now();

} // namespace qor
