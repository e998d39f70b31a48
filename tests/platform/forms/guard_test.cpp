// The exception boundary: whatever Qt calls into our code, a raise ends in the
// application's error handler, shown through the dialogs, and never unwinds into Qt.
#include "formsfixture.h"

#include "forms/application.h"
#include "forms/form.h"
#include "forms/guard.h"
#include "forms/menuitem.h"
#include "forms/screen.h"
#include "forms/speedbutton.h"
#include "rtl/exceptions.h"

#include <QGuiApplication>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

using testing::PrintTo;

struct ThrowCase
{
    const char *name;
    std::function<void()> raise;
    QStringList errors;
};

const ThrowCase throwCases[] = {
    {"Exception",
     [] { throw Exception(u"Exercício físico já cadastrado."_s); },
     {u"Exercício físico já cadastrado."_s}},
    {"Conversion",
     [] { throw EConvertError(u"'abc' não é um número válido"_s); },
     {u"'abc' não é um número válido"_s}},
    {"Abort", [] { Abort(); }, {}},
    {"StdException",
     [] { throw std::runtime_error("disco cheio"); },
     {u"Erro inesperado: disco cheio"_s}},
    {"Unknown", [] { throw 42; }, {u"Erro inesperado: exceção desconhecida."_s}},
};

// One entry point from Qt into our code: it makes the callable run the way a user
// action or the event loop would.
struct Entry
{
    const char *name;
    std::function<void(std::function<void()>)> run;
};

const Entry entries[] = {
    {"SpeedButtonClick",
     [](std::function<void()> fn) {
         TSpeedButton button;
         button.OnClick = [&](QObject *) {
             fn();
         };
         QTest::mouseClick(&button, Qt::LeftButton);
     }},
    {"MenuItemTrigger",
     [](std::function<void()> fn) {
         TMenuItem item(u"Confirmar"_s);
         item.OnClick = [&](QObject *) {
             fn();
         };
         item.trigger();
     }},
    {"GuardedTimer",
     [](std::function<void()> fn) {
         bool ran = false;
         QTimer::singleShot(0, guard([&] {
                                ran = true;
                                fn();
                            }));
         QTRY_VERIFY(ran);
     }},
    {"EditKeyPress",
     [](std::function<void()> fn) {
         TEdit edit;
         edit.OnKeyPress = [&](QObject *, QChar &) {
             fn();
         };
         QTest::keyClick(&edit, 'a');
         EXPECT_EQ(edit.Text(), QString()); // the raising handler dropped the key
     }},
    {"FormCreate",
     [](std::function<void()> fn) {
         TForm form;
         form.OnCreate = [&](QObject *) {
             fn();
         };
         // CreateForm lets the caller see the failure; the host's caller is guarded.
         guarded([&] { form.DoCreate(); });
     }},
    {"FormClose",
     [](std::function<void()> fn) {
         TForm form;
         form.OnClose = [&](QObject *, TCloseAction &action) {
             action = caFree;
             fn();
         };
         form.show();
         EXPECT_FALSE(form.Close()); // a failing close handler keeps the form
         EXPECT_TRUE(form.isVisible());
     }},
};

using GuardParam = std::tuple<Entry, ThrowCase>;

class Guard : public ::testing::TestWithParam<GuardParam>
{
};

TEST_P(Guard, ReportsEveryRaiseThroughTheErrorHandler)
{
    const auto &[entry, throwing] = GetParam();
    ScopedScriptedDialogs dialogs;
    entry.run([&] {
        Screen()->SetCursor(crHourGlass); // busy when it failed
        throwing.raise();
    });
    EXPECT_EQ(dialogs->Texts(mtError), throwing.errors);
    EXPECT_EQ(dialogs->Messages().size(), throwing.errors.size());
    // The hourglass must not outlive the failure, whether or not a message is shown.
    EXPECT_EQ(Screen()->Cursor(), crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    Screen()->SetCursor(crDefault);
}

INSTANTIATE_TEST_SUITE_P(EntriesAndFailures, Guard,
                         ::testing::Combine(::testing::ValuesIn(entries),
                                            ::testing::ValuesIn(throwCases)),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).name) + "_"
                                 + std::get<1>(info.param).name;
                         });

TEST(GuardedCall, TellsWhetherTheCallableFinished)
{
    ScopedScriptedDialogs dialogs;
    EXPECT_TRUE(guarded([] {}));
    EXPECT_FALSE(guarded([] { Abort(); }));
    EXPECT_FALSE(QOR_GUARD(throw Exception(u"x"_s)));
    EXPECT_EQ(dialogs->Texts(), QStringList{u"x"_s});
}

TEST(ErrorHandler, CanBeRoutedAwayFromTheDialogs)
{
    ScopedScriptedDialogs dialogs;
    QStringList routed;
    Application()->OnException = [&](const QString &message) {
        routed.append(message);
    };
    guarded([] { throw Exception(u"registrado"_s); });
    guarded([] { Abort(); });
    Application()->OnException = nullptr;
    EXPECT_EQ(routed, QStringList{u"registrado"_s});
    EXPECT_TRUE(dialogs->Messages().isEmpty());
}

TEST(ScreenCursor, IsAPropertyNotAStack)
{
    Screen()->SetCursor(crHourGlass);
    Screen()->SetCursor(crHourGlass);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    Screen()->SetCursor(crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Screen()->Cursor(), crDefault);
}

TEST(ScriptedAnswers, ComeFromTheQueueThenTheDefault)
{
    ScopedScriptedDialogs dialogs;
    dialogs->QueueAnswer(mrYes);
    dialogs->QueueAnswer(mrNo);
    EXPECT_EQ(Dialogs()->Confirmation(u"Confirma exclusão?"_s), mrYes);
    Dialogs()->Information(u"Nada encontrado."_s); // not a question: takes no answer
    EXPECT_EQ(Dialogs()->Confirmation(u"Confirma exclusão?"_s), mrNo);
    EXPECT_EQ(dialogs->Unanswered(), 0);
    EXPECT_EQ(Dialogs()->Confirmation(u"Cancela?"_s), mrNo);
    EXPECT_EQ(dialogs->Unanswered(), 1);
    EXPECT_EQ(dialogs->Texts(mtConfirmation),
              QStringList({u"Confirma exclusão?"_s, u"Confirma exclusão?"_s, u"Cancela?"_s}));
    EXPECT_EQ(dialogs->Texts(mtInformation), QStringList{u"Nada encontrado."_s});
}

} // namespace
} // namespace qor::testing
