// Two workstations on Maria's consultation: this screen and another client of the same
// qor-server (see otherworkstation.h for why the other one is not a second screen).
// Whoever saves second loses, is told why in Portuguese, and gets its own change rolled
// back; nothing either of them saved is overwritten; verify shows each the server's rows.
#include "journey.h"
#include "otherworkstation.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/edit.h"
#include "framework/netconnection.h"
#include "framework/showavi.h"
#include "remote/rpcclient.h"

#include <QApplication>
#include <algorithm>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

const QString AlreadyPlanned = u"Exercício físico já cadastrado."_s;
const QString Conflict = u"Registro alterado ou excluído por outro usuário."_s;

class TwoWorkstations : public Journey
{
protected:
    ShownRow shown(const QString &code) const
    {
        for (const ShownRow &row : shownPlan()) {
            if (row.code == code)
                return row;
        }
        return {};
    }
    QStringList storedCodes()
    {
        QStringList codes;
        for (const StoredRow &row : storedPlan(Maria))
            codes.append(row.code);
        return codes;
    }
    double storedHours(const QString &code)
    {
        for (const StoredRow &row : storedPlan(Maria)) {
            if (row.code == code)
                return row.hours;
        }
        return -1;
    }
    // The screen is back at rest after a refused save: nothing pending, nothing left up.
    void expectScreenAtRest()
    {
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_EQ(form->cdsPlaneja->ChangeCount(), 0);
        EXPECT_FALSE(ShowAviVisible());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
};

TEST_P(TwoWorkstations, SecondToSaveIsToldAndRolledBack)
{
    // Maria's consultation, open here and on the other workstation.
    ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);
    OtherWorkstation other;
    other.openConsultation(ScreenHarness::Branch, Maria, Date());
    const QStringList demoPlan{u"002054"_s, u"017190"_s, u"018310"_s};
    ASSERT_EQ(shownCodes(), demoPlan);
    ASSERT_EQ(other.codes().size(), 3);

    // --- Both add Hidroginástica ------------------------------------------------
    // Here it is typed and the code column left: not planned yet, so no complaint...
    startNewRow();
    typeCode(u"002120"_s);
    leaveColumn();
    typeTime(u"0130"_s);
    leaveColumn();
    ASSERT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    // ...while the other workstation saves it first, for two hours.
    EXPECT_EQ(other.addExercise(u"002120"_s, 2, 5.3), QString());
    // This screen's confirm is refused and its row rolled back.
    confirm();
    EXPECT_EQ(errorTexts(), QStringList{AlreadyPlanned});
    EXPECT_EQ(shownCodes(), demoPlan);
    expectScreenAtRest();
    EXPECT_EQ(storedHours(u"002120"_s), 2.0) << "the other workstation's row was overwritten";

    // Typed again, it is now stopped as soon as the code column is left.
    forgetMessages();
    startNewRow();
    typeCode(u"002120"_s);
    leaveColumn();
    EXPECT_EQ(messages(), QStringList{AlreadyPlanned});
    cancel(mrYes);
    EXPECT_EQ(shownCodes(), demoPlan);

    // The other way round: Pilates is saved here first; the other workstation is
    // refused, and its row is rolled back there.
    forgetMessages();
    addExerciseByCode(u"002105"_s, u"0050"_s);
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    EXPECT_EQ(other.addExercise(u"002105"_s, 1, 3.0), AlreadyPlanned);
    EXPECT_FALSE(other.codes().contains(u"002105"_s));
    EXPECT_EQ(other.pendingChanges(), 0);
    EXPECT_DOUBLE_EQ(storedHours(u"002105"_s), 0.83333333);

    // --- A change to a row the other deleted ---------------------------------------
    // The other workstation drops the walk; this screen, still showing it, changes its
    // time: refused, the row shows its former time, and it is not brought back.
    EXPECT_EQ(other.deleteExercise(u"017190"_s), QString());
    changeTime(u"017190"_s, u"0200"_s);
    EXPECT_EQ(errorTexts(), QStringList{Conflict});
    expectScreenAtRest();
    EXPECT_EQ(shown(u"017190"_s).time, u"01:00"_s);
    EXPECT_FALSE(storedCodes().contains(u"017190"_s));

    // This screen drops the swim; the other workstation, still holding it, changes it.
    forgetMessages();
    selectRow(u"018310"_s);
    deleteCurrentRow();
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    EXPECT_EQ(other.changeHours(u"018310"_s, 3), Conflict);
    EXPECT_DOUBLE_EQ(other.hours(u"018310"_s), 0.5);
    EXPECT_FALSE(storedCodes().contains(u"018310"_s));

    // Both change the weight training: the first to save keeps its value.
    changeTime(u"002054"_s, u"0100"_s);
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    EXPECT_EQ(other.changeHours(u"002054"_s, 2), Conflict);
    EXPECT_DOUBLE_EQ(other.hours(u"002054"_s), 0.75);
    EXPECT_DOUBLE_EQ(storedHours(u"002054"_s), 1.0);

    // The other workstation reloads and gives Pilates an hour; this screen, still
    // showing 00:50, deletes it: refused, the row comes back, and the other's hour stands.
    other.verify();
    EXPECT_EQ(other.changeHours(u"002105"_s, 1), QString());
    selectRow(u"002105"_s);
    deleteCurrentRow();
    EXPECT_EQ(errorTexts(), QStringList{Conflict});
    expectScreenAtRest();
    EXPECT_EQ(shown(u"002105"_s).time, u"00:50"_s);
    EXPECT_DOUBLE_EQ(storedHours(u"002105"_s), 1.0);
    forgetMessages();

    // --- Verify, on each ---------------------------------------------------------
    // Both now show what the server holds. With Maria's 68,5 kg:
    //   002054 3.5 kcal/kg/h x 1 h / 7 = 34.25; 002105 3 x 1 / 7 = 29.357142...;
    //   002120 5.3 x 2 / 7 = 103.728571...; total 167.335714...
    verify();
    other.verify();
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    const QStringList serverPlan{u"002054"_s, u"002105"_s, u"002120"_s};
    EXPECT_EQ(storedCodes(), serverPlan);
    EXPECT_EQ(shownPlan(),
              (QList<ShownRow>{
                  {u"002054"_s, u"Musculação, vários exercícios, 8 a 15 repetições"_s, u"3,5"_s,
                   u"01:00"_s, u"34,250"_s},
                  {u"002105"_s, u"Pilates, geral"_s, u"3"_s, u"01:00"_s, u"29,357"_s},
                  {u"002120"_s, u"Hidroginástica"_s, u"5,3"_s, u"02:00"_s, u"103,729"_s},
              }));
    EXPECT_EQ(shownTotal(), u"167,336"_s);
    QStringList otherCodes = other.codes();
    std::sort(otherCodes.begin(), otherCodes.end());
    EXPECT_EQ(otherCodes, serverPlan);
    EXPECT_DOUBLE_EQ(other.hours(u"002054"_s), 1.0);
    EXPECT_DOUBLE_EQ(other.hours(u"002105"_s), 1.0);
    EXPECT_DOUBLE_EQ(other.hours(u"002120"_s), 2.0);
}

struct WeightRace
{
    const char *name;
    // The screen's plan service call during which the other workstation records its
    // weight; empty: it does so before this screen confirms.
    QString otherSavesDuring;
    // What each confirm of this screen is told, in order.
    QStringList toldOnEachConfirm;
};

TEST_P(TwoWorkstations, BothRecordTheFirstWeightOfAConsultation)
{
    const QString methodThere = u"Método de avaliação já cadastrado para a consulta."_s;
    const QString weightThere = u"Informação de avaliação já cadastrada para a consulta."_s;
    const WeightRace races[] = {
        {"the other saved before this confirm", {}, {weightThere}},
        // Between this screen's look for the method row and its creation: the method
        // row is refused and the weight stays typed; confirmed again, the weight row is.
        {"the other saved while this screen created the method row",
         u"SetMetoAval"_s,
         {methodThere, weightThere}},
    };
    TDateTime consultation = Date();
    for (const WeightRace &race : races) {
        SCOPED_TRACE(race.name);
        consultation -= 1; // a fresh consultation of João for each race
        ASSERT_NE(openConsultation(Joao, u"João Pereira"_s, consultation), nullptr);
        OtherWorkstation other;
        other.openConsultation(ScreenHarness::Branch, Joao, consultation);
        QString otherTold = u"(not yet)"_s;
        QObject::connect(form->netPlanejaExerc->Client(), &RpcClient::callStarted, form,
                         [&](const QString &method) {
                             if (method == race.otherSavesDuring)
                                 otherTold = other.recordWeight(u"81,2"_s);
                         });

        typeWeight(u"80"_s);
        if (race.otherSavesDuring.isEmpty())
            otherTold = other.recordWeight(u"81,2"_s);
        for (int i = 0; i < race.toldOnEachConfirm.size(); ++i) {
            forgetMessages();
            confirm();
            EXPECT_EQ(errorTexts(), QStringList{race.toldOnEachConfirm[i]});
            const bool last = i + 1 == race.toldOnEachConfirm.size();
            // Until the weight row itself is refused, the typed weight is kept; refused,
            // the weight the other recorded is shown.
            EXPECT_EQ(form->dbePeso->Text(), last ? u"81,2"_s : u"80"_s);
        }
        EXPECT_EQ(otherTold, QString());
        EXPECT_EQ(form->cdsPeso->ChangeCount(), 0);
        EXPECT_EQ(form->cdsMetoAval->ChangeCount(), 0);
        EXPECT_FALSE(ShowAviVisible());
        // The other workstation's weight stands, under one method row.
        EXPECT_EQ(storedWeight(Joao, consultation), QVariant(u"81,2"_s));
        EXPECT_EQ(storedMethod(Joao, consultation), QVariant(u"N"_s));

        // Opened again, the screen shows the recorded weight, locked, and the plan open.
        closeScreen();
        ASSERT_NE(openConsultation(Joao, u"João Pereira"_s, consultation), nullptr);
        EXPECT_EQ(form->dbePeso->Text(), u"81,2"_s);
        EXPECT_FALSE(form->dbePeso->Enabled());
        EXPECT_TRUE(form->dbgPadrao->Enabled());
        closeScreen();
    }
}

QOR_INSTANTIATE_BACKENDS(TwoWorkstations);

} // namespace
} // namespace qor::testing
