// The database is shared with the rest of the clinic's system: other screens and imports
// write patients, weights and plan rows this screen never wrote. Each journey puts such
// rows straight into the database, opens the consultation, works on it as a user would,
// and reads back that what the user did was saved, without a false conflict, and that
// nothing the user did not touch was changed.
#include "journey.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/edit.h"
#include "module/Cli_qor12700.h"
#include "sql/sqlquery.h"

#include <QDate>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

const QString Conflict = u"Registro alterado ou excluído por outro usuário."_s;

class ForeignRows : public Journey
{
public:
    // A statement as another program would run it; a QDate (null or not) is bound as the
    // date-time of that day, as every writer stores it.
    void exec(const QString &sql, const QVariantList &values = {})
    {
        SqlStatement statement(harness->server().db(), sql);
        for (const QVariant &value : values) {
            if (value.metaType().id() == QMetaType::QDate)
                statement.bind(TFieldType::DateTime,
                               value.toDate().isNull() ? QVariant()
                                                       : QVariant(DateToDateTime(value.toDate())));
            else
                statement.bind(value);
        }
        statement.exec();
    }

protected:
    // Every plan row of every consultation, as text, for comparing before and after.
    QStringList everyPlanRow()
    {
        return rowsAsText(u"SELECT CDFILIAL, CDPACIENTE, DTCONSPACI, CDEXERFISICO, "
                          u"QTHREXERFISI, QTENERCONSPL FROM PLAEXERFISI ORDER BY "
                          u"CDFILIAL, CDPACIENTE, DTCONSPACI, CDEXERFISICO"_s);
    }

    QStringList everyAssessmentRow()
    {
        return rowsAsText(u"SELECT CDFILIAL, CDPACIENTE, DTCONSPACI, CDTBMETOAVAL, CDTIPODADO, "
                          u"DSINFOAVAL FROM INFOAVAL ORDER BY CDFILIAL, CDPACIENTE, "
                          u"DTCONSPACI, CDTBMETOAVAL, CDTIPODADO"_s);
    }

    // Each row of a six-column query as one text, null cells written "null".
    QStringList rowsAsText(const QString &sql)
    {
        SqlStatement query(harness->server().db(), sql);
        query.exec();
        QStringList rows;
        while (query.next()) {
            QStringList cells;
            for (int i = 0; i < 6; ++i)
                cells.append(query.value(i).isNull() ? u"null"_s : query.value(i).toString());
            rows.append(cells.join(u'|'));
        }
        return rows;
    }

    QString shownTime(const QString &code) const
    {
        const std::optional<ShownRow> row = shownRow(code);
        return row ? row->time : u"(not shown)"_s;
    }
    QString shownKcal(const QString &code) const
    {
        const std::optional<ShownRow> row = shownRow(code);
        return row ? row->kcalPerDay : u"(not shown)"_s;
    }
    std::optional<ShownRow> shownRow(const QString &code) const
    {
        for (const ShownRow &row : shownPlan()) {
            if (row.code == code)
                return row;
        }
        return std::nullopt;
    }
};

// Maria's demo plan: 017190 1:00, 002054 0:45, 018310 0:30, weight 68,5.
struct PlanRowCase
{
    const char *name;
    std::function<void(ForeignRows &)> write; // the rows another program leaves
    QString oddCode; // the row written oddly
    QString oddTimeShown;
    std::optional<QString> oddKcalShown; // none: not looked at
    QString changedCode; // the row whose time the user then changes
    QString newTime;
    double storedHoursAfter;
};

TEST_P(ForeignRows, PlanRowsOthersWroteAreShownAndTheUserCanStillChangeThePlan)
{
    const PlanRowCase cases[] = {
        {"a row without hours",
         [](ForeignRows &t) {
             t.exec(u"UPDATE PLAEXERFISI SET QTHREXERFISI = NULL WHERE CDEXERFISICO = '002054'"_s);
         },
         u"002054"_s, QString(), QString(), u"002054"_s, u"0100"_s, 1.0},
        {"a row of zero hours",
         [](ForeignRows &t) {
             t.exec(u"UPDATE PLAEXERFISI SET QTHREXERFISI = 0 WHERE CDEXERFISICO = '002054'"_s);
         },
         u"002054"_s, u"00:00"_s, QString(), u"002054"_s, u"0115"_s, 1.25},
        {"a row of endless hours beside the one changed",
         [](ForeignRows &t) {
             t.exec(u"UPDATE PLAEXERFISI SET QTHREXERFISI = 1000000 WHERE CDEXERFISICO = "
                    u"'002054'"_s);
         },
         u"002054"_s, u"1000000:00"_s, std::nullopt, u"017190"_s, u"0200"_s, 2.0},
        {"a row whose hours carry many decimals",
         [](ForeignRows &t) {
             t.exec(u"UPDATE PLAEXERFISI SET QTHREXERFISI = 0.7512345678901234 WHERE "
                    u"CDEXERFISICO = '002054'"_s);
         },
         u"002054"_s, u"00:45"_s, std::nullopt, u"002054"_s, u"0050"_s, 50.0 / 60.0},
        {"the same exercise planned at another consultation",
         [](ForeignRows &t) {
             t.exec(u"INSERT INTO PLAEXERFISI (CDFILIAL, CDPACIENTE, DTCONSPACI, "
                    u"CDEXERFISICO, QTHREXERFISI, QTENERCONSPL) VALUES ('0001', "
                    u"'000000000001', ?, '017190', 3, 1)"_s,
                    {QDate::currentDate().addDays(-1)});
         },
         u"017190"_s, u"01:00"_s, std::nullopt, u"017190"_s, u"0130"_s, 1.5},
        {"a row of negative hours",
         [](ForeignRows &t) {
             t.exec(u"UPDATE PLAEXERFISI SET QTHREXERFISI = -1.5 WHERE CDEXERFISICO = '002054'"_s);
         },
         u"002054"_s, u"-1:-30"_s, QString(), u"002054"_s, u"0100"_s, 1.0},
        {"a row of a negative energy cost beside the one changed",
         [](ForeignRows &t) {
             t.exec(u"UPDATE PLAEXERFISI SET QTENERCONSPL = -8 WHERE CDEXERFISICO = '002054'"_s);
         },
         u"002054"_s, u"00:45"_s, u"0,000"_s, u"017190"_s, u"0200"_s, 2.0},
        {"a negative weight",
         [](ForeignRows &t) { t.exec(u"UPDATE INFOAVAL SET DSINFOAVAL = '-68,5'"_s); }, u"002054"_s,
         u"00:45"_s, u"0,000"_s, u"017190"_s, u"0200"_s, 2.0},
        {"an exercise whose description the catalogue lost",
         [](ForeignRows &t) {
             t.exec(u"UPDATE EXERFISICO SET DSEXERFISICO = NULL WHERE CDEXERFISICO = '018310'"_s);
         },
         u"018310"_s, u"00:30"_s, std::nullopt, u"018310"_s, u"0040"_s, 40.0 / 60.0},
    };
    for (const PlanRowCase &c : cases) {
        SCOPED_TRACE(c.name);
        // A fresh database for each case: the demo consultation of today.
        TearDown();
        SetUp();
        ASSERT_FALSE(HasFatalFailure());
        c.write(*this);
        const QStringList before = everyPlanRow();

        ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        EXPECT_EQ(shownPlan().size(), 3);
        EXPECT_EQ(shownTime(c.oddCode), c.oddTimeShown);
        if (c.oddKcalShown) {
            EXPECT_EQ(shownKcal(c.oddCode), *c.oddKcalShown);
        }
        for (const ShownRow &row : shownPlan()) {
            EXPECT_FALSE(row.kcalPerDay.contains(u"NAN"_s)) << row.code.toStdString();
            EXPECT_FALSE(row.kcalPerDay.startsWith(u'-')) << row.code.toStdString();
        }
        EXPECT_FALSE(shownTotal().contains(u"NAN"_s));

        changeTime(c.changedCode, c.newTime);
        EXPECT_FALSE(complaints().contains(Conflict));
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPlaneja->ChangeCount(), 0);

        // Only the changed row differs; every other row, of any consultation, is as it was.
        QStringList after = everyPlanRow();
        QStringList expected = before;
        const auto isChanged = [&](const QString &row) {
            return row.contains(u"|000000000001|"_s) && row.contains(u'|' + c.changedCode + u'|')
                && row.contains(QDate::currentDate().toString(u"yyyy-MM-dd"_s));
        };
        after.removeIf(isChanged);
        expected.removeIf(isChanged);
        EXPECT_EQ(after, expected);
        bool found = false;
        for (const StoredRow &row : storedPlan(Maria)) {
            if (row.code == c.changedCode) {
                found = true;
                EXPECT_NEAR(row.hours, c.storedHoursAfter, 1e-7);
            }
        }
        EXPECT_TRUE(found);
        closeScreen();
    }
}

TEST_P(ForeignRows, DeletingThePlanLeavesOtherConsultationsAlone)
{
    const TDateTime yesterday = Date() - 1;
    exec(u"INSERT INTO PLAEXERFISI (CDFILIAL, CDPACIENTE, DTCONSPACI, CDEXERFISICO, "
         u"QTHREXERFISI, QTENERCONSPL) VALUES ('0001', '000000000001', ?, '017190', 3, 1)"_s,
         {QDate::currentDate().addDays(-1)});
    ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);
    for (const QString &code : {u"017190"_s, u"002054"_s, u"018310"_s}) {
        selectRow(code);
        deleteCurrentRow();
    }
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    EXPECT_TRUE(storedPlan(Maria).isEmpty());
    EXPECT_EQ(storedPlan(Maria, yesterday), QList<StoredRow>({{u"017190"_s, 3.0, 1.0}}));
}

struct WeightCase
{
    const char *name;
    QString patient;
    std::function<void(ForeignRows &)> write;
    QString weightShown;
    bool weightEditable;
    QString typed; // typed and confirmed when the weight is editable
};

TEST_P(ForeignRows, WeightRowsOthersWroteAreShownAndOnlyTheWeightIsSaved)
{
    const WeightCase cases[] = {
        {"a blank weight", Maria,
         [](ForeignRows &t) { t.exec(u"UPDATE INFOAVAL SET DSINFOAVAL = '  '"_s); }, u"  "_s, true,
         u"70"_s},
        {"a weight row without text", Maria,
         [](ForeignRows &t) { t.exec(u"UPDATE INFOAVAL SET DSINFOAVAL = NULL"_s); }, QString(),
         true, u"70,5"_s},
        {"other data of the consultation beside the weight", Maria,
         [](ForeignRows &t) {
             t.exec(u"INSERT INTO INFOAVAL (CDFILIAL, CDPACIENTE, DTCONSPACI, CDTBMETOAVAL, "
                    u"CDTIPODADO, DSINFOAVAL) VALUES ('0001', '000000000001', ?, '01', '02', "
                    u"'1,70')"_s,
                    {QDate::currentDate()});
         },
         u"68,5"_s, false, QString()},
        {"a weight under another assessment method", Joao,
         [](ForeignRows &t) {
             t.exec(u"INSERT INTO METOAVAL (CDFILIAL, CDPACIENTE, DTCONSPACI, CDTBMETOAVAL, "
                    u"IDTABELAAV) VALUES ('0001', '000000000002', ?, '02', 'S')"_s,
                    {QDate::currentDate()});
             t.exec(u"INSERT INTO INFOAVAL (CDFILIAL, CDPACIENTE, DTCONSPACI, CDTBMETOAVAL, "
                    u"CDTIPODADO, DSINFOAVAL) VALUES ('0001', '000000000002', ?, '02', '01', "
                    u"'91')"_s,
                    {QDate::currentDate()});
         },
         QString(), true, u"80"_s},
    };
    for (const WeightCase &c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        ASSERT_FALSE(HasFatalFailure());
        c.write(*this);
        const QStringList before = everyAssessmentRow();

        ASSERT_NE(openConsultation(c.patient, u"Paciente"_s), nullptr);
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        EXPECT_EQ(form->dbePeso->Text(), c.weightShown);
        EXPECT_EQ(form->dbePeso->Enabled(), c.weightEditable);
        if (!c.weightEditable) {
            closeScreen();
            continue;
        }
        form->dbePeso->SetText(QString()); // what stands there is typed over
        typeWeight(c.typed);
        leaveWeight();
        confirm();
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        EXPECT_EQ(storedWeight(c.patient), QVariant(c.typed));
        EXPECT_FALSE(form->dbePeso->Enabled());
        // Only the consultation's weight changed or joined.
        QStringList after = everyAssessmentRow();
        const auto isWeight = [&](const QString &row) {
            return row.contains(u'|' + c.patient + u'|') && row.contains(u"|01|01|"_s);
        };
        after.removeIf(isWeight);
        QStringList expected = before;
        expected.removeIf(isWeight);
        EXPECT_EQ(after, expected);
        closeScreen();
    }
}

struct PatientCase
{
    const char *name;
    QVariant storedName;
    QDate birth; // null: none
    QString age;
};

QString yearsSince(const QDate &birth)
{
    const QDate today = QDate::currentDate();
    int years = today.year() - birth.year();
    // The birthday of this year; 29 February falls on the 28th in other years.
    QDate birthday(today.year(), birth.month(), birth.day());
    if (!birthday.isValid())
        birthday = QDate(today.year(), birth.month(), 28);
    if (today < birthday)
        --years;
    return u"%1 Anos"_s.arg(years);
}

TEST_P(ForeignRows, PatientRowsOthersWroteOpenTheScreen)
{
    const QDate today = QDate::currentDate();
    const PatientCase cases[] = {
        {"no name and no birth date", QVariant(QMetaType(QMetaType::QString)), QDate(), QString()},
        {"born today", u"Ana"_s, today, u"0 Meses"_s},
        {"born after the consultation", u"Ana"_s, today.addDays(40), u"0 Meses"_s},
        {"born on 29 February", u"Ana"_s, QDate(2000, 2, 29), yearsSince(QDate(2000, 2, 29))},
        {"a name of the column's full size, with accents",
         QString(u"Conceição Gonçalves Araújo "_s).repeated(3).left(80), QDate(1990, 7, 1),
         yearsSince(QDate(1990, 7, 1))},
        // Eighty characters, thirteen of them beyond the basic plane (two UTF-16 units
        // each), as the database counts them.
        {"a name of the column's full size with characters beyond the basic plane",
         QString(u"Ana \U0001D49C "_s).repeated(13) + u"Jo"_s, QDate(1990, 7, 1),
         yearsSince(QDate(1990, 7, 1))},
    };
    for (const PatientCase &c : cases) {
        SCOPED_TRACE(c.name);
        exec(u"UPDATE PACIENTE SET NMPACIENTE = ?, DTNASCPACI = ? WHERE CDPACIENTE = "
             u"'000000000002'"_s,
             {c.storedName, c.birth});
        ASSERT_NE(openConsultation(Joao, u"João Pereira"_s), nullptr);
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        EXPECT_EQ(form->edtPaciente->Text(), u"João Pereira"_s);
        EXPECT_EQ(form->edtIdade->Text(), c.age);
        EXPECT_TRUE(form->dbePeso->Enabled());
        closeScreen();
    }
}

// Texts in the birth date column that are no date: "no date" as some programs write it,
// and days no calendar has. SQLite keeps any text of the stored form; a PostgreSQL
// timestamp holds only real dates, but also years before Christ and after 9999, which
// no date of ours holds either (44 BC is no year 44 of our era, whose age it would give).
TEST_P(ForeignRows, BirthDatesThatAreNoDateLeaveOnlyTheAgeEmpty)
{
    const QStringList texts = GetParam() == Backend::SQLite
        ? QStringList{u"0000-00-00 00:00:00.000"_s, u"2023-02-30 00:00:00.000"_s,
                      u"1985-13-01 00:00:00.000"_s}
        : QStringList{u"0044-03-15 00:00:00.000 BC"_s, u"1985-03-14 00:00:00.000 BC"_s,
                      u"12000-01-01 00:00:00.000"_s};
    for (const QString &text : texts) {
        SCOPED_TRACE(text.toStdString());
        exec(u"UPDATE PACIENTE SET DTNASCPACI = ? WHERE CDPACIENTE = '000000000001'"_s, {text});
        ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        EXPECT_EQ(form->edtIdade->Text(), QString());
        // The rest of the consultation is there to work on.
        EXPECT_EQ(form->dbePeso->Text(), u"68,5"_s);
        EXPECT_EQ(shownPlan().size(), 3);
        changeTime(u"017190"_s, u"0200"_s);
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        EXPECT_EQ(storedPlan(Maria).value(1), (StoredRow{u"017190"_s, 2.0, 3.5}));
        // The stored text is left as it was.
        EXPECT_EQ(count(u"SELECT COUNT(*) FROM PACIENTE WHERE DTNASCPACI = '"_s + text + u"'"_s),
                  1);
        closeScreen();
    }
}

QOR_INSTANTIATE_BACKENDS(ForeignRows);

} // namespace
} // namespace qor::testing
