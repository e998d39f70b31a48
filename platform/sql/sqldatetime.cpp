#include "sqldatetime.h"

#include "rtl/exceptions.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>

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
    QDate date;
    int msecs = 0;
    if (!DecodeDateTime(value, &date, &msecs) || date.year() < 1 || date.year() > 9999)
        throw EDatabaseError(u"Data e hora fora do intervalo aceito."_s);
    return epoch().daysTo(date) * MsPerDay + msecs;
}

QString dateTimeToSqlText(TDateTime value)
{
    QString text = DateTimeText(value, u' ');
    if (text.isEmpty())
        throw EDatabaseError(u"Data e hora fora do intervalo aceito."_s);
    return text;
}

TDateTime sqlTextToDateTime(const QString &text)
{
    // The stored form, read by hand: it is read for every date of every row.
    TDateTime stored = 0;
    if (ReadDateTimeText(text, u' ', &stored))
        return stored;

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
    return EncodeDateTime(date, time.msecsSinceStartOfDay());
}

} // namespace qor
