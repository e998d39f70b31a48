// Every posted or deleted plan row goes to the plan service at once, one delta per
// change and none without a change; a failed save puts the screen back to what the
// server holds, with the total, the busy indicator and the commands as before.
#include "saving_fixture.h"

#include "data/clientdataset.h"
#include "forms/dbgrid.h"
#include "forms/edit.h"
#include "forms/menuitem.h"
#include "framework/buttonflat.h"
#include "framework/netconnection.h"
#include "framework/showavi.h"
#include "remote/rpcclient.h"
#include "rtl/convert.h"

#include <QApplication>
#include <QJsonObject>
#include <functional>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

class SavingTest : public ScreenFixture
{
protected:
    // The operations of the delta a call carried ("insert", "update", "delete").
    static QStringList operations(const ObservedCall &call)
    {
        QStringList ops;
        const QJsonArray changes = call.params.at(0).toObject().value(u"changes"_s).toArray();
        for (const QJsonValue &change : changes)
            ops.append(change.toObject().value(u"op"_s).toString());
        return ops;
    }
    void deleteCurrentRow()
    {
        harness->dialogs().QueueAnswer(mrYes); // "Confirma exclusão?"
        form->sbtExcluir->Click();
        ScreenHarness::processEvents();
    }
    // The screen is back at rest: nothing pending, nothing left up, the plan's commands.
    void expectAtRest()
    {
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_EQ(form->cdsPlaneja->ChangeCount(), 0);
        EXPECT_FALSE(ShowAviVisible());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_TRUE(form->sbtIncluir->Enabled());
        EXPECT_FALSE(form->sbtConfirmar->Enabled());
    }
};

TEST_P(SavingTest, AddedRowIsSentOnceAndCounted)
{
    ASSERT_NE(open(ScreenHarness::Maria), nullptr);
    const QString total = form->edtTotal->Text();
    clearCalls();
    addPlanRow(u"002120"_s, u"0130"_s);
    ASSERT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();

    EXPECT_EQ(methods().count(u"SetPlaneja"_s), 1);
    ASSERT_FALSE(calls.isEmpty());
    EXPECT_EQ(calls.last().method, u"SetPlaneja"_s);
    EXPECT_EQ(operations(calls.last()), QStringList{u"insert"_s});
    EXPECT_EQ(planRows(ScreenHarness::Maria), 4);
    EXPECT_DOUBLE_EQ(
        scalar(u"SELECT QTHREXERFISI FROM PLAEXERFISI WHERE CDPACIENTE = ? AND CDEXERFISICO = ?"_s,
               {ScreenHarness::Maria, u"002120"_s})
            .toDouble(),
        1.5);
    EXPECT_EQ(form->cdsPlaneja->RecordCount(), 4);
    // The demo plan's 89,295 a day, and 68,5 kg x 5,3 kcal/kg/h x 1,5 h / 7 = 77,796.
    EXPECT_EQ(total, u"89,295"_s);
    EXPECT_EQ(form->edtTotal->Text(), u"167,091"_s);
    EXPECT_EQ(ShowAviCount(1), 1);
    expectAtRest();
}

TEST_P(SavingTest, DeleteSendsOneDeltaAndLowersTheTotal)
{
    ASSERT_NE(open(ScreenHarness::Maria), nullptr);
    const QString total = form->edtTotal->Text();
    ASSERT_TRUE(form->cdsPlaneja->Locate(u"CDEXERFISICO"_s, u"018310"_s));
    clearCalls();
    deleteCurrentRow();
    ASSERT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();

    EXPECT_EQ(methods(), QStringList{u"SetPlaneja"_s});
    EXPECT_EQ(operations(calls.first()), QStringList{u"delete"_s});
    EXPECT_EQ(planRows(ScreenHarness::Maria), 2);
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM PLAEXERFISI WHERE CDEXERFISICO = '018310'"_s), 0);
    EXPECT_EQ(form->cdsPlaneja->RecordCount(), 2);
    EXPECT_LT(StrToFloat(form->edtTotal->Text().remove(u'.')),
              StrToFloat(QString(total).remove(u'.')));
    expectAtRest();
}

TEST_P(SavingTest, PostWithoutChangeCallsNothing)
{
    ASSERT_NE(open(ScreenHarness::Maria), nullptr);
    const QString total = form->edtTotal->Text();
    clearCalls();
    form->sbtAlterar->Click();
    form->sbtConfirmar->Click();
    ScreenHarness::processEvents();
    EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
    EXPECT_TRUE(calls.isEmpty()) << methods().join(u' ').toStdString();
    EXPECT_EQ(ShowAviCount(1), 0);
    EXPECT_EQ(form->edtTotal->Text(), total);
    expectAtRest();
}

struct FailureCase
{
    const char *name;
    // Breaks the save the way it breaks in use; runs when the screen is about to post.
    std::function<void(ScreenFixture &)> breakSave;
    int rowsOnServer; // of Maria's plan, afterwards
    QString message; // what the user reads, in part
};

TEST_P(SavingTest, FailedSaveOfANewRowTakesItBack)
{
    const FailureCase cases[] = {
        {"server stopped", [](ScreenFixture &f) { f.stopServerOn(u"SetPlaneja"_s); }, 3,
         u"servidor de aplicação"_s},
        {"same exercise saved by another workstation",
         [](ScreenFixture &f) { f.planElsewhere(ScreenHarness::Maria); }, 4,
         u"Exercício físico já cadastrado."_s},
    };
    for (const FailureCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(open(ScreenHarness::Maria), nullptr);
        const QString total = form->edtTotal->Text();
        ResetShowAviCounts();

        // The code column is left (its duplicate check passes), then the save breaks.
        form->sbtIncluir->Click();
        form->dbgPadrao->SetSelectedField(form->cdsPlanejaCDEXERFISICO);
        typeInGrid(u"002120"_s);
        form->dbgPadrao->SetSelectedField(form->cdsPlanejaQTHREXERFISI);
        typeInGrid(u"0130"_s);
        ASSERT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
        c.breakSave(*this);
        form->sbtConfirmar->Click();
        ScreenHarness::processEvents();

        ASSERT_EQ(harness->errors().size(), 1);
        EXPECT_TRUE(harness->errors().first().contains(c.message))
            << harness->errors().first().toStdString();
        EXPECT_EQ(form->cdsPlaneja->RecordCount(), 3);
        EXPECT_FALSE(form->cdsPlaneja->Locate(u"CDEXERFISICO"_s, u"002120"_s));
        EXPECT_EQ(form->edtTotal->Text(), total);
        EXPECT_EQ(ShowAviCount(1), 1);
        expectAtRest();

        if (!harness->server().isRunning())
            restartServer();
        EXPECT_EQ(planRows(ScreenHarness::Maria), c.rowsOnServer);
        harness->clearErrors();
        harness->closeScreen();
    }
}

TEST_P(SavingTest, FailedDeleteBringsTheRowBack)
{
    ASSERT_NE(open(ScreenHarness::Maria), nullptr);
    const QString total = form->edtTotal->Text();
    ASSERT_TRUE(form->cdsPlaneja->Locate(u"CDEXERFISICO"_s, u"002054"_s));
    stopServerOn(u"SetPlaneja"_s);
    deleteCurrentRow();

    ASSERT_EQ(harness->errors().size(), 1);
    EXPECT_TRUE(harness->errors().first().contains(u"servidor de aplicação"_s))
        << harness->errors().first().toStdString();
    EXPECT_EQ(form->cdsPlaneja->RecordCount(), 3);
    EXPECT_TRUE(form->cdsPlaneja->Locate(u"CDEXERFISICO"_s, u"002054"_s));
    EXPECT_EQ(form->edtTotal->Text(), total);
    expectAtRest();

    // Once the server is back the same delete goes through.
    restartServer();
    EXPECT_EQ(planRows(ScreenHarness::Maria), 3);
    deleteCurrentRow();
    EXPECT_EQ(harness->errors().size(), 1);
    EXPECT_EQ(planRows(ScreenHarness::Maria), 2);
}

struct IndicatorCase
{
    const char *name;
    QString patient;
    std::function<void()> act;
    // The reads and saves made, each with the busy indicator's kind while it ran
    // (-1: none shown).
    QStringList expected;
};

// The user sees "Gravando..." for as long as a save blocks the screen; the assessment
// method is read before the weight without it.
TEST_P(SavingTest, EverySaveRunsUnderTheSavingIndicator)
{
    const IndicatorCase cases[] = {
        {"first weight of the consultation",
         ScreenHarness::Joao,
         [this] {
             typeWeight(u"71,5"_s);
             form->sbtConfirmar->Click();
             ScreenHarness::processEvents();
         },
         {u"GetMetoAval -1"_s, u"SetMetoAval 1"_s, u"SetPeso 1"_s}},
        {"plan row added",
         ScreenHarness::Maria,
         [this] { addPlanRow(u"002120"_s, u"0130"_s); },
         {u"SetPlaneja 1"_s}},
        {"plan row deleted",
         ScreenHarness::Maria,
         [this] {
             ASSERT_TRUE(form->cdsPlaneja->Locate(u"CDEXERFISICO"_s, u"018310"_s));
             deleteCurrentRow();
         },
         {u"SetPlaneja 1"_s}},
    };
    const QStringList watched{u"GetMetoAval"_s, u"SetMetoAval"_s, u"SetPeso"_s, u"SetPlaneja"_s};
    for (const IndicatorCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(open(c.patient), nullptr);
        QStringList seen;
        QObject::connect(form->netPlanejaExerc->Client(), &RpcClient::callStarted, form,
                         [&](const QString &method) {
                             if (watched.contains(method))
                                 seen.append(method + u' ' + QString::number(ShowAviKind()));
                         });
        c.act();
        EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
        EXPECT_EQ(seen.join(u", "_s).toStdString(), c.expected.join(u", "_s).toStdString());
        EXPECT_FALSE(ShowAviVisible());
        harness->closeScreen();
    }
}

QOR_INSTANTIATE_BACKENDS(SavingTest);

} // namespace
} // namespace qor::testing
