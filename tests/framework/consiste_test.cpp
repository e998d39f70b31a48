// Consiste routines: text helpers, rounding, age and the plan-service result check.
#include "framework/consiste.h"

#include "data/clientdataset.h"
#include "data/datasource.h"
#include "forms/dbgrid.h"
#include "forms/scripteddialogs.h"
#include "rtl/exceptions.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

using namespace Qt::StringLiterals;
using namespace qor;

namespace {

struct PadCase
{
    const char16_t *text;
    int size;
    const char16_t *ajusta;
    const char16_t *padl;
};

class PadTest : public ::testing::TestWithParam<PadCase>
{
};

TEST_P(PadTest, BringsTextToSize)
{
    const PadCase &c = GetParam();
    EXPECT_EQ(Ajusta(QString::fromUtf16(c.text), c.size), QString::fromUtf16(c.ajusta));
    EXPECT_EQ(PadL(QString::fromUtf16(c.text), c.size), QString::fromUtf16(c.padl));
}

INSTANTIATE_TEST_SUITE_P(
    Consiste, PadTest,
    ::testing::Values(PadCase{u"1", 6, u"000001", u"000001"},
                      PadCase{u"2030", 6, u"002030", u"002030"},
                      PadCase{u"123456", 6, u"123456", u"123456"},
                      // Blanks around a typed code are not part of it.
                      PadCase{u" 12 ", 6, u"000012", u"00 12 "},
                      // No code stays no code, so the post still says it is missing.
                      PadCase{u"", 6, u"", u"000000"}, PadCase{u"   ", 6, u"", u"000   "},
                      // Too long: never cut into another code.
                      PadCase{u"1234567", 6, u"1234567", u"1234567"},
                      PadCase{u"AB", 4, u"00AB", u"00AB"}, PadCase{u"7", 0, u"7", u"7"}));

struct BlankCase
{
    const char16_t *text;
    bool empty;
    const char16_t *trimmed;
};

class BlankTest : public ::testing::TestWithParam<BlankCase>
{
};

TEST_P(BlankTest, EmptyStringAndAllTrim)
{
    const BlankCase &c = GetParam();
    EXPECT_EQ(EmptyString(QString::fromUtf16(c.text)), c.empty);
    EXPECT_EQ(AllTrim(QString::fromUtf16(c.text)), QString::fromUtf16(c.trimmed));
}

INSTANTIATE_TEST_SUITE_P(
    Consiste, BlankTest,
    ::testing::Values(BlankCase{u"", true, u""}, BlankCase{u"    ", true, u""},
                      BlankCase{u"\t \t", true, u""}, BlankCase{u"72,5", false, u"72,5"},
                      BlankCase{u"  0 ", false, u"0"},
                      BlankCase{u" Maria  da Silva ", false, u"Maria  da Silva"}));

TEST(Consiste, NullFieldTextCountsAsEmpty)
{
    TClientDataSet data;
    data.AddField(u"DSINFOAVAL"_s, TFieldType::String, 30);
    data.AddField(u"QTPESO"_s, TFieldType::Float);
    data.Open();
    data.Append();
    EXPECT_TRUE(data.FieldByName(u"DSINFOAVAL"_s)->IsNull());
    EXPECT_TRUE(EmptyString(data.FieldByName(u"DSINFOAVAL"_s)->AsString()));
    EXPECT_TRUE(EmptyString(data.FieldByName(u"QTPESO"_s)->AsString()));
}

struct RoundCase
{
    double value;
    int decimals;
    double expected;
};

class RoundDecTest : public ::testing::TestWithParam<RoundCase>
{
};

TEST_P(RoundDecTest, RoundsHalvesAwayFromZero)
{
    const RoundCase &c = GetParam();
    // Exact equality: the result must be the double nearest the decimal answer.
    EXPECT_EQ(RoundDec(c.value, c.decimals), c.expected)
        << c.value << " to " << c.decimals << " decimals";
}

INSTANTIATE_TEST_SUITE_P(
    Consiste, RoundDecTest,
    ::testing::Values(
        // Stored just below the half: the decimal value decides, not the binary noise.
        RoundCase{72.455, 2, 72.46}, RoundCase{1.005, 2, 1.01}, RoundCase{2.675, 2, 2.68},
        RoundCase{1.115, 2, 1.12}, RoundCase{0.285, 2, 0.29},
        RoundCase{10.0 + 1.0 / 6.0, 8, 10.16666667}, RoundCase{61.0 / 6.0, 8, 10.16666667},
        RoundCase{72.456, 2, 72.46}, RoundCase{72.454, 2, 72.45}, RoundCase{70.0, 2, 70.0},
        RoundCase{-72.455, 2, -72.46}, RoundCase{-0.5, 0, -1.0}, RoundCase{0.5, 0, 1.0},
        RoundCase{2.5, 0, 3.0}, RoundCase{0.004, 2, 0.0}, RoundCase{-0.004, 2, 0.0},
        RoundCase{1234567.125, 2, 1234567.13}, RoundCase{0.0, 2, 0.0}, RoundCase{1e-20, 2, 0.0},
        RoundCase{125.0, -1, 130.0}, RoundCase{0.1 + 0.2, 15, 0.3},
        RoundCase{123.456, 20, 123.456}));

TEST(Consiste, RoundDecLeavesNoNegativeZeroAndPassesNonFinite)
{
    EXPECT_FALSE(std::signbit(RoundDec(-0.001, 2)));
    EXPECT_TRUE(std::isnan(RoundDec(std::nan(""), 2)));
    EXPECT_EQ(RoundDec(INFINITY, 2), INFINITY);
}

struct AgeCase
{
    QDate today;
    QDate birth;
    int years;
    int months;
};

class IdadeTest : public ::testing::TestWithParam<AgeCase>
{
};

TEST_P(IdadeTest, WholeYearsAndRemainingMonths)
{
    const AgeCase &c = GetParam();
    int years = -1;
    int months = -1;
    Idade(DateToDateTime(c.today) + 0.75, DateToDateTime(c.birth), years, months);
    EXPECT_EQ(years, c.years) << c.birth.toString(Qt::ISODate).toStdString() << " -> "
                              << c.today.toString(Qt::ISODate).toStdString();
    EXPECT_EQ(months, c.months);
}

INSTANTIATE_TEST_SUITE_P(
    Consiste, IdadeTest,
    ::testing::Values(
        AgeCase{{2024, 3, 14}, {1985, 3, 14}, 39, 0}, AgeCase{{2024, 3, 13}, {1985, 3, 14}, 38, 11},
        AgeCase{{2024, 5, 1}, {2024, 1, 1}, 0, 4}, AgeCase{{2024, 5, 31}, {2024, 1, 1}, 0, 4},
        AgeCase{{2024, 1, 1}, {2024, 1, 1}, 0, 0}, AgeCase{{2025, 3, 1}, {2024, 1, 20}, 1, 1},
        // Month ends: a shorter month completes on its last day.
        AgeCase{{2023, 2, 28}, {2023, 1, 31}, 0, 1}, AgeCase{{2023, 2, 27}, {2023, 1, 31}, 0, 0},
        AgeCase{{2023, 4, 30}, {2023, 3, 31}, 0, 1},
        // Born on Feb 29: a common year's birthday is Feb 28.
        AgeCase{{2023, 2, 28}, {2020, 2, 29}, 3, 0}, AgeCase{{2023, 2, 27}, {2020, 2, 29}, 2, 11},
        AgeCase{{2024, 2, 28}, {2020, 2, 29}, 3, 11}, AgeCase{{2024, 2, 29}, {2020, 2, 29}, 4, 0},
        // Birth after today (a typing slip) gives no negative age.
        AgeCase{{2020, 1, 1}, {2021, 1, 1}, 0, 0}));

TEST(Consiste, IdadeWithoutBirthDateGivesZero)
{
    int years = -1;
    int months = -1;
    Idade(DateToDateTime({2024, 1, 1}), std::nan(""), years, months);
    EXPECT_EQ(years, 0);
    EXPECT_EQ(months, 0);
}

struct ResultCase
{
    const char *name;
    const char *json;
    const char *payload; // expected data, as compact JSON; null when it must raise
    const char16_t *message; // expected message when it raises
};

class CheckResultServTest : public ::testing::TestWithParam<ResultCase>
{
};

TEST_P(CheckResultServTest, ReturnsPayloadOrRaises)
{
    const ResultCase &c = GetParam();
    const QJsonObject raw = QJsonDocument::fromJson(c.json).object();
    if (c.payload) {
        const QJsonValue data = CheckResultServ(raw, true, 0);
        EXPECT_EQ(QJsonDocument(QJsonArray{data}).toJson(QJsonDocument::Compact),
                  QByteArray("[") + c.payload + "]");
        return;
    }
    try {
        CheckResultServ(raw, true, 0);
        FAIL() << "no exception for " << c.name;
    } catch (const EAbort &) {
        FAIL() << "a failed result must not be silent";
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message(), QString::fromUtf16(c.message));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Consiste, CheckResultServTest,
    ::testing::Values(
        ResultCase{"packet", R"({"ok":true,"data":{"fields":[],"rows":[]}})",
                   R"({"fields":[],"rows":[]})", nullptr},
        ResultCase{"null data", R"({"ok":true,"data":null})", "null", nullptr},
        ResultCase{"no data", R"({"ok":true})", "null", nullptr},
        ResultCase{"server message",
                   R"({"ok":false,"error":{"code":-32011,"message":"Exercício já cadastrado."}})",
                   nullptr, u"Exercício já cadastrado."},
        ResultCase{"error without message", R"({"ok":false,"error":{"code":-32603}})", nullptr,
                   u"O servidor de aplicação recusou a operação sem informar o motivo."},
        ResultCase{"ok missing", R"({"data":{}})", nullptr,
                   u"O servidor de aplicação enviou uma resposta inválida."},
        ResultCase{"ok not a boolean", R"({"ok":"true","data":{}})", nullptr,
                   u"O servidor de aplicação enviou uma resposta inválida."},
        ResultCase{"empty object", R"({})", nullptr,
                   u"O servidor de aplicação enviou uma resposta inválida."}),
    [](const auto &info) {
        std::string name = info.param.name;
        for (char &ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

TEST(Consiste, MensErroAbortsOnlyWhenAskedAndMensInfoNever)
{
    ScopedScriptedDialogs dialogs;
    EXPECT_THROW(MensErro(u"Código deve ser informado."_s, true), EAbort);
    EXPECT_NO_THROW(MensErro(u"Peso deve ser informado."_s, false));
    // Information for the screens goes through the same interface, and abandons nothing.
    EXPECT_NO_THROW(MensInfo(u"O exercício escolhido não foi colocado."_s));
    const QList<TDialogMessage> expected{
        {mtError, u"Código deve ser informado."_s, mbOK},
        {mtError, u"Peso deve ser informado."_s, mbOK},
        {mtInformation, u"O exercício escolhido não foi colocado."_s, mbOK},
    };
    EXPECT_EQ(dialogs->Messages(), expected);
}

TEST(Consiste, IndiceColFindsTheColumnBoundToAField)
{
    TClientDataSet data;
    data.AddField(u"CDEXERFISICO"_s, TFieldType::String, 6);
    data.AddField(u"DSEXERFISICO"_s, TFieldType::String, 100);
    data.AddField(u"QTHREXERFISI"_s, TFieldType::Float);
    TDataSource source;
    source.SetDataSet(&data);
    TDBGrid grid;
    grid.SetDataSource(&source);
    grid.Columns()->Add(u"DSEXERFISICO"_s);
    grid.Columns()->Add(u"QTHREXERFISI"_s);
    grid.Columns()->Add(u"CDEXERFISICO"_s);

    EXPECT_EQ(IndiceCol(&grid, u"CDEXERFISICO"_s), 2);
    EXPECT_EQ(IndiceCol(&grid, u"DSEXERFISICO"_s), 0);
    EXPECT_EQ(IndiceCol(&grid, u"cdexerfisico"_s), -1); // exact names only
    EXPECT_EQ(IndiceCol(&grid, u"QTENERCONSPL"_s), -1);
    EXPECT_EQ(IndiceCol(nullptr, u"CDEXERFISICO"_s), -1);
}

} // namespace
