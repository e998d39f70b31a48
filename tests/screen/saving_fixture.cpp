#include "saving_fixture.h"

#include "forms/application.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/guard.h"
#include "framework/buttonflat.h"
#include "framework/netconnection.h"
#include "remote/rpcclient.h"
#include "sql/sqlquery.h"

#include <QTabBar>
#include <QTabWidget>
#include <QTest>

using namespace Qt::StringLiterals;

namespace qor::testing {

void ScreenFixture::SetUp()
{
    HarnessTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    // The host's general data module: the catalogue lives in the same database.
    catalogue = std::make_unique<TdtmDBGeral>();
    catalogue->Open(harness->server().databaseUri());
    SetDtmDBGeral(catalogue.get());
}

void ScreenFixture::TearDown()
{
    if (!harness)
        return;
    // The screen's queries go before the catalogue connection, and that before the
    // database is dropped.
    Application()->DestroyForms();
    ScreenHarness::processEvents();
    catalogue.reset();
    harness.reset();
}

TfrmPlanejaExerc *ScreenFixture::open(const QString &patient)
{
    form = harness->open(patient, u"Paciente de teste"_s);
    if (!form)
        return nullptr;
    QObject::connect(form->netPlanejaExerc->Client(), &RpcClient::callStarted, form,
                     [this](const QString &method, const QJsonArray &params) {
                         calls.append({method, params});
                         if (method == m_stopOn) {
                             m_stopOn.clear();
                             harness->server().stop();
                         }
                     });
    return form;
}

QStringList ScreenFixture::methods() const
{
    QStringList names;
    for (const ObservedCall &call : calls)
        names.append(call.method);
    return names;
}

void ScreenFixture::restartServer()
{
    QString error;
    ASSERT_TRUE(harness->server().start(&error)) << error.toStdString();
}

void ScreenFixture::exec(const QString &sql, const QVariantList &values)
{
    SqlStatement statement(harness->server().db(), sql);
    for (const QVariant &value : values)
        statement.bind(value);
    statement.exec();
}

QVariant ScreenFixture::scalar(const QString &sql, const QVariantList &values)
{
    SqlStatement statement(harness->server().db(), sql);
    for (const QVariant &value : values)
        statement.bind(value);
    statement.exec();
    return statement.next() ? statement.value(0) : QVariant();
}

int ScreenFixture::count(const QString &sql, const QVariantList &values)
{
    return scalar(sql, values).toInt();
}

int ScreenFixture::planRows(const QString &patient)
{
    return count(u"SELECT COUNT(*) FROM PLAEXERFISI WHERE CDFILIAL = ? AND CDPACIENTE = ?"_s,
                 {ScreenHarness::Branch, patient});
}

void ScreenFixture::planElsewhere(const QString &patient)
{
    exec(u"INSERT INTO PLAEXERFISI (CDFILIAL, CDPACIENTE, DTCONSPACI, CDEXERFISICO, "
         u"QTHREXERFISI, QTENERCONSPL) SELECT CDFILIAL, CDPACIENTE, DTCONSPACI, '002120', 2, 5.3 "
         u"FROM PLAEXERFISI WHERE CDPACIENTE = ? AND CDEXERFISICO = '017190'"_s,
         {patient});
}

QVariant ScreenFixture::storedWeight(const QString &patient)
{
    return scalar(u"SELECT DSINFOAVAL FROM INFOAVAL WHERE CDFILIAL = ? AND CDPACIENTE = ? "
                  u"AND CDTBMETOAVAL = '01' AND CDTIPODADO = '01'"_s,
                  {ScreenHarness::Branch, patient});
}

void ScreenFixture::typeWeight(const QString &keys)
{
    form->dbePeso->SetFocus();
    for (const QChar key : keys) {
        if (key == u'<')
            QTest::keyClick(form->dbePeso, Qt::Key_Left);
        else if (key == u'\b')
            QTest::keyClick(form->dbePeso, Qt::Key_Backspace);
        else
            QTest::keyClicks(form->dbePeso, QString(key));
    }
}

void ScreenFixture::leaveWeight()
{
    // The user clicks another control of the screen (the grid is locked while the weight
    // is typed; the page tab is always there).
    form->dbePeso->SetFocus();
    form->pgcPadrao->tabBar()->setFocus(Qt::MouseFocusReason);
    ScreenHarness::processEvents();
    EXPECT_FALSE(form->dbePeso->hasFocus());
}

void ScreenFixture::typeInGrid(const QString &keys)
{
    // The first key opens the cell editor; the rest go to the editor, as they would.
    TDBGrid *grid = form->dbgPadrao;
    for (const QChar key : keys) {
        QWidget *target = grid;
        if (grid->EditorMode())
            target = grid->InplaceEditor();
        QTest::keyClick(target, key.toLatin1());
    }
}

void ScreenFixture::addPlanRow(const QString &code, const QString &hhmm)
{
    form->sbtIncluir->Click();
    ScreenHarness::processEvents();
    TDBGrid *grid = form->dbgPadrao;
    grid->SetSelectedField(form->cdsPlanejaCDEXERFISICO);
    typeInGrid(code);
    // Leaving the code column runs its checks; a refusal reaches the error handler.
    QOR_GUARD(grid->SetSelectedField(form->cdsPlanejaQTHREXERFISI));
    typeInGrid(hhmm);
    form->sbtConfirmar->Click();
    ScreenHarness::processEvents();
}

} // namespace qor::testing
