// Which commands the screen offers while the plan and the weight browse or are edited,
// the plan grid locked until the consultation has a weight, the verify command's reload
// and the edit command's focus, against a real qor-server.
#include "saving_fixture.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/edit.h"
#include "forms/menuitem.h"
#include "framework/buttonflat.h"
#include "framework/consiste.h"
#include "framework/dateeditplus.h"
#include "framework/showavi.h"
#include "sql/sqlquery.h"

#include <QApplication>
#include <QLineEdit>
#include <functional>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

class CommandStateTest : public ScreenFixture
{
protected:
    // Every one of the seven speed buttons shows what its menu item shows.
    void expectButtonsMirrorMenu()
    {
        for (TMenuItem *item : form->Commands())
            EXPECT_EQ(form->ButtonOf(item)->Enabled(), item->Enabled())
                << item->objectName().toStdString();
    }
    void expectGroup(const QList<TMenuItem *> &items, bool enabled, const char *group)
    {
        for (TMenuItem *item : items)
            EXPECT_EQ(item->Enabled(), enabled) << group << " " << item->objectName().toStdString();
    }
    TColumnButtonStyle codeButton() const
    {
        return form->dbgPadrao->Columns()
            ->Items(IndiceCol(form->dbgPadrao, u"CDEXERFISICO"_s))
            ->ButtonStyle();
    }
};

struct CommandCase
{
    const char *name;
    QString patient;
    QString storedWeight; // Maria's weight text before opening; null leaves the demo's
    std::function<void(ScreenFixture &)> act;
    bool finishing;
    bool newRecord;
    bool record;
    bool browseOnly;
    bool ellipsis;
    bool gridEnabled;
};

TEST_P(CommandStateTest, CommandGroupsFollowThePlanAndTheWeight)
{
    const auto nothing = [](ScreenFixture &) {
    };
    const auto insertRow = [](ScreenFixture &f) {
        f.form->sbtIncluir->Click();
    };
    const auto editRow = [](ScreenFixture &f) {
        f.form->sbtAlterar->Click();
    };
    const auto typeWeight = [](ScreenFixture &f) {
        f.typeWeight(u"7"_s);
    };
    const auto editRowThenTypeWeight = [](ScreenFixture &f) {
        f.form->sbtAlterar->Click();
        f.typeWeight(u"7"_s);
    };
    const CommandCase cases[] = {
        // name, patient, weight, act, finishing, new, record, browse-only, ellipsis, grid
        {"plan empty, browsing",
         ScreenHarness::Joao,
         {},
         nothing,
         false,
         true,
         false,
         true,
         false,
         false},
        {"plan with rows, browsing",
         ScreenHarness::Maria,
         {},
         nothing,
         false,
         true,
         true,
         true,
         false,
         true},
        {"plan row being inserted",
         ScreenHarness::Maria,
         {},
         insertRow,
         true,
         false,
         false,
         false,
         true,
         true},
        {"plan row being edited",
         ScreenHarness::Maria,
         {},
         editRow,
         true,
         false,
         false,
         false,
         true,
         true},
        {"weight typed, plan with rows", ScreenHarness::Maria, u""_s, typeWeight, true, false, true,
         true, false, false},
        {"weight typed, plan empty",
         ScreenHarness::Joao,
         {},
         typeWeight,
         true,
         false,
         false,
         true,
         false,
         false},
        // The row is still being edited: closing the screen stays out of reach.
        {"weight typed while a plan row is edited", ScreenHarness::Maria, u""_s,
         editRowThenTypeWeight, true, false, false, false, true, false},
    };
    for (const CommandCase &c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.storedWeight.isNull())
            exec(u"UPDATE INFOAVAL SET DSINFOAVAL = ? WHERE CDPACIENTE = ?"_s,
                 {c.storedWeight, ScreenHarness::Maria});
        ASSERT_NE(open(c.patient), nullptr);
        c.act(*this);
        ScreenHarness::processEvents();
        EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();

        expectGroup(form->FinishingCommands(), c.finishing, "finishing");
        expectGroup(form->NewRecordCommands(), c.newRecord, "new record");
        expectGroup(form->RecordCommands(), c.record, "record");
        expectButtonsMirrorMenu();
        EXPECT_EQ(form->BrowseOnlyControl()->Enabled(), c.browseOnly);
        EXPECT_EQ(codeButton(), c.ellipsis ? cbsEllipsis : cbsNone);
        EXPECT_EQ(form->dbgPadrao->Enabled(), c.gridEnabled);

        form->CancelEditing();
        harness->closeScreen();
        exec(u"UPDATE INFOAVAL SET DSINFOAVAL = '68,5' WHERE CDPACIENTE = ?"_s,
             {ScreenHarness::Maria});
    }
}

struct LockCase
{
    const char *name;
    QString patient;
    QString storedWeight; // null: the demo's
};

TEST_P(CommandStateTest, PlanGridStaysLockedUntilAWeightIsRecorded)
{
    const LockCase cases[] = {
        {"no weight row", ScreenHarness::Joao, {}},
        {"empty weight text", ScreenHarness::Maria, u""_s},
    };
    for (const LockCase &c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.storedWeight.isNull())
            exec(u"UPDATE INFOAVAL SET DSINFOAVAL = ? WHERE CDPACIENTE = ?"_s,
                 {c.storedWeight, c.patient});
        ASSERT_NE(open(c.patient), nullptr);
        EXPECT_FALSE(form->dbgPadrao->Enabled());

        typeWeight(u"70"_s);
        EXPECT_FALSE(form->dbgPadrao->Enabled()); // typed, not recorded
        form->sbtConfirmar->Click();
        ScreenHarness::processEvents();
        EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
        EXPECT_EQ(storedWeight(c.patient), QVariant(u"70"_s));
        EXPECT_TRUE(form->dbgPadrao->Enabled());
        // The commands went back to the plan.
        EXPECT_FALSE(form->mniConfirmar->Enabled());
        EXPECT_TRUE(form->mniIncluir->Enabled());
        expectButtonsMirrorMenu();
        harness->closeScreen();
    }

    // A recorded weight opens the grid at once.
    ASSERT_NE(open(ScreenHarness::Maria), nullptr);
    EXPECT_TRUE(form->dbgPadrao->Enabled());
}

TEST_P(CommandStateTest, VerifyReloadsOnlyThePlan)
{
    ASSERT_NE(open(ScreenHarness::Maria), nullptr);
    const QString total = form->edtTotal->Text();
    const QString age = form->edtIdade->Text();
    // Another workstation plans an exercise and changes the weight meanwhile.
    planElsewhere(ScreenHarness::Maria);
    exec(u"UPDATE INFOAVAL SET DSINFOAVAL = '99' WHERE CDPACIENTE = ?"_s, {ScreenHarness::Maria});
    form->edtPaciente->SetText(u"cabeçalho na tela"_s);
    clearCalls();

    form->sbtVerificar->Click();
    ScreenHarness::processEvents();
    EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
    EXPECT_EQ(methods(), QStringList{u"GetPlaneja"_s});
    EXPECT_EQ(form->cdsPlaneja->RecordCount(), 4);
    EXPECT_TRUE(form->cdsPlaneja->Locate(u"CDEXERFISICO"_s, u"002120"_s));
    // With the weight shown, not the one changed elsewhere: the demo's 89,295 and
    // 68,5 kg x 5,3 kcal/kg/h x 2 h / 7 = 103,729 a day.
    EXPECT_EQ(total, u"89,295"_s);
    EXPECT_EQ(form->edtTotal->Text(), u"193,023"_s);
    // The header stays as the load left it.
    EXPECT_EQ(form->edtPaciente->Text(), u"cabeçalho na tela"_s);
    EXPECT_EQ(form->edtIdade->Text(), age);
    EXPECT_EQ(form->dbePeso->Text(), u"68,5"_s);
    EXPECT_EQ(form->depDataCons->Date(), Date());
    EXPECT_EQ(ShowAviCount(6), 1);
    EXPECT_FALSE(ShowAviVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_P(CommandStateTest, FailedVerifyKeepsThePlanAndTheScreenUsable)
{
    ASSERT_NE(open(ScreenHarness::Maria), nullptr);
    harness->server().stop();
    form->sbtVerificar->Click();
    ScreenHarness::processEvents();
    ASSERT_EQ(harness->errors().size(), 1);
    EXPECT_FALSE(harness->errors().first().trimmed().isEmpty());
    EXPECT_EQ(form->cdsPlaneja->RecordCount(), 3);
    EXPECT_FALSE(ShowAviVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(form->sbtVerificar->Enabled());

    // The server is back: the same command works again.
    restartServer();
    exec(u"DELETE FROM PLAEXERFISI WHERE CDPACIENTE = ? AND CDEXERFISICO = '018310'"_s,
         {ScreenHarness::Maria});
    form->sbtVerificar->Click();
    ScreenHarness::processEvents();
    EXPECT_EQ(harness->errors().size(), 1);
    EXPECT_EQ(form->cdsPlaneja->RecordCount(), 2);
}

TEST_P(CommandStateTest, VerifyWhileTheWeightIsTypedKeepsItsConfirm)
{
    exec(u"UPDATE INFOAVAL SET DSINFOAVAL = '' WHERE CDPACIENTE = ?"_s, {ScreenHarness::Maria});
    ASSERT_NE(open(ScreenHarness::Maria), nullptr);
    typeWeight(u"64"_s);
    form->sbtVerificar->Click();
    ScreenHarness::processEvents();

    EXPECT_EQ(form->cdsPeso->State(), dsEdit);
    EXPECT_TRUE(form->sbtConfirmar->Enabled());
    EXPECT_TRUE(form->sbtCancelar->Enabled());
    EXPECT_FALSE(form->sbtIncluir->Enabled());
    EXPECT_FALSE(form->dbgPadrao->Enabled());
    form->sbtConfirmar->Click();
    ScreenHarness::processEvents();
    EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
    EXPECT_EQ(storedWeight(ScreenHarness::Maria), QVariant(u"64"_s));
    EXPECT_TRUE(form->dbgPadrao->Enabled());
}

TEST_P(CommandStateTest, VerifyWhileARowIsTypedAsksBeforeDroppingIt)
{
    ASSERT_NE(open(ScreenHarness::Maria), nullptr);
    // No: the row stays as typed and nothing is reloaded. Yes: the server's plan.
    form->sbtIncluir->Click();
    form->dbgPadrao->SetSelectedField(form->cdsPlanejaCDEXERFISICO);
    typeInGrid(u"0021"_s);
    ASSERT_EQ(form->cdsPlaneja->State(), dsInsert);
    clearCalls();
    harness->dialogs().QueueAnswer(mrNo);
    form->sbtVerificar->Click();
    ScreenHarness::processEvents();

    EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
    EXPECT_EQ(harness->dialogs().Texts(mtConfirmation).size(), 1);
    EXPECT_TRUE(methods().isEmpty()) << methods().join(u' ').toStdString();
    EXPECT_EQ(form->cdsPlaneja->State(), dsInsert);
    const QLineEdit *editor = form->dbgPadrao->InplaceEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), u"0021"_s);
    EXPECT_TRUE(form->sbtConfirmar->Enabled());

    harness->dialogs().QueueAnswer(mrYes);
    form->sbtVerificar->Click();
    ScreenHarness::processEvents();

    EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
    EXPECT_EQ(harness->dialogs().Texts(mtConfirmation).size(), 2);
    EXPECT_EQ(methods(), QStringList{u"GetPlaneja"_s});
    EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
    EXPECT_EQ(form->cdsPlaneja->RecordCount(), 3);
    EXPECT_FALSE(form->dbgPadrao->EditorMode());
    EXPECT_FALSE(form->sbtConfirmar->Enabled());
    EXPECT_TRUE(form->sbtIncluir->Enabled());
    EXPECT_EQ(codeButton(), cbsNone);
    EXPECT_EQ(planRows(ScreenHarness::Maria), 3);

    // Browsing, it asks nothing.
    form->sbtVerificar->Click();
    ScreenHarness::processEvents();
    EXPECT_EQ(harness->dialogs().Texts(mtConfirmation).size(), 2);
}

// The plan could not be read when the screen opened; the verify command reads it. A time
// typed then as the digits of HH:MM is the time typed, as on a screen loaded at once.
TEST_P(CommandStateTest, VerifyAfterAFailedLoadTakesTimesAsHoursAndMinutes)
{
    execSql(harness->server().db(), u"ALTER TABLE PLAEXERFISI RENAME TO PLAEXERFISI_FORA"_s);
    ASSERT_NE(open(ScreenHarness::Maria), nullptr);
    ASSERT_EQ(harness->errors().size(), 1);
    harness->clearErrors();
    EXPECT_FALSE(form->cdsPlaneja->Active());
    execSql(harness->server().db(), u"ALTER TABLE PLAEXERFISI_FORA RENAME TO PLAEXERFISI"_s);

    form->sbtVerificar->Click();
    ScreenHarness::processEvents();
    ASSERT_EQ(form->cdsPlaneja->RecordCount(), 3);
    addPlanRow(u"002120"_s, u"0130"_s);
    EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();

    EXPECT_EQ(scalar(u"SELECT QTHREXERFISI FROM PLAEXERFISI WHERE CDPACIENTE = ? "
                     u"AND CDEXERFISICO = '002120'"_s,
                     {ScreenHarness::Maria})
                  .toDouble(),
              1.5);
    ASSERT_TRUE(form->cdsPlaneja->Locate(u"CDEXERFISICO"_s, u"002120"_s));
    EXPECT_EQ(form->cdsPlanejaQTHREXERFISI->DisplayText(), u"01:30"_s);
}

TEST_P(CommandStateTest, EditCommandPutsTheFocusOnTheTimeColumn)
{
    ASSERT_NE(open(ScreenHarness::Maria), nullptr);
    form->dbgPadrao->SetSelectedField(form->cdsPlanejaCDEXERFISICO);
    form->cdsPlaneja->Last();
    form->sbtAlterar->Click();
    ScreenHarness::processEvents();
    EXPECT_EQ(form->cdsPlaneja->State(), dsEdit);
    EXPECT_EQ(form->cdsPlaneja->RecNo(), 3);
    EXPECT_EQ(form->dbgPadrao->SelectedField(), form->cdsPlanejaQTHREXERFISI);
    QWidget *focus = QApplication::focusWidget();
    EXPECT_TRUE(focus == form->dbgPadrao || form->dbgPadrao->isAncestorOf(focus));
}

struct RefusedWeightCase
{
    const char *name;
    bool serverStops; // else another workstation records a weight first
    bool gridEnabled; // afterwards
};

// A weight typed while a plan row is being edited, and its save refused: the row is still
// being edited, so the commands stay the row's (confirm and cancel, no new row) and the
// screen can still close.
TEST_P(CommandStateTest, RefusedWeightLeavesTheRowBeingEditedItsCommands)
{
    const RefusedWeightCase cases[] = {
        {"the server is out of reach", true, false},
        {"another workstation recorded a weight first", false, true},
    };
    for (const RefusedWeightCase &c : cases) {
        SCOPED_TRACE(c.name);
        exec(u"UPDATE INFOAVAL SET DSINFOAVAL = '' WHERE CDPACIENTE = ?"_s, {ScreenHarness::Maria});
        ASSERT_NE(open(ScreenHarness::Maria), nullptr);
        form->sbtAlterar->Click();
        ASSERT_EQ(form->cdsPlaneja->State(), dsEdit);
        typeWeight(u"70"_s);
        ASSERT_EQ(form->cdsPeso->State(), dsEdit);
        if (c.serverStops)
            stopServerOn(u"SetPeso"_s);
        else
            exec(u"UPDATE INFOAVAL SET DSINFOAVAL = '80' WHERE CDPACIENTE = ?"_s,
                 {ScreenHarness::Maria});
        form->sbtConfirmar->Click();
        ScreenHarness::processEvents();
        ASSERT_EQ(harness->errors().size(), 1);
        harness->clearErrors();
        if (c.serverStops)
            restartServer();

        EXPECT_EQ(form->cdsPeso->State(), dsBrowse);
        ASSERT_EQ(form->cdsPlaneja->State(), dsEdit);
        expectGroup(form->FinishingCommands(), true, "finishing");
        expectGroup(form->NewRecordCommands(), false, "new record");
        expectGroup(form->RecordCommands(), false, "record");
        expectButtonsMirrorMenu();
        EXPECT_FALSE(form->BrowseOnlyControl()->Enabled());
        EXPECT_EQ(codeButton(), cbsEllipsis);
        EXPECT_EQ(form->dbgPadrao->Enabled(), c.gridEnabled);

        // The row's own confirm posts it.
        form->sbtConfirmar->Click();
        ScreenHarness::processEvents();
        EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_FALSE(form->sbtConfirmar->Enabled());
        EXPECT_TRUE(form->sbtIncluir->Enabled());
        harness->closeScreen();
    }
}

QOR_INSTANTIATE_BACKENDS(CommandStateTest);

} // namespace
} // namespace qor::testing
