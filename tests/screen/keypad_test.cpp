// The weight typed on the numeric keypad. Its decimal key gives a point on many keyboard
// layouts (a comma on others); the weight takes only a decimal comma, so a refused point
// would silently turn 72,5 into a weight of 725, saved and locked.
#include "saving_fixture.h"

#include "forms/dbedit.h"
#include "framework/buttonflat.h"
#include "framework/messages.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

class KeypadWeightTest : public ScreenFixture
{
protected:
    // A key as the keyboard delivers it: its code, its modifiers and the text it types.
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers, const QString &text)
    {
        QKeyEvent down(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(form->dbePeso, &down);
        QKeyEvent up(QEvent::KeyRelease, key, modifiers, text);
        QApplication::sendEvent(form->dbePeso, &up);
    }
    void keypadDigit(char digit)
    {
        press(Qt::Key(Qt::Key_0 + (digit - '0')), Qt::KeypadModifier, QString(QLatin1Char(digit)));
    }
};

struct DecimalKeyCase
{
    const char *name;
    QString before; // typed first, on the keypad
    Qt::Key key; // then the decimal key...
    Qt::KeyboardModifiers modifiers;
    QString text; // ...with the text the layout gives it
    QString expected; // after a 5 typed on the keypad
};

TEST_P(KeypadWeightTest, DecimalKeyTypesTheDecimalComma)
{
    const DecimalKeyCase cases[] = {
        {"keypad point", u"72"_s, Qt::Key_Period, Qt::KeypadModifier, u"."_s, u"72,5"_s},
        {"keypad comma", u"72"_s, Qt::Key_Comma, Qt::KeypadModifier, u","_s, u"72,5"_s},
        {"keypad point after a comma", u"72,"_s, Qt::Key_Period, Qt::KeypadModifier, u"."_s,
         u"72,5"_s},
        {"keypad point first", {}, Qt::Key_Period, Qt::KeypadModifier, u"."_s, u"5"_s},
        // The point of the main keyboard is no decimal key: refused, as always.
        {"main keyboard point", u"72"_s, Qt::Key_Period, Qt::NoModifier, u"."_s, u"725"_s},
    };
    ASSERT_NE(open(ScreenHarness::Joao), nullptr);
    for (const DecimalKeyCase &c : cases) {
        SCOPED_TRACE(c.name);
        form->dbePeso->SetFocus();
        for (const QChar key : c.before) {
            if (key == u',')
                QTest::keyClicks(form->dbePeso, u","_s);
            else
                keypadDigit(char(key.unicode()));
        }
        press(c.key, c.modifiers, c.text);
        keypadDigit('5');
        EXPECT_EQ(form->dbePeso->Text(), c.expected);
        harness->dialogs().QueueAnswer(mrYes);
        form->sbtCancelar->Click();
        ScreenHarness::processEvents();
        ASSERT_EQ(form->dbePeso->Text(), QString());
    }

    // Typed on the keypad alone, the weight is saved as it reads.
    form->dbePeso->SetFocus();
    keypadDigit('7');
    keypadDigit('2');
    press(Qt::Key_Period, Qt::KeypadModifier, u"."_s);
    keypadDigit('5');
    leaveWeight();
    form->sbtConfirmar->Click();
    ScreenHarness::processEvents();
    EXPECT_EQ(storedWeight(ScreenHarness::Joao), QVariant(u"72,5"_s));
    EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
}

QOR_INSTANTIATE_BACKENDS(KeypadWeightTest);

} // namespace
} // namespace qor::testing
