// TDateEditPlus: the date the screen sets, its weekday and its colours.
#include "framework/dateeditplus.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Qt::StringLiterals;
using namespace qor;

namespace {

struct DateCase
{
    QDate date;
    double timeOfDay;
    const char16_t *text;
    const char16_t *weekday;
};

class DateEditPlusTest : public ::testing::TestWithParam<DateCase>
{
};

TEST_P(DateEditPlusTest, ShowsTheDateAndItsWeekday)
{
    const DateCase &c = GetParam();
    TDateEditPlus edit;
    edit.SetDate(DateToDateTime(c.date) + c.timeOfDay);
    EXPECT_EQ(edit.text(), QString::fromUtf16(c.text));
    EXPECT_EQ(edit.Date(), DateToDateTime(c.date)); // the time of day is dropped
    EXPECT_EQ(edit.WeekDayName(), QString::fromUtf16(c.weekday));
    EXPECT_EQ(edit.toolTip(), QString::fromUtf16(c.weekday));
}

INSTANTIATE_TEST_SUITE_P(DateEditPlus, DateEditPlusTest,
                         ::testing::Values(DateCase{{2024, 3, 3}, 0.0, u"03/03/2024", u"Domingo"},
                                           DateCase{{2024, 3, 4}, 0.5, u"04/03/2024", u"Segunda"},
                                           DateCase{{2024, 3, 5}, 0.99, u"05/03/2024", u"Terça"},
                                           DateCase{{2024, 2, 29}, 0.25, u"29/02/2024", u"Quinta"},
                                           DateCase{{2024, 3, 9}, 0.0, u"09/03/2024", u"Sábado"}));

TEST(DateEditPlus, WeekdayNamesAndColours)
{
    TDateEditPlus edit;
    edit.SetDate(DateToDateTime({2024, 3, 6}));
    EXPECT_EQ(edit.WeekDayName(), u"Quarta"_s);
    edit.SetWeekDays({u"dom"_s, u"seg"_s, u"ter"_s, u"qua"_s, u"qui"_s, u"sex"_s, u"sáb"_s});
    EXPECT_EQ(edit.WeekDayName(), u"qua"_s);
    edit.SetWeekDays({u"só seis"_s, u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s}); // refused
    EXPECT_EQ(edit.WeekDayName(), u"qua"_s);

    edit.SetColor(clInfoBk);
    edit.SetValidDateColor(clBlue);
    EXPECT_EQ(edit.Color(), clInfoBk);
    EXPECT_EQ(edit.palette().color(QPalette::Base), clInfoBk.toQColor());
    EXPECT_EQ(edit.palette().color(QPalette::Text), QColor(0, 0, 255));
    edit.SetEnabled(false);
    EXPECT_FALSE(edit.Enabled());
}

TEST(DateEditPlus, NoDateShowsTheMinimumInTheOrdinaryColour)
{
    TDateEditPlus edit;
    edit.SetValidDateColor(clBlue);
    edit.SetDate(std::nan(""));
    EXPECT_EQ(edit.date(), edit.minimumDate());
    EXPECT_NE(edit.palette().color(QPalette::Text), QColor(0, 0, 255));
}

} // namespace
