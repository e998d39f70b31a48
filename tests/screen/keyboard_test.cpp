// The plan grid worked fast from the keyboard and the mouse, as during a consultation:
// a code typed and then picked in the search dialog, Esc on new and changed rows,
// moving away from a row that cannot be posted, deletes answered either way. What the
// grid shows, what the server stores and the commands offered must agree afterwards.
#include "entry_fixture.h"

#include "data/clientdataset.h"
#include "forms/dbgrid.h"
#include "forms/edit.h"
#include "forms/menuitem.h"
#include "framework/buttonflat.h"
#include "module/Cli_qor12700.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

const QString Code = u"CDEXERFISICO"_s;
const QString Name = u"DSEXERFISICO"_s;
const QString Hours = u"QTHREXERFISI"_s;

class KeyboardTest : public PlanScreenTest
{
protected:
    // The search dialog answered with the first row its filter leaves.
    void chooseInSearch(const QString &filterText)
    {
        searchAnswer = [this, filterText](QDialog *dialog) {
            auto *filter = dialog->findChild<QLineEdit *>(u"edtPesquisa"_s);
            if (!filter)
                return int(QDialog::Rejected);
            dialog->show();
            QTest::keyClicks(filter, filterText);
            QTest::keyClick(filter, Qt::Key_Return);
            dialog->hide();
            // Closing the dialog gives the main window back its activation.
            QApplication::setActiveWindow(harness->mainWindow());
            return dialog->result();
        };
    }
    void cancelRow()
    {
        if (form->cdsPlaneja->State() == dsBrowse)
            return;
        harness->dialogs().QueueAnswer(mrYes);
        ScreenHarness::click(form->sbtCancelar);
        harness->dialogs().Clear();
    }
    QStringList storedCodes()
    {
        QStringList codes;
        for (int row = 0; row < form->cdsPlaneja->RecordCount(); ++row)
            codes.append(form->cdsPlaneja->ValueAt(row, form->cdsPlanejaCDEXERFISICO).toString());
        return codes;
    }
};

// A code typed in the new row's code cell and then replaced by a choice in the search
// dialog: the choice is what the row keeps once the column is left.
TEST_P(KeyboardTest, SearchChoiceAfterATypedCodeIsKept)
{
    struct Case
    {
        const char *name;
        QString typed; // into the code cell before the dialog
        QString filter; // the dialog's filter; the first row left is chosen
        QString code;
        QString description;
    };
    const Case cases[] = {
        {"a known code typed first", u"1030"_s, u"Corrida, 8 km"_s, u"012030"_s,
         u"Corrida, 8 km/h"_s},
        {"an unknown code typed first", u"9999"_s, u"Bicicleta ergom"_s, u"002010"_s,
         u"Bicicleta ergométrica, geral"_s},
    };
    ASSERT_NE(open(), nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        harness->dialogs().Clear();
        chooseInSearch(c.filter);
        clickIncluir();
        typeText(c.typed);
        QAbstractButton *button = form->dbgPadrao->EditButton();
        ASSERT_NE(button, nullptr);
        ScreenHarness::click(button);
        EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), c.code);
        // The cell's editor shows the choice, not the code typed before it.
        if (QLineEdit *editor = form->dbgPadrao->InplaceEditor()) {
            EXPECT_EQ(editor->text(), c.code);
        }
        press(Qt::Key_Tab);
        EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), c.code);
        EXPECT_EQ(form->cdsPlanejaDSEXERFISICO->AsString(), c.description);
        EXPECT_EQ(cell(Name), c.description);
        cancelRow();
    }
}

// Esc in each state of the row: the typed text goes first, then the row's changes; the
// server is asked nothing and the plan shows what it showed before.
TEST_P(KeyboardTest, EscapeGivesBackWhatWasThere)
{
    struct Case
    {
        const char *name;
        bool newRow;
        QString code; // typed in a new row's code cell
        QString time; // typed in the time cell (the row's committed change)
        QString pending; // typed in the time cell again and left there, or empty
        int escapes;
    };
    const Case cases[] = {
        {"new row half filled, Esc twice", true, u"1030"_s, QString(), QString(), 2},
        {"new row, time typed then Esc twice", true, u"1030"_s, u"0130"_s, u"02"_s, 3},
        {"changed row, Esc once", false, QString(), u"0500"_s, QString(), 1},
        {"changed row, text pending, Esc twice", false, QString(), u"0500"_s, u"0700"_s, 2},
        {"changed row, Esc four times", false, QString(), u"0500"_s, QString(), 4},
    };
    ASSERT_NE(open(), nullptr);
    const QStringList codesBefore = storedCodes();
    const QString total = form->edtTotal->Text();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        harness->dialogs().Clear();
        ASSERT_TRUE(form->cdsPlaneja->Locate(Code, u"017190"_s));
        ScreenHarness::processEvents();
        const int saves = calls(u"SetPlaneja"_s);
        if (c.newRow) {
            clickIncluir();
            typeText(c.code);
            press(Qt::Key_Tab);
        }
        if (!c.time.isEmpty()) {
            clickColumn(Hours);
            typeText(c.time);
            press(Qt::Key_Return);
        }
        if (!c.pending.isEmpty()) {
            press(Qt::Key_Return); // the editor opens again on the time
            typeText(c.pending);
        }
        ASSERT_NE(form->cdsPlaneja->State(), dsBrowse);
        for (int i = 0; i < c.escapes; ++i)
            press(Qt::Key_Escape);
        EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_EQ(storedCodes(), codesBefore);
        EXPECT_EQ(calls(u"SetPlaneja"_s), saves);
        EXPECT_EQ(form->edtTotal->Text(), total);
        ASSERT_TRUE(form->cdsPlaneja->Locate(Code, u"017190"_s));
        EXPECT_EQ(cell(Hours), u"01:00"_s);
        EXPECT_EQ(form->dbgPadrao->InplaceEditor(), nullptr);
        EXPECT_TRUE(form->sbtIncluir->Enabled());
        EXPECT_FALSE(form->sbtConfirmar->Enabled());
        EXPECT_TRUE(form->sbtExcluir->Enabled());
    }
    EXPECT_DOUBLE_EQ(storedHours(ScreenHarness::Maria, u"017190"_s).toDouble(), 1.0);
    EXPECT_EQ(storedRowCount(ScreenHarness::Maria), 3);
}

// A time refused as the cell is left stays in the open editor, which keeps the keys: the
// user corrects it there, or the first Esc drops that text only, as it does for any
// typed text. Either way the row keeps what it had: a new row is not thrown away with
// its exercise, and the refusal is told once.
TEST_P(KeyboardTest, ARefusedTimeStaysInTheEditorToCorrectOrDrop)
{
    struct Case
    {
        const char *name;
        bool newRow;
        Qt::Key leaveWith; // Key_unknown: a click on the code cell
        QString correction; // typed over the refused time and left with Tab; empty: Esc
        QString shownTime; // the row's time afterwards
    };
    const Case cases[] = {
        {"new row, left with Tab, Esc", true, Qt::Key_Tab, QString(), QString()},
        {"new row, left with Enter, Esc", true, Qt::Key_Return, QString(), QString()},
        {"changed row, left with Tab, Esc", false, Qt::Key_Tab, QString(), u"01:00"_s},
        {"changed row, left with Enter, Esc", false, Qt::Key_Return, QString(), u"01:00"_s},
        {"new row, left with Tab, corrected", true, Qt::Key_Tab, u"0215"_s, u"02:15"_s},
        {"changed row, left with Tab, corrected", false, Qt::Key_Tab, u"0215"_s, u"02:15"_s},
        {"changed row, left with Enter, corrected", false, Qt::Key_Return, u"0215"_s, u"02:15"_s},
        {"new row, left with a click, Esc", true, Qt::Key_unknown, QString(), QString()},
        {"changed row, left with a click, corrected", false, Qt::Key_unknown, u"0215"_s,
         u"02:15"_s},
    };
    ASSERT_NE(open(), nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(form->cdsPlaneja->Locate(Code, u"017190"_s));
        ScreenHarness::processEvents();
        if (c.newRow) {
            clickIncluir();
            typeText(u"1030"_s);
            press(Qt::Key_Tab);
        } else {
            ScreenHarness::click(form->sbtAlterar);
        }
        const TDataSetState state = form->cdsPlaneja->State();
        clickColumn(Hours);
        typeText(u"2500"_s);
        if (c.leaveWith == Qt::Key_unknown)
            clickColumn(Code);
        else
            press(c.leaveWith);
        EXPECT_EQ(messages(), QStringList{u"'25:00' não é uma hora válida"_s});
        harness->dialogs().Clear();
        if (c.correction.isEmpty()) {
            press(Qt::Key_Escape);
        } else {
            for (int i = 0; i < 5; ++i)
                press(Qt::Key_Backspace);
            typeText(c.correction);
            press(Qt::Key_Tab);
        }
        EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPlaneja->State(), state);
        EXPECT_EQ(form->dbgPadrao->InplaceEditor(), nullptr);
        EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), c.newRow ? u"001030"_s : u"017190"_s);
        EXPECT_EQ(cell(Hours), c.shownTime);
        cancelRow();
    }
    EXPECT_EQ(storedRowCount(ScreenHarness::Maria), 3);
}

// A new row that cannot be posted keeps the user on it, with what was typed, whether
// they click another row, press Insert or Down, or confirm.
TEST_P(KeyboardTest, LeavingARowThatCannotBePostedKeepsIt)
{
    struct Case
    {
        const char *name;
        QString code;
        QString time;
        std::function<void()> leave;
        QString message;
    };
    const auto clickFirstRow = [this] {
        TDBGrid *grid = form->dbgPadrao;
        const QRect rect = grid->visualRect(grid->model()->index(0, column(Hours)));
        ScreenHarness::click(grid->viewport(), rect.center());
    };
    const auto pressKey = [this](Qt::Key key) {
        return [this, key] {
            press(key);
        };
    };
    const auto confirm = [this] {
        clickConfirmar();
    };
    const QString noTime = u"Horas/semana deve ser informada."_s;
    const QString noCode = u"Código deve ser informado."_s;
    const Case cases[] = {
        {"no time, another row clicked", u"1030"_s, QString(), clickFirstRow, noTime},
        {"no time, Insert", u"1030"_s, QString(), pressKey(Qt::Key_Insert), noTime},
        {"no time, Down", u"1030"_s, QString(), pressKey(Qt::Key_Down), noTime},
        {"no time, Up", u"1030"_s, QString(), pressKey(Qt::Key_Up), noTime},
        {"no time, confirmed", u"1030"_s, QString(), confirm, noTime},
        {"no code, another row clicked", QString(), u"0130"_s, clickFirstRow, noCode},
        {"no code, Up", QString(), u"0130"_s, pressKey(Qt::Key_Up), noCode},
    };
    ASSERT_NE(open(), nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        typeNewRow(c.code, c.time);
        ASSERT_EQ(form->cdsPlaneja->State(), dsInsert);
        harness->dialogs().Clear();
        const int row = form->cdsPlaneja->CurrentRow();
        const int saves = calls(u"SetPlaneja"_s);
        c.leave();
        EXPECT_EQ(messages(), QStringList{c.message});
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPlaneja->State(), dsInsert);
        EXPECT_EQ(form->cdsPlaneja->RecordCount(), 4);
        EXPECT_EQ(form->cdsPlaneja->CurrentRow(), row);
        EXPECT_EQ(form->dbgPadrao->currentIndex().row(), row);
        EXPECT_EQ(calls(u"SetPlaneja"_s), saves);
        if (!c.code.isEmpty()) {
            EXPECT_EQ(cell(Name), u"Ciclismo, 19 a 22 km/h, lazer, esforço moderado"_s);
        }
        if (!c.time.isEmpty()) {
            EXPECT_EQ(cell(Hours), u"01:30"_s);
        }
        EXPECT_EQ(storedRowCount(ScreenHarness::Maria), 3);
        cancelRow();
        EXPECT_EQ(form->cdsPlaneja->RecordCount(), 3);
    }
}

// Deleting from the command bar: No leaves everything; Yes down to the empty plan, where
// the command is no longer offered.
TEST_P(KeyboardTest, DeletesAnsweredEitherWayDownToTheEmptyPlan)
{
    ASSERT_NE(open(), nullptr);
    const QString total = form->edtTotal->Text();
    harness->dialogs().QueueAnswer(mrNo);
    ScreenHarness::click(form->sbtExcluir);
    EXPECT_EQ(form->cdsPlaneja->RecordCount(), 3);
    EXPECT_EQ(storedRowCount(ScreenHarness::Maria), 3);
    EXPECT_EQ(calls(u"SetPlaneja"_s), 0);
    EXPECT_EQ(form->edtTotal->Text(), total);
    for (int left = 2; left >= 0; --left) {
        SCOPED_TRACE(left);
        harness->dialogs().Clear();
        harness->dialogs().QueueAnswer(mrYes);
        ScreenHarness::click(form->sbtExcluir);
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPlaneja->RecordCount(), left);
        EXPECT_EQ(storedRowCount(ScreenHarness::Maria), left);
        EXPECT_EQ(form->dbgPadrao->model()->rowCount(), left);
        EXPECT_EQ(form->sbtExcluir->Enabled(), left > 0);
        EXPECT_EQ(form->sbtAlterar->Enabled(), left > 0);
        EXPECT_TRUE(form->sbtIncluir->Enabled());
    }
    // The empty plan takes a new row again.
    harness->dialogs().Clear();
    typeNewRow(u"1030"_s, u"0100"_s);
    clickConfirmar();
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
    EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
    EXPECT_EQ(storedRowCount(ScreenHarness::Maria), 1);
    EXPECT_DOUBLE_EQ(storedHours(ScreenHarness::Maria, u"001030"_s).toDouble(), 1.0);
    EXPECT_TRUE(form->sbtExcluir->Enabled());
    EXPECT_TRUE(form->sbtAlterar->Enabled());
}

// The only row of the plan refused by the server is taken back: the plan is empty again
// and offers only the new-record command.
TEST_P(KeyboardTest, RefusedOnlyRowLeavesNoRecordCommands)
{
    clearPlan(ScreenHarness::Maria);
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(form->cdsPlaneja->RecordCount(), 0);
    typeNewRow(u"1030"_s, u"0100"_s);
    // Another workstation plans the same exercise meanwhile: the save is refused.
    addPlanRow(ScreenHarness::Maria, u"001030"_s, 2.0, 8.0);
    harness->dialogs().Clear();
    clickConfirmar();
    EXPECT_FALSE(messages().isEmpty() && errors().isEmpty());
    EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
    EXPECT_EQ(form->cdsPlaneja->RecordCount(), 0);
    EXPECT_TRUE(form->sbtIncluir->Enabled());
    EXPECT_FALSE(form->sbtExcluir->Enabled());
    EXPECT_FALSE(form->sbtAlterar->Enabled());
    EXPECT_FALSE(form->sbtConfirmar->Enabled());
}

// An editor opened on a cell of a browsing row (Enter, F2 or a double click) keeps where
// the user put the cursor, or what they selected, when the first key starts the edit: the
// key lands there instead of at the end, where the full time mask drops it silently.
TEST_P(KeyboardTest, FirstKeyInAnOpenedEditorLandsWhereTheCursorIs)
{
    struct Case
    {
        const char *name;
        Qt::Key open; // how the editor is opened on the time cell
        QList<Qt::Key> keys; // then typed
        QString shown;
        double stored;
    };
    // In turn on the row of 017190, stored at 01:00 at first.
    const Case cases[] = {
        {"Enter, Home, 0230",
         Qt::Key_Return,
         {Qt::Key_Home, Qt::Key_0, Qt::Key_2, Qt::Key_3, Qt::Key_0},
         u"02:30"_s,
         2.5},
        {"F2, Home, Delete, 2",
         Qt::Key_F2,
         {Qt::Key_Home, Qt::Key_Delete, Qt::Key_2},
         u"22:30"_s,
         22.5},
        {"Enter, select all, 0345",
         Qt::Key_Return,
         {Qt::Key_End, Qt::Key_unknown, Qt::Key_0, Qt::Key_3, Qt::Key_4, Qt::Key_5},
         u"03:45"_s,
         3.75},
    };
    ASSERT_NE(open(), nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        harness->dialogs().Clear();
        ASSERT_TRUE(form->cdsPlaneja->Locate(Code, u"017190"_s));
        ScreenHarness::processEvents();
        clickColumn(Hours);
        press(c.open);
        QLineEdit *editor = form->dbgPadrao->InplaceEditor();
        ASSERT_NE(editor, nullptr);
        for (Qt::Key key : c.keys) {
            if (key == Qt::Key_unknown)
                editor->selectAll(); // as a triple click or Shift+Home leaves it
            else
                press(key);
        }
        press(Qt::Key_Return);
        EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
        EXPECT_EQ(cell(Hours), c.shown);
        clickConfirmar();
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_DOUBLE_EQ(storedHours(ScreenHarness::Maria, u"017190"_s).toDouble(), c.stored);
        cancelRow();
    }
}

// Outside insert the code column takes no typing, deleting included: Corrida leve
// (012020) with its "2" deleted would read 01020, that is Ciclismo (001020), and the
// row would change exercise. A new row's code takes Delete like any key.
TEST_P(KeyboardTest, DeleteKeysInTheCodeColumnFollowTheKeyFilter)
{
    struct Case
    {
        const char *name;
        bool newRow;
        Qt::KeyboardModifiers modifiers;
        QString left; // the editor's text afterwards
    };
    const Case cases[] = {
        {"Delete on a planned row", false, Qt::NoModifier, u"012020"_s},
        {"Ctrl+Delete on a planned row", false, Qt::ControlModifier, u"012020"_s},
        {"Shift+Delete on a planned row", false, Qt::ShiftModifier, u"012020"_s},
        {"Delete on a new row", true, Qt::NoModifier, u"01020"_s},
    };
    addPlanRow(ScreenHarness::Maria, u"012020"_s, 1.0, 7.0);
    ASSERT_NE(open(), nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        harness->dialogs().Clear();
        ASSERT_TRUE(form->cdsPlaneja->Locate(Code, u"012020"_s));
        ScreenHarness::processEvents();
        if (c.newRow) {
            clickIncluir();
            typeText(u"012020"_s);
        } else {
            clickColumn(Code);
            press(Qt::Key_Return); // the cell editor opens on the code
        }
        QLineEdit *editor = form->dbgPadrao->InplaceEditor();
        ASSERT_NE(editor, nullptr);
        editor->setCursorPosition(2);
        press(Qt::Key_Delete, c.modifiers);
        EXPECT_EQ(editor->text(), c.left);
        EXPECT_EQ(form->cdsPlaneja->State(), c.newRow ? dsInsert : dsBrowse);
        press(Qt::Key_Tab);
        EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), c.newRow ? u"001020"_s : u"012020"_s);
        cancelRow();
        EXPECT_EQ(storedRowCount(ScreenHarness::Maria), 4);
        EXPECT_FALSE(storedHours(ScreenHarness::Maria, u"012020"_s).isNull());
    }
}

// Composed text (a dead key, a compose sequence, an input method) committed into a cell
// editor counts as typed: it meets the key filter and puts the row into edit. So it
// cannot change a planned row's exercise, and what it brought into a planned row's time
// is not dropped without the "Canc" question when the screen is left.
TEST_P(KeyboardTest, ComposedTextInACellIsTypedLikeItsKeys)
{
    enum class Then { CloseTheScreen, AnotherConsultation, ClickAnotherRow };
    struct Case
    {
        const char *name;
        QString field; // the cell of 017190 (01:00) composed into
        QString composed; // at the start of the cell's text, over all of it for the code
        Then then;
        int questions; // "Canc" asked, answered No
        double stored; // 017190's hours once the row is confirmed
    };
    const Case cases[] = {
        {"a time composed, the screen closed", Hours, u"05"_s, Then::CloseTheScreen, 1, 5.0},
        {"a time composed, another consultation asked for", Hours, u"03"_s,
         Then::AnotherConsultation, 1, 3.0},
        {"a code composed over a planned row's, another row clicked", Code, u"012030"_s,
         Then::ClickAnotherRow, 0, 1.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(open(), nullptr);
        harness->dialogs().Clear();
        ASSERT_TRUE(form->cdsPlaneja->Locate(Code, u"017190"_s));
        ScreenHarness::processEvents();
        clickColumn(c.field);
        press(Qt::Key_Return); // the cell editor opens on the row's value
        QLineEdit *editor = form->dbgPadrao->InplaceEditor();
        ASSERT_NE(editor, nullptr);
        if (c.field == Code)
            editor->selectAll();
        else
            editor->setCursorPosition(0);
        QInputMethodEvent preedit(c.composed.left(1), {});
        QApplication::sendEvent(editor, &preedit);
        QInputMethodEvent commit;
        commit.setCommitString(c.composed);
        QApplication::sendEvent(editor, &commit);
        ScreenHarness::processEvents();

        harness->dialogs().QueueAnswer(mrNo);
        switch (c.then) {
        case Then::CloseTheScreen:
            form->Close();
            ScreenHarness::processEvents();
            break;
        case Then::AnotherConsultation:
            harness->open(ScreenHarness::Joao, u"João Pereira"_s);
            break;
        case Then::ClickAnotherRow: {
            TDBGrid *grid = form->dbgPadrao;
            const int other = form->cdsPlaneja->CurrentRow() == 0 ? 1 : 0;
            const QRect rect = grid->visualRect(grid->model()->index(other, column(Hours)));
            ScreenHarness::click(grid->viewport(), rect.center());
            break;
        }
        }
        EXPECT_EQ(harness->dialogs().Texts(mtConfirmation).size(), c.questions);
        harness->dialogs().Clear();
        if (frmPlanejaExerc != form || stCdPaciente != ScreenHarness::Maria) {
            ADD_FAILURE() << "the screen left the consultation with the composed text";
            harness->closeScreen();
            continue;
        }
        clickConfirmar();
        EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_EQ(storedRowCount(ScreenHarness::Maria), 3);
        EXPECT_TRUE(storedHours(ScreenHarness::Maria, u"012030"_s).isNull());
        EXPECT_DOUBLE_EQ(storedHours(ScreenHarness::Maria, u"017190"_s).toDouble(), c.stored);
        exec(u"UPDATE PLAEXERFISI SET QTHREXERFISI = 1 WHERE CDEXERFISICO = '017190'"_s);
        harness->closeScreen();
        form = nullptr;
    }
}

// A composition that begins over the selected time sets the selection aside and replaces
// it with the keys composed; cancelled, it leaves the selection as it was. A composition
// the input method dropped without a word leaves nothing behind: text composed later at
// the cursor is typed there, over no selection the user no longer has.
TEST_P(KeyboardTest, ComposedTextReplacesOnlyTheSelectionItWasComposedOver)
{
    struct Case
    {
        const char *name;
        QString preedit; // composed over the whole time of 017190 (01:00), selected
        QList<Qt::Key> moves; // keys pressed meanwhile; the composition is dropped
        QString committed; // then committed; nothing, a cancel
        QString shown; // in the cell editor
        QString selected;
        double stored; // 017190's hours once the row is confirmed
    };
    const Case cases[] = {
        {"composed over the selection", u"0"_s, {}, u"0230"_s, u"02:30"_s, QString(), 2.5},
        {"cancelled", u"5"_s, {}, QString(), u"01:00"_s, u"01:00"_s, 1.0},
        {"dropped, then composed at the cursor",
         u"5"_s,
         {Qt::Key_Home, Qt::Key_Right},
         u"3"_s,
         u"03:00"_s,
         QString(),
         3.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(open(), nullptr);
        harness->dialogs().Clear();
        ASSERT_TRUE(form->cdsPlaneja->Locate(Code, u"017190"_s));
        ScreenHarness::processEvents();
        clickColumn(Hours);
        press(Qt::Key_Return); // the cell editor opens on the row's value
        QLineEdit *editor = form->dbgPadrao->InplaceEditor();
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        QInputMethodEvent preedit(c.preedit, {});
        QApplication::sendEvent(editor, &preedit);
        for (const Qt::Key key : c.moves)
            press(key);
        QInputMethodEvent commit;
        commit.setCommitString(c.committed);
        QApplication::sendEvent(editor, &commit);
        ScreenHarness::processEvents();

        EXPECT_EQ(editor->text(), c.shown);
        EXPECT_EQ(editor->selectedText(), c.selected);
        if (form->cdsPlaneja->State() != dsBrowse)
            clickConfirmar();
        EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_DOUBLE_EQ(storedHours(ScreenHarness::Maria, u"017190"_s).toDouble(), c.stored);
        exec(u"UPDATE PLAEXERFISI SET QTHREXERFISI = 1 WHERE CDEXERFISICO = '017190'"_s);
        harness->closeScreen();
        form = nullptr;
    }
}

QOR_INSTANTIATE_BACKENDS(KeyboardTest);

} // namespace
} // namespace qor::testing
