// The host asks for another consultation while the screen is open (the dietitian picks
// another patient, or another date, in the host). The screen then shows that
// consultation; whatever is being typed is not dropped without the "Canc" question, and
// answering No keeps it, under the consultation it was typed for. In the end every
// weight and every plan row sits under the consultation it was typed for.
#include "journey.h"
#include "support/answerdropper.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/edit.h"
#include "framework/buttonflat.h"
#include "framework/dateeditplus.h"
#include "framework/velmora.h"
#include "module/Cli_qor12700.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

const QString CancelQuestion = u"Deseja cancelar as alterações?"_s;

class AnotherConsultation : public Journey
{
protected:
    // The host calls the package's entry point again, for another consultation. The
    // screen is still the same window.
    void hostOpens(const QString &patient, const QString &name, TDateTime date = Date())
    {
        TfrmPlanejaExerc *before = form;
        EXPECT_EQ(openConsultation(patient, name, date), before) << "a second screen was made";
    }
    QString shownTime(const QString &code) const
    {
        for (const ShownRow &row : shownPlan()) {
            if (row.code == code)
                return row.time;
        }
        return {};
    }
};

TEST_P(AnotherConsultation, ShowsItAndAsksBeforeDroppingWhatIsTyped)
{
    const TDateTime yesterday = Date() - 1;
    ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);
    const QList<StoredRow> mariasPlan = storedPlan(Maria);
    ASSERT_EQ(mariasPlan.size(), 3);

    // Nothing is being typed: João's consultation simply replaces Maria's.
    hostOpens(Joao, u"João Pereira"_s);
    EXPECT_TRUE(questions().isEmpty());
    EXPECT_EQ(form->edtPaciente->Text(), u"João Pereira"_s);
    EXPECT_TRUE(shownPlan().isEmpty());
    EXPECT_EQ(shownTotal(), u"0,000"_s);
    EXPECT_EQ(form->dbePeso->Text(), QString());
    EXPECT_TRUE(form->dbePeso->Enabled());
    EXPECT_FALSE(form->dbgPadrao->Enabled());

    // João's weight is being typed when the host asks for Maria's consultation of
    // yesterday. No: the weight stays, and is saved under João's consultation.
    typeWeight(u"80,5"_s);
    harness->dialogs().QueueAnswer(mrNo);
    hostOpens(Maria, u"Maria da Silva"_s, yesterday);
    EXPECT_EQ(questions(), QStringList{CancelQuestion});
    EXPECT_EQ(form->edtPaciente->Text(), u"João Pereira"_s);
    EXPECT_EQ(form->dbePeso->Text(), u"80,5"_s);
    confirm();
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    EXPECT_EQ(storedWeight(Joao), QVariant(u"80,5"_s));
    EXPECT_TRUE(storedWeight(Maria, yesterday).isNull());
    EXPECT_TRUE(storedMethod(Maria, yesterday).isNull());

    // An exercise for João is half typed, its time still in the cell, when the host asks
    // for Maria's consultation of today. No again: the row, the time typed included, is
    // kept and saved under João.
    forgetMessages();
    startNewRow();
    typeCode(u"017190"_s);
    leaveColumn();
    typeTime(u"0100"_s);
    harness->dialogs().QueueAnswer(mrNo);
    hostOpens(Maria, u"Maria da Silva"_s);
    EXPECT_EQ(questions(), QStringList{CancelQuestion});
    EXPECT_EQ(form->edtPaciente->Text(), u"João Pereira"_s);
    EXPECT_EQ(form->cdsPlaneja->State(), dsInsert);
    ASSERT_TRUE(form->dbgPadrao->EditorMode());
    EXPECT_EQ(form->dbgPadrao->InplaceEditor()->text(), u"01:00"_s);
    confirm();
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    EXPECT_EQ(storedPlan(Joao), (QList<StoredRow>{{u"017190"_s, 1, 3.5}}));
    EXPECT_EQ(storedPlan(Maria), mariasPlan);

    // Nothing is being typed now: Maria's consultation replaces João's without a question.
    forgetMessages();
    hostOpens(Maria, u"Maria da Silva"_s);
    EXPECT_TRUE(questions().isEmpty());
    EXPECT_EQ(form->edtPaciente->Text(), u"Maria da Silva"_s);
    EXPECT_EQ(shownPlan().size(), 3);
    EXPECT_EQ(form->dbePeso->Text(), u"68,5"_s);
    EXPECT_FALSE(form->dbePeso->Enabled());
    EXPECT_TRUE(form->dbgPadrao->Enabled());

    // Maria's swim is being changed when the host asks for João again. Yes: the change
    // is dropped, nothing of it is saved, and João's consultation is shown as saved.
    selectRow(u"018310"_s);
    ScreenHarness::click(form->sbtAlterar);
    typeText(u"0300"_s);
    harness->dialogs().QueueAnswer(mrYes);
    hostOpens(Joao, u"João Pereira"_s);
    EXPECT_EQ(questions(), QStringList{CancelQuestion});
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    EXPECT_EQ(form->edtPaciente->Text(), u"João Pereira"_s);
    EXPECT_EQ(form->dbePeso->Text(), u"80,5"_s);
    EXPECT_TRUE(form->dbgPadrao->Enabled());
    EXPECT_EQ(shownTime(u"017190"_s), u"01:00"_s);
    EXPECT_EQ(shownPlan().size(), 1);

    // Every weight and every row where it was typed, and nowhere else.
    EXPECT_EQ(storedPlan(Maria), mariasPlan);
    EXPECT_EQ(storedWeight(Maria), QVariant(u"68,5"_s));
    EXPECT_EQ(storedPlan(Joao), (QList<StoredRow>{{u"017190"_s, 1, 3.5}}));
    EXPECT_EQ(storedWeight(Joao), QVariant(u"80,5"_s));
    EXPECT_TRUE(storedPlan(Maria, yesterday).isEmpty());
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM PLAEXERFISI"_s), 4);
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM INFOAVAL"_s), 2);
    EXPECT_EQ(count(u"SELECT COUNT(*) FROM METOAVAL"_s), 2);
}

TEST_P(AnotherConsultation, NewRowsAndWeightsTakeTheShownConsultation)
{
    // Maria's consultation of yesterday has no weight; today's João is shown after it.
    // Whatever is typed after each switch lands in the consultation on the screen.
    const TDateTime yesterday = Date() - 1;
    ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s, yesterday), nullptr);
    typeWeight(u"69"_s);
    confirm();
    addExerciseByCode(u"002105"_s, u"0030"_s);
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();

    hostOpens(Joao, u"João Pereira"_s);
    typeWeight(u"81"_s);
    confirm();
    addExerciseByCode(u"002105"_s, u"0100"_s);
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();

    hostOpens(Maria, u"Maria da Silva"_s);
    addExerciseByCode(u"002105"_s, u"0200"_s);
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();

    EXPECT_EQ(storedWeight(Maria, yesterday), QVariant(u"69"_s));
    EXPECT_EQ(storedPlan(Maria, yesterday), (QList<StoredRow>{{u"002105"_s, 0.5, 3}}));
    EXPECT_EQ(storedWeight(Joao), QVariant(u"81"_s));
    EXPECT_EQ(storedPlan(Joao), (QList<StoredRow>{{u"002105"_s, 1, 3}}));
    EXPECT_EQ(storedWeight(Maria), QVariant(u"68,5"_s));
    ASSERT_EQ(storedPlan(Maria).size(), 4);
    EXPECT_EQ(storedPlan(Maria).at(1), (StoredRow{u"002105"_s, 2, 3}));
}

// How the load of the consultation the host asked for fails: the server stopped, or the
// link dropped before the answer to one of the three reads came.
struct FailedLoad
{
    const char *name;
    QString unansweredRead; // empty: the server is stopped
};

TEST_P(AnotherConsultation, OneThatCouldNotBeLoadedIsLoadedWhenAskedForAgain)
{
    // The screen reaches the server through a relay that can drop the link before an answer.
    AnswerDropper relay(harness->server().port());
    ASSERT_NE(relay.port(), 0);
    QString error;
    ASSERT_TRUE(WriteSetting(u"server/port"_s, QString::number(relay.port()), &error))
        << error.toStdString();
    ASSERT_NE(openConsultation(Maria, u"Maria da Silva"_s), nullptr);

    const QList<FailedLoad> failures{{"server stopped", QString()},
                                     {"patient unanswered", u"GetPaciente"_s},
                                     {"weight unanswered", u"GetPeso"_s},
                                     {"plan unanswered", u"GetPlaneja"_s}};
    for (const FailedLoad &failure : failures) {
        SCOPED_TRACE(failure.name);
        hostOpens(Maria, u"Maria da Silva"_s);
        ASSERT_EQ(shownPlan().size(), 3);
        forgetMessages();

        // The host asks for João's consultation and it cannot be read whole: the user is
        // told, and nothing of Maria's stays on the screen to be typed under João.
        if (failure.unansweredRead.isEmpty())
            stopServer();
        else
            relay.loseNextAnswerTo(failure.unansweredRead, AnswerDropper::Loss::CloseConnection);
        hostOpens(Joao, u"João Pereira"_s);
        EXPECT_EQ(errors().size(), 1) << errorTexts().join(u'\n').toStdString();
        EXPECT_TRUE(shownPlan().isEmpty());
        EXPECT_NE(form->edtPaciente->Text(), u"Maria da Silva"_s);
        if (failure.unansweredRead.isEmpty())
            startServer();

        // The host asks for João's consultation again: it is shown whole.
        forgetMessages();
        hostOpens(Joao, u"João Pereira"_s);
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        EXPECT_EQ(form->edtPaciente->Text(), u"João Pereira"_s);
        EXPECT_EQ(form->depDataCons->Date(), Date());
        EXPECT_EQ(form->dbePeso->Text(), QString());
        EXPECT_TRUE(form->dbePeso->Enabled());
        EXPECT_EQ(form->cdsPeso->State(), dsBrowse);
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_EQ(shownTotal(), u"0,000"_s);
    }

    EXPECT_EQ(relay.lostAnswers().size(), 3);

    // What is typed there is saved under João.
    typeWeight(u"80,5"_s);
    confirm();
    addExerciseByCode(u"017190"_s, u"0100"_s);
    EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
    EXPECT_EQ(storedWeight(Joao), QVariant(u"80,5"_s));
    EXPECT_EQ(storedPlan(Joao), (QList<StoredRow>{{u"017190"_s, 1, 3.5}}));
    EXPECT_EQ(shownPlan().size(), 1);

    // Loaded now, the same consultation asked for again is left as it is: a row being
    // typed is neither asked about nor dropped.
    startNewRow();
    typeCode(u"002105"_s);
    hostOpens(Joao, u"João Pereira"_s);
    EXPECT_TRUE(questions().isEmpty());
    EXPECT_EQ(form->cdsPlaneja->State(), dsInsert);
    EXPECT_EQ(storedPlan(Maria).size(), 3);
    EXPECT_EQ(storedWeight(Maria), QVariant(u"68,5"_s));
}

QOR_INSTANTIATE_BACKENDS(AnotherConsultation);

} // namespace
} // namespace qor::testing
