// Texts with characters beyond the basic plane in the data-aware controls: a string
// field's size counts such a character as one, the edit controls count it as two.
#include "formsfixture.h"

#include "data/field.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

using testing::PrintTo;

const QString Smile = u"\U0001F600"_s; // two UTF-16 units, one character

struct WideCase
{
    const char *name;
    QString stored; // exactly the field's size in characters, more in UTF-16 units
    std::function<QLineEdit *(GridWindow &, PlanData &)> open; // the control holding it
    std::function<void(GridWindow &)> finish; // writes what was typed to the field
    std::function<TField *(PlanData &)> field;
};

class WideText : public ::testing::TestWithParam<WideCase>
{
public:
    ScopedScriptedDialogs dialogs;
    PlanData data;
    GridWindow window{data};
};

TEST_P(WideText, IsShownWholeAndAnEditKeepsItsTail)
{
    const WideCase &c = GetParam();
    TField *field = c.field(data);
    const bool code = field == data.code;
    data.load({{code ? c.stored : u"A"_s, code ? u"um"_s : c.stored, 1.5}, {u"B"_s, u"dois"_s, 2}});
    ASSERT_TRUE(window.showActive());
    ASSERT_EQ(field->AsString(), c.stored);

    QLineEdit *control = c.open(window, data);
    ASSERT_TRUE(control);
    EXPECT_EQ(control->text(), c.stored);

    // The first character is replaced; everything after it stays.
    press(Qt::Key_Home);
    press(Qt::Key_Delete);
    typeText(u"Z"_s);
    c.finish(window);
    settle();
    EXPECT_EQ(field->AsString(), u"Z"_s + c.stored.mid(1));
    EXPECT_TRUE(dialogs->Texts(mtError).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Controls, WideText,
                         ::testing::Values(WideCase{
                                               "DataAwareEdit", QString(18, u'a') + Smile + Smile,
                                               [](GridWindow &w, PlanData &) -> QLineEdit * {
                                                   w.dbEdit->setFocus();
                                                   return w.dbEdit->hasFocus() ? w.dbEdit : nullptr;
                                               },
                                               [](GridWindow &w) { w.other->setFocus(); },
                                               [](PlanData &d) {
                                                   return d.name;
                                               }},
                                           WideCase{"GridCellEditor", u"ABCD"_s + Smile + Smile,
                                                    [](GridWindow &w, PlanData &) -> QLineEdit * {
                                                        w.grid->SetSelectedIndex(0);
                                                        w.grid->setFocus();
                                                        w.grid->SetEditorMode(true);
                                                        return w.grid->InplaceEditor();
                                                    },
                                                    [](GridWindow &) { press(Qt::Key_Return); },
                                                    [](PlanData &d) {
                                                        return d.code;
                                                    }}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace qor::testing
