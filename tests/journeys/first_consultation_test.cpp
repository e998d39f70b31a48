// João's first consultation, from the empty screen to a saved plan: the weight is
// recorded first, then three exercises are planned (two typed by code, one found in the
// search dialog), one time is changed and one exercise deleted. Every figure on the
// screen is checked against the arithmetic done by hand, and every change against the
// server's database; closing and reopening shows the same.
#include "journey.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/edit.h"
#include "forms/label.h"
#include "framework/showavi.h"

#include <QApplication>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

class FirstConsultation : public Journey
{
};

// The figures, by hand, with the weight 72,46 kg (kcal per day = weight x kcal/kg/h x
// hours / 7, shown with three decimals):
//   012070 Corrida 11,3 km/h, 11 kcal/kg/h, 10:00 -> 72.46 x 11 x 10 / 7 = 1138.657142...
//   017190 Caminhada, 3.5 kcal/kg/h, 00:40 (0.66666667 h) -> 169.073334... / 7 = 24.153333...
//   018310 Natação, 6 kcal/kg/h, 01:00 -> 434.76 / 7 = 62.108571...
//                                01:45 -> 760.83 / 7 = 108.69
const ShownRow Corrida{u"012070"_s, u"Corrida, 11,3 km/h"_s, u"11"_s, u"10:00"_s, u"1.138,657"_s};
const ShownRow Caminhada{u"017190"_s, u"Caminhada, 4,5 a 5,1 km/h, plano, ritmo moderado"_s,
                         u"3,5"_s, u"00:40"_s, u"24,153"_s};
const ShownRow NatacaoUmaHora{u"018310"_s, u"Natação, lazer, geral"_s, u"6"_s, u"01:00"_s,
                              u"62,109"_s};
const ShownRow NatacaoMaisTempo{u"018310"_s, u"Natação, lazer, geral"_s, u"6"_s, u"01:45"_s,
                                u"108,690"_s};

TEST_P(FirstConsultation, WeightThenThreeExercisesAChangeAndADeletion)
{
    // 1. A consultation without a weight: the plan is locked, the weight invites input.
    ASSERT_NE(openConsultation(Joao, u"João Pereira"_s), nullptr);
    EXPECT_EQ(form->edtPaciente->Text(), u"João Pereira"_s);
    EXPECT_FALSE(form->dbgPadrao->Enabled());
    EXPECT_TRUE(form->lblPeso->Enabled());
    EXPECT_TRUE(form->dbePeso->Enabled());
    EXPECT_EQ(form->dbePeso->Color(), clInfoBk);
    EXPECT_TRUE(shownPlan().isEmpty());
    EXPECT_EQ(shownTotal(), u"0,000"_s);

    // 2. The weight: typed, rounded to two decimals on leaving the field, confirmed.
    typeWeight(u"72,456"_s);
    EXPECT_EQ(form->dbePeso->Text(), u"72,456"_s);
    leaveWeight();
    EXPECT_FALSE(form->dbePeso->hasFocus());
    EXPECT_EQ(form->dbePeso->Text(), u"72,46"_s);
    confirm();
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    EXPECT_EQ(storedMethod(Joao), QVariant(u"N"_s));
    EXPECT_EQ(storedWeight(Joao), QVariant(u"72,46"_s));
    EXPECT_EQ(form->dbePeso->Text(), u"72,46"_s);
    EXPECT_FALSE(form->dbePeso->Enabled());
    EXPECT_EQ(form->dbePeso->Color(), clBtnFace);
    EXPECT_TRUE(form->dbgPadrao->Enabled());

    // 3. Three exercises: a short code (completed with zeros), a full code, and one
    //    found in the search dialog by a filter typed without accents.
    addExerciseByCode(u"12070"_s, u"1000"_s);
    addExerciseByCode(u"017190"_s, u"0040"_s);
    pickExerciseInSearch(u"natacao, lazer"_s, u"0100"_s);
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    EXPECT_EQ(searchDialogs, 1);
    EXPECT_EQ(shownPlan(), (QList<ShownRow>{Corrida, Caminhada, NatacaoUmaHora}));
    // 1138.657142 + 24.153333 + 62.108571 = 1224.919047
    EXPECT_EQ(shownTotal(), u"1.224,919"_s);
    EXPECT_EQ(storedPlan(Joao),
              (QList<StoredRow>{
                  {u"012070"_s, 10, 11}, {u"017190"_s, 0.66666667, 3.5}, {u"018310"_s, 1, 6}}));

    // 4. The swim gets longer; the walk is dropped.
    changeTime(u"018310"_s, u"0145"_s);
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    EXPECT_EQ(shownPlan(), (QList<ShownRow>{Corrida, Caminhada, NatacaoMaisTempo}));
    // 1138.657142 + 24.153333 + 108.69 = 1271.500476
    EXPECT_EQ(shownTotal(), u"1.271,500"_s);

    selectRow(u"017190"_s);
    deleteCurrentRow();
    EXPECT_EQ(questions(), QStringList{u"Confirma exclusão?"_s});
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();

    // 5. What is left: 1138.657142 + 108.69 = 1247.347142
    const QList<ShownRow> plan{Corrida, NatacaoMaisTempo};
    const QList<StoredRow> stored{{u"012070"_s, 10, 11}, {u"018310"_s, 1.75, 6}};
    EXPECT_EQ(shownPlan(), plan);
    EXPECT_EQ(shownTotal(), u"1.247,347"_s);
    EXPECT_EQ(storedPlan(Joao), stored);
    EXPECT_EQ(form->cdsPlaneja->ChangeCount(), 0);
    EXPECT_FALSE(ShowAviVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Closed and opened again: everything as saved, the weight still locked.
    closeScreen();
    ASSERT_NE(openConsultation(Joao, u"João Pereira"_s), nullptr);
    EXPECT_EQ(shownPlan(), plan);
    EXPECT_EQ(shownTotal(), u"1.247,347"_s);
    EXPECT_EQ(form->dbePeso->Text(), u"72,46"_s);
    EXPECT_FALSE(form->dbePeso->Enabled());
    EXPECT_TRUE(form->dbgPadrao->Enabled());
    EXPECT_EQ(storedPlan(Joao), stored);
    // Nothing was written for anyone else: Maria keeps her three exercises.
    EXPECT_EQ(storedPlan(Maria).size(), 3);
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
}

QOR_INSTANTIATE_BACKENDS(FirstConsultation);

} // namespace
} // namespace qor::testing
