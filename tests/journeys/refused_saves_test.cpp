// What a screen is left with after the server refused one of its saves because another
// workstation changed the same consultation first: the user is told, nothing refused
// stays pending, the figures and the total agree with the rows shown, and the next
// change is saved as usual.
#include "journey.h"
#include "otherworkstation.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/edit.h"
#include "framework/buttonflat.h"
#include "framework/consiste.h"
#include "framework/showavi.h"
#include "rtl/convert.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

const QString AlreadyPlanned = u"Exercício físico já cadastrado."_s;
const QString Conflict = u"Registro alterado ou excluído por outro usuário."_s;
const QString WeightThere = u"Informação de avaliação já cadastrada para a consulta."_s;

class RefusedSaves : public Journey
{
protected:
    // A fresh consultation of João, a day further back for each call, whose weight and
    // plan the other workstation has recorded: 80 kg, a walk of an hour and half an
    // hour of swimming.
    TDateTime prepareConsultation(OtherWorkstation &other, bool withPlan = true)
    {
        m_consultation -= 1;
        other.openConsultation(ScreenHarness::Branch, Joao, m_consultation);
        EXPECT_EQ(other.recordWeight(u"80"_s), QString());
        if (withPlan) {
            EXPECT_EQ(other.addExercise(u"017190"_s, 1, 3.5), QString());
            EXPECT_EQ(other.addExercise(u"018310"_s, 0.5, 6), QString());
        }
        return m_consultation;
    }

    // The code of the line the grid stands on, as the user sees it.
    QString currentCode() const
    {
        const QModelIndex current = form->dbgPadrao->currentIndex();
        const int codeColumn = IndiceCol(form->dbgPadrao, u"CDEXERFISICO"_s);
        return form->dbgPadrao->model()->index(current.row(), codeColumn).data().toString();
    }

    // A new row of the exercise the other workstation is about to save: its code
    // checked (not yet planned) and its time typed.
    void typeNewRow()
    {
        startNewRow();
        typeCode(u"002120"_s);
        leaveColumn();
        typeTime(u"0130"_s);
    }

    // The total below the grid is the sum of the daily figures of the rows the grid shows.
    void expectTotalOfShownRows()
    {
        double sum = 0;
        for (int row = 0; row < form->cdsPlaneja->RecordCount(); ++row)
            sum += form->cdsPlaneja->ValueAt(row, form->cdsPlanejaKcalDia).toDouble();
        EXPECT_EQ(shownTotal(), FormatFloat(u"#,##0.000"_s, sum));
    }

    // Nothing pending, nothing left up, the plan usable.
    void expectScreenAtRest()
    {
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_EQ(form->cdsPlaneja->ChangeCount(), 0);
        EXPECT_EQ(form->cdsPeso->ChangeCount(), 0);
        EXPECT_FALSE(ShowAviVisible());
        EXPECT_TRUE(form->dbgPadrao->Enabled()) << "the plan grid was left locked";
        EXPECT_TRUE(form->sbtIncluir->Enabled());
        EXPECT_FALSE(form->dbgPadrao->EditorMode()) << "the refused text is still in its cell";
    }

    TDateTime m_consultation = Date();
};

struct Refusal
{
    const char *name;
    bool withPlan;
    // What the screen does, with what the other workstation saves meanwhile.
    std::function<void(OtherWorkstation &)> race;
    QString told;
    QStringList shownAfter;
    // The row the grid stands on afterwards: the one the user acted on, when it is still
    // shown, so that the next command is not taken by its neighbour; empty: any.
    QString currentAfter;
};

TEST_P(RefusedSaves, TheScreenCarriesOnAfterARefusedSave)
{
    const QStringList plan{u"017190"_s, u"018310"_s};
    const Refusal refusals[] = {
        {"the other added the same exercise after this screen checked the code",
         true,
         [this](OtherWorkstation &other) {
             typeNewRow();
             leaveColumn();
             EXPECT_EQ(other.addExercise(u"002120"_s, 2, 5.3), QString());
             confirm();
         },
         AlreadyPlanned,
         plan,
         {}},
        {"the first exercise of an empty plan, added by the other first",
         false,
         [this](OtherWorkstation &other) {
             typeNewRow();
             leaveColumn();
             EXPECT_EQ(other.addExercise(u"002120"_s, 2, 5.3), QString());
             confirm();
         },
         AlreadyPlanned,
         {},
         {}},
        {"the same exercise added by the other, posted by going down past the last row",
         true,
         [this](OtherWorkstation &other) {
             typeNewRow();
             EXPECT_EQ(other.addExercise(u"002120"_s, 2, 5.3), QString());
             press(Qt::Key_Down);
         },
         AlreadyPlanned,
         plan,
         {}},
        {"a change to a row the other deleted, posted by moving to another row",
         true,
         [this](OtherWorkstation &other) {
             EXPECT_EQ(other.deleteExercise(u"017190"_s), QString());
             selectRow(u"017190"_s);
             typeTime(u"0200"_s);
             selectRow(u"018310"_s);
         },
         Conflict,
         plan,
         {}},
        {"a change to a row the other deleted", true,
         [this](OtherWorkstation &other) {
             EXPECT_EQ(other.deleteExercise(u"017190"_s), QString());
             changeTime(u"017190"_s, u"0200"_s);
         },
         Conflict, plan, u"017190"_s},
        {"a change to a row the other changed", true,
         [this](OtherWorkstation &other) {
             EXPECT_EQ(other.changeHours(u"018310"_s, 1), QString());
             changeTime(u"018310"_s, u"0200"_s);
         },
         Conflict, plan, u"018310"_s},
        {"deleting a row the other changed", true,
         [this](OtherWorkstation &other) {
             EXPECT_EQ(other.changeHours(u"018310"_s, 1), QString());
             selectRow(u"018310"_s);
             deleteCurrentRow();
         },
         Conflict, plan, u"018310"_s},
        {"deleting the first row, which the other changed", true,
         [this](OtherWorkstation &other) {
             EXPECT_EQ(other.changeHours(u"017190"_s, 2), QString());
             selectRow(u"017190"_s);
             deleteCurrentRow();
         },
         Conflict, plan, u"017190"_s},
        {"deleting a row the other deleted", true,
         [this](OtherWorkstation &other) {
             EXPECT_EQ(other.deleteExercise(u"018310"_s), QString());
             selectRow(u"018310"_s);
             deleteCurrentRow();
         },
         Conflict, plan, u"018310"_s},
    };
    for (const Refusal &refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        OtherWorkstation other;
        const TDateTime consultation = prepareConsultation(other, refusal.withPlan);
        ASSERT_NE(openConsultation(Joao, u"João Pereira"_s, consultation), nullptr);
        ASSERT_EQ(shownCodes(), refusal.withPlan ? plan : QStringList());
        const QString totalBefore = shownTotal();

        refusal.race(other);
        EXPECT_EQ(errorTexts(), QStringList{refusal.told});
        EXPECT_EQ(shownCodes(), refusal.shownAfter);
        EXPECT_EQ(shownTotal(), totalBefore);
        expectTotalOfShownRows();
        expectScreenAtRest();
        if (!refusal.currentAfter.isEmpty()) {
            EXPECT_EQ(currentCode(), refusal.currentAfter);
        }

        // The user carries on: the next change is saved, and only that change.
        forgetMessages();
        addExerciseByCode(u"002105"_s, u"0050"_s);
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        bool saved = false;
        for (const StoredRow &row : storedPlan(Joao, consultation))
            saved = saved || (row.code == u"002105"_s && std::abs(row.hours - 0.83333333) < 1e-6);
        EXPECT_TRUE(saved) << "the change after the refusal was not stored";
        expectTotalOfShownRows();
        expectScreenAtRest();

        // Verify shows the server's rows, with a total that is theirs.
        verify();
        QStringList stored;
        for (const StoredRow &row : storedPlan(Joao, consultation))
            stored.append(row.code);
        EXPECT_EQ(shownCodes(), stored);
        expectTotalOfShownRows();
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        closeScreen();
        forgetMessages();
    }
}

QOR_INSTANTIATE_BACKENDS(RefusedSaves);

} // namespace
} // namespace qor::testing
