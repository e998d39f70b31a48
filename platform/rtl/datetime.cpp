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
    if (msecs >= MSecsPerDay) {
        // Rounding reached midnight: the next calendar day, before the epoch too, where
        // the fraction still counts forward from the start of the day.
        msecs -= MSecsPerDay;
        ++days;
    }
    if (date)
        *date = epoch().addDays(days);
    if (msecsOfDay)
        *msecsOfDay = int(msecs);
    return true;
}

QString DateTimeText(TDateTime value, QChar separator)
{
    QDate date;
    int msecs = 0;
    if (!DecodeDateTime(value, &date, &msecs) || date.year() < 1 || date.year() > 9999)
        return {};
    // Not QDate::toString: its format parsing cost more than the rest of a reply's cell.
    char16_t text[23];
    auto put = [&text](int at, int number, int width) {
        for (int i = at + width - 1; i >= at; --i, number /= 10)
            text[i] = char16_t(u'0' + number % 10);
    };
    put(0, date.year(), 4);
    text[4] = u'-';
    put(5, date.month(), 2);
    text[7] = u'-';
    put(8, date.day(), 2);
    text[10] = separator.unicode();
    put(11, msecs / 3600000, 2);
    text[13] = u':';
    put(14, msecs / 60000 % 60, 2);
    text[16] = u':';
    put(17, msecs / 1000 % 60, 2);
    text[19] = u'.';
    put(20, msecs % 1000, 3);
    return QString(reinterpret_cast<const QChar *>(text), 23);
}

namespace {

// -1 unless every character is a digit.
int digitsAt(QStringView text, int from, int count)
{
    int number = 0;
    for (int i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        number = number * 10 + (c - u'0');
    }
    return number;
}

} // namespace

bool ReadDateTimeText(QStringView text, QChar separator, TDateTime *value)
{
    const qsizetype n = text.size();
    if (n != 10 && n != 19 && n != 23)
        return false;
    if (text[4] != u'-' || text[7] != u'-')
        return false;
    const int year = digitsAt(text, 0, 4);
    const int month = digitsAt(text, 5, 2);
    const int day = digitsAt(text, 8, 2);
    int hour = 0, minute = 0, second = 0, msec = 0;
    if (n > 10) {
        if (text[10] != separator || text[13] != u':' || text[16] != u':')
            return false;
        hour = digitsAt(text, 11, 2);
        minute = digitsAt(text, 14, 2);
        second = digitsAt(text, 17, 2);
        if (n == 23) {
            if (text[19] != u'.')
                return false;
            msec = digitsAt(text, 20, 3);
        }
    }
    if (year < 1 || month < 0 || day < 0 || hour < 0 || hour > 23 || minute < 0 || minute > 59
        || second < 0 || second > 59 || msec < 0)
        return false;
    const QDate date(year, month, day);
    if (!date.isValid())
        return false;
    *value = EncodeDateTime(date, ((hour * 60 + minute) * 60 + second) * 1000 + msec);
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
    // A local date-time is read as the clock shows it. One that a daylight-saving change
    // skips (a Brazilian midnight until 2019) is invalid to Qt, which still keeps its
    // date and time: it is that calendar moment all the same.
    if (dateTime.timeSpec() == Qt::LocalTime && dateTime.date().isValid()
        && dateTime.time().isValid())
        return EncodeDateTime(dateTime.date(), dateTime.time().msecsSinceStartOfDay());
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
