// Saves the server carried out whose answer never reached the screen: the connection
// dropped after the commit, or the call's time ran out while the server still finished.
// The screen cannot know whether the change was kept; the user is told so plainly, the
// screen shows what the server holds (as verify would), the save is never sent twice,
// and her next change is saved as usual.
#include "journey.h"
#include "otherworkstation.h"
#include "support/answerdropper.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "framework/buttonflat.h"
#include "framework/showavi.h"
#include "framework/velmora.h"
#include "rtl/convert.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <functional>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

using Loss = AnswerDropper::Loss;

const QString Lost = u"Conexão com o servidor de aplicação perdida."_s;
const QString TimedOut = u"Tempo esgotado aguardando resposta do servidor de aplicação."_s;
const QString Unknown =
    u"Não foi possível saber se a gravação foi concluída: a tela mostra agora o que está "
    u"gravado no servidor."_s;

class UnansweredSaves : public Journey
{
protected:
    void SetUp() override
    {
        Journey::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        // The screen reaches the server through the relay; a withheld answer is given up
        // on after a short wait rather than the usual half minute.
        relay = std::make_unique<AnswerDropper>(harness->server().port());
        ASSERT_NE(relay->port(), 0);
        QString error;
        ASSERT_TRUE(WriteSetting(u"server/port"_s, QString::number(relay->port()), &error))
            << error.toStdString();
        ASSERT_TRUE(WriteSetting(u"server/callTimeoutMs"_s, u"3000"_s, &error))
            << error.toStdString();
    }
    void TearDown() override
    {
        Journey::TearDown();
        relay.reset();
    }

    // One more answer was lost since `before` answers were, and it was the server's "done".
    void expectOneMoreLostSuccess(qsizetype before)
    {
        const QList<QByteArray> lost = relay->lostAnswers();
        ASSERT_EQ(lost.size(), before + 1);
        const QJsonObject answer = QJsonDocument::fromJson(lost.last()).object();
        EXPECT_TRUE(answer.value(u"result"_s).toObject().value(u"ok"_s).toBool())
            << lost.last().toStdString();
    }

    // Told once that the save may or may not have been kept, with nothing left up.
    void expectToldPlainly(Loss loss)
    {
        const QString transport = loss == Loss::CloseConnection ? Lost : TimedOut;
        EXPECT_EQ(errorTexts(), QStringList{transport + u' ' + Unknown});
        ASSERT_FALSE(errors().isEmpty());
        EXPECT_FALSE(errors().first().busyIndicatorUp);
        EXPECT_FALSE(ShowAviVisible());
    }

    // A fresh consultation of João, a day further back for each call, whose weight and
    // plan another workstation has recorded: 80 kg, a walk of an hour and half an hour of
    // swimming.
    TDateTime prepareConsultation()
    {
        m_consultation -= 1;
        OtherWorkstation other;
        other.openConsultation(ScreenHarness::Branch, Joao, m_consultation);
        EXPECT_EQ(other.recordWeight(u"80"_s), QString());
        EXPECT_EQ(other.addExercise(u"017190"_s, 1, 3.5), QString());
        EXPECT_EQ(other.addExercise(u"018310"_s, 0.5, 6), QString());
        return m_consultation;
    }

    QStringList storedCodes()
    {
        QStringList codes;
        for (const StoredRow &row : storedPlan(Joao, m_consultation))
            codes.append(row.code);
        return codes;
    }

    TDateTime m_consultation = Date();
    std::unique_ptr<AnswerDropper> relay;
};

struct PlanSave
{
    const char *name;
    Loss loss;
    // What the user does on João's plan (017190 for an hour, 018310 for half an hour).
    std::function<void()> act;
    QList<StoredRow> storedAfter;
    // What she does next, which must be saved without a complaint, and what is then stored.
    std::function<void()> next;
    QList<StoredRow> storedAtEnd;
};

TEST_P(UnansweredSaves, APlanSaveWhoseAnswerNeverCameShowsWhatIsStored)
{
    const StoredRow caminhada{u"017190"_s, 1, 3.5};
    const StoredRow natacao{u"018310"_s, 0.5, 6};
    const StoredRow hidroginastica{u"002120"_s, 1.5, 5.3};
    auto withHours = [](StoredRow row, double hours) {
        row.hours = hours;
        return row;
    };
    const PlanSave saves[] = {
        {"a new row, the connection dropped after the server stored it",
         Loss::CloseConnection,
         [this] { addExerciseByCode(u"002120"_s, u"0130"_s); },
         {hidroginastica, caminhada, natacao},
         [this] { changeTime(u"002120"_s, u"0200"_s); },
         {withHours(hidroginastica, 2), caminhada, natacao}},
        {"a new row, its answer given up on while the server finished",
         Loss::Withhold,
         [this] { addExerciseByCode(u"002120"_s, u"0130"_s); },
         {hidroginastica, caminhada, natacao},
         [this] { changeTime(u"002120"_s, u"0200"_s); },
         {withHours(hidroginastica, 2), caminhada, natacao}},
        {"a changed time",
         Loss::CloseConnection,
         [this] { changeTime(u"017190"_s, u"0200"_s); },
         {withHours(caminhada, 2), natacao},
         [this] { changeTime(u"017190"_s, u"0230"_s); },
         {withHours(caminhada, 2.5), natacao}},
        {"a deleted row",
         Loss::CloseConnection,
         [this] {
             selectRow(u"018310"_s);
             deleteCurrentRow();
         },
         {caminhada},
         [this] { addExerciseByCode(u"018310"_s, u"0100"_s); },
         {caminhada, withHours(natacao, 1)}},
    };
    for (const PlanSave &save : saves) {
        SCOPED_TRACE(save.name);
        const TDateTime consultation = prepareConsultation();
        ASSERT_NE(openConsultation(Joao, u"João Pereira"_s, consultation), nullptr);
        ASSERT_EQ(shownCodes(), (QStringList{u"017190"_s, u"018310"_s}));
        const int sent = relay->forwarded(u"SetPlaneja"_s);
        const qsizetype lost = relay->lostAnswers().size();

        relay->loseNextAnswerTo(u"SetPlaneja"_s, save.loss);
        save.act();
        expectOneMoreLostSuccess(lost);
        EXPECT_EQ(storedPlan(Joao, consultation), save.storedAfter);
        // Sent once: nothing resends a save on its own.
        EXPECT_EQ(relay->forwarded(u"SetPlaneja"_s), sent + 1);
        expectToldPlainly(save.loss);
        EXPECT_EQ(shownCodes(), storedCodes());
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_EQ(form->cdsPlaneja->ChangeCount(), 0);
        EXPECT_TRUE(form->sbtIncluir->Enabled());

        // She carries on with the plan the screen shows: her change is saved, and only it.
        forgetMessages();
        save.next();
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        EXPECT_EQ(storedPlan(Joao, consultation), save.storedAtEnd);

        // What the screen shows, total included, is what the server holds: verify
        // changes nothing.
        const QList<ShownRow> shown = shownPlan();
        const QString total = shownTotal();
        verify();
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        EXPECT_EQ(shownPlan(), shown);
        EXPECT_EQ(shownTotal(), total);

        closeScreen();
        forgetMessages();
    }
}

struct UnsentSave
{
    const char *name;
    // How the connection made anew for the save fails, before the save is sent.
    Loss loss;
    QString told; // %1: the port the screen connects to
    std::function<void()> act;
};

// The server restarted while the screen sat idle, and the connection made anew for the
// save failed before the save went out: the server holds nothing of it. It is rolled back
// as before, nothing is read in its place, and the user is not told its outcome is unknown.
TEST_P(UnansweredSaves, ASaveThatCouldNotBeSentIsOnlyRolledBack)
{
    QString error;
    ASSERT_TRUE(WriteSetting(u"server/connectTimeoutMs"_s, u"2000"_s, &error))
        << error.toStdString();
    const UnsentSave saves[] = {
        {"a changed time, the new connection closed while it was made", Loss::CloseConnection,
         u"Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1: conexão "
         u"encerrada pelo servidor."_s,
         [this] {
             changeTime(u"017190"_s, u"0200"_s);
         }},
        {"a deleted row, the new connection given up on while it was made", Loss::Withhold,
         u"Tempo esgotado ao conectar ao servidor de aplicação em 127.0.0.1:%1."_s,
         [this] {
             selectRow(u"018310"_s);
             deleteCurrentRow();
         }},
    };
    for (const UnsentSave &save : saves) {
        SCOPED_TRACE(save.name);
        const TDateTime consultation = prepareConsultation();
        ASSERT_NE(openConsultation(Joao, u"João Pereira"_s, consultation), nullptr);
        const QList<ShownRow> shown = shownPlan();
        const QList<StoredRow> stored = storedPlan(Joao, consultation);
        ASSERT_EQ(shown.size(), 2);
        stopServer();
        startServer();
        const int saved = relay->forwarded(u"SetPlaneja"_s);
        const int read = relay->forwarded(u"GetPlaneja"_s);

        relay->loseNextAnswerTo(u"Authenticate"_s, save.loss);
        save.act();
        EXPECT_EQ(errorTexts(), QStringList{save.told.arg(relay->port())});
        EXPECT_EQ(relay->forwarded(u"SetPlaneja"_s), saved);
        EXPECT_EQ(relay->forwarded(u"GetPlaneja"_s), read);
        EXPECT_EQ(storedPlan(Joao, consultation), stored);
        EXPECT_EQ(shownPlan(), shown);
        EXPECT_EQ(form->cdsPlaneja->State(), dsBrowse);
        EXPECT_EQ(form->cdsPlaneja->ChangeCount(), 0);
        EXPECT_FALSE(ShowAviVisible());

        // Tried again, it is saved.
        forgetMessages();
        save.act();
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        EXPECT_NE(storedPlan(Joao, consultation), stored);
        EXPECT_EQ(shownCodes(), storedCodes());

        closeScreen();
        forgetMessages();
    }
}

struct WeightSave
{
    const char *name;
    // The call whose answer is lost when the user confirms the weight.
    QString method;
    // What she is told.
    QString told;
    // The weight is shown as stored and locked afterwards; else it is still being typed.
    bool shownAsStored;
    QVariant storedWeightAfter;
};

TEST_P(UnansweredSaves, AWeightSaveWhoseAnswerNeverCameIsNeitherLostNorStoredTwice)
{
    const WeightSave saves[] = {
        {"the weight row", u"SetPeso"_s, Lost + u' ' + Unknown, true, u"80,5"_s},
        {"the assessment method saved before it", u"SetMetoAval"_s, Lost, false, QVariant()},
    };
    for (const WeightSave &save : saves) {
        SCOPED_TRACE(save.name);
        m_consultation -= 1;
        const TDateTime consultation = m_consultation;
        ASSERT_NE(openConsultation(Joao, u"João Pereira"_s, consultation), nullptr);
        const int weights = relay->forwarded(u"SetPeso"_s);
        const int methods = relay->forwarded(u"SetMetoAval"_s);
        const qsizetype lost = relay->lostAnswers().size();

        typeWeight(u"80,5"_s);
        relay->loseNextAnswerTo(save.method, Loss::CloseConnection);
        confirm();
        expectOneMoreLostSuccess(lost);
        EXPECT_EQ(errorTexts(), QStringList{save.told});
        EXPECT_FALSE(ShowAviVisible());
        EXPECT_EQ(storedMethod(Joao, consultation), QVariant(u"N"_s));
        EXPECT_EQ(storedWeight(Joao, consultation), save.storedWeightAfter);
        EXPECT_EQ(form->dbePeso->Text(), u"80,5"_s);
        EXPECT_EQ(form->dbePeso->Enabled(), !save.shownAsStored);
        EXPECT_EQ(form->dbgPadrao->Enabled(), save.shownAsStored);

        // A weight still being typed is confirmed again, and saved.
        forgetMessages();
        if (!save.shownAsStored)
            confirm();
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        EXPECT_EQ(storedWeight(Joao, consultation), QVariant(u"80,5"_s));
        EXPECT_FALSE(form->dbePeso->Enabled());
        // Each row was sent once: nothing resends a save on its own.
        EXPECT_EQ(relay->forwarded(u"SetMetoAval"_s), methods + 1);
        EXPECT_EQ(relay->forwarded(u"SetPeso"_s), weights + 1);

        // The plan is hers to fill in, with the figures of that weight.
        addExerciseByCode(u"002120"_s, u"0130"_s);
        EXPECT_TRUE(complaints().isEmpty()) << complaints().join(u'\n').toStdString();
        EXPECT_EQ(storedPlan(Joao, consultation), (QList<StoredRow>{{u"002120"_s, 1.5, 5.3}}));
        EXPECT_EQ(shownTotal(), FormatFloat(u"#,##0.000"_s, 80.5 * 5.3 * 1.5 / 7));

        closeScreen();
        forgetMessages();
    }
}

QOR_INSTANTIATE_BACKENDS(UnansweredSaves);

} // namespace
} // namespace qor::testing
