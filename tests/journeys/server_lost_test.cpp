// qor-server goes down while the user works, and comes back. The user reads a plain
// Portuguese sentence, the busy indicator and the hourglass are gone by then, what the
// server refused is rolled back while what is still being typed is kept, and once the
// server is back the next action reconnects on the same screen: no restart of the host.
#include "journey.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/screen.h"
#include "framework/buttonflat.h"
#include "framework/showavi.h"

#include <QApplication>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

class ServerLost : public Journey
{
protected:
    // Exactly one failure was shown, readable, and nothing was left up over it.
    void expectOneReadableFailure()
    {
        ASSERT_EQ(errors().size(), 1) << errorTexts().join(u'\n').toStdString();
        const ShownError &error = errors().first();
        // What the connection reports: the link was lost, or no connection could be made
        // (with the address and the reason, in Portuguese).
        static const QRegularExpression readable(
            u"^(Conexão com o servidor de aplicação perdida\\.|Não foi possível conectar ao "
            u"servidor de aplicação em 127\\.0\\.0\\.1:\\d+: [^A-Z].*\\.)$"_s);
        EXPECT_TRUE(readable.match(error.text).hasMatch()) << error.text.toStdString();
        EXPECT_FALSE(error.busyIndicatorUp) << "the busy indicator covered the message";
        EXPECT_FALSE(error.hourglass) << "the hourglass stayed over the message";
        EXPECT_FALSE(ShowAviVisible());
        EXPECT_EQ(Screen()->Cursor(), crDefault);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    // A new row, its code checked and its time typed, not yet confirmed.
    void typeHidroginasticaRow()
    {
        startNewRow();
        typeCode(u"002120"_s);
        leaveColumn();
        typeTime(u"0130"_s);
        leaveColumn();
    }
    StoredRow hidroginastica{u"002120"_s, 1.5, 5.3};
};

TEST_P(ServerLost, RowBeingEnteredIsRolledBackThenSavedOnceTheServerIsBack)
{
    ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);
    const QList<ShownRow> demoPlan = shownPlan();
    const QList<StoredRow> storedDemoPlan = storedPlan(Maria);
    const QString demoTotal = shownTotal();
    ASSERT_EQ(demoPlan.size(), 3);
    EXPECT_EQ(demoTotal, u"89,295"_s);

    // A row is being entered and its code has been checked...
    typeHidroginasticaRow();
    ASSERT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    // ...when the server goes down. Confirming cannot save it.
    stopServer();
    confirm();
    expectOneReadableFailure();
    EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
    EXPECT_EQ(form->cdsPlaneja->ChangeCount(), 0);
    EXPECT_EQ(shownPlan(), demoPlan);
    EXPECT_EQ(shownTotal(), demoTotal);
    // The commands are the plan's again: a new row can be started.
    EXPECT_TRUE(form->sbtIncluir->Enabled());
    EXPECT_FALSE(form->sbtConfirmar->Enabled());

    // The user tries again while the server is still down: leaving the code column
    // cannot check it; the row stays as typed.
    forgetMessages();
    startNewRow();
    typeCode(u"002120"_s);
    leaveColumn();
    expectOneReadableFailure();
    EXPECT_EQ(form->cdsPlaneja->State(), dsInsert);
    EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), u"002120"_s);

    // The server is back on the same database: the same screen carries on.
    startServer();
    EXPECT_EQ(storedPlan(Maria), storedDemoPlan);
    forgetMessages();
    leaveColumn();
    typeTime(u"0130"_s);
    leaveColumn();
    confirm();
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    QList<StoredRow> expected = storedDemoPlan;
    expected.insert(1, hidroginastica); // ordered by code: 002054, 002120, 017190, 018310
    EXPECT_EQ(storedPlan(Maria), expected);
    EXPECT_EQ(shownPlan().size(), 4);
    // The demo's 89,295 and 68,5 kg x 5,3 kcal/kg/h x 1,5 h / 7 = 77,796 a day.
    EXPECT_EQ(shownTotal(), u"167,091"_s);
    EXPECT_FALSE(ShowAviVisible());

    // The verify command works as well, and shows what the server has.
    verify();
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    EXPECT_EQ(shownPlan().size(), 4);
}

// Confirmed with the code column selected, the new row's exercise is checked against the
// plan at the post itself, under the busy indicator; that check cannot reach the server.
TEST_P(ServerLost, RowConfirmedInTheCodeColumnIsKeptAsTypedThenSavedOnceTheServerIsBack)
{
    ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);
    const QList<ShownRow> demoPlan = shownPlan();
    const QList<StoredRow> storedDemoPlan = storedPlan(Maria);
    ASSERT_EQ(demoPlan.size(), 3);

    typeHidroginasticaRow();
    selectRow(u"002120"_s); // back in the code column of the new row
    ASSERT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    ASSERT_EQ(form->cdsPlaneja->State(), dsInsert);

    stopServer();
    confirm();
    expectOneReadableFailure();
    // The row was not posted: it is still being entered, as typed, and can be confirmed
    // again; nothing went to the server.
    EXPECT_EQ(form->cdsPlaneja->State(), dsInsert);
    EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), u"002120"_s);
    EXPECT_DOUBLE_EQ(form->cdsPlanejaQTHREXERFISI->AsFloat(), 1.5);
    EXPECT_TRUE(form->sbtConfirmar->Enabled());
    EXPECT_FALSE(form->sbtIncluir->Enabled());

    startServer();
    EXPECT_EQ(storedPlan(Maria), storedDemoPlan);
    forgetMessages();
    confirm();
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    QList<StoredRow> expected = storedDemoPlan;
    expected.insert(1, hidroginastica);
    EXPECT_EQ(storedPlan(Maria), expected);
    EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
    EXPECT_EQ(shownPlan().size(), 4);
    EXPECT_FALSE(ShowAviVisible());
}

TEST_P(ServerLost, WeightTypedWhileTheServerIsDownIsKeptAndSavedLater)
{
    ASSERT_NE(openConsultation(Joao, u"João Pereira"_s), nullptr);
    typeWeight(u"80,5"_s);
    stopServer();
    confirm();
    expectOneReadableFailure();
    // Nothing typed is lost: the weight is still being edited, the plan still locked.
    EXPECT_EQ(form->dbePeso->Text(), u"80,5"_s);
    EXPECT_NE(form->cdsPeso->State(), dsBrowse);
    EXPECT_FALSE(form->dbgPadrao->Enabled());
    EXPECT_TRUE(form->sbtConfirmar->Enabled());

    startServer();
    EXPECT_TRUE(storedWeight(Joao).isNull());
    EXPECT_TRUE(storedMethod(Joao).isNull());
    forgetMessages();
    confirm();
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    EXPECT_EQ(storedMethod(Joao), QVariant(u"N"_s));
    EXPECT_EQ(storedWeight(Joao), QVariant(u"80,5"_s));
    EXPECT_TRUE(form->dbgPadrao->Enabled());
    EXPECT_FALSE(form->dbePeso->Enabled());
}

TEST_P(ServerLost, RestartedWhileTheScreenIsIdleTheNextActionJustWorks)
{
    // The server is restarted (an update, a reboot of the server machine) while the
    // screen sits open: its connection is gone, but the user has nothing to notice.
    ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);
    stopServer();
    startServer();
    addExerciseByCode(u"002120"_s, u"0130"_s);
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    EXPECT_EQ(storedPlan(Maria).size(), 4);
    EXPECT_EQ(shownPlan().size(), 4);
}

TEST_P(ServerLost, DownWhenTheScreenOpensThenBack)
{
    // The consultation cannot be loaded: the user is told, and the empty screen offers
    // nothing that could be saved under it.
    stopServer();
    ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);
    expectOneReadableFailure();
    EXPECT_TRUE(shownPlan().isEmpty());
    EXPECT_FALSE(form->sbtIncluir->Enabled());
    EXPECT_FALSE(form->sbtAlterar->Enabled());
    EXPECT_FALSE(form->sbtExcluir->Enabled());

    // With the server back, closing and opening the screen again loads the consultation.
    startServer();
    closeScreen();
    forgetMessages();
    ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    EXPECT_EQ(form->dbePeso->Text(), u"68,5"_s);
    EXPECT_EQ(shownPlan().size(), 3);
    EXPECT_EQ(storedPlan(Maria).size(), 3);
}

QOR_INSTANTIATE_BACKENDS(ServerLost);

} // namespace
} // namespace qor::testing
