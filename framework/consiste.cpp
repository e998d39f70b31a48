#include "consiste.h"

#include "forms/dbgrid.h"
#include "forms/dialogs.h"
#include "rtl/exceptions.h"

#include <QJsonValue>

#include <charconv>
#include <cmath>
#include <cstring>

using namespace Qt::StringLiterals;

namespace qor {

QJsonValue CheckResultServ(const QJsonObject &raw, bool /*raiseOnError*/, int /*number*/)
{
    const QJsonValue ok = raw.value("ok"_L1);
    if (!ok.isBool())
        throw Exception(u"O servidor de aplicação enviou uma resposta inválida."_s);
    if (ok.toBool())
        return raw.value("data"_L1).isUndefined() ? QJsonValue() : raw.value("data"_L1);
    const QString message =
        raw.value("error"_L1).toObject().value("message"_L1).toString().trimmed();
    if (message.isEmpty())
        throw Exception(u"O servidor de aplicação recusou a operação sem informar o motivo."_s);
    throw Exception(message);
}

void MensErro(const QString &text, bool abort)
{
    Dialogs()->Error(text);
    if (abort)
        Abort();
}

void MensInfo(const QString &text)
{
    Dialogs()->Information(text);
}

bool EmptyString(const QString &text)
{
    return text.trimmed().isEmpty();
}

QString AllTrim(const QString &text)
{
    return text.trimmed();
}

QString PadL(const QString &text, int n)
{
    if (text.size() >= n)
        return text;
    return QString(n - text.size(), u'0') + text;
}

QString Ajusta(const QString &text, int n)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {};
    return PadL(trimmed, n);
}

double RoundDec(double value, int decimals)
{
    if (!std::isfinite(value) || value == 0.0)
        return value;
    // Round the 15 significant digits a double holds faithfully, as decimal text: the
    // binary noise beyond them (72.455 is stored as 72.45499...) must not decide a half.
    // QByteArray's conversions ignore the C locale, which may use a decimal comma.
    const QByteArray text = QByteArray::number(std::fabs(value), 'e', 14); // d.ddd...e+XX
    const qsizetype ePos = text.indexOf('e');
    const int exponent = text.mid(ePos + 1).toInt();
    const QByteArray digits = text.left(1) + text.mid(2, ePos - 2); // 15 digits

    const int keep = exponent + 1 + decimals; // significant digits left of the cut
    double result = 0.0;
    if (keep >= digits.size()) {
        result = text.toDouble();
    } else if (keep >= 0) {
        qint64 kept = keep > 0 ? digits.left(keep).toLongLong() : 0;
        if (digits.at(keep) >= '5')
            ++kept;
        // kept * 10^-decimals, converted once so the result is the nearest double.
        result = (QByteArray::number(kept) + 'e' + QByteArray::number(-decimals)).toDouble();
    }
    return result == 0.0 ? 0.0 : std::copysign(result, value);
}

int IndiceCol(const TDBGrid *grid, const QString &fieldName)
{
    if (!grid)
        return -1;
    const TDBGridColumns *columns = grid->Columns();
    for (int i = 0; i < columns->Count(); ++i) {
        if (columns->Items(i)->FieldName() == fieldName)
            return i;
    }
    return -1;
}

void Idade(TDateTime today, TDateTime birth, int &years, int &months)
{
    years = 0;
    months = 0;
    const QDate to = DateTimeToQDate(today);
    const QDate from = DateTimeToQDate(birth);
    if (!to.isValid() || !from.isValid() || from > to)
        return;
    // The k-th monthly anniversary is birth plus k months; QDate::addMonths lands on the
    // month's last day when the month is shorter (Jan 31 -> Feb 28, Feb 29 -> Feb 28).
    int total = (to.year() - from.year()) * 12 + (to.month() - from.month());
    if (from.addMonths(total) > to)
        --total;
    years = total / 12;
    months = total % 12;
}

} // namespace qor
