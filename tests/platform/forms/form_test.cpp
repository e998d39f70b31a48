// Forms as MDI children of the host's main window, their close actions and states,
// and the controls' colours.
#include "formsfixture.h"

#include "forms/application.h"
#include "forms/dbedit.h"
#include "forms/form.h"
#include "forms/label.h"
#include "forms/panel.h"
#include "forms/speedbutton.h"
#include "rtl/exceptions.h"

#include <QApplication>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

using testing::PrintTo;

TEST_F(MdiTest, CreateFormRunsTheCreateHookOnceAndOwnsTheForm)
{
    struct Counting : TForm
    {
        int *created;
        explicit Counting(int *c)
            : created(c)
        { }
        void FormCreate(QObject *sender) override
        {
            TForm::FormCreate(sender);
            ++*created;
        }
    };
    int created = 0;
    auto *form = Application()->CreateForm<Counting>(&created);
    form->DoCreate();
    EXPECT_EQ(created, 1);
    EXPECT_TRUE(Application()->Forms().contains(form));

    // A failing create hook reaches the caller and leaves no form behind.
    struct Failing : TForm
    {
        void FormCreate(QObject *) override { throw Exception(u"sem conexão"_s); }
    };
    const int before = int(Application()->Forms().size());
    EXPECT_THROW(Application()->CreateForm<Failing>(), Exception);
    EXPECT_EQ(Application()->Forms().size(), before);
}

TEST_F(MdiTest, ShowMakesAnActiveSubwindowAndFiresOnActivateOnce)
{
    auto *first = Application()->CreateForm<TForm>();
    first->SetCaption(u"Planejamento de Exercícios"_s);
    first->resize(565, 382);
    int activations = 0;
    first->OnActivate = [&](QObject *sender) {
        EXPECT_EQ(sender, first);
        ++activations;
    };
    first->Show();
    ASSERT_NE(first->SubWindow(), nullptr);
    EXPECT_EQ(first->SubWindow()->mdiArea(), area);
    EXPECT_EQ(area->activeSubWindow(), first->SubWindow());
    EXPECT_EQ(first->SubWindow()->windowTitle(), u"Planejamento de Exercícios"_s);
    EXPECT_GE(first->width(), 565);
    EXPECT_EQ(activations, 1);

    first->Show(); // already active: nothing new
    EXPECT_EQ(activations, 1);

    auto *second = Application()->CreateForm<TForm>();
    second->Show();
    EXPECT_FALSE(first->Active());
    EXPECT_TRUE(second->Active());
    first->Show();
    EXPECT_TRUE(first->Active());
    EXPECT_EQ(activations, 2);
}

struct CloseCase
{
    const char *name;
    TCloseAction action;
    bool closed;
    bool visible;
    bool deleted;
    TWindowState state;
};

class CloseAction : public MdiTest, public ::testing::WithParamInterface<CloseCase>
{
};

TEST_P(CloseAction, DecidesWhatHappensToTheForm)
{
    for (bool fromTitleBar : {false, true}) {
        SCOPED_TRACE(fromTitleBar ? "subwindow closed" : "Close()");
        QPointer<TForm> form = Application()->CreateForm<TForm>();
        QPointer<QMdiSubWindow> sub;
        int closes = 0;
        form->OnClose = [&](QObject *sender, TCloseAction &action) {
            EXPECT_EQ(sender, form.data());
            EXPECT_EQ(action, caHide); // the default an MDI child gets
            action = GetParam().action;
            ++closes;
        };
        form->Show();
        sub = form->SubWindow();
        const bool closed = fromTitleBar ? sub->close() : form->Close();
        settle();

        EXPECT_EQ(closes, 1);
        EXPECT_EQ(closed, GetParam().closed);
        EXPECT_EQ(form.isNull(), GetParam().deleted);
        EXPECT_EQ(sub.isNull(), GetParam().deleted);
        if (!GetParam().deleted) {
            EXPECT_EQ(sub->isVisible(), GetParam().visible);
            EXPECT_EQ(form->WindowState(), GetParam().state);
        } else {
            EXPECT_FALSE(Application()->Forms().contains(form.data()));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Actions, CloseAction,
                         ::testing::Values(CloseCase{"None", caNone, false, true, false, wsNormal},
                                           CloseCase{"Hide", caHide, true, false, false, wsNormal},
                                           CloseCase{"Free", caFree, true, false, true, wsNormal},
                                           CloseCase{"Minimize", caMinimize, false, true, false,
                                                     wsMinimized}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(MdiTest, WindowStateFollowsTheSubwindow)
{
    auto *form = Application()->CreateForm<TForm>();
    form->Show();
    for (TWindowState state : {wsMaximized, wsMinimized, wsNormal}) {
        form->SetWindowState(state);
        EXPECT_EQ(form->WindowState(), state);
    }
}

TEST(FormWithoutMainForm, IsATopLevelWindow)
{
    ScopedScriptedDialogs dialogs;
    Application()->SetMainForm(nullptr);
    auto *form = Application()->CreateForm<TForm>();
    int activations = 0;
    form->OnActivate = [&](QObject *) {
        ++activations;
    };
    form->Show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    EXPECT_TRUE(form->isWindow());
    EXPECT_EQ(form->SubWindow(), nullptr);
    EXPECT_GE(activations, 1);
    Application()->DestroyForms();
}

// ---- colours: palette roles resolved against the application palette ----

struct ColourCase
{
    const char *name;
    std::function<std::unique_ptr<QWidget>()> make;
    TColor colour;
    QPalette::ColorRole paints;
    QColor expected;
};

class Colours : public ::testing::TestWithParam<ColourCase>
{
};

TEST_P(Colours, PaintTheControlsRole)
{
    auto widget = GetParam().make();
    auto *control = dynamic_cast<TControl *>(widget.get());
    ASSERT_NE(control, nullptr);
    control->SetColor(GetParam().colour);
    EXPECT_EQ(control->Color(), GetParam().colour);
    EXPECT_EQ(widget->palette().color(GetParam().paints), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, Colours,
    ::testing::Values(
        ColourCase{"EditInfoBk", [] { return std::make_unique<TEdit>(); }, clInfoBk, QPalette::Base,
                   QApplication::palette().color(QPalette::ToolTipBase)},
        ColourCase{"DBEditBtnFace", [] { return std::make_unique<TDBEdit>(); }, clBtnFace,
                   QPalette::Base, QApplication::palette().color(QPalette::Button)},
        ColourCase{"LabelBlue", [] { return std::make_unique<TLabel>(); }, clBlue, QPalette::Window,
                   QColor(0, 0, 255)},
        ColourCase{"PanelWindow", [] { return std::make_unique<TPanel>(); }, clWindow,
                   QPalette::Window, QApplication::palette().color(QPalette::Base)},
        ColourCase{"ButtonInfoBk", [] { return std::make_unique<TSpeedButton>(); }, clInfoBk,
                   QPalette::Button, QApplication::palette().color(QPalette::ToolTipBase)}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Controls, VisibleEnabledAndFocusAsTheScreenUsesThem)
{
    QWidget window;
    auto *edit = new TEdit(&window);
    auto *label = new TLabel(u"Peso"_s, &window);
    EXPECT_TRUE(edit->Visible()); // not hidden, though the window is not shown yet
    label->SetVisible(false);
    EXPECT_FALSE(label->Visible());
    window.show();
    // Without a window manager nothing activates a new window on an X server.
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    edit->SetEnabled(false);
    edit->SetFocus(); // a disabled control is skipped, not a failure
    EXPECT_FALSE(edit->Focused());
    edit->SetEnabled(true);
    edit->SetFocus();
    EXPECT_TRUE(edit->Focused());
}

} // namespace
} // namespace qor::testing

namespace qor::testing {
namespace {

// A data-aware edit inside an MDI child is left when Tab moves to the next control,
// even though the focus passes through the subwindow's frame on the way.
TEST_F(MdiTest, TabbingOutOfADataAwareEditInAnMdiChildLeavesIt)
{
    PlanData data;
    data.load({{u"A"_s, u"um"_s, 1}});
    auto *form = Application()->CreateForm<TForm>();
    auto *layout = new QVBoxLayout(form);
    auto *edit = new TDBEdit(form);
    edit->SetDataSource(&data.source);
    edit->SetDataField(u"NAME"_s);
    auto *next = new QLineEdit(form);
    // The edit is the form's last control, so Tab wraps around to the first one.
    layout->addWidget(next);
    layout->addWidget(edit);
    int exits = 0;
    edit->OnExit = [&](QObject *) {
        ++exits;
    };
    form->Show();
    QTRY_VERIFY(form->isActiveWindow());
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    edit->selectAll();
    QTest::keyClicks(edit, u"novo"_s);
    QTest::keyClick(edit, Qt::Key_Tab);
    QTRY_VERIFY(!edit->hasFocus());
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(data.name->AsString(), u"novo"_s);
}

} // namespace
} // namespace qor::testing

namespace qor::testing {
namespace {

// A click on something of an MDI child that takes no focus (a command button, the
// form's background) leaves the focus in the control being typed in: the control is
// not left, so its text is neither checked nor written before the command runs. A
// click on a form that is not the active one still makes it the active one.
TEST_F(MdiTest, AClickOnWhatTakesNoFocusLeavesTheFocusWhereItIs)
{
    struct Side
    {
        TForm *form;
        TDBEdit *edit;
        TSpeedButton *button;
    };
    PlanData data;
    data.load({{u"A"_s, u"um"_s, 1}});
    const auto make = [&] {
        auto *form = Application()->CreateForm<TForm>();
        auto *layout = new QVBoxLayout(form);
        auto *button = new TSpeedButton(form);
        button->SetCaption(u"Cancelar"_s);
        auto *edit = new TDBEdit(form);
        edit->SetDataSource(&data.source);
        edit->SetDataField(u"NAME"_s);
        layout->addWidget(button);
        layout->addWidget(edit);
        layout->addStretch();
        form->resize(300, 200);
        return Side{form, edit, button};
    };
    const Side other = make();
    const Side typing = make();
    other.form->Show();
    typing.form->Show();
    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    ASSERT_TRUE(typing.form->Active());
    // Apart, so that a click on one cannot land on the other.
    other.form->SubWindow()->move(0, 0);
    typing.form->SubWindow()->move(350, 0);

    enum class Target { Button, Background, InactiveFormsButton };
    const struct
    {
        const char *name;
        Target target;
    } cases[] = {
        {"a command button of the active form", Target::Button},
        {"the active form's background", Target::Background},
        {"a command button of the form that is not active", Target::InactiveFormsButton},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        typing.form->Show();
        ASSERT_TRUE(typing.form->Active());
        typing.edit->setFocus();
        QTRY_VERIFY(typing.edit->hasFocus());
        int exits = 0;
        int enters = 0;
        int clicks = 0;
        typing.edit->OnExit = [&](QObject *) {
            ++exits;
        };
        typing.edit->OnEnter = [&](QObject *) {
            ++enters;
        };
        const Side &clicked = c.target == Target::InactiveFormsButton ? other : typing;
        clicked.button->OnClick = [&](QObject *) {
            ++clicks;
        };
        typing.edit->selectAll();
        QTest::keyClicks(typing.edit, u"novo"_s);

        if (c.target == Target::Background)
            QTest::mouseClick(typing.form, Qt::LeftButton, {},
                              QPoint(typing.form->width() / 2, typing.form->height() - 5));
        else
            QTest::mouseClick(clicked.button, Qt::LeftButton);
        settle();

        if (c.target == Target::InactiveFormsButton) {
            EXPECT_TRUE(other.form->Active());
            EXPECT_FALSE(typing.form->Active());
            EXPECT_EQ(clicks, 1);
        } else {
            EXPECT_TRUE(typing.form->Active());
            EXPECT_TRUE(typing.edit->hasFocus());
            EXPECT_EQ(exits, 0);
            EXPECT_EQ(enters, 0);
            EXPECT_EQ(clicks, c.target == Target::Button ? 1 : 0);
        }
        // Nothing was written: what is typed reaches the field when the row is posted.
        EXPECT_EQ(data.name->AsString(), u"um"_s);
        EXPECT_EQ(typing.edit->Text(), u"novo"_s);
        data.dataSet->Cancel();
        typing.edit->OnExit = nullptr;
        typing.edit->OnEnter = nullptr;
        clicked.button->OnClick = nullptr;
    }
}

} // namespace
} // namespace qor::testing
