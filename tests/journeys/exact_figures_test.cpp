// Numbers typed on the screen come back exactly: the weight with its decimal comma and
// the time as HH:MM are stored, read back after the screen is closed and opened again,
// and shown as typed, on either database; the stored numbers then pass the server's
// check against changes made by others, so the row can still be changed and deleted.
#include "journey.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "sql/sqlquery.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

// An exercise whose energy cost has no short decimal form: 0.1 + 0.2 as a double
// (0.30000000000000004) needs all 17 digits to travel and come back the same.
const QString OddCost = u"900001"_s;

struct ExactCase
{
    const char *name;
    QString weightKeys; // typed into the weight edit
    QString weightShown; // after leaving it, and after the screen is opened again
    QString code;
    QString timeKeys; // typed into the time cell (the mask adds the colon)
    ShownRow shown; // the row as read after the screen is opened again
    double storedHours; // exactly the value the time is kept as, 8 decimals
    QString changedTimeKeys; // the time typed over it afterwards
    QString changedTime;
};

// Kcal per day by hand: weight x kcal/kg/h x hours / 7.
const ExactCase Cases[] = {
    // 81.25 x 3.5 x 1.66666667 / 7 = 67.7083334...
    {"QuarterKiloAndHundredMinutes",
     u"81,25"_s,
     u"81,25"_s,
     u"017190"_s,
     u"0140"_s,
     {u"017190"_s, u"Caminhada, 4,5 a 5,1 km/h, plano, ritmo moderado"_s, u"3,5"_s, u"01:40"_s,
      u"67,708"_s},
     1.66666667,
     u"0020"_s,
     u"00:20"_s},
    // 0.1 x 6 x 0.11666667 / 7 = 0.0100000003
    {"TenthOfAKiloAndSevenMinutes",
     u"0,1"_s,
     u"0,1"_s,
     u"018310"_s,
     u"0007"_s,
     {u"018310"_s, u"Natação, lazer, geral"_s, u"6"_s, u"00:07"_s, u"0,010"_s},
     0.11666667,
     u"0001"_s,
     u"00:01"_s},
    // 300 x 11 x 23.98333333 / 7 = 11306.428570...
    {"HeavyAndAlmostAWholeDay",
     u"300"_s,
     u"300"_s,
     u"012070"_s,
     u"2359"_s,
     {u"012070"_s, u"Corrida, 11,3 km/h"_s, u"11"_s, u"23:59"_s, u"11.306,429"_s},
     23.98333333,
     u"0007"_s,
     u"00:07"_s},
    // 72.456 rounds to 72.46; 72.46 x 0.30000000000000004 x 0.01666667 / 7 = 0.0517571...
    {"CostOfSeventeenDigitsAndOneMinute",
     u"72,456"_s,
     u"72,46"_s,
     OddCost,
     u"0001"_s,
     {OddCost, u"Exercício de custo sem forma decimal curta"_s, u"0,3"_s, u"00:01"_s, u"0,052"_s},
     0.01666667,
     u"0140"_s,
     u"01:40"_s},
};

class ExactFiguresOnBackend : public Journey
{
protected:
    void addOddCostExercise()
    {
        SqlStatement insert(harness->server().db(),
                            u"INSERT INTO EXERFISICO (CDEXERFISICO, DSEXERFISICO, QTENERCONS) "
                            u"VALUES (?, ?, ?)"_s);
        insert.bind(OddCost).bind(u"Exercício de custo sem forma decimal curta"_s);
        insert.bind(0.1 + 0.2).exec();
    }
};

TEST_P(ExactFiguresOnBackend, TypedNumbersComeBackExactlyAndTheRowStaysChangeable)
{
    addOddCostExercise();
    int day = 0;
    for (const ExactCase &c : Cases) {
        SCOPED_TRACE(c.name);
        // A consultation of its own for each case: a saved weight cannot be typed again.
        const TDateTime consultation = Date() - ++day;
        ASSERT_NE(openConsultation(Joao, u"João Pereira"_s, consultation), nullptr);
        typeWeight(c.weightKeys);
        leaveWeight();
        EXPECT_EQ(form->dbePeso->Text(), c.weightShown);
        confirm();
        addExerciseByCode(c.code, c.timeKeys);
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        EXPECT_EQ(shownPlan(), QList<ShownRow>{c.shown});
        EXPECT_EQ(shownTotal(), c.shown.kcalPerDay);

        // Stored exactly: the time as its 8 decimals, the cost as the catalogue has it.
        {
            SqlStatement stored(harness->server().db(),
                                u"SELECT QTHREXERFISI, QTENERCONSPL FROM PLAEXERFISI "
                                u"WHERE CDPACIENTE = ? AND CDEXERFISICO = ? AND DTCONSPACI = ?"_s);
            stored.bind(Joao).bind(c.code).bind(TFieldType::DateTime, consultation).exec();
            ASSERT_TRUE(stored.next());
            EXPECT_EQ(stored.value(0).toDouble(), c.storedHours);
            SqlStatement cost(harness->server().db(),
                              u"SELECT QTENERCONS FROM EXERFISICO WHERE CDEXERFISICO = ?"_s);
            cost.bind(c.code).exec();
            ASSERT_TRUE(cost.next());
            EXPECT_EQ(stored.value(1).toDouble(), cost.value(0).toDouble());
        }
        // Closed and opened again: everything shown as it was typed.
        closeScreen();
        ASSERT_NE(openConsultation(Joao, u"João Pereira"_s, consultation), nullptr);
        EXPECT_EQ(form->dbePeso->Text(), c.weightShown);
        EXPECT_EQ(shownPlan(), QList<ShownRow>{c.shown});
        EXPECT_EQ(shownTotal(), c.shown.kcalPerDay);

        // The numbers read back are the numbers stored: the server finds the row
        // unchanged by others, so a new time and then the deletion are saved.
        changeTime(c.code, c.changedTimeKeys);
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        ASSERT_EQ(shownPlan().size(), 1);
        EXPECT_EQ(shownPlan().at(0).time, c.changedTime);
        selectRow(c.code);
        deleteCurrentRow();
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        EXPECT_TRUE(storedPlan(Joao, consultation).isEmpty());
        EXPECT_EQ(form->cdsPlaneja->ChangeCount(), 0);
        closeScreen();
        forgetMessages();
    }
}

// A cost another program stored with all 17 digits, on a database whose own setting
// prints floats with fewer digits than a double needs (PostgreSQL's extra_float_digits
// of 0, as older installations keep it): the row read back still matches the row
// stored, so deleting it is not refused as changed by someone else.
TEST_P(ExactFiguresOnBackend, ACostOfSeventeenDigitsReadsBackWhateverTheDatabasePrints)
{
    SqlStatement odd(harness->server().db(),
                     u"UPDATE PLAEXERFISI SET QTENERCONSPL = ? WHERE CDPACIENTE = ? "
                     u"AND CDEXERFISICO = '018310'"_s);
    odd.bind(0.1 + 0.2).bind(Maria).exec();
    if (GetParam() == Backend::PostgreSQL) {
        SqlStatement name(harness->server().db(), u"SELECT current_database()"_s);
        name.exec();
        ASSERT_TRUE(name.next());
        execSql(
            harness->server().db(),
            u"ALTER DATABASE \"%1\" SET extra_float_digits = 0"_s.arg(name.value(0).toString()));
        // The setting reaches new sessions only.
        stopServer();
        startServer();
    }
    ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);
    selectRow(u"018310"_s);
    deleteCurrentRow();
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    QStringList left;
    for (const StoredRow &row : storedPlan(Maria))
        left.append(row.code);
    EXPECT_EQ(left, (QStringList{u"002054"_s, u"017190"_s}));
}

QOR_INSTANTIATE_BACKENDS(ExactFiguresOnBackend);

} // namespace
} // namespace qor::testing
