// The data-aware edit typed into as a user would.
#include "formsfixture.h"

#include "data/field.h"
#include "rtl/exceptions.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

using testing::PrintTo;

class DBEditTest : public ::testing::Test
{
public:
    void SetUp() override
    {
        data.load({{u"A"_s, u"um"_s, 1.5}, {u"B"_s, u"dois"_s, 2}});
        ASSERT_TRUE(window.showActive());
        edit()->setFocus();
        ASSERT_TRUE(edit()->hasFocus());
    }
    TDBEdit *edit() { return window.dbEdit; }
    void leave()
    {
        window.other->setFocus();
        settle();
    }

    ScopedScriptedDialogs dialogs;
    PlanData data;
    GridWindow window{data};
};

TEST_F(DBEditTest, ShowsTheFieldOfTheCurrentRow)
{
    EXPECT_EQ(edit()->Text(), u"um"_s);
    data.dataSet->Next();
    EXPECT_EQ(edit()->Text(), u"dois"_s);
    data.dataSet->Edit();
    data.name->SetAsString(u"outro"_s);
    EXPECT_EQ(edit()->Text(), u"outro"_s);
    data.dataSet->Cancel();
    EXPECT_EQ(edit()->Text(), u"dois"_s);
}

TEST_F(DBEditTest, TypingIntoAnEmptyDatasetInserts)
{
    data.load({});
    edit()->setFocus();
    typeText(u"Ana"_s);
    EXPECT_EQ(data.dataSet->State(), dsInsert);
    EXPECT_EQ(data.dataSet->RecordCount(), 1);
    EXPECT_EQ(edit()->Text(), u"Ana"_s);
    EXPECT_TRUE(edit()->Modified());

    leave();
    EXPECT_EQ(data.name->AsString(), u"Ana"_s);
    data.dataSet->Post();
    EXPECT_EQ(data.dataSet->ChangeCount(), 1);
}

TEST_F(DBEditTest, LeavingWritesTheTextBeforeOnExit)
{
    QStringList order;
    edit()->OnExit = [&](QObject *sender) {
        EXPECT_EQ(sender, edit());
        order.append(u"exit sees "_s + data.name->AsString());
        // The screen reformats the text here; the post must take the new text.
        edit()->SetText(edit()->Text().toUpper());
    };
    edit()->selectAll();
    typeText(u"novo"_s);
    EXPECT_EQ(data.dataSet->State(), dsEdit);
    EXPECT_EQ(data.name->AsString(), u"um"_s); // not yet written

    leave();
    EXPECT_EQ(order, QStringList{u"exit sees novo"_s});
    EXPECT_EQ(edit()->Text(), u"NOVO"_s);

    data.dataSet->Post();
    EXPECT_EQ(data.name->AsString(), u"NOVO"_s);
    EXPECT_FALSE(edit()->Modified());
}

TEST_F(DBEditTest, APostTakesTheTextStillInTheEdit)
{
    edit()->selectAll();
    typeText(u"pendente"_s);
    data.dataSet->Post(); // a command button: the edit keeps the focus
    EXPECT_EQ(data.name->AsString(), u"pendente"_s);
    EXPECT_EQ(data.dataSet->State(), dsBrowse);
}

struct EditKeyCase
{
    const char *name;
    QString typed;
    bool backspace;
    QString text;
    QList<int> seen;
};

class DBEditKeys : public DBEditTest, public ::testing::WithParamInterface<EditKeyCase>
{
};

TEST_P(DBEditKeys, PassEveryCharacterThroughOnKeyPress)
{
    data.load({});
    edit()->setFocus();
    QList<int> seen;
    // A weight filter: digits and one comma; the rest dropped by zero or by abort.
    edit()->OnKeyPress = [&](QObject *sender, QChar &key) {
        EXPECT_EQ(sender, edit());
        seen.append(key.unicode());
        if (key == u',' && edit()->Text().contains(u','))
            key = QChar(0);
        else if (key.isLetter())
            Abort();
        else if (!key.isDigit() && key != u',' && key.unicode() != 8 && key.unicode() != 13)
            key = QChar(0);
    };
    typeText(GetParam().typed);
    if (GetParam().backspace)
        press(Qt::Key_Backspace);
    press(Qt::Key_Return);

    EXPECT_EQ(edit()->Text(), GetParam().text);
    EXPECT_EQ(seen, GetParam().seen);
    EXPECT_TRUE(dialogs->Messages().isEmpty());
    // Dropped keys never put the dataset into insert.
    EXPECT_EQ(data.dataSet->State(), GetParam().text.isEmpty() ? dsBrowse : dsInsert);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, DBEditKeys,
    ::testing::Values(EditKeyCase{"Digits", u"72,5"_s, false, u"72,5"_s, {'7', '2', ',', '5', 13}},
                      EditKeyCase{
                          "SecondComma", u"7,2,"_s, false, u"7,2"_s, {'7', ',', '2', ',', 13}},
                      EditKeyCase{"LettersAborted", u"a7b"_s, false, u"7"_s, {'a', '7', 'b', 13}},
                      EditKeyCase{"OthersZeroed", u"-. "_s, false, QString(), {'-', '.', ' ', 13}},
                      EditKeyCase{"Backspace", u"72"_s, true, u"7"_s, {'7', '2', 8, 13}}),
    [](const auto &info) { return std::string(info.param.name); });

struct PasteCase
{
    const char *name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
};

// A filter that refuses control characters refuses every paste shortcut alike: pasted
// text would otherwise skip the filter that every typed character passes.
TEST_F(DBEditTest, PasteShortcutsPassOnKeyPressAsCtrlV)
{
    const PasteCase cases[] = {
        {"Ctrl+V", Qt::Key_V, Qt::ControlModifier},
        {"Shift+Insert", Qt::Key_Insert, Qt::ShiftModifier},
    };
    QGuiApplication::clipboard()->setText(u"-7.5abc"_s);
    for (const PasteCase &c : cases) {
        SCOPED_TRACE(c.name);
        data.load({});
        edit()->setFocus();
        QList<int> seen;
        edit()->OnKeyPress = [&](QObject *, QChar &key) {
            seen.append(key.unicode());
            if (!key.isDigit() && key != u',')
                key = QChar(0);
        };
        press(c.key, c.modifiers);
        EXPECT_EQ(seen, QList<int>{22});
        EXPECT_EQ(edit()->Text(), QString());
        EXPECT_EQ(data.dataSet->State(), dsBrowse);

        // A filter that lets the code through lets the paste happen.
        edit()->OnKeyPress = [](QObject *, QChar &) {
        };
        press(c.key, c.modifiers);
        EXPECT_EQ(edit()->Text(), u"-7.5abc"_s);
        EXPECT_EQ(data.dataSet->State(), dsInsert);
        data.dataSet->Cancel();
    }
}

TEST_F(DBEditTest, ARefusedTextKeepsTheFocusAndSkipsOnExit)
{
    edit()->SetDataField(u"HOURS"_s); // masked "00:00", refuses blanks
    int exits = 0;
    edit()->OnExit = [&](QObject *) {
        ++exits;
    };
    edit()->setCursorPosition(0);
    edit()->selectAll();
    typeText(u"7"_s);
    leave();

    EXPECT_EQ(data.hoursTexts, QStringList{u"7 :  "_s});
    EXPECT_EQ(dialogs->Texts(mtError), QStringList{u"'7 :  ' não é uma hora válida"_s});
    EXPECT_EQ(exits, 0);
    EXPECT_TRUE(edit()->hasFocus());
    EXPECT_DOUBLE_EQ(data.hours->AsFloat(), 1.5);
}

TEST_F(DBEditTest, EscapeRestoresTheFieldText)
{
    edit()->selectAll();
    typeText(u"xyz"_s);
    press(Qt::Key_Escape);
    EXPECT_EQ(edit()->Text(), u"um"_s);
    EXPECT_FALSE(edit()->Modified());
    data.dataSet->Post();
    EXPECT_EQ(data.name->AsString(), u"um"_s);
}

TEST_F(DBEditTest, TakesTheFocusForItsField)
{
    window.other->setFocus();
    data.name->FocusControl();
    EXPECT_TRUE(edit()->hasFocus());
}

TEST_F(DBEditTest, AReadOnlyFieldTakesNoTyping)
{
    data.name->ReadOnly = true;
    edit()->SetDataField(u"NAME"_s);
    typeText(u"q"_s);
    EXPECT_EQ(data.dataSet->State(), dsBrowse);
    EXPECT_EQ(edit()->Text(), u"um"_s);
}

} // namespace
} // namespace qor::testing
