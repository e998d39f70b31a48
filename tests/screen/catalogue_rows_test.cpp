// Catalogue rows the screen meets as they are, odd ones among them, through the real
// grid and search dialog; and a catalogue file that is replaced while the screen is open.
#include "entry_fixture.h"

#include "data/clientdataset.h"
#include "forms/dbgrid.h"
#include "framework/adoibquery.h"
#include "framework/buttonflat.h"
#include "module/Cli_qor12700.h"
#include "sql/databaseuri.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QClipboard>
#include <QDialog>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

const QString Code = u"CDEXERFISICO"_s;
const QString Name = u"DSEXERFISICO"_s;

const QString EnergyMissing = u"Kcal/Kg/Hora deve ser informada."_s;

// A name of exactly 100 characters, with accents and characters outside Latin-1.
QString longName()
{
    QString name = u"Natação em águas abertas — ritmo Ω, “intervalado” ≥ 2 km · "_s;
    while (name.size() < 100)
        name.append(u'ç');
    return name;
}

struct OddRow
{
    const char *name;
    QString code;
    QVariant description; // null: NULL in the catalogue
    QVariant energy; // null: NULL; a string: stored as that text (SQLite only)
    QString shownName;
    bool energyKnown; // the row takes the catalogue's cost, else it stays empty
    double kcalPerKgHour;
};

const OddRow OddRows[] = {
    {"no description", u"099001"_s, QVariant(), 3.0, QString(), true, 3.0},
    {"no energy cost", u"099002"_s, u"Sem custo"_s, QVariant(), u"Sem custo"_s, false, 0},
    {"negative energy cost", u"099003"_s, u"Custo negativo"_s, -2.5, u"Custo negativo"_s, false, 0},
    {"energy cost stored as text", u"099004"_s, u"Custo em texto"_s, u"4,5"_s, u"Custo em texto"_s,
     false, 0},
    {"empty energy cost", u"099005"_s, u"Custo vazio"_s, u""_s, u"Custo vazio"_s, false, 0},
    {"endless energy cost", u"099007"_s, u"Custo sem fim"_s,
     std::numeric_limits<double>::infinity(), u"Custo sem fim"_s, false, 0},
    {"long accented name", u"099008"_s, longName(), 5.5, longName(), true, 5.5},
    // A cost of zero is a cost the catalogue gives: the row is planned at 0 kcal.
    {"zero energy cost", u"099009"_s, u"Custo zero"_s, 0.0, u"Custo zero"_s, true, 0},
};

class CatalogueRowsTest : public PlanScreenTest
{
protected:
    // Rows whose energy is text or endless are only stored where the column takes them.
    bool storable(const OddRow &row) const
    {
        return GetParam() == Backend::SQLite
            || (row.energy.typeId() != QMetaType::QString && !std::isinf(row.energy.toDouble()));
    }
    void addOddRows()
    {
        for (const OddRow &row : OddRows) {
            if (!storable(row))
                continue;
            const QVariant energy =
                row.energy.isNull() ? QVariant(QMetaType(QMetaType::Double)) : row.energy;
            const QVariant description = row.description.isNull()
                ? QVariant(QMetaType(QMetaType::QString))
                : row.description;
            exec(u"INSERT INTO EXERFISICO (CDEXERFISICO, DSEXERFISICO, QTENERCONS) "
                 u"VALUES (?, ?, ?)"_s,
                 {row.code, description, energy});
        }
    }
    int storableCount() const
    {
        int count = 0;
        for (const OddRow &row : OddRows)
            count += storable(row) ? 1 : 0;
        return count;
    }
    void cancelRow()
    {
        if (form->cdsPlaneja->State() == dsBrowse)
            return;
        harness->dialogs().QueueAnswer(mrYes);
        ScreenHarness::click(form->sbtCancelar);
        harness->dialogs().Clear();
    }
};

TEST_P(CatalogueRowsTest, TypedCodeOfAnOddRow)
{
    addOddRows();
    clearPlan(ScreenHarness::Maria);
    ASSERT_NE(open(), nullptr);
    for (const OddRow &row : OddRows) {
        if (!storable(row))
            continue;
        SCOPED_TRACE(row.name);
        harness->dialogs().Clear();
        harness->clearErrors();
        typeNewRow(row.code, u"0100"_s);
        EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        ASSERT_EQ(form->cdsPlaneja->State(), dsInsert);
        EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), row.code);
        EXPECT_EQ(form->cdsPlanejaDSEXERFISICO->AsString(), row.shownName);
        EXPECT_EQ(form->cdsPlanejaQTENERCONSPL->IsNull(), !row.energyKnown);
        EXPECT_DOUBLE_EQ(form->cdsPlanejaQTENERCONSPL->AsFloat(), row.kcalPerKgHour);
        // A figure is only ever made from a cost the catalogue really gives.
        EXPECT_GE(form->cdsPlanejaKcalDia->AsFloat(), 0.0);

        clickConfirmar();
        if (row.energyKnown) {
            EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
            EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
            EXPECT_DOUBLE_EQ(storedHours(ScreenHarness::Maria, row.code).toDouble(), 1.0);
        } else {
            EXPECT_EQ(messages(), QStringList{EnergyMissing});
            EXPECT_EQ(form->cdsPlaneja->State(), dsInsert);
            EXPECT_TRUE(storedHours(ScreenHarness::Maria, row.code).isNull());
            cancelRow();
        }
    }
}

TEST_P(CatalogueRowsTest, SearchListShowsEveryRowAndAnOddOneCanBeChosen)
{
    addOddRows();
    ASSERT_NE(open(), nullptr);
    for (const OddRow &row : OddRows) {
        if (!storable(row))
            continue;
        SCOPED_TRACE(row.name);
        harness->dialogs().Clear();
        harness->clearErrors();
        int rowsListed = -1;
        searchAnswer = [&](QDialog *dialog) {
            auto *table = dialog->findChild<QAbstractItemView *>(u"grdPesquisa"_s);
            rowsListed = table ? table->model()->rowCount() : -1;
            // The catalogue is listed by code: the odd rows come last, in table order.
            const int index = int(&row - OddRows);
            int line = 28;
            for (int i = 0; i < index; ++i)
                line += storable(OddRows[i]) ? 1 : 0;
            if (table)
                table->setCurrentIndex(table->model()->index(line, 0));
            return int(QDialog::Accepted);
        };
        searchDialogs = 0;
        clickIncluir();
        QAbstractButton *button = form->dbgPadrao->EditButton();
        ASSERT_NE(button, nullptr);
        ScreenHarness::click(button);
        EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        EXPECT_EQ(searchDialogs, 1);
        EXPECT_EQ(rowsListed, 28 + storableCount());
        EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), row.code);
        EXPECT_EQ(form->cdsPlanejaDSEXERFISICO->AsString(), row.shownName);
        EXPECT_EQ(form->cdsPlanejaQTENERCONSPL->IsNull(), !row.energyKnown);
        EXPECT_DOUBLE_EQ(form->cdsPlanejaQTENERCONSPL->AsFloat(), row.kcalPerKgHour);
        cancelRow();
    }
}

// The catalogue file replaced (a copy restored over it) and then removed while the
// screen stays open: lookups read what the file named in the settings holds now.
TEST_P(CatalogueRowsTest, CatalogueFileReplacedOrRemovedUnderTheScreen)
{
    if (GetParam() != Backend::SQLite)
        GTEST_SKIP() << "a file of its own only with SQLite";
    ASSERT_NE(open(), nullptr);
    const QString path = DatabaseUri::parse(harness->server().databaseUri()).path;
    const QString copy = path + u".restaurado"_s;
    exec(u"VACUUM INTO '%1'"_s.arg(copy));
    {
        QSqlDatabase restored = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"restored"_s);
        restored.setDatabaseName(copy);
        ASSERT_TRUE(restored.open());
        QSqlQuery update(restored);
        ASSERT_TRUE(update.exec(u"UPDATE EXERFISICO SET QTENERCONS = 9.5, DSEXERFISICO = "
                                u"'Ciclismo revisto' WHERE CDEXERFISICO = '001030'"_s));
        restored.close();
    }
    QSqlDatabase::removeDatabase(u"restored"_s);
    // No frame of the old file may be left to a connection that opens the new one.
    exec(u"PRAGMA wal_checkpoint(TRUNCATE)"_s);
    ASSERT_EQ(std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path).constData()),
              0);

    typeNewRow(u"1030"_s, QString());
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
    EXPECT_EQ(form->cdsPlanejaDSEXERFISICO->AsString(), u"Ciclismo revisto"_s);
    EXPECT_DOUBLE_EQ(form->cdsPlanejaQTENERCONSPL->AsFloat(), 9.5);
    cancelRow();

    for (const QString &suffix : {QString(), u"-wal"_s, u"-shm"_s})
        QFile::remove(path + suffix);
    harness->dialogs().Clear();
    harness->clearErrors();
    clickIncluir();
    typeText(u"2010"_s);
    press(Qt::Key_Tab);
    const QStringList shown = messages() + errors();
    ASSERT_EQ(shown.size(), 1) << shown.join(u'\n').toStdString();
    EXPECT_TRUE(shown.first().contains(u"não foi encontrado"_s)) << shown.first().toStdString();
    EXPECT_TRUE(shown.first().contains(path)) << shown.first().toStdString();
    // The row keeps what was typed, no cost from anywhere else, and no empty database
    // is made where the catalogue was.
    EXPECT_EQ(form->cdsPlaneja->State(), dsInsert);
    EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), u"002010"_s);
    EXPECT_TRUE(form->cdsPlanejaQTENERCONSPL->IsNull());
    EXPECT_FALSE(QFile::exists(path));
    cancelRow();
}

// A code pasted from elsewhere often brings blanks or a line break along.
TEST_P(CatalogueRowsTest, PastedCodeWithBlanksOrALineBreak)
{
    const QString pasted[] = {u"1030\n"_s, u"1030\r\n"_s, u" 1030 "_s, u"\t1030"_s};
    ASSERT_NE(open(), nullptr);
    for (const QString &text : pasted) {
        SCOPED_TRACE(text.toStdString());
        harness->dialogs().Clear();
        QGuiApplication::clipboard()->setText(text);
        clickIncluir();
        press(Qt::Key_F2); // the cell editor opens on the empty code
        QLineEdit *editor = form->dbgPadrao->InplaceEditor();
        ASSERT_NE(editor, nullptr);
        press(Qt::Key_V, Qt::ControlModifier);
        press(Qt::Key_Tab);
        EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), u"001030"_s);
        EXPECT_DOUBLE_EQ(form->cdsPlanejaQTENERCONSPL->AsFloat(), 8.0);
        cancelRow();
    }
}

// Two exercises whose codes differ only in case are two exercises, and a plan may hold
// both. Whatever is done to one of them, the grid comes back to that one afterwards, not
// to its twin, or the user's next command (a delete) would take the other exercise.
TEST_P(CatalogueRowsTest, CodesDifferingOnlyInCaseKeepTheirOwnRowCurrent)
{
    const QString twins[] = {u"0000AB"_s, u"0000ab"_s};
    exec(u"INSERT INTO EXERFISICO (CDEXERFISICO, DSEXERFISICO, QTENERCONS) VALUES (?, ?, ?)"_s,
         {twins[0], u"Remo, maiúsculo"_s, 4.0});
    exec(u"INSERT INTO EXERFISICO (CDEXERFISICO, DSEXERFISICO, QTENERCONS) VALUES (?, ?, ?)"_s,
         {twins[1], u"Remo, minúsculo"_s, 6.0});
    const struct
    {
        const char *name;
        bool refusedDelete; // else the row's time is changed and confirmed
    } actions[] = {{"time changed", false}, {"delete refused", true}};
    for (const auto &action : actions) {
        for (const QString &code : twins) {
            SCOPED_TRACE(action.name);
            SCOPED_TRACE(code.toStdString());
            clearPlan(ScreenHarness::Maria);
            addPlanRow(ScreenHarness::Maria, twins[0], 1.0, 4.0);
            addPlanRow(ScreenHarness::Maria, twins[1], 1.0, 6.0);
            harness->dialogs().Clear();
            harness->clearErrors();
            ASSERT_NE(open(), nullptr);
            ASSERT_TRUE(form->cdsPlaneja->Locate(Code, code));
            ScreenHarness::processEvents();
            ASSERT_EQ(cell(Code), code);
            const QString other = code == twins[0] ? twins[1] : twins[0];
            if (action.refusedDelete) {
                // Another workstation changes the row first: the delete is refused and
                // the row comes back.
                exec(u"UPDATE PLAEXERFISI SET QTHREXERFISI = 3 WHERE CDPACIENTE = ? AND "
                     u"CDEXERFISICO = ?"_s,
                     {ScreenHarness::Maria, code});
                harness->dialogs().QueueAnswer(mrYes);
                ScreenHarness::click(form->sbtExcluir);
                const QStringList shown = messages() + errors();
                EXPECT_TRUE(shown.contains(u"Registro alterado ou excluído por outro usuário."_s))
                    << shown.join(u'\n').toStdString();
                EXPECT_EQ(form->cdsPlaneja->RecordCount(), 2);
                EXPECT_EQ(storedRowCount(ScreenHarness::Maria), 2);
            } else {
                clickColumn(u"QTHREXERFISI"_s);
                typeText(u"0200"_s);
                press(Qt::Key_Return);
                clickConfirmar();
                EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
                EXPECT_DOUBLE_EQ(storedHours(ScreenHarness::Maria, code).toDouble(), 2.0);
                EXPECT_DOUBLE_EQ(storedHours(ScreenHarness::Maria, other).toDouble(), 1.0);
            }
            EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
            EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString().toStdString(), code.toStdString());
            EXPECT_EQ(cell(Code).toStdString(), code.toStdString());
            harness->closeScreen();
            form = nullptr;
        }
    }
}

// A code differing only in case from one already planned names another exercise: the
// new row is planned beside it, not refused as the same exercise.
TEST_P(CatalogueRowsTest, ACodeDifferingOnlyInCaseFromAPlannedOneIsPlannedToo)
{
    exec(u"INSERT INTO EXERFISICO (CDEXERFISICO, DSEXERFISICO, QTENERCONS) VALUES (?, ?, ?)"_s,
         {u"0000AB"_s, u"Remo, maiúsculo"_s, 4.0});
    exec(u"INSERT INTO EXERFISICO (CDEXERFISICO, DSEXERFISICO, QTENERCONS) VALUES (?, ?, ?)"_s,
         {u"0000ab"_s, u"Remo, minúsculo"_s, 6.0});
    clearPlan(ScreenHarness::Maria);
    addPlanRow(ScreenHarness::Maria, u"0000AB"_s, 1.0, 4.0);
    ASSERT_NE(open(), nullptr);

    typeNewRow(u"0000ab"_s, u"0200"_s);
    clickColumn(Code);
    clickConfirmar();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
    EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
    EXPECT_EQ(form->cdsPlaneja->RecordCount(), 2);
    EXPECT_DOUBLE_EQ(storedHours(ScreenHarness::Maria, u"0000ab"_s).toDouble(), 2.0);
    EXPECT_DOUBLE_EQ(storedHours(ScreenHarness::Maria, u"0000AB"_s).toDouble(), 1.0);
}

QOR_INSTANTIATE_BACKENDS(CatalogueRowsTest);

} // namespace
} // namespace qor::testing
