#pragma once

#include <QDate>
#include <QDateTime>
#include <QTime>

namespace qor {

// Days since 1899-12-30; the time of day is the fraction. Before that day the
// integer part counts backwards while the fraction still adds time (-1.25 is
// 1899-12-29 06:00), as the classic encoding does.
using TDateTime = double;

// Raise EConvertError for an invalid date or date-time. A local date-time is taken as
// its date and time of day, also one that a daylight-saving change skips.
TDateTime DateToDateTime(const QDate &date);
TDateTime QDateTimeToDateTime(const QDateTime &dateTime);
// An invalid QDate for values that are not finite or lie beyond any calendar.
QDate DateTimeToQDate(TDateTime value);
// Local time, rounded to the millisecond.
QDateTime DateTimeToQDateTime(TDateTime value);

// Date and time of day without any time zone: what a TDateTime holds. Decoding
// rounds to the millisecond and gives false for values beyond any calendar.
TDateTime EncodeDateTime(const QDate &date, int msecsOfDay);
bool DecodeDateTime(TDateTime value, QDate *date, int *msecsOfDay);

// "yyyy-MM-dd", the separator, then "HH:mm:ss.zzz": 23 characters, local time, written
// by hand (a plan reply writes one per row). Empty for a value outside the years 1 to
// 9999, which no four-digit year can hold.
QString DateTimeText(TDateTime value, QChar separator);
// Reads "yyyy-MM-dd", or that followed by the separator and "HH:mm:ss" or
// "HH:mm:ss.zzz". False for anything else, an impossible date or time included.
bool ReadDateTimeText(QStringView text, QChar separator, TDateTime *value);

TDateTime Date(); // today, without time of day
TDateTime Now();

} // namespace qor
