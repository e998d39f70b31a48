// The weight of the consultation: what may be typed, the rounding on leaving the edit,
// the assessment method saved before the weight, the confirm and cancel commands while
// the weight is typed, and what a failed save leaves, against a real qor-server.
#include "saving_fixture.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/label.h"
#include "framework/buttonflat.h"
#include "framework/messages.h"
#include "framework/showavi.h"
#include "module/Cli_qor12700.h"

#include <QApplication>
#include <QJsonObject>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

class WeightTest : public ScreenFixture
{
protected:
    // Back to an empty weight, answering Yes to the cancel question.
    void cancelWeight()
    {
        harness->dialogs().QueueAnswer(mrYes);
        form->sbtCancelar->Click();
        ScreenHarness::processEvents();
    }
    int methodRows(const QString &patient)
    {
        return count(u"SELECT COUNT(*) FROM METOAVAL WHERE CDPACIENTE = ? "
                     u"AND CDTBMETOAVAL = '01'"_s,
                     {patient});
    }
};

struct KeyCase
{
    const char *name;
    QString before; // typed first
    bool selectAll; // then the whole text selected
    QString keys; // then typed
    QString expected;
};

TEST_P(WeightTest, KeyFilterAdmitsDigitsAndOneComma)
{
    const KeyCase cases[] = {
        {"digits and a comma", {}, false, u"72,5"_s, u"72,5"_s},
        {"a second comma", {}, false, u"72,5,1"_s, u"72,51"_s},
        {"a comma first", {}, false, u",5"_s, u"5"_s},
        {"point, minus, space, letters", {}, false, u"7.2-x 3a"_s, u"723"_s},
        {"comma over a selected text with a comma", u"72,5"_s, true, u","_s, u"72,5"_s},
        {"digit over a selected text", u"72,5"_s, true, u"6"_s, u"6"_s},
        {"comma after a backspace took the comma", u"72,"_s, false, u"\b,4"_s, u"72,4"_s},
    };
    ASSERT_NE(open(ScreenHarness::Joao), nullptr);
    for (const KeyCase &c : cases) {
        SCOPED_TRACE(c.name);
        typeWeight(c.before);
        if (c.selectAll)
            form->dbePeso->selectAll();
        for (const QChar key : c.keys) {
            if (key == u'\b')
                QTest::keyClick(form->dbePeso, Qt::Key_Backspace);
            else
                QTest::keyClick(form->dbePeso, key.toLatin1());
        }
        EXPECT_EQ(form->dbePeso->Text(), c.expected);
        cancelWeight();
        ASSERT_EQ(form->dbePeso->Text(), QString());
    }
    EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
}

struct ExitCase
{
    QString typed;
    QString shown; // after leaving the edit
    QString error; // the message, empty when none
};

TEST_P(WeightTest, LeavingTheEditRoundsToTwoDecimals)
{
    const ExitCase cases[] = {
        {u"72,456"_s, u"72,46"_s, {}},
        {u"70,00"_s, u"70"_s, {}},
        {u"72,455"_s, u"72,46"_s, {}},
        {u"0,004"_s, u"0"_s, {}},
        {u"68,5"_s, u"68,5"_s, {}},
        {u"070,10"_s, u"70,1"_s, {}},
        {u""_s, u""_s, u"Peso inválido: '' não é um número válido."_s},
    };
    ASSERT_NE(open(ScreenHarness::Joao), nullptr);
    for (const ExitCase &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        harness->clearErrors();
        typeWeight(c.typed);
        leaveWeight();
        EXPECT_EQ(form->dbePeso->Text(), c.shown);
        EXPECT_EQ(harness->errors(), c.error.isEmpty() ? QStringList() : QStringList{c.error});
        if (form->cdsPeso->State() != dsBrowse)
            cancelWeight();
    }

    // The rounded text is what is saved.
    typeWeight(u"81,239"_s);
    leaveWeight();
    form->sbtConfirmar->Click();
    ScreenHarness::processEvents();
    EXPECT_EQ(storedWeight(ScreenHarness::Joao), QVariant(u"81,24"_s));
}

struct ConfirmCase
{
    const char *name;
    QString keys; // typed; '<' is the left arrow, '\b' backspace
    QVariant stored; // the weight saved, null when none
    QString error;
};

// The confirm button takes no focus, so the weight may be posted without leaving the
// edit: what is saved must still be a weight the screen can compute with.
TEST_P(WeightTest, ConfirmingWithoutLeavingSavesOnlyANumber)
{
    const ConfirmCase cases[] = {
        {"only the comma left of 7,", u"7,<\b"_s, QVariant(),
         u"Peso inválido: ',' não é um número válido."_s},
        {"a trailing comma is a number", u"7,"_s, QVariant(u"7,"_s), {}},
        {"digits after a deleted integer part", u"7,5<<\b"_s, QVariant(u",5"_s), {}},
    };
    for (const ConfirmCase &c : cases) {
        SCOPED_TRACE(c.name);
        exec(u"DELETE FROM INFOAVAL WHERE CDPACIENTE = ?"_s, {ScreenHarness::Joao});
        ASSERT_NE(open(ScreenHarness::Joao), nullptr);
        typeWeight(c.keys);
        harness->clearErrors();
        form->sbtConfirmar->Click();
        ScreenHarness::processEvents();

        EXPECT_EQ(storedWeight(ScreenHarness::Joao), c.stored);
        EXPECT_EQ(harness->errors(), c.error.isEmpty() ? QStringList() : QStringList{c.error});
        if (!c.error.isEmpty()) {
            // Nothing half-saved: the weight stays typed, for the user to correct.
            EXPECT_EQ(form->cdsPeso->State(), dsInsert);
            EXPECT_EQ(form->dbePeso->Text(), u","_s);
            EXPECT_TRUE(form->dbePeso->hasFocus());
            EXPECT_EQ(methodRows(ScreenHarness::Joao), 0);
            EXPECT_FALSE(form->dbgPadrao->Enabled());
            cancelWeight();
        }
        harness->closeScreen();
    }
}

struct CloseCase
{
    const char *name;
    QString typed;
    int questions; // "Canc" asked on closing
};

TEST_P(WeightTest, ClosingTheScreenIsNotLeavingTheWeight)
{
    const CloseCase cases[] = {
        {"weight edit untouched", {}, 0},
        {"weight typed, then dropped on closing", u"7"_s, 1},
    };
    for (const CloseCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(open(ScreenHarness::Joao), nullptr);
        typeWeight(c.typed);
        ASSERT_TRUE(form->dbePeso->hasFocus());
        harness->dialogs().Clear();
        harness->dialogs().QueueAnswer(mrYes);
        harness->closeScreen();
        EXPECT_EQ(frmPlanejaExerc, nullptr);
        EXPECT_EQ(harness->dialogs().Texts(mtConfirmation).size(), c.questions);
        EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
        EXPECT_TRUE(storedWeight(ScreenHarness::Joao).isNull());
    }
}

struct OrderCase
{
    const char *name;
    QString patient;
    QStringList expected;
};

TEST_P(WeightTest, MethodRowIsSavedBeforeTheFirstWeight)
{
    // Maria's method row exists; her weight text is emptied so that it can be typed.
    exec(u"UPDATE INFOAVAL SET DSINFOAVAL = '' WHERE CDPACIENTE = ?"_s, {ScreenHarness::Maria});
    const OrderCase cases[] = {
        {"first weight of the consultation",
         ScreenHarness::Joao,
         {u"GetMetoAval"_s, u"SetMetoAval"_s, u"SetPeso"_s}},
        {"method row already there", ScreenHarness::Maria, {u"GetMetoAval"_s, u"SetPeso"_s}},
    };
    for (const OrderCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(open(c.patient), nullptr);
        clearCalls();
        typeWeight(u"71,5"_s);
        form->sbtConfirmar->Click();
        ScreenHarness::processEvents();
        EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
        EXPECT_EQ(methods(), c.expected);

        // GetMetoAval takes branch, patient, method "01" and the date, in that order.
        ASSERT_FALSE(calls.isEmpty());
        EXPECT_EQ(calls.first().params.at(1).toString(), c.patient);
        EXPECT_EQ(calls.first().params.at(2).toString(), u"01"_s);
        EXPECT_EQ(methodRows(c.patient), 1);
        EXPECT_EQ(scalar(u"SELECT IDTABELAAV FROM METOAVAL WHERE CDPACIENTE = ?"_s, {c.patient}),
                  QVariant(u"N"_s));
        EXPECT_EQ(storedWeight(c.patient), QVariant(u"71,5"_s));
        EXPECT_EQ(form->cdsPeso->ChangeCount(), 0);
        EXPECT_EQ(form->cdsMetoAval->ChangeCount(), 0);
        // The recorded weight is locked; the grid is open.
        EXPECT_FALSE(form->lblPeso->Enabled());
        EXPECT_FALSE(form->dbePeso->Enabled());
        EXPECT_EQ(form->dbePeso->Color(), clBtnFace);
        EXPECT_TRUE(form->dbgPadrao->Enabled());
        EXPECT_FALSE(ShowAviVisible());
        harness->closeScreen();
    }
}

struct CancelCase
{
    const char *name;
    QString patient;
    TModalResult answer;
    QString shown;
    TDataSetState state;
};

TEST_P(WeightTest, CancelAsksAndOnlyYesRestoresTheSavedWeight)
{
    // A blank text counts as no weight: Maria's stays editable.
    exec(u"UPDATE INFOAVAL SET DSINFOAVAL = '  ' WHERE CDPACIENTE = ?"_s, {ScreenHarness::Maria});
    const CancelCase cases[] = {
        {"No keeps the typed weight", ScreenHarness::Joao, mrNo, u"65,2"_s, dsInsert},
        {"Yes leaves no weight", ScreenHarness::Joao, mrYes, u""_s, dsBrowse},
        {"Yes restores the saved text", ScreenHarness::Maria, mrYes, u"  "_s, dsBrowse},
    };
    for (const CancelCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(open(c.patient), nullptr);
        typeWeight(u"65,2"_s);
        harness->dialogs().Clear();
        harness->dialogs().QueueAnswer(c.answer);
        clearCalls();
        form->sbtCancelar->Click();
        ScreenHarness::processEvents();

        EXPECT_EQ(harness->dialogs().Texts(mtConfirmation),
                  QStringList{form->msgMensagensPadroes->Msg(u"Canc"_s)});
        EXPECT_EQ(form->dbePeso->Text(), c.shown);
        EXPECT_EQ(form->cdsPeso->State(), c.state);
        EXPECT_TRUE(calls.isEmpty());
        EXPECT_EQ(form->cdsPeso->ChangeCount(), 0);
        // Typing is still possible either way.
        EXPECT_TRUE(form->dbePeso->Enabled());
        EXPECT_EQ(form->sbtConfirmar->Enabled(), c.state != dsBrowse);
        form->CancelEditing();
        harness->closeScreen();
    }
}

TEST_P(WeightTest, WithTheWeightBrowsingConfirmAndCancelActOnThePlan)
{
    ASSERT_NE(open(ScreenHarness::Maria), nullptr);
    form->sbtIncluir->Click();
    ASSERT_EQ(form->cdsPlaneja->State(), dsInsert);
    harness->dialogs().QueueAnswer(mrNo);
    form->sbtCancelar->Click();
    EXPECT_EQ(form->cdsPlaneja->State(), dsInsert);
    harness->dialogs().QueueAnswer(mrYes);
    form->sbtCancelar->Click();
    EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
    EXPECT_EQ(form->cdsPlaneja->RecordCount(), 3);
    EXPECT_TRUE(form->sbtIncluir->Enabled());

    form->sbtAlterar->Click();
    ASSERT_EQ(form->cdsPlaneja->State(), dsEdit);
    form->sbtConfirmar->Click();
    EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
    EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
}

TEST_P(WeightTest, FailedMethodSaveLeavesTheWeightBeingTyped)
{
    ASSERT_NE(open(ScreenHarness::Joao), nullptr);
    typeWeight(u"70"_s);
    stopServerOn(u"SetMetoAval"_s);
    form->sbtConfirmar->Click();
    ScreenHarness::processEvents();

    ASSERT_EQ(harness->errors().size(), 1);
    EXPECT_TRUE(harness->errors().first().contains(u"servidor de aplicação"_s))
        << harness->errors().first().toStdString();
    EXPECT_EQ(form->cdsPeso->State(), dsInsert);
    EXPECT_EQ(form->dbePeso->Text(), u"70"_s);
    EXPECT_TRUE(form->cdsMetoAval->IsEmpty());
    EXPECT_EQ(form->cdsMetoAval->ChangeCount(), 0);
    EXPECT_TRUE(form->sbtConfirmar->Enabled());
    EXPECT_FALSE(form->dbgPadrao->Enabled());
    EXPECT_FALSE(ShowAviVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    restartServer();
    EXPECT_EQ(methodRows(ScreenHarness::Joao), 0);
    EXPECT_TRUE(storedWeight(ScreenHarness::Joao).isNull());

    // Confirming again once the server is back saves both.
    clearCalls();
    form->sbtConfirmar->Click();
    ScreenHarness::processEvents();
    EXPECT_EQ(harness->errors().size(), 1);
    EXPECT_EQ(methods(), (QStringList{u"GetMetoAval"_s, u"SetMetoAval"_s, u"SetPeso"_s}));
    EXPECT_EQ(storedWeight(ScreenHarness::Joao), QVariant(u"70"_s));
}

TEST_P(WeightTest, FailedWeightSaveEmptiesTheEditAndKeepsTheGridLocked)
{
    ASSERT_NE(open(ScreenHarness::Joao), nullptr);
    typeWeight(u"70"_s);
    stopServerOn(u"SetPeso"_s);
    form->sbtConfirmar->Click();
    ScreenHarness::processEvents();

    ASSERT_EQ(harness->errors().size(), 1);
    EXPECT_TRUE(harness->errors().first().contains(u"servidor de aplicação"_s))
        << harness->errors().first().toStdString();
    EXPECT_EQ(form->cdsPeso->State(), dsBrowse);
    EXPECT_TRUE(form->cdsPeso->IsEmpty());
    EXPECT_EQ(form->cdsPeso->ChangeCount(), 0);
    EXPECT_EQ(form->dbePeso->Text(), QString());
    EXPECT_TRUE(form->dbePeso->Enabled());
    EXPECT_FALSE(form->dbgPadrao->Enabled());
    EXPECT_FALSE(ShowAviVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    restartServer();
    EXPECT_EQ(methodRows(ScreenHarness::Joao), 1); // saved before the weight
    EXPECT_TRUE(storedWeight(ScreenHarness::Joao).isNull());

    clearCalls();
    typeWeight(u"70"_s);
    form->sbtConfirmar->Click();
    ScreenHarness::processEvents();
    EXPECT_EQ(harness->errors().size(), 1);
    EXPECT_EQ(methods(), (QStringList{u"GetMetoAval"_s, u"SetPeso"_s}));
    EXPECT_EQ(storedWeight(ScreenHarness::Joao), QVariant(u"70"_s));
    EXPECT_TRUE(form->dbgPadrao->Enabled());
}

QOR_INSTANTIATE_BACKENDS(WeightTest);

} // namespace
} // namespace qor::testing
