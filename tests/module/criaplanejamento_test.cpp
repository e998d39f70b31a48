// CriaPlanejamentoExe through IniProc with a real qor-server: one screen at a time,
// shown and restored, and a second consultation never mixed with the one shown.
#include "../screen/screenharness.h"

#include "data/clientdataset.h"
#include "forms/application.h"
#include "forms/dbedit.h"
#include "forms/edit.h"
#include "forms/screen.h"
#include "framework/dateeditplus.h"
#include "framework/netconnection.h"
#include "module/Cli_qor12700.h"
#include "remote/rpcclient.h"
#include "sql/sqlquery.h"
#include "support/scopedtimezone.h"

#include <QPointer>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

class CriaPlanejamentoTest : public HarnessTest
{
};

TEST_P(CriaPlanejamentoTest, OneScreenShownAndRestored)
{
    QPointer<TfrmPlanejaExerc> first = harness->open(ScreenHarness::Maria, u"Maria"_s);
    ASSERT_FALSE(first.isNull());
    EXPECT_TRUE(boIdCriado);
    EXPECT_EQ(Screen()->Cursor(), crDefault);
    first->SetWindowState(wsMaximized);
    first->SetWindowState(wsMinimized);

    EXPECT_EQ(harness->open(ScreenHarness::Maria, u"Maria"_s), first.data());
    EXPECT_EQ(first->WindowState(), wsNormal);
    EXPECT_TRUE(first->isVisible());
    int screens = 0;
    for (TForm *form : Application()->Forms())
        screens += qobject_cast<TfrmPlanejaExerc *>(form) != nullptr;
    EXPECT_EQ(screens, 1);

    harness->closeScreen();
    EXPECT_TRUE(first.isNull());
    TfrmPlanejaExerc *second = harness->open(ScreenHarness::Maria, u"Maria de novo"_s);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->edtPaciente->Text(), u"Maria de novo"_s);
    EXPECT_EQ(second->cdsPlaneja->RecordCount(), 3);
    EXPECT_TRUE(harness->errors().isEmpty());
}

// The host hands the age reference date before the consultation date; only the second
// names the consultation that is loaded and saved under.
TEST_P(CriaPlanejamentoTest, EachHandedValueGoesToItsPlace)
{
    const TDateTime ageReference = Date() - 9000;
    ASSERT_TRUE(IniProc(QVariantList{ScreenHarness::Branch, ScreenHarness::Maria, u"Maria"_s,
                                     ageReference, Date()}));
    ScreenHarness::processEvents();
    TfrmPlanejaExerc *form = frmPlanejaExerc;
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
    EXPECT_EQ(stCdFilial, ScreenHarness::Branch);
    EXPECT_EQ(stCdPaciente, ScreenHarness::Maria);
    EXPECT_EQ(stNmPaciente, u"Maria"_s);
    EXPECT_EQ(dtIdadePaci, ageReference);
    EXPECT_EQ(dtConsulta, Date());
    EXPECT_EQ(form->depDataCons->Date(), Date());
    EXPECT_EQ(form->cdsPlaneja->RecordCount(), 3);
    EXPECT_EQ(form->dbePeso->Text(), u"68,5"_s);
}

TEST_P(CriaPlanejamentoTest, AnotherConsultationReloadsTheScreen)
{
    TfrmPlanejaExerc *form = harness->open(ScreenHarness::Maria, u"Maria"_s);
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->cdsPlaneja->RecordCount(), 3);

    EXPECT_EQ(harness->open(ScreenHarness::Joao, u"João"_s), form);
    EXPECT_TRUE(harness->errors().isEmpty());
    EXPECT_TRUE(harness->dialogs().Messages().isEmpty());
    EXPECT_EQ(stCdPaciente, ScreenHarness::Joao);
    EXPECT_EQ(form->edtPaciente->Text(), u"João"_s);
    EXPECT_EQ(form->cdsPacienteCDPACIENTE->AsString(), ScreenHarness::Joao);
    EXPECT_TRUE(form->cdsPeso->IsEmpty());
    EXPECT_TRUE(form->dbePeso->Enabled()); // João has no weight yet
    EXPECT_TRUE(form->cdsPlaneja->IsEmpty());
    EXPECT_EQ(form->cdsPlanejaQTHREXERFISI->EditMask, u"00:00"_s);

    // Another date of the same patient is another consultation too.
    EXPECT_EQ(harness->open(ScreenHarness::Maria, u"Maria"_s, Date() - 1), form);
    EXPECT_EQ(stCdPaciente, ScreenHarness::Maria);
    EXPECT_TRUE(form->cdsPlaneja->IsEmpty());
    EXPECT_TRUE(form->cdsPeso->IsEmpty());
}

struct DateCase
{
    const char *name;
    QDate shown;
    QDate asked;
    bool reloaded;
};

// In Sao Paulo clocks jumped from midnight to 01:00 on the first day of daylight saving
// time, so those days have no local midnight; they are dates like any other.
TEST_P(CriaPlanejamentoTest, ConsultationDatesComparedAsCalendarDates)
{
    const DateCase cases[] = {
        {"two days without a local midnight", QDate(2018, 11, 4), QDate(2017, 10, 15), true},
        {"the same day without a local midnight", QDate(2018, 11, 4), QDate(2018, 11, 4), false},
        {"the day before the one that fell back", QDate(2018, 2, 18), QDate(2018, 2, 17), true},
        {"the day before the gap", QDate(2018, 11, 3), QDate(2018, 11, 4), true},
    };
    const ScopedTimeZone saoPaulo("America/Sao_Paulo");
    for (const DateCase &c : cases) {
        SCOPED_TRACE(c.name);
        TfrmPlanejaExerc *form =
            harness->open(ScreenHarness::Maria, u"Maria"_s, DateToDateTime(c.shown));
        ASSERT_NE(form, nullptr);
        ASSERT_EQ(form->depDataCons->date().toString(Qt::ISODate), c.shown.toString(Qt::ISODate));
        int calls = 0;
        QObject::connect(form->netPlanejaExerc->Client(), &RpcClient::callStarted, form,
                         [&] { ++calls; });

        EXPECT_EQ(harness->open(ScreenHarness::Maria, u"Maria"_s, DateToDateTime(c.asked)), form);
        EXPECT_TRUE(harness->errors().isEmpty());
        EXPECT_EQ(dtConsulta, DateToDateTime(c.asked));
        // The date shown is the one new rows are saved under.
        EXPECT_EQ(form->depDataCons->date().toString(Qt::ISODate), c.asked.toString(Qt::ISODate));
        EXPECT_EQ(calls, c.reloaded ? 3 : 0);
        harness->closeScreen();
    }
}

struct EditingCase
{
    const char *name;
    TModalResult answer;
    bool reloaded;
};

TEST_P(CriaPlanejamentoTest, AnotherConsultationWhileEditingAsksFirst)
{
    const EditingCase cases[] = {
        {"No keeps the shown consultation", mrNo, false},
        {"Yes cancels and reloads", mrYes, true},
    };
    for (const EditingCase &c : cases) {
        SCOPED_TRACE(c.name);
        TfrmPlanejaExerc *form = harness->open(ScreenHarness::Maria, u"Maria"_s);
        ASSERT_NE(form, nullptr);
        form->cdsPlaneja->Edit();
        form->cdsPlanejaDSEXERFISICO->SetAsString(u"digitado"_s);
        int calls = 0;
        QObject::connect(form->netPlanejaExerc->Client(), &RpcClient::callStarted, form,
                         [&] { ++calls; });
        harness->dialogs().Clear();
        harness->dialogs().QueueAnswer(c.answer);

        EXPECT_EQ(harness->open(ScreenHarness::Joao, u"João"_s), form);
        ASSERT_EQ(harness->dialogs().Messages().size(), 1);
        EXPECT_EQ(harness->dialogs().Messages().first().Kind, mtConfirmation);
        EXPECT_TRUE(harness->errors().isEmpty());
        if (c.reloaded) {
            EXPECT_EQ(stCdPaciente, ScreenHarness::Joao);
            EXPECT_EQ(stNmPaciente, u"João"_s);
            EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
            EXPECT_TRUE(form->cdsPlaneja->IsEmpty());
            EXPECT_EQ(form->edtPaciente->Text(), u"João"_s);
            EXPECT_EQ(calls, 3);
        } else {
            // The typed value stays, and new rows would still take Maria's keys.
            EXPECT_EQ(stCdPaciente, ScreenHarness::Maria);
            EXPECT_EQ(stNmPaciente, u"Maria"_s);
            EXPECT_EQ(dtConsulta, Date());
            EXPECT_EQ(form->cdsPlaneja->State(), dsEdit);
            EXPECT_EQ(form->cdsPlanejaDSEXERFISICO->AsString(), u"digitado"_s);
            EXPECT_EQ(form->edtPaciente->Text(), u"Maria"_s);
            EXPECT_EQ(calls, 0);
            form->cdsPlaneja->Cancel();
        }
        harness->closeScreen();
    }
}

TEST_P(CriaPlanejamentoTest, ReloadThatFailsLeavesNothingOfThePreviousConsultation)
{
    TfrmPlanejaExerc *form = harness->open(ScreenHarness::Maria, u"Maria"_s);
    ASSERT_NE(form, nullptr);
    execSql(harness->server().db(), u"DROP TABLE INFOAVAL"_s);

    EXPECT_EQ(harness->open(ScreenHarness::Joao, u"João"_s), form);
    EXPECT_EQ(harness->errors().size(), 1);
    EXPECT_EQ(stCdPaciente, ScreenHarness::Joao);
    EXPECT_EQ(form->edtPaciente->Text(), u"João"_s);
    // Maria's weight and plan are gone from the screen.
    EXPECT_TRUE(form->cdsPeso->IsEmpty());
    EXPECT_TRUE(form->cdsPlaneja->IsEmpty());
    EXPECT_TRUE(form->dbePeso->Text().isEmpty());
    EXPECT_TRUE(form->cdsPlanejaQTHREXERFISI->EditMask.isEmpty());
}

QOR_INSTANTIATE_BACKENDS(CriaPlanejamentoTest);

} // namespace
} // namespace qor::testing
