// One row changed again and again, and the saves around a refusal: each save sends what
// the server holds as the row's former values, so that the next change is taken, and
// what the screen shows after a refusal is what the server stored.
#include "journey.h"
#include "otherworkstation.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "framework/buttonflat.h"
#include "sql/sqlquery.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

const QString Conflict = u"Registro alterado ou excluído por outro usuário."_s;

class SaveSequences : public Journey
{
protected:
    // The stored hours of one of Maria's plan rows; -1 without the row.
    double storedHours(const QString &code)
    {
        for (const StoredRow &row : storedPlan(Maria)) {
            if (row.code == code)
                return row.hours;
        }
        return -1;
    }
    ShownRow shown(const QString &code) const
    {
        for (const ShownRow &row : shownPlan()) {
            if (row.code == code)
                return row;
        }
        return {};
    }
    // Maria's weight stored blank, a plan row opened for editing, and a weight typed.
    void editARowAndTypeAWeight(const QString &weight)
    {
        SqlStatement blank(harness->server().db(),
                           u"UPDATE INFOAVAL SET DSINFOAVAL = '' WHERE CDPACIENTE = ?"_s);
        blank.bind(Maria);
        blank.exec();
        ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);
        ScreenHarness::click(form->sbtAlterar);
        ASSERT_EQ(form->cdsPlaneja->State(), dsEdit);
        typeWeight(weight);
    }
};

struct Step
{
    const char *name;
    QString code;
    QString hhmm; // empty: the row is deleted
    double storedAfter; // hours the server then holds for the row; -1: no row
};

// Each save of a row carries, as its former values, what the previous save stored: the
// server takes every one of them, and never finds the row changed by someone else.
TEST_P(SaveSequences, OneRowChangedAgainAndAgainIsSavedEachTime)
{
    const Step steps[] = {
        {"added", u"002120"_s, u"0050"_s, 0.83333333},
        {"changed", u"002120"_s, u"0200"_s, 2},
        {"changed again", u"002120"_s, u"0245"_s, 2.75},
        {"a loaded row changed", u"017190"_s, u"0010"_s, 0.16666667},
        {"the loaded row changed again", u"017190"_s, u"0020"_s, 0.33333333},
        {"the added row deleted", u"002120"_s, QString(), -1},
        {"the loaded row deleted", u"017190"_s, QString(), -1},
    };
    ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);
    for (const Step &step : steps) {
        SCOPED_TRACE(step.name);
        if (step.hhmm.isEmpty()) {
            selectRow(step.code);
            deleteCurrentRow();
        } else if (step.storedAfter >= 0 && storedHours(step.code) < 0) {
            addExerciseByCode(step.code, step.hhmm);
        } else {
            changeTime(step.code, step.hhmm);
        }
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        EXPECT_NEAR(storedHours(step.code), step.storedAfter, 1e-8);
        EXPECT_EQ(form->cdsPlaneja->ChangeCount(), 0);
    }
}

// A change refused because another workstation changed the row first: Esc on a new edit
// of that row shows the row as before, and once verify has read the other's change the
// same change goes through.
TEST_P(SaveSequences, AfterARefusedChangeEscAndVerifyLeadToASavedChange)
{
    ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);
    OtherWorkstation other;
    other.openConsultation(ScreenHarness::Branch, Maria, Date());
    ASSERT_EQ(other.changeHours(u"018310"_s, 1), QString());
    const ShownRow before = shown(u"018310"_s);
    changeTime(u"018310"_s, u"0200"_s);
    EXPECT_EQ(errorTexts(), QStringList{Conflict});
    EXPECT_EQ(shown(u"018310"_s), before);

    forgetMessages();
    selectRow(u"018310"_s);
    ScreenHarness::click(form->sbtAlterar);
    typeText(u"0300"_s);
    press(Qt::Key_Escape); // the typed text
    press(Qt::Key_Escape); // the edit
    EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
    EXPECT_EQ(form->cdsPlaneja->ChangeCount(), 0);
    EXPECT_EQ(shown(u"018310"_s), before);
    EXPECT_DOUBLE_EQ(storedHours(u"018310"_s), 1);

    verify();
    changeTime(u"018310"_s, u"0200"_s);
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    EXPECT_DOUBLE_EQ(storedHours(u"018310"_s), 2);
}

struct WeightRefusal
{
    const char *name;
    // Stored before the screen opens, on the consultation of Maria.
    const char *storedBefore; // null: no weight row
    QString told;
};

// A weight the server refuses because another workstation recorded one first: the screen
// shows the stored weight, locked, and opens the plan, instead of an empty edit whose every
// new weight would be refused again until the screen is closed.
TEST_P(SaveSequences, AWeightRefusedForAnotherOneShowsTheStoredWeight)
{
    const WeightRefusal refusals[] = {
        {"the other recorded the first weight", nullptr,
         u"Informação de avaliação já cadastrada para a consulta."_s},
        {"the other recorded a weight over a blank one", "  ", Conflict},
    };
    for (const WeightRefusal &refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        TearDown();
        SetUp();
        ASSERT_FALSE(HasFatalFailure());
        forgetMessages();
        if (refusal.storedBefore) {
            SqlStatement blank(harness->server().db(),
                               u"UPDATE INFOAVAL SET DSINFOAVAL = ? WHERE CDPACIENTE = ?"_s);
            blank.bind(QString::fromUtf8(refusal.storedBefore)).bind(Maria);
            blank.exec();
        } else {
            SqlStatement none(harness->server().db(),
                              u"DELETE FROM INFOAVAL WHERE CDPACIENTE = ?"_s);
            none.bind(Maria);
            none.exec();
        }
        ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);
        ASSERT_TRUE(form->dbePeso->Enabled());
        const QString totalBefore = shownTotal();
        form->dbePeso->SetText(QString());
        typeWeight(u"70"_s);
        OtherWorkstation other;
        other.openConsultation(ScreenHarness::Branch, Maria, Date());
        ASSERT_EQ(other.recordWeight(u"81,2"_s), QString());

        confirm();
        EXPECT_EQ(errorTexts(), QStringList{refusal.told});
        EXPECT_EQ(storedWeight(Maria), QVariant(u"81,2"_s));
        // What is shown is what is stored: the other's weight, locked, the plan open and
        // its figures computed with that weight.
        EXPECT_EQ(form->cdsPeso->State(), dsBrowse);
        EXPECT_EQ(form->cdsPeso->ChangeCount(), 0);
        EXPECT_EQ(form->dbePeso->Text(), u"81,2"_s);
        EXPECT_FALSE(form->dbePeso->Enabled());
        EXPECT_TRUE(form->dbgPadrao->Enabled());
        EXPECT_EQ(totalBefore, u"0,000"_s);
        // 81,2 kg x (3,5 x 1 h + 3,5 x 0,75 h + 6 x 0,5 h) / 7 = 105,85 a day.
        EXPECT_EQ(shownTotal(), u"105,850"_s);
        const QList<ShownRow> figures = shownPlan();
        const QString total = shownTotal();

        // The user carries on with the plan, and the reopened screen agrees.
        forgetMessages();
        addExerciseByCode(u"002120"_s, u"0130"_s);
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        EXPECT_DOUBLE_EQ(storedHours(u"002120"_s), 1.5);
        closeScreen();
        ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);
        EXPECT_EQ(form->dbePeso->Text(), u"81,2"_s);
        QList<ShownRow> reopened = shownPlan();
        reopened.removeIf([](const ShownRow &row) { return row.code == u"002120"_s; });
        EXPECT_EQ(reopened, figures);
        // 105,85 and 81,2 kg x 5,3 kcal/kg/h x 1,5 h / 7 = 92,22 a day.
        EXPECT_EQ(shownTotal(), u"198,070"_s);
        closeScreen();
    }
}

// A weight refused when the server cannot read weights back either: the refusal is the
// one failure shown, and the screen is left as before the weight was typed.
TEST_P(SaveSequences, AWeightRefusedWithTheWeightsUnreadableIsRolledBack)
{
    ASSERT_NE(openConsultation(Joao, u"João Pereira"_s), nullptr);
    execSql(harness->server().db(), u"DROP TABLE INFOAVAL"_s);
    typeWeight(u"80"_s);
    confirm();
    EXPECT_EQ(errorTexts().size(), 1) << errorTexts().join(u'\n').toStdString();
    EXPECT_EQ(form->cdsPeso->State(), dsBrowse);
    EXPECT_TRUE(form->cdsPeso->IsEmpty());
    EXPECT_EQ(form->cdsPeso->ChangeCount(), 0);
    EXPECT_EQ(form->dbePeso->Text(), QString());
    EXPECT_TRUE(form->dbePeso->Enabled());
    EXPECT_FALSE(form->dbgPadrao->Enabled());
}

// With a blank weight a plan row can still be opened for editing (the edit command), and
// the weight typed meanwhile. Verify, answered Yes, drops the plan row's edit only: the
// weight being typed stays, with its confirm and cancel.
TEST_P(SaveSequences, VerifyWhileARowAndTheWeightAreTypedKeepsTheWeight)
{
    ASSERT_NO_FATAL_FAILURE(editARowAndTypeAWeight(u"72"_s));
    ASSERT_EQ(form->cdsPeso->State(), dsEdit);

    harness->dialogs().QueueAnswer(mrYes);
    verify();
    EXPECT_EQ(questions().size(), 1);
    EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
    EXPECT_EQ(form->cdsPeso->State(), dsEdit);
    EXPECT_EQ(form->dbePeso->Text(), u"72"_s);
    EXPECT_TRUE(form->sbtConfirmar->Enabled());

    confirm();
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    EXPECT_EQ(storedWeight(Maria), QVariant(u"72"_s));
}

// The weight saved while a plan row is open for editing: once that edit is given up, the
// figures and the total are those of the saved weight, as the reopened screen shows them.
TEST_P(SaveSequences, WeightSavedDuringARowEditCountsOnceTheEditIsCancelled)
{
    ASSERT_NO_FATAL_FAILURE(editARowAndTypeAWeight(u"72"_s));
    confirm(); // the weight
    ASSERT_EQ(storedWeight(Maria), QVariant(u"72"_s));
    cancel(mrYes); // the plan row
    EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    const QList<ShownRow> figures = shownPlan();
    const QString total = shownTotal();

    closeScreen();
    ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);
    EXPECT_EQ(shownPlan(), figures);
    EXPECT_EQ(shownTotal(), total);
}

QOR_INSTANTIATE_BACKENDS(SaveSequences);

} // namespace
} // namespace qor::testing
