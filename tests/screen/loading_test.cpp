// The first activation loads the consultation through a real qor-server: patient
// header, age text, weight-field rule, plan, and what a failed step leaves behind.
#include "screenharness.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/edit.h"
#include "forms/label.h"
#include "forms/panel.h"
#include "framework/buttonflat.h"
#include "framework/dateeditplus.h"
#include "framework/dbtext.h"
#include "framework/netconnection.h"
#include "framework/showavi.h"
#include "framework/velmora.h"
#include "module/Cli_qor12700.h"
#include "remote/rpcclient.h"
#include "sql/sqlquery.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScopeGuard>
#include <QStyle>
#include <QStyleOptionFrame>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace qor::testing {
namespace {

class LoadingTest : public HarnessTest
{
protected:
    void exec(const QString &sql, const QVariantList &values = {})
    {
        SqlStatement statement(harness->server().db(), sql);
        for (const QVariant &value : values)
            statement.bind(value);
        statement.exec();
    }
    void setBirth(const QString &patient, const QVariant &birth)
    {
        SqlStatement statement(harness->server().db(),
                               u"UPDATE PACIENTE SET DTNASCPACI = ? WHERE CDPACIENTE = ?"_s);
        statement.bind(TFieldType::DateTime, birth).bind(patient);
        statement.exec();
    }
};

TEST_P(LoadingTest, FirstActivationLoadsHeaderWeightAndPlan)
{
    TfrmPlanejaExerc *form = harness->open(ScreenHarness::Maria, u"Maria (nome do host)"_s);
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
    EXPECT_FALSE(boPrimVez);

    // The name the host handed over, not the one in the patient row.
    EXPECT_EQ(form->edtPaciente->Text(), u"Maria (nome do host)"_s);
    EXPECT_EQ(form->cdsPacienteNMPACIENTE->AsString(), u"Maria da Silva"_s);
    EXPECT_EQ(form->dbePeso->Text(), u"68,5"_s);
    EXPECT_EQ(form->cdsPlaneja->RecordCount(), 3);
    EXPECT_EQ(form->depDataCons->Date(), Date());
    EXPECT_EQ(form->cdsPlanejaQTHREXERFISI->EditMask, u"00:00"_s);
    EXPECT_FALSE(ShowAviVisible());
    EXPECT_EQ(ShowAviCount(0), 1);

    // The label under the grid names the exercise of the current row, and follows it.
    for (const bool last : {false, true}) {
        if (last)
            form->cdsPlaneja->Last();
        EXPECT_FALSE(form->cdsPlanejaDSEXERFISICO->AsString().isEmpty());
        EXPECT_EQ(form->dbtNome->text(), form->cdsPlanejaDSEXERFISICO->AsString());
    }

    // The connection took the server from the settings, not the form's own address.
    EXPECT_TRUE(form->netPlanejaExerc->Connected());
    EXPECT_EQ(form->netPlanejaExerc->Host, WebURL());
    EXPECT_EQ(form->netPlanejaExerc->Port, int(harness->server().port()));
}

TEST_P(LoadingTest, TheShownScreenCutsNoCaptionOrCode)
{
    TfrmPlanejaExerc *form = harness->open(ScreenHarness::Maria, u"Maria da Silva"_s);
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(form->cdsPlaneja->RecordCount(), 3);
    for (const TSpeedButton *button : form->panMenu->findChildren<TSpeedButton *>()) {
        EXPECT_GE(button->width(), button->sizeHint().width()) << button->Caption().toStdString();
    }
    TDBGrid *grid = form->dbgPadrao;
    const int margins =
        2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1);
    const QFontMetrics metrics(grid->font());
    for (form->cdsPlaneja->First(); !form->cdsPlaneja->Eof(); form->cdsPlaneja->Next()) {
        const QString code = form->cdsPlanejaCDEXERFISICO->AsString();
        EXPECT_LE(metrics.horizontalAdvance(code) + margins, grid->columnWidth(0))
            << code.toStdString();
    }
}

// The daily total of a long plan runs to five digits before the comma; it is shown whole,
// in the default font and in the larger ones clinics set, not cut at the edit's edge.
TEST_P(LoadingTest, TheTotalIsShownWholeInLargerFonts)
{
    for (const QString &code : {u"900001"_s, u"900002"_s}) {
        exec(u"INSERT INTO EXERFISICO (CDEXERFISICO, DSEXERFISICO, QTENERCONS, CDEDICAO) "
             u"VALUES (?, 'Corrida, 22,5 km/h', 23.0, '2011')"_s,
             {code});
        SqlStatement row(harness->server().db(),
                         u"INSERT INTO PLAEXERFISI (CDFILIAL, CDPACIENTE, DTCONSPACI, "
                         u"CDEXERFISICO, QTHREXERFISI, QTENERCONSPL) "
                         u"VALUES ('0001', ?, ?, ?, ?, 23.0)"_s);
        row.bind(ScreenHarness::Maria)
            .bind(TFieldType::DateTime, Date())
            .bind(code)
            .bind(23.0 + 59.0 / 60.0); // 23:59 a week
        row.exec();
    }
    const QFont original = QApplication::font();
    const auto restore = qScopeGuard([&] { QApplication::setFont(original); });
    for (const int pixels : {0, 16, 20, 24}) {
        SCOPED_TRACE(pixels);
        QFont font = original;
        if (pixels > 0)
            font.setPixelSize(pixels);
        QApplication::setFont(font);
        TfrmPlanejaExerc *form = harness->open(ScreenHarness::Maria, u"Maria da Silva"_s);
        ASSERT_NE(form, nullptr);
        ASSERT_EQ(form->cdsPlaneja->RecordCount(), 5);
        const TEdit *total = form->edtTotal;
        ASSERT_GE(total->Text().size(), 10); // "NN.NNN,NNN"
        // The room the edit gives its text: its contents less the frame and the text's
        // own margins on either side.
        QStyleOptionFrame option;
        option.initFrom(total);
        option.lineWidth = total->hasFrame()
            ? total->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, total)
            : 0;
        const QRect contents =
            total->style()->subElementRect(QStyle::SE_LineEditContents, &option, total);
        const QMargins margins = total->textMargins();
        const int room = contents.width() - margins.left() - margins.right() - 2 * 2;
        EXPECT_LE(QFontMetrics(total->font()).horizontalAdvance(total->Text()), room)
            << total->Text().toStdString() << " in " << total->width() << " px";
        harness->closeScreen();
    }
}

struct AgeCase
{
    int yearsBack;
    int monthsBack;
    const char *expected;
};

TEST_P(LoadingTest, AgeTextCountsYearsOrElseMonths)
{
    const AgeCase cases[] = {
        {0, 5, "5 Meses"},   {1, 2, "1 Anos"},    {0, 0, "0 Meses"},
        {37, 11, "37 Anos"}, {0, 11, "11 Meses"},
    };
    for (const AgeCase &c : cases) {
        SCOPED_TRACE(c.expected);
        const QDate birth = QDate::currentDate().addYears(-c.yearsBack).addMonths(-c.monthsBack);
        setBirth(ScreenHarness::Maria, DateToDateTime(birth));
        TfrmPlanejaExerc *form = harness->open(ScreenHarness::Maria, u"Maria"_s);
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->edtIdade->Text(), QString::fromUtf8(c.expected));
        harness->closeScreen();
    }
}

TEST_P(LoadingTest, NoBirthDateLeavesTheAgeEmpty)
{
    setBirth(ScreenHarness::Maria, QVariant());
    TfrmPlanejaExerc *form = harness->open(ScreenHarness::Maria, u"Maria"_s);
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(harness->errors().isEmpty());
    EXPECT_TRUE(form->edtIdade->Text().isEmpty());
    harness->closeScreen();

    // A patient the server does not know: an empty packet, no age, the rest loads.
    form = harness->open(u"000000000099"_s, u"Desconhecido"_s);
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(harness->errors().isEmpty());
    EXPECT_TRUE(form->cdsPaciente->IsEmpty());
    EXPECT_TRUE(form->edtIdade->Text().isEmpty());
    EXPECT_EQ(form->cdsPlanejaQTHREXERFISI->EditMask, u"00:00"_s);
}

struct WeightCase
{
    const char *name;
    QString patient;
    QString storedText; // for Maria's weight row
    bool enabled;
};

TEST_P(LoadingTest, WeightFieldRuleAfterLoading)
{
    const WeightCase cases[] = {
        {"no weight row", ScreenHarness::Joao, {}, true},
        {"blank weight", ScreenHarness::Maria, u"   "_s, true},
        {"empty weight", ScreenHarness::Maria, u""_s, true},
        {"a weight", ScreenHarness::Maria, u"72,3"_s, false},
    };
    for (const WeightCase &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.patient == ScreenHarness::Maria)
            exec(u"UPDATE INFOAVAL SET DSINFOAVAL = ? WHERE CDPACIENTE = ?"_s,
                 {c.storedText, ScreenHarness::Maria});
        TfrmPlanejaExerc *form = harness->open(c.patient, u"Paciente"_s);
        ASSERT_NE(form, nullptr);
        EXPECT_TRUE(harness->errors().isEmpty()) << harness->errors().join(u'\n').toStdString();
        EXPECT_EQ(form->lblPeso->Enabled(), c.enabled);
        EXPECT_EQ(form->dbePeso->Enabled(), c.enabled);
        EXPECT_EQ(form->dbePeso->Color(), c.enabled ? clInfoBk : clBtnFace);
        // Leaving an empty weight edit on close is the weight's own complaint.
        harness->closeScreen();
        harness->clearErrors();
    }
}

TEST_P(LoadingTest, LaterActivationsCallNothing)
{
    TfrmPlanejaExerc *form = harness->open(ScreenHarness::Maria, u"Maria"_s);
    ASSERT_NE(form, nullptr);
    QStringList calls;
    QObject::connect(form->netPlanejaExerc->Client(), &RpcClient::callStarted, form,
                     [&](const QString &method) { calls.append(method); });
    form->edtIdade->SetText(u"marcado"_s);

    // Another child window takes the focus, then the screen is activated again.
    auto *other = harness->mdiArea()->addSubWindow(new QWidget);
    other->show();
    harness->mdiArea()->setActiveSubWindow(other);
    ScreenHarness::processEvents();
    harness->mdiArea()->setActiveSubWindow(form->SubWindow());
    ScreenHarness::processEvents();
    EXPECT_EQ(harness->mdiArea()->activeSubWindow(), form->SubWindow());
    // The host opens the same consultation again.
    EXPECT_EQ(harness->open(ScreenHarness::Maria, u"Maria"_s), form);

    EXPECT_TRUE(calls.isEmpty()) << calls.join(u' ').toStdString();
    EXPECT_EQ(form->edtIdade->Text(), u"marcado"_s);
    EXPECT_EQ(ShowAviCount(0), 1);
}

struct FailedStepCase
{
    const char *name;
    const char16_t *breakSql; // makes that step's read fail on the server
    bool patientShown; // the name and the age
    bool weightLoaded;
};

// Whichever read fails, the user is told once, the busy indicator is gone, what was read
// before it stays, and nothing after it runs: no plan, no consultation date, no mask.
TEST_P(LoadingTest, AFailedStepStopsTheLoadWhereItFailed)
{
    const FailedStepCase cases[] = {
        // Renamed rather than dropped: other tables refer to the patients.
        {"patient", u"ALTER TABLE PACIENTE RENAME TO PACIENTE_FORA", false, false},
        {"weight", u"DROP TABLE INFOAVAL", true, false},
        {"plan", u"DROP TABLE PLAEXERFISI", true, true},
    };
    for (const FailedStepCase &c : cases) {
        SCOPED_TRACE(c.name);
        // A fresh server and database for each case.
        harness.reset();
        harness = std::make_unique<ScreenHarness>(GetParam());
        QString error;
        ASSERT_TRUE(harness->start(&error)) << error.toStdString();
        execSql(harness->server().db(), QString::fromUtf16(c.breakSql));

        TfrmPlanejaExerc *form = harness->open(ScreenHarness::Maria, u"Maria"_s);
        ASSERT_NE(form, nullptr);
        ASSERT_EQ(harness->errors().size(), 1) << harness->errors().join(u'\n').toStdString();
        EXPECT_FALSE(harness->errors().first().isEmpty());
        EXPECT_FALSE(ShowAviVisible());
        EXPECT_EQ(ShowAviCount(0), 1);
        EXPECT_FALSE(boPrimVez); // not retried by the next activation
        EXPECT_EQ(form->edtPaciente->Text(), c.patientShown ? u"Maria"_s : QString());
        EXPECT_EQ(form->edtIdade->Text().isEmpty(), !c.patientShown);
        EXPECT_EQ(form->dbePeso->Text(), c.weightLoaded ? u"68,5"_s : QString());
        // A recorded weight locks the field; unread, it stays as the form starts.
        EXPECT_EQ(form->lblPeso->Enabled(), !c.weightLoaded);
        EXPECT_EQ(form->dbePeso->Enabled(), !c.weightLoaded);
        EXPECT_EQ(form->dbePeso->Color(), clBtnFace);
        EXPECT_TRUE(form->cdsPlaneja->IsEmpty());
        EXPECT_NE(form->depDataCons->Date(), Date());
        EXPECT_TRUE(form->cdsPlanejaQTHREXERFISI->EditMask.isEmpty());
    }
}

TEST_P(LoadingTest, CloseDisconnectsAndTheNextCallLoadsANewScreen)
{
    QPointer<TfrmPlanejaExerc> first = harness->open(ScreenHarness::Maria, u"Maria"_s);
    ASSERT_FALSE(first.isNull());
    TNetConnection *connection = first->netPlanejaExerc;
    ASSERT_TRUE(connection->Connected());

    first->Close();
    EXPECT_FALSE(boIdCriado);
    EXPECT_FALSE(connection->Connected());
    ScreenHarness::processEvents();
    EXPECT_TRUE(first.isNull()); // released by the base form's close handling
    EXPECT_EQ(frmPlanejaExerc, nullptr);

    TfrmPlanejaExerc *second = harness->open(ScreenHarness::Joao, u"João Pereira"_s);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(boIdCriado);
    EXPECT_EQ(second->edtPaciente->Text(), u"João Pereira"_s);
    EXPECT_TRUE(second->cdsPeso->IsEmpty());
    EXPECT_TRUE(second->netPlanejaExerc->Connected());
}

QOR_INSTANTIATE_BACKENDS(LoadingTest);

} // namespace
} // namespace qor::testing
