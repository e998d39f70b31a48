#include "convert.h"

#include "exceptions.h"

#include <QByteArray>
#include <QLocale>
#include <QVarLengthArray>
#include <charconv>
#include <climits>
#include <cmath>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

// The separators come from the pt-BR locale itself, never from the default locale,
// so a workstation set up in another language still reads "70,5" as seventy and a half.
struct Separators
{
    QChar decimal;
    QChar group;
    QChar minus;
};

const Separators &separators()
{
    static const Separators s = [] {
        const QLocale ptBR(QLocale::Portuguese, QLocale::Brazil);
        return Separators{ptBR.decimalPoint().at(0), ptBR.groupSeparator().at(0),
                          ptBR.negativeSign().at(0)};
    }();
    return s;
}

// A double written with 15 significant digits: value = 0.d1d2...d15 x 10^point.
// Rounding is decided on these decimal digits, not on the binary value, so 0.0005
// and 1.0005 round up to three decimals as they read.
struct Decimal
{
    bool negative = false;
    QByteArray digits; // exactly 15
    int point = 0; // digits before the decimal point
};

Decimal toDecimal(double value)
{
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    const QByteArray text(buffer, int(result.ptr - buffer)); // [-]d.ddddddddddddddde[+-]x
    Decimal d;
    int i = 0;
    if (text.at(i) == '-') {
        d.negative = true;
        ++i;
    }
    const int e = text.indexOf('e', i);
    for (int k = i; k < e; ++k) {
        if (text.at(k) != '.')
            d.digits.append(text.at(k));
    }
    d.point = text.mid(e + 1).toInt() + 1;
    return d;
}

// The value in units of 10^-decimals, halves away from zero; no leading zeros.
QByteArray roundedUnits(const Decimal &d, int decimals)
{
    const int keep = d.point + decimals;
    if (keep < 0)
        return QByteArray("0");
    const int available = int(d.digits.size());
    QByteArray units = d.digits.left(qMin(keep, available));
    if (keep > available)
        units.append(QByteArray(keep - available, '0'));
    if (keep < available && d.digits.at(keep) >= '5') {
        int k = int(units.size()) - 1;
        while (k >= 0 && units.at(k) == '9')
            units[k--] = '0';
        if (k >= 0)
            units[k] = char(units.at(k) + 1);
        else
            units.prepend('1');
    }
    int first = 0;
    while (first < units.size() - 1 && units.at(first) == '0')
        ++first;
    units = units.mid(first);
    return units.isEmpty() ? QByteArray("0") : units;
}

struct FixedParts
{
    bool negative = false; // only when some digit is not zero: never "-0,000"
    QString integer; // at least "0"
    QString fraction; // exactly the decimals asked for
};

FixedParts toFixed(double value, int decimals)
{
    const Decimal d = toDecimal(value);
    QByteArray units = roundedUnits(d, decimals);
    FixedParts parts;
    parts.negative = d.negative && units != "0";
    if (units.size() <= decimals)
        units.prepend(QByteArray(decimals + 1 - int(units.size()), '0'));
    parts.integer = QString::fromLatin1(units.left(units.size() - decimals));
    parts.fraction = QString::fromLatin1(units.right(decimals));
    return parts;
}

QString grouped(const QString &integer)
{
    QString out;
    out.reserve(integer.size() + integer.size() / 3);
    const int n = int(integer.size());
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out.append(separators().group);
        out.append(integer.at(i));
    }
    return out;
}

QString nonFinite(double value)
{
    if (std::isnan(value))
        return u"NAN"_s;
    return value < 0 ? u"-INF"_s : u"INF"_s;
}

[[noreturn]] void notAFloat(const QString &text)
{
    throw EConvertError(u"'%1' não é um número válido."_s.arg(text));
}

[[noreturn]] void notAnInteger(const QString &text)
{
    throw EConvertError(u"'%1' não é um número inteiro válido."_s.arg(text));
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

double StrToFloat(const QString &text)
{
    const QString s = text.trimmed();
    const Separators &sep = separators();
    // Short texts (every weight and time) convert without touching the heap.
    QVarLengthArray<char, 64> ascii;
    ascii.reserve(s.size() + 1);
    int i = 0;
    const int n = int(s.size());
    if (i < n && (s.at(i) == u'+' || s.at(i) == u'-' || s.at(i) == sep.minus)) {
        if (s.at(i) != u'+')
            ascii.append('-');
        ++i;
    }
    int mantissaDigits = 0;
    for (; i < n && isDigit(s.at(i)); ++i, ++mantissaDigits)
        ascii.append(char(s.at(i).unicode()));
    if (i < n && s.at(i) == sep.decimal) {
        ascii.append('.');
        for (++i; i < n && isDigit(s.at(i)); ++i, ++mantissaDigits)
            ascii.append(char(s.at(i).unicode()));
    }
    if (mantissaDigits == 0)
        notAFloat(text);
    if (i < n && (s.at(i) == u'e' || s.at(i) == u'E')) {
        ascii.append('e');
        ++i;
        if (i < n && (s.at(i) == u'+' || s.at(i) == u'-'))
            ascii.append(char(s.at(i++).unicode()));
        int exponentDigits = 0;
        for (; i < n && isDigit(s.at(i)); ++i, ++exponentDigits)
            ascii.append(char(s.at(i).unicode()));
        if (exponentDigits == 0)
            notAFloat(text);
    }
    if (i != n) // a grouping point, a second comma, letters...
        notAFloat(text);
    double value = 0;
    const auto result = std::from_chars(ascii.constData(), ascii.constData() + ascii.size(), value);
    if (result.ec != std::errc() || !std::isfinite(value))
        notAFloat(text);
    return value;
}

int StrToInt(const QString &text)
{
    int i = 0;
    const int n = int(text.size());
    while (i < n && (text.at(i) == u' ' || text.at(i) == u'\t'))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    const int start = i;
    qint64 magnitude = 0;
    for (; i < n && isDigit(text.at(i)); ++i) {
        magnitude = magnitude * 10 + (text.at(i).unicode() - u'0');
        if (magnitude > qint64(INT_MAX) + 1)
            notAnInteger(text);
    }
    if (i == start || i != n)
        notAnInteger(text);
    const qint64 value = negative ? -magnitude : magnitude;
    if (value > INT_MAX)
        notAnInteger(text);
    return int(value);
}

QString FormatFloat(const QString &pattern, double value)
{
    if (pattern.isEmpty())
        return FloatToStr(value);
    const qsizetype dot = pattern.indexOf(u'.');
    const QString integerSection = dot < 0 ? pattern : pattern.left(dot);
    const QString fractionSection = dot < 0 ? QString() : pattern.mid(dot + 1);
    int minInteger = 0;
    bool grouping = false;
    for (QChar c : integerSection) {
        if (c == u'0')
            ++minInteger;
        else if (c == u',')
            grouping = true;
        else if (c != u'#')
            throw EConvertError(u"Formato numérico '%1' não suportado."_s.arg(pattern));
    }
    int minDecimals = 0;
    for (QChar c : fractionSection) {
        if (c == u'0')
            ++minDecimals;
        else if (c != u'#')
            throw EConvertError(u"Formato numérico '%1' não suportado."_s.arg(pattern));
    }
    const int maxDecimals = int(fractionSection.size());
    if (!std::isfinite(value))
        return nonFinite(value);

    // The sign is decided on the rounded value: -0.0004 with "0.000" is "0,000".
    FixedParts parts = toFixed(value, maxDecimals);
    while (parts.fraction.size() > minDecimals && parts.fraction.endsWith(u'0'))
        parts.fraction.chop(1);
    if (parts.integer == u"0"_s && minInteger == 0)
        parts.integer.clear();
    if (parts.integer.size() < minInteger)
        parts.integer.prepend(QString(minInteger - parts.integer.size(), u'0'));
    QString out;
    if (parts.negative)
        out.append(separators().minus);
    out.append(grouping ? grouped(parts.integer) : parts.integer);
    if (!parts.fraction.isEmpty()) {
        out.append(separators().decimal);
        out.append(parts.fraction);
    }
    return out;
}

QString FloatToStrF(double value, int decimals)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    decimals = qBound(0, decimals, 18);
    const FixedParts parts = toFixed(value, decimals);
    QString out;
    if (parts.negative)
        out.append(separators().minus);
    out.append(parts.integer);
    if (decimals > 0) {
        out.append(separators().decimal);
        out.append(parts.fraction);
    }
    return out;
}

QString FloatToStr(double value)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    if (value == 0)
        return u"0"_s;
    const Decimal d = toDecimal(value);
    QByteArray digits = d.digits;
    while (digits.size() > 1 && digits.endsWith('0'))
        digits.chop(1);
    const int exponent = d.point - 1;
    const QChar comma = separators().decimal;
    QString out;
    if (d.negative)
        out.append(separators().minus);
    if (exponent >= 15 || exponent < -5) {
        out.append(QLatin1Char(digits.at(0)));
        if (digits.size() > 1) {
            out.append(comma);
            out.append(QString::fromLatin1(digits.mid(1)));
        }
        out.append(u'E');
        out.append(QString::number(exponent));
    } else if (d.point <= 0) {
        out.append(u'0');
        out.append(comma);
        out.append(QString(-d.point, u'0'));
        out.append(QString::fromLatin1(digits));
    } else if (d.point >= digits.size()) {
        out.append(QString::fromLatin1(digits));
        out.append(QString(d.point - digits.size(), u'0'));
    } else {
        out.append(QString::fromLatin1(digits.left(d.point)));
        out.append(comma);
        out.append(QString::fromLatin1(digits.mid(d.point)));
    }
    return out;
}

} // namespace qor
