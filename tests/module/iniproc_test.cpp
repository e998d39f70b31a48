// The entry point: what the host's parameter list may hold, and that a bad list changes
// nothing and never raises across the package boundary.
#include "module/Cli_qor12700.h"

#include "forms/application.h"
#include "rtl/exceptions.h"
#include "support/scopedtimezone.h"

#include <QDate>
#include <QDateTime>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace Qt::StringLiterals;

namespace qor {
namespace {

struct BadParams
{
    const char *name;
    QVariant params;
};

class IniProcRefuses : public ::testing::TestWithParam<BadParams>
{
protected:
    void SetUp() override
    {
        stCdFilial = u"F0"_s;
        stCdPaciente = u"P0"_s;
        stNmPaciente = u"N0"_s;
        dtIdadePaci = 111;
        dtConsulta = 222;
        Application()->OnException = [this](const QString &message) {
            reported.append(message);
        };
    }
    void TearDown() override { Application()->OnException = nullptr; }
    QStringList reported;
};

QVariantList good()
{
    return {u"0001"_s, u"000000000001"_s, u"Maria"_s, 45000.0, 45100.0};
}

QVariantList with(int index, const QVariant &value)
{
    QVariantList list = good();
    list[index] = value;
    return list;
}

TEST_P(IniProcRefuses, ReportsAndLeavesTheContext)
{
    EXPECT_FALSE(IniProc(GetParam().params));
    ASSERT_EQ(reported.size(), 1);
    EXPECT_FALSE(reported.first().isEmpty());
    EXPECT_EQ(stCdFilial, u"F0"_s);
    EXPECT_EQ(stCdPaciente, u"P0"_s);
    EXPECT_EQ(stNmPaciente, u"N0"_s);
    EXPECT_EQ(dtIdadePaci, 111);
    EXPECT_EQ(dtConsulta, 222);
    EXPECT_FALSE(boIdCriado);
    EXPECT_EQ(frmPlanejaExerc, nullptr);
}

const double nan = std::numeric_limits<double>::quiet_NaN();
const double inf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    BadLists, IniProcRefuses,
    ::testing::Values(BadParams{"element3_text", with(3, u"abc"_s)},
                      BadParams{"element4_text", with(4, u"ontem"_s)},
                      BadParams{"element4_empty_text", with(4, u""_s)},
                      BadParams{"element3_null", with(3, QVariant())},
                      BadParams{"element4_list", with(4, QVariantList{1.0})},
                      BadParams{"element3_invalid_date", with(3, QDate())},
                      BadParams{"element4_nan", with(4, nan)},
                      BadParams{"element4_infinite", with(4, inf)},
                      BadParams{"element4_beyond_calendar", with(4, 1e12)},
                      BadParams{"element0_list", with(0, QVariantList{u"0001"_s})},
                      // The codes are the consultation's keys: what is saved goes under them.
                      BadParams{"element0_empty", with(0, u""_s)},
                      BadParams{"element0_null", with(0, QVariant())},
                      BadParams{"element1_blank", with(1, u"   "_s)},
                      BadParams{"element0_over_4", with(0, u"00001"_s)},
                      BadParams{"element1_over_12", with(1, u"0000000000001"_s)},
                      BadParams{"four_elements", QVariantList{u"0001"_s, u"1"_s, u"M"_s, 1.0}},
                      BadParams{"empty_list", QVariantList{}},
                      BadParams{"not_a_list", QVariant(u"0001"_s)},
                      BadParams{"nothing", QVariant()}),
    [](const ::testing::TestParamInfo<BadParams> &info) { return std::string(info.param.name); });

struct GoodParams
{
    const char *name;
    QVariantList params;
    ScreenContext expected;
};

class IniProcReads : public ::testing::TestWithParam<GoodParams>
{
};

TEST_P(IniProcReads, ConvertsEveryElement)
{
    const ScreenContext context = ReadIniProcParams(GetParam().params);
    const ScreenContext &expected = GetParam().expected;
    EXPECT_EQ(context.cdFilial, expected.cdFilial);
    EXPECT_EQ(context.cdPaciente, expected.cdPaciente);
    EXPECT_EQ(context.nmPaciente, expected.nmPaciente);
    EXPECT_DOUBLE_EQ(context.idadePaci, expected.idadePaci);
    EXPECT_DOUBLE_EQ(context.consulta, expected.consulta);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, IniProcReads,
    ::testing::Values(
        GoodParams{"day_counts", good(), {u"0001"_s, u"000000000001"_s, u"Maria"_s, 45000, 45100}},
        GoodParams{"dates",
                   {u"0001"_s, u"7"_s, u"Ana"_s, QDate(1899, 12, 31),
                    QDateTime(QDate(1900, 1, 1), QTime(12, 0))},
                   {u"0001"_s, u"7"_s, u"Ana"_s, 1, 2.5}},
        GoodParams{"numbers_as_text_and_ints",
                   {u"0001"_s, 12, QVariant(), u"45000,25"_s, 45100},
                   {u"0001"_s, u"12"_s, QString(), 45000.25, 45100}},
        GoodParams{"more_than_five",
                   {u"0002"_s, u"2"_s, u"João"_s, 1.0, 2.0, u"extra"_s},
                   {u"0002"_s, u"2"_s, u"João"_s, 1, 2}}),
    [](const ::testing::TestParamInfo<GoodParams> &info) { return std::string(info.param.name); });

struct LocalMidnightCase
{
    const char *zone;
    QDate day;
};

// A host may hand the dates as local QDateTimes at midnight. Where daylight saving time
// began at midnight (Sao Paulo until 2019) that midnight did not exist, yet it is the
// consultation's day.
TEST(IniProcDates, LocalMidnightIsThatDayInEveryZone)
{
    const LocalMidnightCase cases[] = {
        {"America/Sao_Paulo", QDate(2018, 11, 4)}, {"America/Sao_Paulo", QDate(2017, 10, 15)},
        {"America/Sao_Paulo", QDate(2018, 2, 18)}, {"America/Sao_Paulo", QDate(2018, 2, 17)},
        {"America/Manaus", QDate(2018, 11, 4)},    {"America/Noronha", QDate(2024, 2, 29)},
    };
    for (const LocalMidnightCase &c : cases) {
        SCOPED_TRACE(std::string(c.zone) + " " + c.day.toString(Qt::ISODate).toStdString());
        const qor::testing::ScopedTimeZone zone(c.zone);
        const QDateTime midnight(c.day, QTime(0, 0));
        try {
            const ScreenContext context =
                ReadIniProcParams(QVariantList{u"0001"_s, u"1"_s, u"Ana"_s, midnight, midnight});
            EXPECT_EQ(context.consulta, DateToDateTime(c.day));
            EXPECT_EQ(context.idadePaci, DateToDateTime(c.day));
        } catch (const Exception &e) {
            ADD_FAILURE() << e.Message().toStdString();
        }
    }
}

TEST(IniProcOrder, TheDatesAreReadFirst)
{
    // Element 3 is read before element 4, and both before the texts.
    try {
        ReadIniProcParams(QVariantList{QVariantList{}, u"1"_s, u"N"_s, u"x"_s, u"y"_s});
        FAIL() << "no error";
    } catch (const EConvertError &error) {
        EXPECT_TRUE(error.Message().contains(u"Parâmetro 3"_s)) << error.what();
    }
    try {
        ReadIniProcParams(QVariantList{QVariantList{}, u"1"_s, u"N"_s, 1.0, u"y"_s});
        FAIL() << "no error";
    } catch (const EConvertError &error) {
        EXPECT_TRUE(error.Message().contains(u"Parâmetro 4"_s)) << error.what();
    }
}

} // namespace
} // namespace qor
