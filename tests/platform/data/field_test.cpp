// Field texts, conversions, type checks and the edit-state rule.
#include "datafixtures.h"
#include "rtl/exceptions.h"
#include "support/scopedtimezone.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

struct TextCase
{
    TFieldType type;
    QString displayFormat;
    QVariant value;
    QString text;
    QString displayText;
};

class FieldTexts : public ::testing::TestWithParam<TextCase>
{
};

TEST_P(FieldTexts, ForEditingAndForDisplay)
{
    const TextCase &c = GetParam();
    TClientDataSet ds;
    TField *field = ds.AddField(u"F"_s, c.type, c.type == TFieldType::String ? 10 : 0);
    field->DisplayFormat = c.displayFormat;
    ds.Open();
    ds.Append();
    field->SetValue(c.value);
    EXPECT_EQ(field->Text(), c.text);
    EXPECT_EQ(field->DisplayText(), c.displayText);
    EXPECT_EQ(field->AsString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Types, FieldTexts,
    ::testing::Values(
        TextCase{TFieldType::String, {}, u"abc"_s, u"abc"_s, u"abc"_s},
        TextCase{TFieldType::String, {}, QVariant(), {}, {}},
        TextCase{TFieldType::Float, u"#,##0.000"_s, 1234.5, u"1234,5"_s, u"1.234,500"_s},
        TextCase{TFieldType::Float, {}, 72.46, u"72,46"_s, u"72,46"_s},
        TextCase{TFieldType::Float, {}, 70, u"70"_s, u"70"_s},
        TextCase{TFieldType::Float, u"#,##0.000"_s, QVariant(), {}, {}},
        TextCase{TFieldType::DateTime, {}, 45366.0, u"15/03/2024"_s, u"15/03/2024"_s},
        TextCase{
            TFieldType::DateTime, {}, 45366.5, u"15/03/2024 12:00:00"_s, u"15/03/2024 12:00:00"_s},
        TextCase{TFieldType::DateTime, {}, QDate(2024, 3, 15), u"15/03/2024"_s, u"15/03/2024"_s}));

struct SetTextCase
{
    TFieldType type;
    QString text;
    QVariant stored; // what the field holds afterwards
    bool convertError;
    bool databaseError;
};

class FieldSetText : public ::testing::TestWithParam<SetTextCase>
{
};

TEST_P(FieldSetText, ConvertsOrRefusesKeepingTheValue)
{
    const SetTextCase &c = GetParam();
    TClientDataSet ds;
    TField *field = ds.AddField(u"F"_s, c.type, c.type == TFieldType::String ? 6 : 0);
    ds.Open();
    ds.Append();
    const QVariant before = c.type == TFieldType::String ? QVariant(u"antes"_s) : QVariant(1.0);
    field->SetValue(before);
    if (c.convertError) {
        EXPECT_THROW(field->SetText(c.text), EConvertError);
        EXPECT_EQ(field->Value(), before);
    } else if (c.databaseError) {
        EXPECT_THROW(field->SetText(c.text), EDatabaseError);
        EXPECT_EQ(field->Value(), before);
    } else {
        field->SetText(c.text);
        EXPECT_EQ(field->Value(), c.stored);
        EXPECT_EQ(field->Value().metaType(), c.stored.metaType());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FieldSetText,
    ::testing::Values(SetTextCase{TFieldType::String, u"abcdef"_s, u"abcdef"_s, false, false},
                      // Longer than the size: refused, nothing is cut.
                      SetTextCase{TFieldType::String, u"abcdefg"_s, {}, false, true},
                      SetTextCase{TFieldType::String, u""_s, QVariant(), false, false},
                      SetTextCase{TFieldType::Float, u"70,5"_s, 70.5, false, false},
                      SetTextCase{TFieldType::Float, u" 8 "_s, 8.0, false, false},
                      SetTextCase{TFieldType::Float, u""_s, QVariant(), false, false},
                      SetTextCase{TFieldType::Float, u"1.234,5"_s, {}, true, false},
                      SetTextCase{TFieldType::Float, u"abc"_s, {}, true, false},
                      SetTextCase{TFieldType::DateTime, u"15/03/2024"_s, 45366.0, false, false},
                      SetTextCase{TFieldType::DateTime, u"15/03/2024 12:00"_s, 45366.5, false,
                                  false},
                      SetTextCase{TFieldType::DateTime, u"31/02/2024"_s, {}, true, false},
                      SetTextCase{TFieldType::DateTime, u"2024-03-15"_s, {}, true, false},
                      SetTextCase{TFieldType::DateTime, u""_s, QVariant(), false, false}));

struct ValueCase
{
    const char *name;
    TFieldType type;
    QVariant value;
    QVariant stored; // invalid with refused = true
    bool refused;
};

void PrintTo(const ValueCase &c, std::ostream *os)
{
    *os << c.name;
}

class FieldValues : public ::testing::TestWithParam<ValueCase>
{
};

TEST_P(FieldValues, AreKeptInTheFieldsOwnType)
{
    const ValueCase &c = GetParam();
    TClientDataSet ds;
    TField *field = ds.AddField(u"F"_s, c.type, c.type == TFieldType::String ? 4 : 0);
    ds.Open();
    ds.Append();
    if (c.refused) {
        EXPECT_THROW(field->SetValue(c.value), EDatabaseError);
        EXPECT_TRUE(field->IsNull());
    } else {
        field->SetValue(c.value);
        EXPECT_EQ(field->Value(), c.stored);
        EXPECT_EQ(field->Value().metaType(), c.stored.metaType());
    }
}

const double NaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Values, FieldValues,
    ::testing::Values(
        ValueCase{"StringText", TFieldType::String, u"ab"_s, u"ab"_s, false},
        ValueCase{"StringNumber", TFieldType::String, 5, {}, true},
        ValueCase{"StringTooLong", TFieldType::String, u"abcde"_s, {}, true},
        ValueCase{"FloatInt", TFieldType::Float, 3, 3.0, false},
        ValueCase{"FloatLongLong", TFieldType::Float, qlonglong(7), 7.0, false},
        ValueCase{"FloatText", TFieldType::Float, u"1,5"_s, {}, true},
        ValueCase{"FloatNaN", TFieldType::Float, NaN, {}, true},
        ValueCase{
            "FloatInfinite", TFieldType::Float, std::numeric_limits<double>::infinity(), {}, true},
        ValueCase{"DateFromQDate", TFieldType::DateTime, QDate(2000, 1, 1), 36526.0, false},
        ValueCase{"DateFromQDateTime", TFieldType::DateTime,
                  QDateTime(QDate(2000, 1, 1), QTime(18, 0)), 36526.75, false},
        ValueCase{"DateFromText", TFieldType::DateTime, u"01/01/2000"_s, {}, true},
        ValueCase{"DateInvalidQDate", TFieldType::DateTime, QDate(2000, 2, 30), {}, true}));

// Sao Paulo's clocks jumped from midnight to 01:00 on 2018-11-04: Qt calls that local
// midnight invalid, yet it is the day's start, as a QDate of that day would be.
TEST(Field, LocalMidnightSkippedByDaylightSavingIsThatDay)
{
    const qor::testing::ScopedTimeZone saoPaulo("America/Sao_Paulo");
    TClientDataSet ds;
    TField *field = ds.AddField(u"F"_s, TFieldType::DateTime, 0);
    ds.Open();
    ds.Append();
    for (const QVariant &value :
         {QVariant(QDateTime(QDate(2018, 11, 4), QTime(0, 0))), QVariant(QDate(2018, 11, 4))}) {
        field->Clear();
        EXPECT_NO_THROW(field->SetValue(value)) << value.typeName();
        EXPECT_EQ(field->Value(), QVariant(DateToDateTime(QDate(2018, 11, 4)))) << value.typeName();
    }
    EXPECT_THROW(field->SetValue(QDateTime()), EDatabaseError);
}

TEST(Field, AsFloatOfANonNumericStringRaisesAConversionError)
{
    SmallTable t;
    t.load({{u"A1"_s, u"abc"_s, 1}});
    EXPECT_THROW(t.name->AsFloat(), EConvertError);
    EXPECT_EQ(t.hours->AsFloat(), 1.0);
    EXPECT_EQ(t.day->AsFloat(), 0.0); // null counts as 0
}

TEST(Field, TextHandlersReceiveTheDisplayFlagAndTheTypedText)
{
    SmallTable t;
    t.load({{u"A"_s, u"um"_s, 1.5}});
    QList<bool> flags;
    t.hours->OnGetText = [&](TField *sender, QString &text, bool displayText) {
        flags.append(displayText);
        text = u"h=%1"_s.arg(sender->AsFloat());
    };
    QStringList typed;
    t.hours->OnSetText = [&](TField *sender, const QString &text) {
        typed.append(text);
        sender->SetAsFloat(42);
    };
    EXPECT_EQ(t.hours->DisplayText(), u"h=1.5"_s);
    EXPECT_EQ(t.hours->Text(), u"h=1.5"_s);
    EXPECT_EQ(flags, (QList<bool>{true, false}));
    t.dataSet->Edit();
    t.hours->SetText(u"01:30"_s);
    EXPECT_EQ(typed, QStringList{u"01:30"_s});
    EXPECT_EQ(t.hours->AsFloat(), 42.0);
}

TEST(Field, OldValueIsWhatTheRowHadBeforeTheEditOrNothingForANewRow)
{
    SmallTable t;
    t.load({{u"A"_s, u"um"_s, 1}});
    t.dataSet->Edit();
    t.code->SetAsString(u"B"_s);
    EXPECT_EQ(t.code->OldValue(), QVariant(u"A"_s));
    EXPECT_EQ(t.code->NewValue(), QVariant(u"B"_s));
    t.dataSet->Post();
    EXPECT_EQ(t.code->OldValue(), QVariant(u"A"_s)); // not merged yet
    t.dataSet->MergeChangeLog();
    EXPECT_EQ(t.code->OldValue(), QVariant(u"B"_s));
    t.dataSet->Insert();
    t.code->SetAsString(u"C"_s);
    EXPECT_FALSE(t.code->OldValue().isValid());
    t.dataSet->Post();
    EXPECT_FALSE(t.code->OldValue().isValid());
}

} // namespace
} // namespace qor::testing
