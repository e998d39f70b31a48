// The energy figures of each plan row and the plan's daily total, computed from the
// weight the weight edit shows, on plans loaded from a real qor-server and on rows typed
// into the real grid.
#include "entry_fixture.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/edit.h"
#include "framework/buttonflat.h"
#include "module/Cli_qor12700.h"

#include <QAbstractItemModel>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

class EnergyTest : public PlanScreenTest
{
protected:
    // The grid row showing the code, -1 when none does.
    int rowOf(const QString &code) const
    {
        const QAbstractItemModel *model = form->dbgPadrao->model();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (cell(u"CDEXERFISICO"_s, row) == code)
                return row;
        }
        return -1;
    }
};

struct PlanRow
{
    QString code;
    QVariant hours;
    QVariant kcalPerKgHour;
    QString daily; // as the grid shows it
};

struct LoadedPlanCase
{
    const char *name;
    QVariant weight; // the stored weight text; null: no weight recorded
    QList<PlanRow> rows;
    QString total;
};

TEST_P(EnergyTest, LoadedPlanShowsRowFiguresAndTheirTotal)
{
    const LoadedPlanCase cases[] = {
        {"one row", u"70,5"_s, {{u"001030"_s, 1.5, 8.0, u"120,857"_s}}, u"120,857"_s},
        // The total adds the unrounded figures and rounds once.
        {"three thirds",
         u"7"_s,
         {{u"001010"_s, 1.0, 0.3334, u"0,333"_s},
          {u"001020"_s, 1.0, 0.3334, u"0,333"_s},
          {u"001030"_s, 1.0, 0.3334, u"0,333"_s}},
         u"1,000"_s},
        {"no time or a time of zero",
         u"70,5"_s,
         {{u"001030"_s, 0.0, 8.0, QString()},
          {u"001010"_s, QVariant(), 4.0, QString()},
          {u"002010"_s, 1.0, 7.0, u"70,500"_s}},
         u"70,500"_s},
        {"no energy cost", u"70,5"_s, {{u"001030"_s, 1.5, QVariant(), u"0,000"_s}}, u"0,000"_s},
        {"blank weight",
         u"   "_s,
         {{u"001030"_s, 1.5, 8.0, u"0,000"_s}, {u"001010"_s, 0.0, 4.0, QString()}},
         u"0,000"_s},
        {"no weight recorded", QVariant(), {{u"001030"_s, 1.5, 8.0, u"0,000"_s}}, u"0,000"_s},
        // Grouping is not accepted in a typed number: the weight does not convert.
        {"weight with a thousands point",
         u"1.070,5"_s,
         {{u"001030"_s, 1.5, 8.0, u"0,000"_s}},
         u"0,000"_s},
        {"weight with a decimal point",
         u"70.5"_s,
         {{u"001030"_s, 1.5, 8.0, u"0,000"_s}},
         u"0,000"_s},
        {"thousands are grouped",
         u"100"_s,
         {{u"012070"_s, 23.98333333, 12.0, u"4.111,429"_s},
          {u"001010"_s, 23.0, 11.0, u"3.614,286"_s}},
         u"7.725,714"_s},
        {"empty plan", u"70,5"_s, {}, u"0,000"_s},
    };
    for (const LoadedPlanCase &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.weight.isNull()) {
            setWeight(ScreenHarness::Maria, QVariant());
        } else {
            // The row may have been removed by an earlier case.
            exec(u"DELETE FROM INFOAVAL WHERE CDPACIENTE = ?"_s, {ScreenHarness::Maria});
            exec(u"INSERT INTO INFOAVAL (CDFILIAL, CDPACIENTE, DTCONSPACI, CDTBMETOAVAL, "
                 u"CDTIPODADO, DSINFOAVAL) SELECT CDFILIAL, CDPACIENTE, DTCONSPACI, "
                 u"CDTBMETOAVAL, '01', ? FROM METOAVAL WHERE CDPACIENTE = ?"_s,
                 {c.weight, ScreenHarness::Maria});
        }
        clearPlan(ScreenHarness::Maria);
        for (const PlanRow &row : c.rows)
            addPlanRow(ScreenHarness::Maria, row.code, row.hours, row.kcalPerKgHour);

        ASSERT_NE(open(), nullptr);
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        ASSERT_EQ(form->cdsPlaneja->RecordCount(), c.rows.size());
        for (const PlanRow &row : c.rows) {
            SCOPED_TRACE(row.code.toStdString());
            const int at = rowOf(row.code);
            ASSERT_GE(at, 0);
            EXPECT_EQ(cell(u"Kcal/Dia"_s, at), row.daily);
        }
        EXPECT_EQ(form->edtTotal->Text(), c.total);
        harness->closeScreen();
    }
}

TEST_P(EnergyTest, TypedRowShowsItsFiguresAndThePostedRowJoinsTheTotal)
{
    setWeight(ScreenHarness::Maria, u"70,5"_s);
    clearPlan(ScreenHarness::Maria);
    addPlanRow(ScreenHarness::Maria, u"001010"_s, 1.0, 7.0); // 70,500 a day
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(form->edtTotal->Text(), u"70,500"_s);

    typeNewRow(u"1030"_s, u"0130"_s);
    ASSERT_EQ(form->cdsPlaneja->State(), dsInsert);
    // 70,5 kg x 8 kcal/kg/h x 1,5 h = 846 a week, 120,857... a day.
    EXPECT_EQ(cell(u"Kcal/Dia"_s), u"120,857"_s);
    EXPECT_DOUBLE_EQ(form->cdsPlanejaKcalSemana->AsFloat(), 846.0);
    EXPECT_EQ(form->cdsPlanejaKcalSemana->DisplayText(), u"846,000"_s);
    EXPECT_TRUE(form->dbgPadrao->isColumnHidden(column(u"Kcal/Semana"_s)));
    // Not posted yet: the total is the one of the saved plan.
    EXPECT_EQ(form->edtTotal->Text(), u"70,500"_s);

    clickConfirmar();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
    ASSERT_EQ(form->cdsPlaneja->State(), dsBrowse);
    EXPECT_EQ(form->edtTotal->Text(), u"191,357"_s);
    // Back on the posted row, found again by its code.
    EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), u"001030"_s);
    EXPECT_EQ(storedRowCount(ScreenHarness::Maria), 2);
}

TEST_P(EnergyTest, TotalWalkReturnsToTheCurrentRowAndFollowsDeletes)
{
    // The demo plan: 68,5 kg; 3,5 kcal/kg/h for 1 h and for 0,75 h, 6 for 0,5 h.
    ASSERT_NE(open(), nullptr);
    EXPECT_EQ(form->edtTotal->Text(), u"89,295"_s);
    ASSERT_EQ(form->cdsPlaneja->RecordCount(), 3);

    press(Qt::Key_Down);
    const QString current = form->cdsPlanejaCDEXERFISICO->AsString();
    ASSERT_EQ(form->cdsPlaneja->RecNo(), 2);
    form->Atualiza_KcalDia();
    EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), current);
    EXPECT_EQ(form->dbgPadrao->currentIndex().row(), 1); // the grid followed
    EXPECT_FALSE(form->cdsPlaneja->Eof());

    // Deleting the walking row of 1 h (34,25 a day) takes it out of the total.
    ASSERT_TRUE(form->cdsPlaneja->Locate(u"CDEXERFISICO"_s, u"017190"_s));
    harness->dialogs().QueueAnswer(mrYes);
    ScreenHarness::click(form->sbtExcluir);
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
    EXPECT_EQ(form->cdsPlaneja->RecordCount(), 2);
    EXPECT_EQ(form->edtTotal->Text(), u"55,045"_s);
    EXPECT_EQ(storedRowCount(ScreenHarness::Maria), 2);
}

struct DeleteCase
{
    const char *name;
    QString deleted;
    QString currentAfter; // the row after the deleted one, or before it for the last
    QString total;
};

// The walk after a delete comes back to the row the delete left current, not to the
// row it stopped on: the next delete must ask about the row the user sees selected.
TEST_P(EnergyTest, DeleteDropsTheRowsFigureAndLeavesTheFollowingRowCurrent)
{
    // 7 kg and one hour a week of each: 7, 14 and 21 kcal a day, 42,000 in all.
    const DeleteCase cases[] = {
        {"the first row", u"001010"_s, u"001030"_s, u"35,000"_s},
        {"a middle row", u"001030"_s, u"002010"_s, u"28,000"_s},
        {"the last row", u"002010"_s, u"001030"_s, u"21,000"_s},
    };
    for (const DeleteCase &c : cases) {
        SCOPED_TRACE(c.name);
        setWeight(ScreenHarness::Maria, u"7"_s);
        clearPlan(ScreenHarness::Maria);
        addPlanRow(ScreenHarness::Maria, u"001010"_s, 1.0, 7.0);
        addPlanRow(ScreenHarness::Maria, u"001030"_s, 1.0, 14.0);
        addPlanRow(ScreenHarness::Maria, u"002010"_s, 1.0, 21.0);
        ASSERT_NE(open(), nullptr);
        ASSERT_EQ(form->edtTotal->Text(), u"42,000"_s);
        ASSERT_TRUE(form->cdsPlaneja->Locate(u"CDEXERFISICO"_s, c.deleted));
        ScreenHarness::processEvents();

        harness->dialogs().QueueAnswer(mrYes);
        ScreenHarness::click(form->sbtExcluir);
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        EXPECT_EQ(storedRowCount(ScreenHarness::Maria), 2);
        EXPECT_EQ(form->edtTotal->Text(), c.total);
        EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), c.currentAfter);
        EXPECT_EQ(form->dbgPadrao->currentIndex().row(), rowOf(c.currentAfter));
        harness->closeScreen();
    }
}

TEST_P(EnergyTest, WeightTypedAndNotSavedCountsOnlyForRowsRecalculated)
{
    // João has no weight yet; his plan was written by another workstation.
    addPlanRow(ScreenHarness::Joao, u"001030"_s, 1.5, 8.0);
    addPlanRow(ScreenHarness::Joao, u"001010"_s, 1.0, 7.0);
    ASSERT_NE(open(ScreenHarness::Joao), nullptr);
    ASSERT_EQ(form->cdsPlaneja->RecordCount(), 2);
    EXPECT_EQ(form->edtTotal->Text(), u"0,000"_s);

    QTest::keyClicks(form->dbePeso, u"70,5"_s);
    ScreenHarness::processEvents();
    ASSERT_EQ(form->dbePeso->Text(), u"70,5"_s);
    // Moving through the plan recalculates the rows with the text as it stands; the
    // total waits for the next open, post or delete.
    QStringList walked;
    for (form->cdsPlaneja->First(); !form->cdsPlaneja->Eof(); form->cdsPlaneja->Next()) {
        const QString code = form->cdsPlanejaCDEXERFISICO->AsString();
        walked.append(code);
        EXPECT_EQ(form->cdsPlanejaKcalDia->DisplayText(),
                  code == u"001030"_s ? u"120,857"_s : u"70,500"_s)
            << code.toStdString();
    }
    EXPECT_EQ(walked, (QStringList{u"001010"_s, u"001030"_s}));
    EXPECT_EQ(form->edtTotal->Text(), u"0,000"_s);
}

QOR_INSTANTIATE_BACKENDS(EnergyTest);

} // namespace
} // namespace qor::testing
