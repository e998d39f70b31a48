// The data-aware grid driven from the keyboard and the mouse, as a user meets it.
#include "formsfixture.h"

#include "data/field.h"
#include "forms/dbgridmodel.h"
#include "rtl/exceptions.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

using testing::PrintTo;

class GridTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        data.load({{u"A"_s, u"um"_s, 1.5}, {u"B"_s, u"dois"_s, 2}, {u"C"_s, u"três"_s, -1}});
        ASSERT_TRUE(window.showActive());
    }
    // Puts the cursor on a cell through the dataset and the grid, as a click would.
    void goTo(int row, int column)
    {
        data.dataSet->SetRecNo(row + 1);
        window.grid->SetSelectedIndex(column);
        window.grid->setFocus();
    }
    void clickCell(int row, int column)
    {
        const QRect rect = grid()->visualRect(grid()->model()->index(row, column));
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, rect.center());
    }
    TDBGrid *grid() { return window.grid; }
    int gridRow() { return grid()->currentIndex().row(); }

    ScopedScriptedDialogs dialogs;
    PlanData data;
    GridWindow window{data};
};

// ---- leaving a column: the editor's text first, then OnColExit on the old column ----

struct LeaveCase
{
    const char *name;
    std::function<void(GridTest &)> leave;
    int columnAfter;
};

class ColumnExit : public GridTest, public ::testing::WithParamInterface<LeaveCase>
{
};

TEST_P(ColumnExit, SeesTheWrittenTextWhileTheOldColumnIsSelected)
{
    goTo(1, 2); // HOURS of B
    struct Seen
    {
        QString hours;
        int selected;
        QString field;
    };
    QList<Seen> seen;
    grid()->OnColExit = [&](QObject *sender) {
        EXPECT_EQ(sender, grid());
        seen.append(
            {data.hours->Text(), grid()->SelectedIndex(), grid()->SelectedField()->FieldName()});
    };
    typeText(u"0230"_s);
    ASSERT_TRUE(grid()->EditorMode());

    GetParam().leave(*this);

    ASSERT_EQ(seen.size(), 1);
    EXPECT_EQ(seen[0].hours, u"02:30"_s);
    EXPECT_EQ(seen[0].selected, 2);
    EXPECT_EQ(seen[0].field, u"HOURS"_s);
    EXPECT_EQ(grid()->SelectedIndex(), GetParam().columnAfter);
    EXPECT_EQ(data.dataSet->State(), dsEdit); // a column move does not post
    EXPECT_DOUBLE_EQ(data.hours->AsFloat(), 2.5);
    EXPECT_TRUE(dialogs->Messages().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ColumnExit,
    ::testing::Values(LeaveCase{"Tab", [](GridTest &) { press(Qt::Key_Tab); }, 3},
                      LeaveCase{"ShiftTab", [](GridTest &) { press(Qt::Key_Backtab); }, 1},
                      LeaveCase{"Click", [](GridTest &t) { t.clickCell(1, 0); }, 0},
                      LeaveCase{"FromCode", [](GridTest &t) { t.grid()->SetSelectedIndex(0); }, 0}),
    [](const auto &info) { return std::string(info.param.name); });

struct RaiseCase
{
    const char *name;
    std::function<void()> raise;
    QStringList messages;
};

class ColumnExitRaise : public GridTest, public ::testing::WithParamInterface<RaiseCase>
{
};

TEST_P(ColumnExitRaise, KeepsTheColumnAndReportsThroughTheErrorHandler)
{
    goTo(0, 0);
    int exits = 0;
    grid()->OnColExit = [&](QObject *) {
        ++exits;
        GetParam().raise();
    };
    typeText(u"Q"_s);
    press(Qt::Key_Tab);

    EXPECT_EQ(exits, 1);
    EXPECT_EQ(grid()->SelectedIndex(), 0);
    EXPECT_EQ(data.code->AsString(), u"Q"_s); // written before the handler ran
    EXPECT_EQ(dialogs->Texts(mtError), GetParam().messages);

    // Once the handler lets it, the same key moves on.
    grid()->OnColExit = nullptr;
    grid()->setFocus();
    press(Qt::Key_Tab);
    EXPECT_EQ(grid()->SelectedIndex(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ColumnExitRaise,
    ::testing::Values(RaiseCase{"Message",
                                [] { throw Exception(u"Exercício não cadastrado."_s); },
                                {u"Exercício não cadastrado."_s}},
                      RaiseCase{"Abort", [] { Abort(); }, {}},
                      RaiseCase{"Unexpected",
                                [] { throw std::runtime_error("falha"); },
                                {u"Erro inesperado: falha"_s}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(GridTest, FocusingAFieldInsideColumnExitMovesThereWithoutASecondExit)
{
    goTo(0, 2);
    int exits = 0;
    grid()->OnColExit = [&](QObject *) {
        ++exits;
        data.code->FocusControl(); // back to the code column, then refuse the move
        throw Exception(u"Código deve ser informado."_s);
    };
    typeText(u"0100"_s);
    press(Qt::Key_Tab);

    EXPECT_EQ(exits, 1);
    EXPECT_EQ(grid()->SelectedIndex(), 0);
    EXPECT_EQ(grid()->SelectedField(), data.code);
    EXPECT_EQ(dialogs->Texts(mtError), QStringList{u"Código deve ser informado."_s});
}

// ---- key press: every typed character, before the grid or its editor acts ----

struct KeyCase
{
    const char *name;
    bool editorFirst; // the editor is open before the keys arrive
    QString typed;
    QString fieldText;
};

class KeyPress : public GridTest, public ::testing::WithParamInterface<KeyCase>
{
};

TEST_P(KeyPress, DropsReplacesOrPassesEachCharacter)
{
    data.load({{QString(), u"vazio"_s, 1}});
    goTo(0, 0);
    QList<int> seen;
    grid()->OnKeyPress = [&](QObject *sender, QChar &key) {
        EXPECT_EQ(sender, grid());
        seen.append(key.unicode());
        if (key == u'x')
            key = QChar(0); // dropped by zero
        else if (key == u'y')
            Abort(); // dropped by the silent abort
        else if (key == u'a')
            key = u'A';
    };
    if (GetParam().editorFirst) {
        grid()->SetEditorMode(true);
        ASSERT_TRUE(grid()->InplaceEditor());
        ASSERT_TRUE(grid()->InplaceEditor()->hasFocus());
    }
    typeText(GetParam().typed);
    press(Qt::Key_Return);

    EXPECT_EQ(data.code->AsString(), GetParam().fieldText);
    QList<int> expected;
    for (QChar c : GetParam().typed)
        expected.append(c.unicode());
    expected.append(13);
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(dialogs->Messages().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Where, KeyPress,
                         ::testing::Values(KeyCase{"GridDropsFirstKeys", false, u"xyab"_s, u"Ab"_s},
                                           KeyCase{"GridKeysBetween", false, u"bxayc"_s, u"bAc"_s},
                                           KeyCase{"EditorDropsKeys", true, u"xyab"_s, u"Ab"_s},
                                           KeyCase{"EditorKeysBetween", true, u"bxayc"_s,
                                                   u"bAc"_s}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(GridTest, BackspaceAndEnterReachTheKeyPressToo)
{
    goTo(0, 0);
    QList<int> seen;
    grid()->OnKeyPress = [&](QObject *, QChar &key) {
        seen.append(key.unicode());
    };
    typeText(u"pq"_s);
    press(Qt::Key_Backspace);
    press(Qt::Key_Return);
    EXPECT_EQ(seen, (QList<int>{'p', 'q', 8, 13}));
    EXPECT_EQ(data.code->AsString(), u"p"_s);
}

// ---- the edit mask: unfilled positions reach the field as blanks ----

struct MaskCase
{
    const char *name;
    QString typed;
    QString received;
    bool accepted;
};

class MaskBlanks : public GridTest, public ::testing::WithParamInterface<MaskCase>
{
};

TEST_P(MaskBlanks, ReachTheSetTextHandler)
{
    goTo(2, 2); // HOURS of C, empty
    typeText(GetParam().typed);
    EXPECT_EQ(grid()->InplaceEditor()->displayText(), GetParam().received);
    press(Qt::Key_Tab);

    ASSERT_FALSE(data.hoursTexts.isEmpty());
    EXPECT_EQ(data.hoursTexts.last(), GetParam().received);
    if (GetParam().accepted) {
        EXPECT_TRUE(dialogs->Messages().isEmpty());
        EXPECT_EQ(grid()->SelectedIndex(), 3);
        EXPECT_EQ(data.hours->Text(), GetParam().received);
    } else {
        EXPECT_EQ(dialogs->Texts(mtError),
                  QStringList{u"'"_s + GetParam().received + u"' não é uma hora válida"_s});
        // The move is abandoned and the typed text stays for correction.
        EXPECT_EQ(grid()->SelectedIndex(), 2);
        ASSERT_TRUE(grid()->InplaceEditor());
        EXPECT_EQ(grid()->InplaceEditor()->displayText(), GetParam().received);
        EXPECT_TRUE(data.hours->IsNull());
    }
}

INSTANTIATE_TEST_SUITE_P(Typed, MaskBlanks,
                         ::testing::Values(MaskCase{"OneDigit", u"1"_s, u"1 :  "_s, false},
                                           MaskCase{"Hours", u"12"_s, u"12:  "_s, false},
                                           MaskCase{"ThreeDigits", u"123"_s, u"12:3 "_s, false},
                                           MaskCase{"Full", u"1234"_s, u"12:34"_s, true}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(GridTest, AnEditorLeftUntouchedWritesNothing)
{
    goTo(0, 2);
    grid()->SetEditorMode(true);
    ASSERT_TRUE(grid()->InplaceEditor());
    EXPECT_EQ(grid()->InplaceEditor()->displayText(), u"01:30"_s);
    press(Qt::Key_Tab);
    EXPECT_TRUE(data.hoursTexts.isEmpty());
    EXPECT_EQ(data.dataSet->State(), dsBrowse);
}

// ---- rows: Insert, down arrow past the end, Esc, leaving a row ----

struct RowCase
{
    const char *name;
    int startRow;
    std::function<void(GridTest &)> act;
    QStringList codes;
    TDataSetState state;
    int currentRow;
    int changes;
};

class RowKeys : public GridTest, public ::testing::WithParamInterface<RowCase>
{
};

TEST_P(RowKeys, EditTheDatasetAndKeepTheViewOnItsCursor)
{
    goTo(GetParam().startRow, 0);
    GetParam().act(*this);
    settle();

    EXPECT_EQ(data.codes(), GetParam().codes);
    EXPECT_EQ(data.dataSet->State(), GetParam().state);
    EXPECT_EQ(data.dataSet->CurrentRow(), GetParam().currentRow);
    EXPECT_EQ(gridRow(), GetParam().currentRow);
    EXPECT_EQ(grid()->model()->rowCount(), data.dataSet->RecordCount());
    EXPECT_EQ(data.dataSet->ChangeCount(), GetParam().changes);
    EXPECT_TRUE(dialogs->Messages().isEmpty());
}

const QStringList ABC = {u"A"_s, u"B"_s, u"C"_s};

INSTANTIATE_TEST_SUITE_P(
    Keys, RowKeys,
    ::testing::Values(RowCase{"InsertBeforeTheCurrentRow",
                              1,
                              [](GridTest &) { press(Qt::Key_Insert); },
                              {u"A"_s, QString(), u"B"_s, u"C"_s},
                              dsInsert,
                              1,
                              0},
                      RowCase{"DownOnTheLastRowAppends",
                              2,
                              [](GridTest &) { press(Qt::Key_Down); },
                              {u"A"_s, u"B"_s, u"C"_s, QString()},
                              dsInsert,
                              3,
                              0},
                      RowCase{"DownOnAnUntouchedNewRowStays",
                              2,
                              [](GridTest &) {
                                  press(Qt::Key_Down);
                                  press(Qt::Key_Down);
                              },
                              {u"A"_s, u"B"_s, u"C"_s, QString()},
                              dsInsert,
                              3,
                              0},
                      RowCase{"DownAfterTypingPostsAndAppends",
                              2,
                              [](GridTest &) {
                                  press(Qt::Key_Down);
                                  typeText(u"D"_s);
                                  press(Qt::Key_Down);
                              },
                              {u"A"_s, u"B"_s, u"C"_s, u"D"_s, QString()},
                              dsInsert,
                              4,
                              1},
                      RowCase{"DownInTheMiddleMoves", 0, [](GridTest &) { press(Qt::Key_Down); },
                              ABC, dsBrowse, 1, 0},
                      RowCase{"EscCancelsAnInsert", 1,
                              [](GridTest &) {
                                  press(Qt::Key_Insert);
                                  press(Qt::Key_Escape);
                              },
                              ABC, dsBrowse, 1, 0},
                      RowCase{"EscDropsTheEditorThenTheEdit", 0,
                              [](GridTest &t) {
                                  typeText(u"Z"_s);
                                  press(Qt::Key_Escape);
                                  EXPECT_FALSE(t.grid()->EditorMode());
                                  EXPECT_EQ(t.data.dataSet->State(), dsEdit);
                                  EXPECT_EQ(t.data.code->AsString(), u"A"_s);
                                  press(Qt::Key_Escape);
                              },
                              ABC, dsBrowse, 0, 0},
                      RowCase{"EscCancelsEvenWhenTheKeyFilterDropsAll", 0,
                              [](GridTest &t) {
                                  t.data.dataSet->Edit();
                                  t.data.code->SetAsString(u"Z"_s);
                                  t.grid()->OnKeyPress = [](QObject *, QChar &key) {
                                      key = QChar();
                                      Abort();
                                  };
                                  press(Qt::Key_Escape);
                              },
                              ABC, dsBrowse, 0, 0},
                      RowCase{"EscWithAWrittenValueCancelsTheEdit", 0,
                              [](GridTest &) {
                                  typeText(u"Z"_s);
                                  press(Qt::Key_Return); // written to the field
                                  press(Qt::Key_Escape);
                              },
                              ABC, dsBrowse, 0, 0},
                      RowCase{"LeavingATypedRowPostsIt",
                              1,
                              [](GridTest &) {
                                  typeText(u"Z"_s);
                                  press(Qt::Key_Up);
                              },
                              {u"A"_s, u"Z"_s, u"C"_s},
                              dsBrowse,
                              0,
                              1},
                      RowCase{"LeavingAnUntouchedNewRowDropsIt", 1,
                              [](GridTest &) {
                                  press(Qt::Key_Insert);
                                  press(Qt::Key_Up);
                              },
                              ABC, dsBrowse, 0, 0},
                      // The rows below the dropped one move up: the cursor lands on the
                      // row that was under the new one, not on the one after it.
                      RowCase{"LeavingAnUntouchedNewRowDownwardsLandsOnTheRowBelow", 1,
                              [](GridTest &) {
                                  press(Qt::Key_Insert);
                                  press(Qt::Key_Down);
                              },
                              ABC, dsBrowse, 1, 0},
                      RowCase{"ClickingBelowAnUntouchedNewRowLandsOnTheClickedRow", 0,
                              [](GridTest &t) {
                                  press(Qt::Key_Insert);
                                  t.clickCell(2, 0); // B, shown below the new row
                              },
                              ABC, dsBrowse, 1, 0},
                      RowCase{"EscInAnEditorLeftUntouchedCancelsTheEdit", 0,
                              [](GridTest &t) {
                                  typeText(u"Z"_s);
                                  press(Qt::Key_Return); // written to the field
                                  press(Qt::Key_Return); // the editor again, untouched
                                  ASSERT_TRUE(t.grid()->EditorMode());
                                  press(Qt::Key_Escape);
                                  EXPECT_FALSE(t.grid()->EditorMode());
                              },
                              ABC, dsBrowse, 0, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(GridTest, AFailingPostKeepsTheRowAndItsText)
{
    data.dataSet->BeforePost = [](TDataSet *) {
        throw Exception(u"Horas/semana deve ser informada."_s);
    };
    goTo(1, 0);
    typeText(u"Z"_s);
    press(Qt::Key_Up);

    EXPECT_EQ(dialogs->Texts(mtError), QStringList{u"Horas/semana deve ser informada."_s});
    EXPECT_EQ(data.dataSet->State(), dsEdit);
    EXPECT_EQ(data.dataSet->CurrentRow(), 1);
    EXPECT_EQ(gridRow(), 1);
    EXPECT_EQ(data.code->AsString(), u"Z"_s);

    // A click on another row is refused the same way.
    clickCell(0, 0);
    EXPECT_EQ(dialogs->Texts(mtError).size(), 2);
    EXPECT_EQ(gridRow(), 1);
}

TEST_F(GridTest, AFailingInsertAddsNoRow)
{
    data.dataSet->BeforeInsert = [](TDataSet *) {
        throw Exception(u"Peso deve ser informado."_s);
    };
    goTo(0, 0);
    press(Qt::Key_Insert);
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    press(Qt::Key_Down); // past the end: append, refused too
    EXPECT_EQ(data.codes(), ABC);
    EXPECT_EQ(data.dataSet->State(), dsBrowse);
    EXPECT_EQ(dialogs->Texts(mtError),
              QStringList({u"Peso deve ser informado."_s, u"Peso deve ser informado."_s}));
}

// ---- what cannot be edited ----

struct LockedCase
{
    const char *name;
    int column;
    bool disableGrid;
    bool readOnlyGrid;
};

class LockedCells : public GridTest, public ::testing::WithParamInterface<LockedCase>
{
};

TEST_P(LockedCells, TakeNoTyping)
{
    goTo(0, GetParam().column);
    if (GetParam().disableGrid)
        grid()->SetEnabled(false);
    grid()->SetReadOnly(GetParam().readOnlyGrid);
    int keys = 0;
    grid()->OnKeyPress = [&](QObject *, QChar &) {
        ++keys;
    };
    for (QChar c : u"7x"_s)
        QTest::keyClick(grid(), c.toLatin1());
    QTest::keyClick(grid(), Qt::Key_F2);
    QTest::keyClick(grid(), Qt::Key_Return);
    // A locked column still lets rows be added; a locked grid does not.
    const bool gridLocked = GetParam().disableGrid || GetParam().readOnlyGrid;
    if (gridLocked)
        QTest::keyClick(grid(), Qt::Key_Insert);
    settle();

    EXPECT_EQ(data.dataSet->State(), dsBrowse);
    EXPECT_FALSE(grid()->EditorMode());
    EXPECT_EQ(data.codes(), ABC);
    EXPECT_EQ(data.name->AsString(), u"um"_s);
    // An enabled grid still reports the keys (7, x, Enter); a disabled one hears nothing.
    EXPECT_EQ(keys, GetParam().disableGrid ? 0 : 3);
}

INSTANTIATE_TEST_SUITE_P(Cells, LockedCells,
                         ::testing::Values(LockedCase{"ReadOnlyColumn", 1, false, false},
                                           LockedCase{"CalculatedColumn", 3, false, false},
                                           LockedCase{"DisabledGrid", 0, true, false},
                                           LockedCase{"ReadOnlyGrid", 0, false, true}),
                         [](const auto &info) { return std::string(info.param.name); });

// ---- the ellipsis button ----

TEST_F(GridTest, TheEllipsisButtonShowsWhileEditingAndRaisesTheEvent)
{
    int clicks = 0;
    grid()->OnEditButtonClick = [&](QObject *sender) {
        EXPECT_EQ(sender, grid());
        EXPECT_EQ(data.dataSet->State(), dsInsert);
        data.code->SetAsString(u"E"_s); // as a search dialog's choice would
        ++clicks;
    };
    goTo(0, 0);
    grid()->Columns()->Items(0)->SetButtonStyle(cbsEllipsis);
    settle();
    EXPECT_EQ(grid()->EditButton(), nullptr); // browsing: no editor, no button

    press(Qt::Key_Insert);
    settle();
    QAbstractButton *button = grid()->EditButton();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), u"..."_s);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(data.code->AsString(), u"E"_s);
    // Ctrl+Enter in the editor is the keyboard's way to the button.
    ASSERT_NE(grid()->EditButton(), nullptr);
    press(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(data.dataSet->State(), dsInsert);

    // Another style takes the button away from the open editor.
    grid()->Columns()->Items(0)->SetButtonStyle(cbsNone);
    EXPECT_EQ(grid()->EditButton(), nullptr);
}

} // namespace
} // namespace qor::testing
