#include "sqldatetime.h"

#include "rtl/exceptions.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>
#include <cmath>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

constexpr qint64 MsPerDay = 86'400'000;

QDate epoch()
{
    return QDate(1899, 12, 30);
}

} // namespace

qint64 dateTimeToMilliseconds(TDateTime value)
{
    if (!std::isfinite(value) || std::fabs(value) > 3e6) // far beyond year 9999
        throw EDatabaseError(u"Data e hora fora do intervalo aceito."_s);
    const double whole = std::trunc(value);
    const auto day = static_cast<qint64>(whole);
    const auto timeMs = static_cast<qint64>(std::llround(std::fabs(value - whole) * MsPerDay));
    return day * MsPerDay + timeMs; // timeMs may be a whole day: then it is the next midnight
}

TDateTime millisecondsToDateTime(qint64 milliseconds)
{
    // Floor division: the calendar day, then the time of that day.
    qint64 day = milliseconds / MsPerDay;
    qint64 timeMs = milliseconds % MsPerDay;
    if (timeMs < 0) {
        --day;
        timeMs += MsPerDay;
    }
    const double fraction = double(timeMs) / double(MsPerDay);
    return day >= 0 ? double(day) + fraction : double(day) - fraction;
}

QString dateTimeToSqlText(TDateTime value)
{
    const qint64 ms = dateTimeToMilliseconds(value);
    qint64 day = ms / MsPerDay;
    qint64 timeMs = ms % MsPerDay;
    if (timeMs < 0) {
        --day;
        timeMs += MsPerDay;
    }
    const QDate date = epoch().addDays(day);
    const QTime time = QTime::fromMSecsSinceStartOfDay(int(timeMs));
    return date.toString(u"yyyy-MM-dd"_s) + u' ' + time.toString(u"HH:mm:ss.zzz"_s);
}

namespace {

// The stored form "yyyy-MM-dd HH:mm:ss.zzz", read without a regular expression: it
// is read for every date of every row.
bool readStoredForm(const QString &text, QDate *date, QTime *time)
{
    if (text.size() != 23 || text[4] != u'-' || text[7] != u'-' || text[10] != u' '
        || text[13] != u':' || text[16] != u':' || text[19] != u'.')
        return false;
    auto number = [&](int from, int length, bool *ok) {
        int value = 0;
        for (int i = from; i < from + length; ++i) {
            const QChar c = text[i];
            if (c < u'0' || c > u'9')
                *ok = false;
            value = value * 10 + (c.unicode() - u'0');
        }
        return value;
    };
    bool ok = true;
    *date = QDate(number(0, 4, &ok), number(5, 2, &ok), number(8, 2, &ok));
    *time = QTime(number(11, 2, &ok), number(14, 2, &ok), number(17, 2, &ok), number(20, 3, &ok));
    return ok;
}

} // namespace

TDateTime sqlTextToDateTime(const QString &text)
{
    QDate storedDate;
    QTime storedTime;
    if (readStoredForm(text, &storedDate, &storedTime)) {
        if (!storedDate.isValid() || !storedTime.isValid())
            throw EDatabaseError(u"Data e hora inválida no banco de dados: \"%1\"."_s.arg(text));
        return millisecondsToDateTime(epoch().daysTo(storedDate) * MsPerDay
                                      + storedTime.msecsSinceStartOfDay());
    }

    static const QRegularExpression pattern(
        u"^(\\d{4})-(\\d{2})-(\\d{2})(?:[ T](\\d{2}):(\\d{2}):(\\d{2})(?:\\.(\\d{1,3}))?)?$"_s);
    const auto match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        throw EDatabaseError(u"Data e hora inválida no banco de dados: \"%1\"."_s.arg(text));
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(),
                     match.captured(3).toInt());
    QTime time(0, 0);
    if (match.hasCaptured(4)) {
        QString fraction = match.captured(7);
        fraction = fraction.leftJustified(3, u'0');
        time = QTime(match.captured(4).toInt(), match.captured(5).toInt(),
                     match.captured(6).toInt(), fraction.toInt());
    }
    if (!date.isValid() || !time.isValid())
        throw EDatabaseError(u"Data e hora inválida no banco de dados: \"%1\"."_s.arg(text));
    return millisecondsToDateTime(epoch().daysTo(date) * MsPerDay + time.msecsSinceStartOfDay());
}

} // namespace qor
