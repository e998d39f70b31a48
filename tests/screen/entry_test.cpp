// Adding and changing plan rows in the real grid: the code checked against the
// catalogue and against the plan, the search dialog, the required values, the weight
// rule for new rows and the grid's key filter.
#include "entry_fixture.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "framework/adoibquery.h"
#include "framework/buttonflat.h"
#include "framework/showavi.h"
#include "module/Cli_qor12700.h"
#include "rtl/exceptions.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

const QString Code = u"CDEXERFISICO"_s;
const QString Name = u"DSEXERFISICO"_s;
const QString Hours = u"QTHREXERFISI"_s;
const QString Cycling = u"Ciclismo, 19 a 22 km/h, lazer, esforço moderado"_s;

class EntryTest : public PlanScreenTest
{
protected:
    // What the screen looked like at the moment a message was shown.
    struct Seen
    {
        QString text;
        QString selectedField;
        QWidget *focus = nullptr;
        bool busyShown = false;
    };
    void watchMessages()
    {
        harness->dialogs().OnMessage = [this](const TDialogMessage &message) {
            seen.append(
                {message.Text, selectedFieldName(), QApplication::focusWidget(), ShowAviVisible()});
        };
    }
    // Abandons the row being typed with the cancel command, answering its question; the
    // question is not kept among the messages the tests look at.
    void cancelRow()
    {
        if (form->cdsPlaneja->State() == dsBrowse)
            return;
        harness->dialogs().QueueAnswer(mrYes);
        ScreenHarness::click(form->sbtCancelar);
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        harness->dialogs().Clear();
    }
    QList<Seen> seen;
};

TEST_P(EntryTest, NewRowTakesTheConsultationAndStartsInTheCodeColumn)
{
    ASSERT_NE(open(), nullptr);
    clickColumn(Hours);
    clickIncluir();
    ASSERT_EQ(form->cdsPlaneja->State(), dsInsert);
    EXPECT_EQ(selectedFieldName(), Code);
    EXPECT_EQ(form->cdsPlanejaCDPACIENTE->AsString(), ScreenHarness::Maria);
    EXPECT_EQ(form->cdsPlanejaDTCONSPACI->AsDateTime(), Date());
    EXPECT_TRUE(form->cdsPlanejaCDFILIAL->IsNull()); // the branch comes at posting

    typeText(u"1030"_s);
    press(Qt::Key_Tab);
    clickColumn(Hours);
    typeText(u"0045"_s);
    press(Qt::Key_Tab);
    clickConfirmar();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
    ASSERT_EQ(form->cdsPlaneja->State(), dsBrowse);
    EXPECT_EQ(form->cdsPlanejaCDFILIAL->AsString(), ScreenHarness::Branch);
    EXPECT_DOUBLE_EQ(storedHours(ScreenHarness::Maria, u"001030"_s).toDouble(), 0.75);
}

TEST_P(EntryTest, TypedCodeIsAdjustedAndFilledFromTheCatalogue)
{
    struct Case
    {
        QString typed;
        QString code;
        QString name;
        double kcalPerKgHour;
    };
    const Case cases[] = {
        {u"1030"_s, u"001030"_s, Cycling, 8.0},
        {u"12030"_s, u"012030"_s, u"Corrida, 8 km/h"_s, 8.3},
        {u"002010"_s, u"002010"_s, u"Bicicleta ergométrica, geral"_s, 7.0},
    };
    ASSERT_NE(open(), nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        const int checks = calls(u"VerifExerc"_s);
        clickIncluir();
        typeText(c.typed);
        press(Qt::Key_Tab);
        EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), c.code);
        EXPECT_EQ(form->cdsPlanejaDSEXERFISICO->AsString(), c.name);
        EXPECT_DOUBLE_EQ(form->cdsPlanejaQTENERCONSPL->AsFloat(), c.kcalPerKgHour);
        EXPECT_EQ(cell(Name), c.name);
        // The lookup ran on the adjusted code.
        EXPECT_EQ(form->qryVdPlaneja->ParamByName(u"P_CDEXERFISICO"_s)->AsString(), c.code);
        EXPECT_EQ(calls(u"VerifExerc"_s), checks + 1);
        EXPECT_NE(selectedFieldName(), Code);
        cancelRow();
        EXPECT_EQ(form->cdsPlaneja->RecordCount(), 3);
    }
}

TEST_P(EntryTest, LeavingTheCodeColumnOfANewRow)
{
    struct Case
    {
        const char *name;
        QString typed;
        QStringList messages;
        bool moved; // the selection left the code column
        bool lookedUp; // the catalogue was asked
        bool copied; // name and energy cost came from the catalogue
        int checks; // duplicate checks made
    };
    // The empty code comes first: nothing before it has opened the lookup.
    const Case cases[] = {
        // Still checked for duplicates, with the empty code.
        {"empty code", QString(), {}, true, false, false, 1},
        // A refused lookup ends the move before the duplicate check.
        {"unknown code", u"999999"_s, {u"Exercício não cadastrado."_s}, false, true, false, 0},
        {"already planned",
         u"17190"_s,
         {u"Exercício físico já cadastrado."_s},
         false,
         true,
         true,
         1},
    };
    ASSERT_NE(open(), nullptr);
    watchMessages();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        harness->dialogs().Clear();
        seen.clear();
        const int checks = calls(u"VerifExerc"_s);
        clickIncluir();
        typeText(c.typed);
        press(Qt::Key_Tab);
        EXPECT_EQ(messages(), c.messages);
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPlaneja->State(), dsInsert);
        EXPECT_EQ(selectedFieldName() != Code, c.moved);
        EXPECT_EQ(form->qryVdPlaneja->Active(), c.lookedUp);
        EXPECT_EQ(!form->cdsPlanejaDSEXERFISICO->IsNull(), c.copied);
        EXPECT_EQ(calls(u"VerifExerc"_s), checks + c.checks);
        // Only the check at posting shows the busy indicator.
        EXPECT_EQ(ShowAviCount(6), 0);
        for (const Seen &s : seen)
            EXPECT_EQ(s.selectedField, Code);
        cancelRow();
    }
}

TEST_P(EntryTest, DuplicateCheckAtPostOnlyWithTheCodeColumnSelected)
{
    struct Case
    {
        const char *name;
        bool newRow;
        QString typed; // the new row's code, or the existing row's new time
        bool codeColumnSelected;
        int checksAtPost;
    };
    const Case cases[] = {
        {"new row, another column selected", true, u"1030"_s, false, 0},
        {"new row, code column selected", true, u"1020"_s, true, 1},
        {"time changed, code column selected", false, u"0200"_s, true, 0},
        {"time changed, time column selected", false, u"0300"_s, false, 0},
    };
    ASSERT_NE(open(), nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ResetShowAviCounts();
        if (c.newRow) {
            typeNewRow(c.typed, u"0130"_s);
        } else {
            ASSERT_TRUE(form->cdsPlaneja->Locate(Code, u"017190"_s));
            ScreenHarness::processEvents();
            clickColumn(Hours);
            typeText(c.typed);
            press(Qt::Key_Return);
        }
        ASSERT_TRUE(form->cdsPlaneja->State() == dsInsert || form->cdsPlaneja->State() == dsEdit);
        if (c.codeColumnSelected)
            clickColumn(Code);
        EXPECT_EQ(selectedFieldName() == Code, c.codeColumnSelected);
        const int checks = calls(u"VerifExerc"_s);
        clickConfirmar();
        EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_EQ(calls(u"VerifExerc"_s), checks + c.checksAtPost);
        EXPECT_EQ(ShowAviCount(6), c.checksAtPost);
        EXPECT_FALSE(ShowAviVisible());
    }
}

TEST_P(EntryTest, ExerciseAddedElsewhereIsCaughtAtPostWithoutTheBusyIndicator)
{
    ASSERT_NE(open(), nullptr);
    watchMessages();
    typeNewRow(u"1030"_s, u"0130"_s);
    ASSERT_TRUE(messages().isEmpty());
    // Another workstation plans the same exercise meanwhile.
    addPlanRow(ScreenHarness::Maria, u"001030"_s, 2.0, 8.0);
    clickColumn(Code);
    ResetShowAviCounts();
    clickConfirmar();

    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0].text, u"Exercício físico já cadastrado."_s);
    EXPECT_FALSE(seen[0].busyShown);
    EXPECT_EQ(seen[0].selectedField, Code);
    EXPECT_EQ(ShowAviCount(6), 1);
    EXPECT_FALSE(ShowAviVisible());
    // The row stays as typed, still being inserted.
    EXPECT_EQ(form->cdsPlaneja->State(), dsInsert);
    EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), u"001030"_s);
    EXPECT_DOUBLE_EQ(form->cdsPlanejaQTHREXERFISI->AsFloat(), 1.5);
    EXPECT_DOUBLE_EQ(storedHours(ScreenHarness::Maria, u"001030"_s).toDouble(), 2.0);
}

TEST_P(EntryTest, ExerciseStillShownAfterItsDeletionElsewhereIsRefusedAgain)
{
    ASSERT_NE(open(), nullptr);
    watchMessages();
    // The demo plan's rows, shown in code order: wherever the row stands, and wherever
    // the new row goes (the new-record command adds it at the end, the Insert key of the
    // grid above the current row), it counts.
    const struct
    {
        const char *name;
        QString code;
        QString typed;
        bool insertKey;
    } cases[] = {
        {"a row in the middle", u"017190"_s, u"17190"_s, false},
        {"the last row, new row inserted above the first", u"018310"_s, u"18310"_s, true},
        {"the first row", u"002054"_s, u"2054"_s, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        harness->dialogs().Clear();
        // Another workstation deletes a planned exercise; this screen still shows it.
        exec(u"DELETE FROM PLAEXERFISI WHERE CDPACIENTE = ? AND CDEXERFISICO = ?"_s,
             {ScreenHarness::Maria, c.code});
        const int checks = calls(u"VerifExerc"_s);
        if (c.insertKey) {
            form->cdsPlaneja->First();
            form->dbgPadrao->setFocus();
            press(Qt::Key_Insert);
            ASSERT_EQ(form->cdsPlaneja->RecNo(), 1);
        } else {
            clickIncluir();
        }
        typeText(c.typed);
        press(Qt::Key_Tab);

        // The plan service was still asked, and the row on screen refused the code.
        EXPECT_EQ(calls(u"VerifExerc"_s), checks + 1);
        EXPECT_EQ(messages(), QStringList{u"Exercício físico já cadastrado."_s});
        EXPECT_EQ(form->cdsPlaneja->State(), dsInsert);
        EXPECT_EQ(selectedFieldName(), Code);
        cancelRow();
        EXPECT_EQ(form->cdsPlaneja->RecordCount(), 3);
        EXPECT_FALSE(storedHours(ScreenHarness::Maria, c.code).isValid());
    }
}

TEST_P(EntryTest, RefusedPostsFocusTheirFieldBeforeOrAfterTheMessage)
{
    struct Case
    {
        const char *name;
        QString code; // typed in the new row
        QString time;
        QString catalogueChange; // run before posting
        QString message;
        bool focusBeforeMessage;
        QString focused;
    };
    const Case cases[] = {
        {"no code", QString(), u"0130"_s, QString(), u"Código deve ser informado."_s, false, Code},
        {"exercise removed from the catalogue", u"1030"_s, u"0130"_s,
         u"DELETE FROM EXERFISICO WHERE CDEXERFISICO = '001030'"_s, u"Exercício não cadastrado."_s,
         false, Code},
        {"no time", u"1010"_s, QString(), QString(), u"Horas/semana deve ser informada."_s, true,
         Hours},
        {"no energy cost in the catalogue", u"2010"_s, u"0130"_s,
         u"UPDATE EXERFISICO SET QTENERCONS = NULL WHERE CDEXERFISICO = '002010'"_s,
         u"Kcal/Kg/Hora deve ser informada."_s, true, u"QTENERCONSPL"_s},
        // A row lacking several values is refused for the first of them, in the order the
        // post checks them: the code, then the time, then the energy cost.
        {"neither code nor time", QString(), QString(), QString(), u"Código deve ser informado."_s,
         false, Code},
        {"neither time nor energy cost", u"1020"_s, QString(),
         u"UPDATE EXERFISICO SET QTENERCONS = NULL WHERE CDEXERFISICO = '001020'"_s,
         u"Horas/semana deve ser informada."_s, true, Hours},
    };
    ASSERT_NE(open(), nullptr);
    watchMessages();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        seen.clear();
        harness->dialogs().Clear();
        typeNewRow(c.code, c.time);
        ASSERT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
        if (!c.catalogueChange.isEmpty())
            exec(c.catalogueChange);
        const bool startedOnFocused = selectedFieldName() == c.focused;
        clickConfirmar();

        // Moving to the code column leaves the column the user was in, whose exit checks
        // the code once more: an unknown code may be reported twice.
        ASSERT_FALSE(seen.isEmpty());
        for (const Seen &s : seen)
            EXPECT_EQ(s.text, c.message);
        EXPECT_EQ(form->cdsPlaneja->State(), dsInsert);
        EXPECT_EQ(selectedFieldName(), c.focused);
        QWidget *focus = QApplication::focusWidget();
        EXPECT_TRUE(focus == form->dbgPadrao || form->dbgPadrao->isAncestorOf(focus));
        if (c.focusBeforeMessage) {
            EXPECT_EQ(seen[0].selectedField, c.focused);
        } else if (!startedOnFocused) {
            EXPECT_NE(seen[0].selectedField, c.focused);
        }
        EXPECT_EQ(storedRowCount(ScreenHarness::Maria), 3);
        cancelRow();
        EXPECT_EQ(form->cdsPlaneja->RecordCount(), 3);
    }
}

TEST_P(EntryTest, NoRowIsAddedWhileTheWeightIsBlank)
{
    struct Case
    {
        const char *name;
        QString patient;
        QVariant weight; // Maria's weight text
    };
    const Case cases[] = {
        {"no weight recorded", ScreenHarness::Joao, QVariant()},
        {"weight of blanks", ScreenHarness::Maria, u"   "_s},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.patient == ScreenHarness::Maria)
            setWeight(ScreenHarness::Maria, c.weight);
        ASSERT_NE(open(c.patient), nullptr);
        watchMessages();
        seen.clear();
        harness->dialogs().Clear();
        const int rows = form->cdsPlaneja->RecordCount();
        ASSERT_TRUE(form->sbtIncluir->isEnabled());
        clickIncluir();

        ASSERT_EQ(seen.size(), 1);
        EXPECT_EQ(seen[0].text, u"Peso deve ser informado."_s);
        EXPECT_EQ(seen[0].focus, form->dbePeso);
        EXPECT_EQ(QApplication::focusWidget(), form->dbePeso);
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_EQ(form->cdsPlaneja->RecordCount(), rows);
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        harness->closeScreen();
    }
}

TEST_P(EntryTest, ChangedRowIsCheckedAgainAgainstTheCatalogue)
{
    ASSERT_NE(open(), nullptr);
    ASSERT_TRUE(form->cdsPlaneja->Locate(Code, u"017190"_s));
    ScreenHarness::processEvents();
    // The catalogue was revised after the plan was made.
    exec(u"UPDATE EXERFISICO SET QTENERCONS = 4.2, DSEXERFISICO = 'Caminhada revista' "
         u"WHERE CDEXERFISICO = '017190'"_s);
    clickColumn(Hours);
    typeText(u"0100"_s);
    press(Qt::Key_Tab);
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
    EXPECT_EQ(form->cdsPlaneja->State(), dsEdit);
    EXPECT_DOUBLE_EQ(form->cdsPlanejaQTENERCONSPL->AsFloat(), 4.2);
    EXPECT_EQ(form->cdsPlanejaDSEXERFISICO->AsString(), u"Caminhada revista"_s);
    // Leaving a column of a row being edited makes no duplicate check.
    EXPECT_EQ(calls(u"VerifExerc"_s), 0);
}

TEST_P(EntryTest, SearchDialogFillsTheNewRowOrChangesNothing)
{
    struct Case
    {
        const char *name;
        QString filter; // typed into the dialog; empty: the dialog is cancelled
        QString code;
        QString description;
        double kcalPerKgHour;
    };
    const Case cases[] = {
        {"cancelled", QString(), QString(), QString(), 0},
        {"chosen", u"Corrida, 8 km"_s, u"012030"_s, u"Corrida, 8 km/h"_s, 8.3},
    };
    ASSERT_NE(open(), nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QString title;
        int rowsListed = 0;
        searchAnswer = [&](QDialog *dialog) {
            title = dialog->windowTitle();
            auto *filter = dialog->findChild<QLineEdit *>(u"edtPesquisa"_s);
            auto *table = dialog->findChild<QAbstractItemView *>(u"grdPesquisa"_s);
            rowsListed = table ? table->model()->rowCount() : -1;
            if (c.filter.isEmpty() || !filter)
                return int(QDialog::Rejected);
            dialog->show();
            QTest::keyClicks(filter, c.filter);
            QTest::keyClick(filter, Qt::Key_Return);
            dialog->hide();
            return dialog->result();
        };
        searchDialogs = 0;
        clickIncluir();
        QAbstractButton *button = form->dbgPadrao->EditButton();
        ASSERT_NE(button, nullptr);
        ScreenHarness::click(button);

        EXPECT_EQ(searchDialogs, 1);
        EXPECT_EQ(title, u"Exercício"_s);
        EXPECT_EQ(rowsListed, 28); // the whole catalogue
        EXPECT_EQ(form->cdsPlaneja->State(), dsInsert);
        EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), c.code);
        EXPECT_EQ(form->cdsPlanejaDSEXERFISICO->AsString(), c.description);
        EXPECT_EQ(form->cdsPlanejaQTENERCONSPL->IsNull(), c.code.isEmpty());
        EXPECT_DOUBLE_EQ(form->cdsPlanejaQTENERCONSPL->AsFloat(), c.kcalPerKgHour);
        EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
        cancelRow();
    }

    // Editing an existing row, the button opens nothing.
    searchDialogs = 0;
    clickColumn(Code);
    ScreenHarness::click(form->sbtAlterar);
    clickColumn(Code);
    press(Qt::Key_Return); // opens the cell editor with its button
    ASSERT_EQ(form->cdsPlaneja->State(), dsEdit);
    if (QAbstractButton *button = form->dbgPadrao->EditButton())
        QTest::mouseClick(button, Qt::LeftButton);
    else
        form->dbgPadraoEditButtonClick(form->dbgPadrao);
    ScreenHarness::processEvents();
    EXPECT_EQ(searchDialogs, 0);
    cancelRow();
}

// The key filter on its own, for every state and column.
TEST_P(EntryTest, KeyFilterByStateAndColumn)
{
    struct Case
    {
        TDataSetState state;
        QString field;
        char16_t key;
        bool passes;
    };
    const Case cases[] = {
        {dsBrowse, Code, u'a', false}, {dsBrowse, Code, u'5', false},
        {dsBrowse, Code, 8, false}, // backspace
        {dsBrowse, Code, u'%', true},  {dsBrowse, Code, u'&', true},
        {dsBrowse, Code, u'\'', true}, {dsBrowse, Code, u'(', true},
        {dsBrowse, Code, u')', false}, {dsBrowse, Code, u'$', false},
        {dsBrowse, Code, 9, true},     {dsBrowse, Code, 13, true},
        {dsBrowse, Name, u'x', false}, {dsBrowse, Name, u'%', true},
        {dsBrowse, Hours, u'x', true}, {dsBrowse, Hours, u'7', true},
        {dsEdit, Code, u'1', false},   {dsEdit, Name, u'q', false},
        {dsEdit, Code, u'(', true},    {dsEdit, Hours, u'1', true},
        {dsInsert, Code, u'a', true},  {dsInsert, Code, u'5', true},
        {dsInsert, Name, u'z', true},  {dsInsert, Code, 8, true},
    };
    ASSERT_NE(open(), nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(QStringLiteral("state %1, %2, key %3")
                         .arg(int(c.state))
                         .arg(c.field)
                         .arg(int(c.key))
                         .toStdString());
        if (c.state == dsInsert)
            form->cdsPlaneja->Insert();
        else if (c.state == dsEdit)
            form->cdsPlaneja->Edit();
        form->dbgPadrao->SetSelectedField(form->cdsPlaneja->FieldByName(c.field));
        QChar key(c.key);
        bool aborted = false;
        try {
            form->dbgPadraoKeyPress(form->dbgPadrao, key);
        } catch (const EAbort &) {
            aborted = true;
        }
        EXPECT_EQ(!aborted, c.passes);
        EXPECT_EQ(key, c.passes ? QChar(c.key) : QChar(0));
        form->cdsPlaneja->Cancel();
    }
    EXPECT_TRUE(messages().isEmpty());
}

// The same filter met through the grid: a dropped key leaves the row alone.
TEST_P(EntryTest, TypingInTheCodeColumnOutsideInsert)
{
    struct Case
    {
        QString typed;
        bool edits;
    };
    const Case cases[] = {
        {u"5"_s, false},
        {u"a"_s, false},
        {u"%"_s, true},
        {u"("_s, true},
    };
    ASSERT_NE(open(), nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        form->cdsPlaneja->First();
        ScreenHarness::processEvents();
        const QString code = form->cdsPlanejaCDEXERFISICO->AsString();
        clickColumn(Code);
        typeText(c.typed);
        EXPECT_EQ(form->cdsPlaneja->State() == dsEdit, c.edits);
        QLineEdit *editor = form->dbgPadrao->InplaceEditor();
        EXPECT_EQ(editor != nullptr && editor->text().contains(c.typed), c.edits);
        EXPECT_TRUE(messages().isEmpty());
        cancelRow();
        EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), code);
    }
}

// A paste is a key like the others: outside insert it cannot put another exercise on
// a planned row, whichever shortcut the user pastes with.
TEST_P(EntryTest, PastingInTheCodeColumnOutsideInsertChangesNothing)
{
    struct Case
    {
        const char *name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
    };
    const Case cases[] = {
        {"Ctrl+V", Qt::Key_V, Qt::ControlModifier},
        {"Shift+Insert", Qt::Key_Insert, Qt::ShiftModifier},
    };
    ASSERT_NE(open(), nullptr);
    QGuiApplication::clipboard()->setText(u"012030"_s);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        form->cdsPlaneja->First();
        ScreenHarness::processEvents();
        const QString code = form->cdsPlanejaCDEXERFISICO->AsString();
        clickColumn(Code);
        press(Qt::Key_Return); // the cell editor opens on the code
        press(c.key, c.modifiers);
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        if (QLineEdit *editor = form->dbgPadrao->InplaceEditor()) {
            EXPECT_FALSE(editor->text().contains(u"012030"_s));
        }
        press(Qt::Key_Tab);
        cancelRow();
        EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), code);
        EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
    }
}

QOR_INSTANTIATE_BACKENDS(EntryTest);

} // namespace
} // namespace qor::testing
