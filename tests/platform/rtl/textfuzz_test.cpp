// Hostile text for the number and date-time readers: generated inputs from a fixed
// seed, so every run feeds the same ones. Each reader either reads the text or raises
// its own conversion error; whatever it reads writes back to a text it reads again.
#include "rtl/convert.h"
#include "rtl/datetime.h"
#include "rtl/exceptions.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>
#include <cmath>
#include <cstring>
#include <limits>

using namespace Qt::StringLiterals;

namespace qor {
namespace {

constexpr int Rounds = 20000;

// Characters a reader may meet: its own syntax, look-alikes from other scripts, blanks,
// controls, surrogates (paired and broken).
const char16_t Alphabet[] = {u'0',   u'1',   u'5',   u'9',   u',',   u'.',   u'-',   u'+',
                             u'e',   u'E',   u':',   u' ',   u'\t',  u'T',   u'Z',   u'n',
                             u'i',   u'f',   u'a',   u'\0',  u'\n',  0x00A0, 0x2212, 0xFF10,
                             0xFF19, 0x0660, 0x0669, 0x06F5, 0x0966, 0x066B, 0x202F, 0xD835,
                             0xDC9C, 0xFFFD, 0x0301, 0x00B2, 0x2070, 0x221E, 0x2009, 0xFEFF};

QString randomText(QRandomGenerator &random, int maxLength)
{
    const int length = int(random.bounded(maxLength + 1));
    QString text;
    for (int i = 0; i < length; ++i)
        text += QChar(Alphabet[random.bounded(int(std::size(Alphabet)))]);
    return text;
}

// A valid text with one character replaced, inserted or removed.
QString mutated(QRandomGenerator &random, QString text)
{
    const int at = int(random.bounded(int(text.size()) + 1));
    const QChar c(Alphabet[random.bounded(int(std::size(Alphabet)))]);
    switch (random.bounded(3)) {
    case 0:
        if (at < text.size())
            text[at] = c;
        break;
    case 1:
        text.insert(at, c);
        break;
    default:
        if (at < text.size())
            text.remove(at, 1);
    }
    return text;
}

// Any bit pattern: NaN, infinities, subnormals and huge values turn up.
double randomBits(QRandomGenerator &random)
{
    const quint64 bits = random.generate64();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

TEST(TextFuzz, NumbersAreReadOrRefusedAndWhatIsReadWritesBack)
{
    QRandomGenerator random(20261208);
    const QStringList seeds{u"70,5"_s,       u"-1,25e3"_s, u"1E-6"_s, u"0,000001"_s,
                            u"2147483647"_s, u"+12"_s,     u"99:99"_s};
    for (int round = 0; round < Rounds; ++round) {
        const QString text =
            round % 2 ? randomText(random, 12) : mutated(random, seeds.at(round % seeds.size()));
        SCOPED_TRACE(text.toStdString());
        try {
            const double value = StrToFloat(text);
            ASSERT_TRUE(std::isfinite(value));
            // What was read, written in the general form, reads as the same figure.
            EXPECT_EQ(FloatToStr(StrToFloat(FloatToStr(value))), FloatToStr(value));
        } catch (const EConvertError &) { }
        try {
            const int value = StrToInt(text);
            EXPECT_EQ(StrToInt(QString::number(value)), value);
        } catch (const EConvertError &) { }
    }
}

TEST(TextFuzz, EveryDoubleIsWrittenAndFiniteOnesReadBack)
{
    QRandomGenerator random(7);
    const QStringList patterns{u"#,##0.000"_s, u"0.00"_s, u"#,##0"_s, u"0.##"_s, u""_s};
    for (int round = 0; round < Rounds; ++round) {
        const double value = round % 3
            ? randomBits(random)
            : (random.generateDouble() - 0.5) * std::pow(10.0, round % 40 - 20);
        SCOPED_TRACE(value);
        const QString general = FloatToStr(value);
        const QString fixed = FloatToStrF(value, int(random.bounded(19)));
        const QString formatted = FormatFloat(patterns.at(round % patterns.size()), value);
        if (!std::isfinite(value))
            continue;
        // The general form keeps 15 significant digits.
        const double back = StrToFloat(general);
        EXPECT_LE(std::fabs(back - value), std::fabs(value) * 1e-14) << general.toStdString();
        // The fixed form has no grouping: it reads back within its last decimal.
        EXPECT_NO_THROW(StrToFloat(fixed)) << fixed.toStdString();
        EXPECT_FALSE(formatted.isEmpty());
    }
}

TEST(TextFuzz, DateTimeTextsAreReadOrRefusedAndWhatIsReadWritesBack)
{
    QRandomGenerator random(1899);
    const QStringList seeds{u"2024-02-29T23:59:59.999"_s, u"0001-01-01T00:00:00.000"_s,
                            u"9999-12-31T23:59:59.999"_s, u"1899-12-29T06:00:00"_s,
                            u"1899-12-30"_s};
    for (int round = 0; round < Rounds; ++round) {
        QString text = seeds.at(round % seeds.size());
        for (int m = int(random.bounded(3)); m >= 0; --m)
            text = mutated(random, text);
        SCOPED_TRACE(text.toStdString());
        TDateTime value = 0;
        if (!ReadDateTimeText(text, u'T', &value))
            continue;
        const QString written = DateTimeText(value, u'T');
        ASSERT_EQ(written.size(), 23);
        EXPECT_TRUE(written.startsWith(text)) << written.toStdString();
        TDateTime again = 0;
        ASSERT_TRUE(ReadDateTimeText(written, u'T', &again));
        EXPECT_EQ(again, value);
    }
}

TEST(TextFuzz, EveryMillisecondOfTheCalendarTravelsExactly)
{
    QRandomGenerator random(9999);
    const qint64 first = QDate(1899, 12, 30).daysTo(QDate(1, 1, 1));
    const qint64 last = QDate(1899, 12, 30).daysTo(QDate(9999, 12, 31));
    for (int round = 0; round < Rounds; ++round) {
        // Near the epoch, where the fraction turns around, as often as anywhere else.
        const qint64 day = round % 2 ? first + qint64(random.bounded(quint64(last - first + 1)))
                                     : qint64(random.bounded(5)) - 3;
        const QDate date = QDate(1899, 12, 30).addDays(day);
        const int msecs = round % 5 ? int(random.bounded(86400000)) : 86400000 - 1;
        SCOPED_TRACE(date.toString(Qt::ISODate).toStdString() + " " + std::to_string(msecs));
        const TDateTime value = EncodeDateTime(date, msecs);
        QDate gotDate;
        int gotMsecs = -1;
        ASSERT_TRUE(DecodeDateTime(value, &gotDate, &gotMsecs));
        EXPECT_EQ(gotDate, date);
        EXPECT_EQ(gotMsecs, msecs);
        TDateTime back = 0;
        ASSERT_TRUE(ReadDateTimeText(DateTimeText(value, u'T'), u'T', &back));
        EXPECT_EQ(back, value);
    }
}

TEST(TextFuzz, AnyDoubleDecodesOrIsRefusedWithoutCrashing)
{
    QRandomGenerator random(30);
    for (int round = 0; round < Rounds; ++round) {
        const double value = randomBits(random);
        QDate date;
        int msecs = -1;
        if (!DecodeDateTime(value, &date, &msecs)) {
            EXPECT_FALSE(std::isfinite(value) && std::fabs(value) < 3.0e6) << value;
            EXPECT_TRUE(DateTimeText(value, u' ').isEmpty());
            continue;
        }
        EXPECT_TRUE(date.isValid());
        EXPECT_GE(msecs, 0);
        EXPECT_LT(msecs, 86400000);
        const QString text = DateTimeText(value, u' ');
        if (text.isEmpty())
            continue;
        TDateTime back = 0;
        ASSERT_TRUE(ReadDateTimeText(text, u' ', &back)) << text.toStdString();
        EXPECT_EQ(DateTimeText(back, u' '), text);
    }
}

} // namespace
} // namespace qor
