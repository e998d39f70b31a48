// The time field: stored as decimal hours, shown and typed as HH:MM through the mask
// "00:00"; the conversions both ways, the validation and its message, and times typed
// into the real grid and read back from the server's database.
#include "entry_fixture.h"

#include "data/clientdataset.h"
#include "forms/dbgrid.h"
#include "forms/scripteddialogs.h"
#include "framework/messages.h"
#include "module/Cli_qor12700.h"
#include "rtl/exceptions.h"

#include <QLineEdit>
#include <gtest/gtest.h>

#include <cmath>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

// The conversions need no server: a screen that is never shown.
class DurationConversions : public ::testing::Test
{
protected:
    ScopedScriptedDialogs dialogs;
    TfrmPlanejaExerc form;
};

TEST_F(DurationConversions, StoredHoursAreShownAsHoursAndMinutes)
{
    struct Case
    {
        double stored;
        const char *shown;
    };
    const Case cases[] = {
        {0.0, "00:00"},
        {1.5, "01:30"},
        {12.5, "12:30"},
        {10.16666667, "10:10"}, // 10.0000002 minutes
        {23.98333333, "23:59"},
        {30.25, "30:15"}, // not a time the screen writes, shown all the same
        {0.00833333, "00:00"}, // 0.4999998 minutes
        {0.00833334, "00:01"}, // 0.5000004 minutes: halves go up
        // Minutes that round to a whole hour carry into the hours.
        {2.999, "03:00"},
        {0.9999, "01:00"},
        {9.9999, "10:00"},
        {23.9999, "24:00"},
        {2.99166667, "03:00"}, // 59.5 minutes
        {2.99166666, "02:59"}, // just under 59.5 minutes
        {123.5, "123:30"}, // more than two characters of hours are kept whole
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(form.RealToStTime(c.stored), QString::fromUtf8(c.shown));
    }
}

TEST_F(DurationConversions, TypedTimesBecomeDecimalHoursOfEightPlaces)
{
    struct Case
    {
        QString text;
        double hours;
    };
    const Case cases[] = {
        {u"12:30"_s, 12.5},
        {u"10:10"_s, 10.16666667},
        {u"23:59"_s, 23.98333333},
        {u"00:00"_s, 0.0},
        {u"00:01"_s, 0.01666667},
        {u" 1: 5"_s, 1.08333333}, // blanks trimmed, then zero-filled
        {u"  :  "_s, 0.0}, // empty parts count as zero
        {u"7"_s, 7.0}, // no minutes at all
        {u"02-45"_s, 2.75}, // the separator is never looked at
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const long double hours = form.StTimeToReal(c.text);
        EXPECT_EQ(double(hours), c.hours);
        // Shown again as typed (blanks aside).
        if (c.text.size() == 5 && !c.text.contains(u' ')) {
            EXPECT_EQ(form.RealToStTime(double(hours)).mid(3), c.text.mid(3));
        }
    }
    EXPECT_TRUE(dialogs->Messages().isEmpty());

    // Parts that are not numbers: the conversion's own message, and the operation ends.
    for (const QString &text : {u"ab:00"_s, u"12:3x"_s}) {
        SCOPED_TRACE(text.toStdString());
        dialogs->Clear();
        EXPECT_THROW(form.StTimeToReal(text), EAbort);
        EXPECT_EQ(dialogs->Texts(mtError), QStringList{form.msgPadrao->Msg(u"VAL_INV"_s)});
    }
}

TEST_F(DurationConversions, InvalidTimesAreRefusedQuotingTheTextAsReceived)
{
    struct Case
    {
        QString text;
        bool valid;
    };
    const Case cases[] = {
        {u"00:00"_s, true},  {u"23:59"_s, true},
        {u"12:30"_s, true},  {u" 9: 5"_s, true}, // leading blanks are part of an integer
        {u"24:00"_s, false}, {u"23:60"_s, false},
        {u"99:99"_s, false}, {u"12:  "_s, false}, // minutes left blank in the mask
        {u"  :30"_s, false}, {u"12:5 "_s, false}, // a trailing blank
        {u"1a:00"_s, false}, {u"12:3x"_s, false},
        {QString(), false},  {u"12"_s, false}, // no minute part at all
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        dialogs->Clear();
        if (c.valid) {
            EXPECT_NO_THROW(form.Vd_Hora(c.text));
            EXPECT_TRUE(dialogs->Messages().isEmpty());
        } else {
            EXPECT_THROW(form.Vd_Hora(c.text), EAbort);
            EXPECT_EQ(dialogs->Texts(mtError),
                      QStringList{u"'"_s + c.text + u"' não é uma hora válida"_s});
        }
    }
}

class DurationInGrid : public PlanScreenTest
{
};

TEST_P(DurationInGrid, TypedTimesAreStoredAsDecimalHoursAndShownBack)
{
    struct Case
    {
        QString typed;
        double stored;
        QString shown;
        QString daily; // 68,5 kg x the row's energy cost x the hours / 7
    };
    // The demo row of 017190: 3,5 kcal/kg/h.
    const Case cases[] = {
        {u"1010"_s, 10.16666667, u"10:10"_s, u"348,208"_s},
        {u"1230"_s, 12.5, u"12:30"_s, u"428,125"_s},
        {u"2359"_s, 23.98333333, u"23:59"_s, u"821,429"_s},
        {u"0000"_s, 0.0, u"00:00"_s, QString()}, // no figure for no time
    };
    ASSERT_NE(open(), nullptr);
    ASSERT_TRUE(form->cdsPlaneja->Locate(u"CDEXERFISICO"_s, u"017190"_s));
    ScreenHarness::processEvents();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        clickColumn(u"QTHREXERFISI"_s);
        typeText(c.typed);
        press(Qt::Key_Return);
        EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPlanejaQTHREXERFISI->AsFloat(), c.stored);
        EXPECT_EQ(cell(u"QTHREXERFISI"_s), c.shown);
        EXPECT_EQ(cell(u"Kcal/Dia"_s), c.daily);

        clickConfirmar();
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_DOUBLE_EQ(storedHours(ScreenHarness::Maria, u"017190"_s).toDouble(), c.stored);
    }
}

TEST_P(DurationInGrid, InvalidTimesAreRefusedAndTheFieldKeepsItsValue)
{
    struct Case
    {
        QString typed;
        QString message;
    };
    const Case cases[] = {
        {u"2400"_s, u"'24:00' não é uma hora válida"_s},
        {u"2360"_s, u"'23:60' não é uma hora válida"_s},
        // Only the hours typed: the mask's blanks reach the check as they are.
        {u"12"_s, u"'12:  ' não é uma hora válida"_s},
    };
    ASSERT_NE(open(), nullptr);
    ASSERT_TRUE(form->cdsPlaneja->Locate(u"CDEXERFISICO"_s, u"017190"_s));
    ScreenHarness::processEvents();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        harness->dialogs().Clear();
        clickColumn(u"QTHREXERFISI"_s);
        typeText(c.typed);
        press(Qt::Key_Return);
        EXPECT_EQ(messages(), QStringList{c.message});
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPlanejaQTHREXERFISI->AsFloat(), 1.0);
        // The editor stays open with the text; Esc drops it, Esc again the edit.
        press(Qt::Key_Escape);
        press(Qt::Key_Escape);
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_EQ(cell(u"QTHREXERFISI"_s), u"01:00"_s);
    }
    EXPECT_DOUBLE_EQ(storedHours(ScreenHarness::Maria, u"017190"_s).toDouble(), 1.0);
}

TEST_P(DurationInGrid, EmptyTimeShowsAnEmptyCell)
{
    addPlanRow(ScreenHarness::Maria, u"001030"_s, QVariant(), 8.0);
    ASSERT_NE(open(), nullptr);
    ASSERT_TRUE(form->cdsPlaneja->Locate(u"CDEXERFISICO"_s, u"001030"_s));
    EXPECT_TRUE(form->cdsPlanejaQTHREXERFISI->DisplayText().isEmpty());
    EXPECT_TRUE(form->cdsPlanejaQTHREXERFISI->Text().isEmpty());
    EXPECT_TRUE(form->cdsPlanejaKcalDia->DisplayText().isEmpty());
}

QOR_INSTANTIATE_BACKENDS(DurationInGrid);

} // namespace
} // namespace qor::testing
