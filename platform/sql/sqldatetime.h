#pragma once

#include "rtl/datetime.h"

#include <QString>

namespace qor {

// Date-times are stored to the millisecond, so a value that travelled as a TDateTime
// (a double) finds its rows again exactly. They round as DecodeDateTime does.

// Milliseconds since 1899-12-30 00:00 (-1.25, 1899-12-29 06:00, is -64,800,000).
// Raises EDatabaseError outside the years 1 to 9999, as storing does.
qint64 dateTimeToMilliseconds(TDateTime value);

// The stored form: "yyyy-MM-dd HH:mm:ss.zzz", calendar arithmetic only, no time zone
// (a local midnight that a daylight-saving change skips still stores as midnight).
QString dateTimeToSqlText(TDateTime value);
// Accepts the stored form and, for data typed by hand, "yyyy-MM-dd" and
// "yyyy-MM-dd HH:mm:ss" (also with a "T"). Raises EDatabaseError otherwise.
TDateTime sqlTextToDateTime(const QString &text);

} // namespace qor
