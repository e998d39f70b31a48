// The plan grid worked with the mouse: cells opened with a double-click, text brought in
// through the cell editor's own menu, clicks elsewhere while something is typed, and the
// screen left in the middle of it. What a row shows must be what the server holds, and
// nothing typed may be dropped without a question.
#include "entry_fixture.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "framework/buttonflat.h"
#include "module/Cli_qor12700.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

const QString Code = u"CDEXERFISICO"_s;
const QString Hours = u"QTHREXERFISI"_s;

class MouseTest : public PlanScreenTest
{
protected:
    // Whatever is left open is abandoned, and the screen closed, before the next case.
    void closeAbandoningEdits()
    {
        if (frmPlanejaExerc && frmPlanejaExerc->EditingInProgress()) {
            harness->dialogs().QueueAnswer(mrYes);
            harness->closeScreen();
        }
        harness->closeScreen();
        ASSERT_EQ(frmPlanejaExerc, nullptr);
        form = nullptr;
    }
    QRect cellRect(int row, const QString &fieldName) const
    {
        const TDBGrid *grid = form->dbgPadrao;
        return grid->visualRect(grid->model()->index(row, column(fieldName)));
    }
    void clickCell(int row, const QString &fieldName)
    {
        ScreenHarness::click(form->dbgPadrao->viewport(), cellRect(row, fieldName).center());
    }
    void doubleClickCell(int row, const QString &fieldName)
    {
        QTest::mouseDClick(form->dbgPadrao->viewport(), Qt::LeftButton, {},
                           cellRect(row, fieldName).center());
        ScreenHarness::processEvents();
    }
    // A right click in the open cell editor and, when a menu comes up, its paste command.
    // Returns whether anything could be pasted.
    bool pasteThroughTheEditorsMenu()
    {
        QLineEdit *editor = form->dbgPadrao->InplaceEditor();
        if (!editor)
            return false;
        const QPoint at = editor->rect().center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, editor->mapToGlobal(at));
        QApplication::sendEvent(editor, &event);
        ScreenHarness::processEvents();
        // The menu the editor opened (the offscreen platform keeps no active popup).
        QMenu *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *shown = qobject_cast<QMenu *>(widget); !menu && shown && shown->isVisible())
                menu = shown;
        }
        if (!menu)
            return false;
        QAction *paste = nullptr;
        // Named by its shortcut, whatever the language of its text.
        const QString shortcut =
            u'\t' + QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText);
        for (QAction *action : menu->actions()) {
            if (action->text().endsWith(shortcut))
                paste = action;
        }
        const bool pasted = paste && paste->isEnabled();
        if (pasted)
            paste->trigger();
        menu->close();
        ScreenHarness::processEvents();
        return pasted;
    }
    enum class Place { BelowTheRows, RowHeader, ColumnTitle, NextRow };
    // A click in the grid on something that is no cell of the current row.
    void clickOn(Place where)
    {
        TDBGrid *grid = form->dbgPadrao;
        switch (where) {
        case Place::BelowTheRows:
            ScreenHarness::click(grid->viewport(), QPoint(10, grid->viewport()->height() - 5));
            return;
        case Place::RowHeader: {
            QHeaderView *header = grid->verticalHeader();
            ScreenHarness::click(
                header->viewport(),
                QPoint(header->width() / 2, header->sectionViewportPosition(0) + 3));
            return;
        }
        case Place::ColumnTitle: {
            QHeaderView *header = grid->horizontalHeader();
            ScreenHarness::click(
                header->viewport(),
                QPoint(header->sectionViewportPosition(column(Hours)) + 5, header->height() / 2));
            return;
        }
        case Place::NextRow:
            clickCell(1, Hours);
            return;
        }
    }
    // The row showing the exercise, or -1.
    int rowOf(const QString &code) const
    {
        for (int row = 0; row < form->dbgPadrao->model()->rowCount(); ++row) {
            if (cell(Code, row) == code)
                return row;
        }
        return -1;
    }
};

// Outside a new row the code may not be typed over; text brought in through the cell
// editor's menu must not change it either, nor sit in a row that is not being edited,
// where closing the screen would drop it without a question.
TEST_P(MouseTest, TheCellEditorsMenuBringsNoTextPastTheScreensRules)
{
    enum class Then { ClickAnotherRow, CloseTheScreen };
    struct Case
    {
        const char *name;
        QString field;
        QString clipboard;
        Then then;
    };
    const Case cases[] = {
        {"a catalogue code into a planned row's code, another row clicked", Code, u"012030"_s,
         Then::ClickAnotherRow},
        {"a time into a planned row's time, the screen closed", Hours, u"00:30"_s,
         Then::CloseTheScreen},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(open(), nullptr);
        ASSERT_GE(form->cdsPlaneja->RecordCount(), 2);
        harness->dialogs().Clear();
        const QString firstCode = cell(Code, 0);
        const QString firstTime = cell(Hours, 0);
        const QVariant storedTime = storedHours(ScreenHarness::Maria, firstCode);
        QGuiApplication::clipboard()->setText(c.clipboard);

        clickCell(0, c.field);
        doubleClickCell(0, c.field); // the cell editor opens on the row's value
        ASSERT_NE(form->dbgPadrao->InplaceEditor(), nullptr);
        const bool pasted = pasteThroughTheEditorsMenu();

        if (c.then == Then::ClickAnotherRow) {
            clickCell(1, c.field);
            if (form->cdsPlaneja->State() != dsBrowse) {
                harness->dialogs().QueueAnswer(mrYes);
                ScreenHarness::click(form->sbtCancelar);
            }
            const int row = rowOf(firstCode);
            EXPECT_GE(row, 0) << "the planned exercise was replaced";
            if (row >= 0) {
                EXPECT_EQ(cell(Hours, row), firstTime);
            }
            EXPECT_EQ(storedRowCount(ScreenHarness::Maria), form->cdsPlaneja->RecordCount());
        } else {
            harness->closeScreen(); // a question is answered No

            const bool asked = !harness->dialogs().Texts(mtConfirmation).isEmpty();
            EXPECT_TRUE(asked || !pasted) << "text taken by the cell editor was dropped unasked";
        }
        EXPECT_EQ(storedHours(ScreenHarness::Maria, firstCode), storedTime);
        ASSERT_NO_FATAL_FAILURE(closeAbandoningEdits());
    }
}

// A time typed over a planned row's time and not yet left, then a click somewhere that is
// no cell, then the confirm button: the typed time is what is saved and shown.
TEST_P(MouseTest, AClickBesideTheCellsKeepsTheTypedTimeForTheConfirm)
{
    const struct
    {
        const char *name;
        Place where;
    } cases[] = {
        {"the empty area below the rows", Place::BelowTheRows},
        {"the row's header", Place::RowHeader},
        {"the time column's title", Place::ColumnTitle},
        {"the next row", Place::NextRow},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(open(), nullptr);
        harness->dialogs().Clear();
        const QString code = cell(Code, 0);
        const QVariant stored = storedHours(ScreenHarness::Maria, code);
        ASSERT_NE(cell(Hours, 0), u"02:15"_s);
        clickCell(0, Hours);
        typeText(u"0215"_s);
        ASSERT_NE(form->cdsPlaneja->State(), dsBrowse);
        clickOn(c.where);
        clickConfirmar();
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_TRUE(messages().isEmpty()) << messages().join(u'\n').toStdString();
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        const int row = rowOf(code);
        ASSERT_GE(row, 0);
        EXPECT_EQ(cell(Hours, row), u"02:15"_s);
        if (QLineEdit *editor = form->dbgPadrao->InplaceEditor()) {
            EXPECT_EQ(editor->text(), cell(Hours, form->cdsPlaneja->CurrentRow()));
        }
        EXPECT_NEAR(storedHours(ScreenHarness::Maria, code).toDouble(), 2.25, 1e-9);
        // Back as it was for the next case.
        exec(u"UPDATE PLAEXERFISI SET QTHREXERFISI = ? WHERE CDPACIENTE = ? AND CDEXERFISICO = ?"_s,
             {stored, ScreenHarness::Maria, code});
        ASSERT_NO_FATAL_FAILURE(closeAbandoningEdits());
    }
}

// The host hands over another consultation while the screen's delete question is still
// open: the Yes that follows was given for the row asked about, and deletes nothing of the
// consultation shown since.
TEST_P(MouseTest, ADeleteAnsweredAfterAnotherConsultationArrivedDeletesNothingOfIt)
{
    ASSERT_NE(open(), nullptr);
    addPlanRow(ScreenHarness::Joao, u"002054"_s, 1.0, 8.0);
    const int mariasRows = storedRowCount(ScreenHarness::Maria);
    bool handedOver = false;
    harness->dialogs().OnMessage = [&](const TDialogMessage &message) {
        if (handedOver || message.Kind != mtConfirmation)
            return;
        handedOver = true;
        IniProc(QVariantList{ScreenHarness::Branch, ScreenHarness::Joao, u"João Pereira"_s, Date(),
                             Date()});
    };
    harness->dialogs().QueueAnswer(mrYes);
    ScreenHarness::click(form->sbtExcluir);
    ASSERT_TRUE(handedOver);
    EXPECT_EQ(stCdPaciente, ScreenHarness::Joao);
    EXPECT_EQ(storedRowCount(ScreenHarness::Joao), 1) << "a row the user was not asked about went";
    EXPECT_EQ(form->cdsPlaneja->RecordCount(), 1);
    EXPECT_EQ(storedRowCount(ScreenHarness::Maria), mariasRows);
    EXPECT_TRUE(messages().contains(u"Nenhum registro foi excluído: os registros da tela "
                                    u"mudaram enquanto a pergunta estava aberta."_s))
        << messages().join(u'\n').toStdString();
    EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
    harness->dialogs().OnMessage = nullptr;
}

// A text that cannot be kept (a weight of only a comma, a time of 99 minutes), then a
// click on Cancelar to drop it: the button takes no focus, so the control is not left and
// its text is not checked. Checked on the button's press, its refusal came before the
// question, and on a desktop the refusal's dialog took the click itself: the question
// never came and the text could not be dropped with the button.
TEST_P(MouseTest, CancelarDropsATextThatCouldNotBeKeptWithoutCheckingIt)
{
    enum class Into { Weight, NewRowTime, PlannedRowTime };
    const struct
    {
        const char *name;
        Into into;
        QString keys; // '<' is the left arrow, '\b' backspace
        QString typed; // what the control shows then
    } cases[] = {
        {"a weight of only a comma", Into::Weight, u"7,<\b"_s, u","_s},
        {"a new row's time of 99 minutes", Into::NewRowTime, u"9999"_s, u"99:99"_s},
        {"a planned row's time of 99 minutes", Into::PlannedRowTime, u"9999"_s, u"99:99"_s},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        // João has no weight yet; Maria's is recorded, so her plan can be typed into.
        const QString patient = c.into == Into::Weight ? ScreenHarness::Joao : ScreenHarness::Maria;
        ASSERT_NE(open(patient), nullptr);
        const int rows = form->cdsPlaneja->RecordCount();
        const QString code = cell(Code, 0);
        const QString time = cell(Hours, 0);
        const QVariant stored = storedHours(patient, code);
        QWidget *typedInto = nullptr;
        switch (c.into) {
        case Into::Weight:
            ScreenHarness::click(form->dbePeso);
            typedInto = form->dbePeso;
            break;
        case Into::NewRowTime:
            clickIncluir();
            typeText(u"002120"_s);
            press(Qt::Key_Tab);
            clickColumn(Hours);
            break;
        case Into::PlannedRowTime:
            clickCell(0, Hours);
            break;
        }
        for (const QChar key : c.keys) {
            QWidget *target = typedInto ? typedInto : QApplication::focusWidget();
            ASSERT_NE(target, nullptr);
            if (key == u'<')
                QTest::keyClick(target, Qt::Key_Left);
            else if (key == u'\b')
                QTest::keyClick(target, Qt::Key_Backspace);
            else
                QTest::keyClicks(target, QString(key));
        }
        if (c.into == Into::Weight) {
            ASSERT_EQ(form->dbePeso->Text(), c.typed);
        } else {
            ASSERT_NE(form->dbgPadrao->InplaceEditor(), nullptr);
            ASSERT_EQ(form->dbgPadrao->InplaceEditor()->text(), c.typed);
        }
        harness->dialogs().Clear();
        harness->clearErrors();

        harness->dialogs().QueueAnswer(mrYes);
        ScreenHarness::click(form->sbtCancelar);

        EXPECT_EQ(messages().join(u'\n').toStdString(), "Deseja cancelar as alterações?");
        EXPECT_TRUE(errors().isEmpty()) << errors().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPeso->State(), dsBrowse);
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_EQ(form->cdsPlaneja->RecordCount(), rows);
        if (c.into == Into::Weight) {
            EXPECT_EQ(form->dbePeso->Text(), QString());
        } else {
            EXPECT_EQ(cell(Hours, 0), time);
        }
        EXPECT_EQ(storedRowCount(patient), rows);
        EXPECT_EQ(storedHours(patient, code), stored);
        ASSERT_NO_FATAL_FAILURE(closeAbandoningEdits());
    }
}

QOR_INSTANTIATE_BACKENDS(MouseTest);

} // namespace
} // namespace qor::testing
