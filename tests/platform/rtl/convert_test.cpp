// Text and number conversions in the pt-BR locale.
#include "rtl/convert.h"
#include "rtl/exceptions.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace qor {
namespace {

struct FloatText
{
    QString text;
    double value;
};

class StrToFloatAccepts : public ::testing::TestWithParam<FloatText>
{
};

TEST_P(StrToFloatAccepts, ReadsTheNumber)
{
    EXPECT_DOUBLE_EQ(StrToFloat(GetParam().text), GetParam().value)
        << GetParam().text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Texts, StrToFloatAccepts,
                         ::testing::Values(FloatText{u"70,5"_s, 70.5}, FloatText{u" 70,5 "_s, 70.5},
                                           FloatText{u"\t72,456\n"_s, 72.456},
                                           FloatText{u"-1,25"_s, -1.25}, FloatText{u"+3"_s, 3},
                                           FloatText{u"0"_s, 0}, FloatText{u"12"_s, 12},
                                           FloatText{u",5"_s, 0.5}, FloatText{u"5,"_s, 5},
                                           FloatText{u"1,5E3"_s, 1500}, FloatText{u"2e-2"_s, 0.02},
                                           FloatText{u"0030"_s, 30}));

class StrToFloatRefuses : public ::testing::TestWithParam<QString>
{
};

TEST_P(StrToFloatRefuses, RaisesAConversionErrorQuotingTheText)
{
    const QString text = GetParam();
    try {
        StrToFloat(text);
        FAIL() << "accepted " << text.toStdString();
    } catch (const EConvertError &e) {
        EXPECT_EQ(e.Message(), u"'%1' não é um número válido."_s.arg(text));
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, StrToFloatRefuses,
                         ::testing::Values(u""_s, u"   "_s, u"1.234,5"_s, u"1.234"_s, u"1.5"_s,
                                           u"abc"_s, u"1,2,3"_s, u"1 000"_s, u"12a"_s, u"-"_s,
                                           u","_s, u"1e"_s, u"1,5E"_s, u"1e999"_s, u"- 5"_s,
                                           u"inf"_s, u"nan"_s, u"٣"_s));

TEST(StrToFloat, IgnoresTheDefaultLocale)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    double value = 0;
    bool refusedPoint = false;
    try {
        value = StrToFloat(u"70,5"_s);
        StrToFloat(u"70.5"_s);
    } catch (const EConvertError &) {
        refusedPoint = true;
    }
    QLocale::setDefault(saved);
    EXPECT_DOUBLE_EQ(value, 70.5);
    EXPECT_TRUE(refusedPoint);
}

struct IntText
{
    QString text;
    int value;
};

class StrToIntAccepts : public ::testing::TestWithParam<IntText>
{
};

TEST_P(StrToIntAccepts, ReadsTheNumber)
{
    EXPECT_EQ(StrToInt(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, StrToIntAccepts,
                         ::testing::Values(IntText{u"12"_s, 12}, IntText{u"  7"_s, 7},
                                           IntText{u"-5"_s, -5}, IntText{u"+8"_s, 8},
                                           IntText{u"007"_s, 7}, IntText{u" -03"_s, -3},
                                           IntText{u"2147483647"_s, 2147483647},
                                           IntText{u"-2147483648"_s, -2147483647 - 1}));

class StrToIntRefuses : public ::testing::TestWithParam<QString>
{
};

TEST_P(StrToIntRefuses, RaisesAConversionErrorQuotingTheText)
{
    const QString text = GetParam();
    try {
        StrToInt(text);
        FAIL() << "accepted " << text.toStdString();
    } catch (const EConvertError &e) {
        EXPECT_EQ(e.Message(), u"'%1' não é um número inteiro válido."_s.arg(text));
    }
}

// The duration field relies on these: blank parts, a trailing blank and letters are refused.
INSTANTIATE_TEST_SUITE_P(Texts, StrToIntRefuses,
                         ::testing::Values(u""_s, u"  "_s, u"12 "_s, u"1a"_s, u"a1"_s, u"+"_s,
                                           u"- 5"_s, u"1,0"_s, u"2147483648"_s, u"-2147483649"_s,
                                           u"99999999999999999999"_s));

struct Formatted
{
    QString pattern;
    double value;
    QString text;
};

class FormatFloatWrites : public ::testing::TestWithParam<Formatted>
{
};

TEST_P(FormatFloatWrites, TheExpectedText)
{
    const Formatted &c = GetParam();
    EXPECT_EQ(FormatFloat(c.pattern, c.value), c.text) << c.pattern.toStdString() << " " << c.value;
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, FormatFloatWrites,
    ::testing::Values(
        Formatted{u"#,##0.000"_s, 1234.5, u"1.234,500"_s},
        Formatted{u"#,##0.000"_s, -1234.5, u"-1.234,500"_s},
        Formatted{u"#,##0.000"_s, 0, u"0,000"_s}, Formatted{u"#,##0.000"_s, -0.0004, u"0,000"_s},
        Formatted{u"#,##0.000"_s, -0.0, u"0,000"_s}, Formatted{u"#,##0.000"_s, 0.0005, u"0,001"_s},
        Formatted{u"#,##0.000"_s, 1.0005, u"1,001"_s},
        Formatted{u"#,##0.000"_s, -1.0005, u"-1,001"_s},
        Formatted{u"#,##0.000"_s, 999.9995, u"1.000,000"_s},
        Formatted{u"#,##0.000"_s, 846, u"846,000"_s},
        Formatted{u"#,##0.000"_s, 70.5 * 8 * 1.5 / 7, u"120,857"_s},
        Formatted{u"#,##0.000"_s, 0.3334, u"0,333"_s},
        Formatted{u"#,##0.000"_s, 1234567.8915, u"1.234.567,892"_s},
        Formatted{u"#,##0.000"_s, 1e15, u"1.000.000.000.000.000,000"_s},
        Formatted{u"#,##0.000"_s, 123456, u"123.456,000"_s}, Formatted{u"0.00"_s, 2.675, u"2,68"_s},
        Formatted{u"0.00"_s, -2.675, u"-2,68"_s}, Formatted{u"0.00"_s, 1234.5, u"1234,50"_s},
        Formatted{u"#,##0"_s, 1234.5, u"1.235"_s}, Formatted{u"#,##0"_s, 999.5, u"1.000"_s},
        Formatted{u"#,##0"_s, -0.4, u"0"_s}, Formatted{u"0.##"_s, 1.5, u"1,5"_s},
        Formatted{u"0.##"_s, 2, u"2"_s}, Formatted{u"0.##"_s, -0.001, u"0"_s},
        Formatted{u"000"_s, 7, u"007"_s}, Formatted{u""_s, 72.46, u"72,46"_s}));

TEST(FormatFloat, RefusesPatternsItDoesNotKnow)
{
    for (const QString &pattern : {u"0.00 kg"_s, u"#,##0;(#,##0)"_s, u"0.0E+00"_s, u"0.0,0"_s})
        EXPECT_THROW(FormatFloat(pattern, 1.5), EConvertError) << pattern.toStdString();
}

TEST(FormatFloat, WritesNonFiniteValuesWithoutCrashing)
{
    EXPECT_EQ(FormatFloat(u"#,##0.000"_s, std::numeric_limits<double>::quiet_NaN()), u"NAN"_s);
    EXPECT_EQ(FormatFloat(u"#,##0.000"_s, -std::numeric_limits<double>::infinity()), u"-INF"_s);
}

struct Fixed
{
    double value;
    int decimals;
    QString text;
};

class FloatToStrFWrites : public ::testing::TestWithParam<Fixed>
{
};

TEST_P(FloatToStrFWrites, HalvesAwayFromZeroWithoutGrouping)
{
    EXPECT_EQ(FloatToStrF(GetParam().value, GetParam().decimals), GetParam().text)
        << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Values, FloatToStrFWrites,
    ::testing::Values(Fixed{0.5, 0, u"1"_s}, Fixed{1.5, 0, u"2"_s}, Fixed{2.5, 0, u"3"_s},
                      Fixed{-0.5, 0, u"-1"_s}, Fixed{-0.4, 0, u"0"_s}, Fixed{59.5, 0, u"60"_s},
                      Fixed{59.49, 0, u"59"_s}, Fixed{(10.16666667 - 10) * 60, 0, u"10"_s},
                      Fixed{12.345, 2, u"12,35"_s}, Fixed{1234.5, 1, u"1234,5"_s},
                      Fixed{-0.004, 2, u"0,00"_s}, Fixed{7, 3, u"7,000"_s},
                      Fixed{1e20, 0, u"100000000000000000000"_s}));

struct General
{
    double value;
    QString text;
};

class FloatToStrWrites : public ::testing::TestWithParam<General>
{
};

TEST_P(FloatToStrWrites, FifteenSignificantDigits)
{
    EXPECT_EQ(FloatToStr(GetParam().value), GetParam().text) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Values, FloatToStrWrites,
    ::testing::Values(General{72.46, u"72,46"_s}, General{70, u"70"_s},
                      General{0.1 + 0.2, u"0,3"_s}, General{-3.5, u"-3,5"_s}, General{0, u"0"_s},
                      General{-0.0, u"0"_s}, General{10.16666667, u"10,16666667"_s},
                      General{1.0 / 3, u"0,333333333333333"_s},
                      General{123456789012345, u"123456789012345"_s}, General{1e15, u"1E15"_s},
                      General{1.5e20, u"1,5E20"_s}, General{0.00001, u"0,00001"_s},
                      General{0.000001, u"1E-6"_s}, General{-1.5e-7, u"-1,5E-7"_s},
                      General{1234.5, u"1234,5"_s}));

} // namespace
} // namespace qor
