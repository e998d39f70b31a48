// The weight as recorded and as shown afterwards: what the weight edit shows once the
// weight is saved, and every figure computed from it, must be what a reopened screen
// shows for the stored weight. Against a real qor-server, keys into the real edit.
#include "saving_fixture.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/edit.h"
#include "framework/buttonflat.h"
#include "framework/messages.h"
#include "module/Cli_qor12700.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

class WeightRecordTest : public ScreenFixture
{
protected:
    // The daily figure of each plan row, by exercise code.
    QStringList shownFigures()
    {
        QStringList out;
        for (form->cdsPlaneja->First(); !form->cdsPlaneja->Eof(); form->cdsPlaneja->Next())
            out.append(form->cdsPlanejaCDEXERFISICO->AsString() + u'='
                       + form->cdsPlanejaKcalDia->DisplayText());
        return out;
    }
};

struct RecordCase
{
    const char *name;
    QString typed; // typed and confirmed without leaving the edit
};

// The confirm button takes no focus: the weight is posted with the focus still in the
// edit, and saving it locks the edit, which then loses the focus.
TEST_P(WeightRecordTest, ShownWeightAndFiguresAreTheStoredOnes)
{
    const RecordCase cases[] = {
        {"already rounded", u"72,5"_s},    {"three decimals", u"72,456"_s},
        {"a trailing comma", u"7,"_s},     {"a leading zero", u"070"_s},
        {"no integer part", u"7,5<<\b"_s},
    };
    for (const RecordCase &c : cases) {
        SCOPED_TRACE(c.name);
        exec(u"DELETE FROM PLAEXERFISI WHERE CDPACIENTE = ?"_s, {ScreenHarness::Joao});
        exec(u"DELETE FROM INFOAVAL WHERE CDPACIENTE = ?"_s, {ScreenHarness::Joao});
        ASSERT_NE(open(ScreenHarness::Joao), nullptr);
        typeWeight(c.typed);
        ASSERT_TRUE(form->dbePeso->hasFocus());
        form->sbtConfirmar->Click();
        ScreenHarness::processEvents();
        EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();

        const QVariant stored = storedWeight(ScreenHarness::Joao);
        ASSERT_FALSE(stored.isNull());
        EXPECT_EQ(form->dbePeso->Text(), stored.toString());
        EXPECT_EQ(form->cdsPesoDSINFOAVAL->AsString(), stored.toString());
        EXPECT_FALSE(form->dbePeso->Enabled());
        EXPECT_TRUE(form->dbgPadrao->Enabled());

        addPlanRow(u"002120"_s, u"0130"_s);
        ASSERT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
        const QStringList figures = shownFigures();
        const QString total = form->edtTotal->Text();
        ASSERT_EQ(figures.size(), 1);
        EXPECT_NE(total, u"0,000"_s);

        // Reopened, the screen reads the stored weight: the same text, the same figures.
        harness->closeScreen();
        ASSERT_NE(open(ScreenHarness::Joao), nullptr);
        EXPECT_EQ(form->dbePeso->Text(), stored.toString());
        EXPECT_EQ(shownFigures(), figures);
        EXPECT_EQ(form->edtTotal->Text(), total);
        harness->closeScreen();
    }
}

struct ComposedCase
{
    const char *name;
    QString keys; // typed first, key by key
    bool selected; // then all of it selected
    QString composed; // then committed by the input method (dead keys, compose)
    // Keys pressed once the composition began, which drop it without a word from the
    // input method ('<' the Left arrow); its first character is composed again after.
    QString meanwhile;
    QString shown;
    TDataSetState state;
    QVariant stored; // after the confirm command, null when nothing was saved
};

// A dead key or a compose sequence reaches the edit as composed text, not as keys: it
// must meet the same filter and put the weight into edit as typed keys do, or the edit
// shows a weight that is never saved (and that the figures already use).
TEST_P(WeightRecordTest, ComposedTextIsTypedText)
{
    const ComposedCase cases[] = {
        {"digits composed into an empty weight",
         {},
         false,
         u"72,5"_s,
         {},
         u"72,5"_s,
         dsInsert,
         QVariant(u"72,5"_s)},
        {"an accent before a digit",
         u"7"_s,
         false,
         u"\u00b42"_s,
         {},
         u"72"_s,
         dsInsert,
         QVariant(u"72"_s)},
        {"a letter only", {}, false, u"\u00e3"_s, {}, QString(), dsBrowse, QVariant()},
        {"a second comma and a point",
         u"7,"_s,
         false,
         u",5.1"_s,
         {},
         u"7,51"_s,
         dsInsert,
         QVariant(u"7,51"_s)},
        // The selection goes only when a key the filter lets through replaces it.
        {"a letter composed over the selected weight",
         u"72"_s,
         true,
         u"\u00e3"_s,
         {},
         u"72"_s,
         dsInsert,
         QVariant(u"72"_s)},
        {"digits composed over the selected weight",
         u"72"_s,
         true,
         u"80"_s,
         {},
         u"80"_s,
         dsInsert,
         QVariant(u"80"_s)},
        // The selection is no longer there to replace.
        {"a composition dropped, then a digit composed at the cursor", u"72"_s, true, u"5"_s,
         u"<"_s, u"752"_s, dsInsert, QVariant(u"752"_s)},
    };
    for (const ComposedCase &c : cases) {
        SCOPED_TRACE(c.name);
        exec(u"DELETE FROM INFOAVAL WHERE CDPACIENTE = ?"_s, {ScreenHarness::Joao});
        ASSERT_NE(open(ScreenHarness::Joao), nullptr);
        typeWeight(c.keys);
        if (c.selected)
            form->dbePeso->selectAll();
        QInputMethodEvent preedit(c.composed.left(1), {});
        QApplication::sendEvent(form->dbePeso, &preedit);
        if (!c.meanwhile.isEmpty()) {
            typeWeight(c.meanwhile);
            QApplication::sendEvent(form->dbePeso, &preedit);
        }
        QInputMethodEvent commit;
        commit.setCommitString(c.composed);
        QApplication::sendEvent(form->dbePeso, &commit);
        ScreenHarness::processEvents();

        EXPECT_EQ(form->dbePeso->Text(), c.shown);
        EXPECT_EQ(form->cdsPeso->State(), c.state);
        form->sbtConfirmar->Click();
        ScreenHarness::processEvents();
        EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
        EXPECT_EQ(storedWeight(ScreenHarness::Joao), c.stored);
        if (!c.stored.isNull()) {
            EXPECT_EQ(form->dbePeso->Text(), c.stored.toString());
        }
        harness->closeScreen();
    }
}

struct BlankCase
{
    const char *name;
    QString keys; // '\b' backspace, 'H' Home, 'D' Delete
};

// Confirming an emptied weight records a blank one, which leaves the edit open: the
// weight typed next must then be saved over it.
TEST_P(WeightRecordTest, WeightAfterABlankOneIsSaved)
{
    const BlankCase cases[] = {
        {"emptied by backspace", u"7\b"_s},
        {"a comma emptied by Delete", u"72,HDDD"_s},
    };
    for (const BlankCase &c : cases) {
        SCOPED_TRACE(c.name);
        exec(u"DELETE FROM INFOAVAL WHERE CDPACIENTE = ?"_s, {ScreenHarness::Joao});
        exec(u"DELETE FROM METOAVAL WHERE CDPACIENTE = ?"_s, {ScreenHarness::Joao});
        ASSERT_NE(open(ScreenHarness::Joao), nullptr);
        form->dbePeso->SetFocus();
        for (const QChar key : c.keys) {
            if (key == u'\b')
                QTest::keyClick(form->dbePeso, Qt::Key_Backspace);
            else if (key == u'H')
                QTest::keyClick(form->dbePeso, Qt::Key_Home);
            else if (key == u'D')
                QTest::keyClick(form->dbePeso, Qt::Key_Delete);
            else
                QTest::keyClick(form->dbePeso, key.toLatin1());
        }
        ASSERT_NE(form->cdsPeso->State(), dsBrowse);
        form->sbtConfirmar->Click();
        ScreenHarness::processEvents();
        EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
        EXPECT_EQ(form->cdsPeso->State(), dsBrowse);
        EXPECT_TRUE(form->dbePeso->Enabled());
        EXPECT_FALSE(form->dbgPadrao->Enabled());
        EXPECT_TRUE(storedWeight(ScreenHarness::Joao).toString().trimmed().isEmpty());

        typeWeight(u"70,5"_s);
        form->sbtConfirmar->Click();
        ScreenHarness::processEvents();
        EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
        EXPECT_EQ(storedWeight(ScreenHarness::Joao), QVariant(u"70,5"_s));
        EXPECT_EQ(form->dbePeso->Text(), u"70,5"_s);
        EXPECT_FALSE(form->dbePeso->Enabled());
        EXPECT_TRUE(form->dbgPadrao->Enabled());
        harness->closeScreen();
    }
}

// A plan written while the consultation had no weight (at another workstation, or
// before a weight was recorded blank) shows no energy; once the weight is saved every
// figure and the daily total are the ones the reopened screen shows.
TEST_P(WeightRecordTest, FiguresFollowTheWeightOnceSaved)
{
    exec(u"DELETE FROM INFOAVAL WHERE CDPACIENTE = ?"_s, {ScreenHarness::Maria});
    ASSERT_NE(open(ScreenHarness::Maria), nullptr);
    ASSERT_EQ(form->cdsPlaneja->RecordCount(), 3);
    EXPECT_EQ(form->edtTotal->Text(), u"0,000"_s);
    form->cdsPlaneja->Last();
    const QString current = form->cdsPlanejaCDEXERFISICO->AsString();

    typeWeight(u"68,5"_s);
    form->sbtConfirmar->Click();
    ScreenHarness::processEvents();
    ASSERT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
    EXPECT_EQ(form->cdsPlanejaCDEXERFISICO->AsString(), current);
    // What the grid shows of each row, without moving through the plan.
    QStringList shown;
    for (int row = 0; row < form->dbgPadrao->model()->rowCount(); ++row) {
        for (int col = 0; col < form->dbgPadrao->model()->columnCount(); ++col)
            shown.append(form->dbgPadrao->model()->index(row, col).data().toString());
    }
    const QStringList figures = shownFigures();
    const QString total = form->edtTotal->Text();

    harness->closeScreen();
    ASSERT_NE(open(ScreenHarness::Maria), nullptr);
    EXPECT_EQ(form->edtTotal->Text(), u"89,295"_s);
    EXPECT_EQ(total, form->edtTotal->Text());
    EXPECT_EQ(figures, shownFigures());
    QStringList reopened;
    for (int row = 0; row < form->dbgPadrao->model()->rowCount(); ++row) {
        for (int col = 0; col < form->dbgPadrao->model()->columnCount(); ++col)
            reopened.append(form->dbgPadrao->model()->index(row, col).data().toString());
    }
    EXPECT_EQ(shown, reopened);
}

struct DroppedCase
{
    const char *name;
    bool serverStops; // the weight is confirmed and its save fails; else cancelled
};

// The reloaded plan computes with the weight being typed; when that weight is dropped,
// cancelled or refused, the figures must drop it too, as the reopened screen does.
TEST_P(WeightRecordTest, FiguresDropAWeightThatWasNotSaved)
{
    const DroppedCase cases[] = {
        {"cancelled", false},
        {"its save failed", true},
    };
    for (const DroppedCase &c : cases) {
        SCOPED_TRACE(c.name);
        exec(u"DELETE FROM INFOAVAL WHERE CDPACIENTE = ?"_s, {ScreenHarness::Maria});
        ASSERT_NE(open(ScreenHarness::Maria), nullptr);
        EXPECT_EQ(form->edtTotal->Text(), u"0,000"_s);
        typeWeight(u"68,5"_s);
        form->sbtVerificar->Click();
        ScreenHarness::processEvents();
        EXPECT_EQ(form->edtTotal->Text(), u"89,295"_s); // the weight as typed counts
        if (c.serverStops) {
            stopServerOn(u"SetPeso"_s);
            form->sbtConfirmar->Click();
            ScreenHarness::processEvents();
            EXPECT_EQ(harness->errors().size(), 1);
            harness->clearErrors();
            restartServer();
        } else {
            harness->dialogs().QueueAnswer(mrYes);
            form->sbtCancelar->Click();
            ScreenHarness::processEvents();
        }
        ASSERT_EQ(form->cdsPeso->State(), dsBrowse);
        EXPECT_EQ(form->dbePeso->Text(), QString());
        EXPECT_TRUE(storedWeight(ScreenHarness::Maria).isNull());
        const QStringList figures = shownFigures();
        const QString total = form->edtTotal->Text();
        EXPECT_EQ(total, u"0,000"_s);

        harness->closeScreen();
        ASSERT_NE(open(ScreenHarness::Maria), nullptr);
        EXPECT_EQ(form->edtTotal->Text(), total);
        EXPECT_EQ(shownFigures(), figures);
        harness->closeScreen();
    }
}

struct KeyTextCase
{
    const char *name;
    QString text; // one key event carrying this text
    QString shown;
};

// One key event may carry more than one character, or a character beyond 16 bits: the
// weight's filter must still see each character.
TEST_P(WeightRecordTest, EveryCharacterOfAKeyMeetsTheFilter)
{
    const KeyTextCase cases[] = {
        {"a digit carrying letters and a sign", u"7a-5"_s, u"75"_s},
        {"digits and two commas", u"7,5,1"_s, u"7,51"_s},
        {"an emoji", QString::fromUtf8("\xF0\x9F\x98\x80"), QString()},
        {"an emoji between digits",
         QString::fromUtf8("7\xF0\x9F\x98\x80"
                           "2"),
         u"72"_s},
    };
    for (const KeyTextCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(open(ScreenHarness::Joao), nullptr);
        form->dbePeso->SetFocus();
        QTest::sendKeyEvent(QTest::Press, form->dbePeso, Qt::Key_unknown, c.text, Qt::NoModifier);
        ScreenHarness::processEvents();
        EXPECT_EQ(form->dbePeso->Text(), c.shown);
        EXPECT_EQ(form->cdsPeso->State(), c.shown.isEmpty() ? dsBrowse : dsInsert);
        if (form->cdsPeso->State() != dsBrowse) {
            harness->dialogs().QueueAnswer(mrYes);
            form->sbtCancelar->Click();
            ScreenHarness::processEvents();
        }
        harness->closeScreen();
    }
}

QOR_INSTANTIATE_BACKENDS(WeightRecordTest);

} // namespace
} // namespace qor::testing
