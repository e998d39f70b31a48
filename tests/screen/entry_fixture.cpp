#include "entry_fixture.h"

#include "data/clientdataset.h"
#include "forms/dbgrid.h"
#include "framework/buttonflat.h"
#include "framework/consiste.h"
#include "framework/netconnection.h"
#include "framework/velmora.h"
#include "module/Cli_qor12700.h"
#include "remote/rpcclient.h"
#include "sql/sqlquery.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDialog>
#include <QTest>

using namespace Qt::StringLiterals;

namespace qor::testing {

void PlanScreenTest::SetUp()
{
    HarnessTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    openGeneralDataModule();
    if (HasFatalFailure())
        return;
    // No test may block on the search dialog.
    m_previousRunner = SetModalRunner([this](QDialog *dialog) {
        ++searchDialogs;
        return searchAnswer ? searchAnswer(dialog) : int(QDialog::Rejected);
    });
}

void PlanScreenTest::TearDown()
{
    if (harness)
        harness->closeScreen();
    form = nullptr;
    SetModalRunner(m_previousRunner);
    harness.reset();
    dbGeral.reset();
}

void PlanScreenTest::exec(const QString &sql, const QVariantList &values)
{
    SqlStatement statement(harness->server().db(), sql);
    for (const QVariant &value : values)
        statement.bind(value);
    statement.exec();
}

void PlanScreenTest::setWeight(const QString &patient, const QVariant &text)
{
    if (text.isNull())
        exec(u"DELETE FROM INFOAVAL WHERE CDPACIENTE = ?"_s, {patient});
    else
        exec(u"UPDATE INFOAVAL SET DSINFOAVAL = ? WHERE CDPACIENTE = ?"_s, {text, patient});
}

void PlanScreenTest::clearPlan(const QString &patient)
{
    exec(u"DELETE FROM PLAEXERFISI WHERE CDPACIENTE = ?"_s, {patient});
}

void PlanScreenTest::addPlanRow(const QString &patient, const QString &code, const QVariant &hours,
                                const QVariant &kcalPerKgHour)
{
    SqlStatement insert(harness->server().db(),
                        u"INSERT INTO PLAEXERFISI (CDFILIAL, CDPACIENTE, DTCONSPACI, "
                        u"CDEXERFISICO, QTHREXERFISI, QTENERCONSPL) VALUES (?, ?, ?, ?, ?, ?)"_s);
    insert.bind(ScreenHarness::Branch).bind(patient).bind(TFieldType::DateTime, Date());
    insert.bind(code).bind(TFieldType::Float, hours).bind(TFieldType::Float, kcalPerKgHour);
    insert.exec();
}

QVariant PlanScreenTest::storedHours(const QString &patient, const QString &code)
{
    SqlStatement query(harness->server().db(),
                       u"SELECT QTHREXERFISI FROM PLAEXERFISI WHERE CDPACIENTE = ? "
                       u"AND CDEXERFISICO = ?"_s);
    query.bind(patient).bind(code);
    query.exec();
    return query.next() ? query.value(0) : QVariant();
}

int PlanScreenTest::storedRowCount(const QString &patient)
{
    SqlStatement query(harness->server().db(),
                       u"SELECT COUNT(*) FROM PLAEXERFISI WHERE CDPACIENTE = ?"_s);
    query.bind(patient);
    query.exec();
    return query.next() ? query.value(0).toInt() : -1;
}

TfrmPlanejaExerc *PlanScreenTest::open(const QString &patient)
{
    form = harness->open(patient, u"Paciente de teste"_s);
    if (!form)
        return nullptr;
    QObject::connect(form->netPlanejaExerc->Client(), &RpcClient::callStarted, form,
                     [this](const QString &method) { ++m_calls[method]; });
    harness->mainWindow()->activateWindow();
    QApplication::setActiveWindow(harness->mainWindow());
    const bool loaded = harness->errors().isEmpty();
    form->dbgPadrao->SetFocus();
    ScreenHarness::processEvents();
    // The tests start in the grid. Leaving a blank weight edit on the way reports its
    // conversion error (the weight edit's own rule); a failed load stays reported.
    if (loaded)
        harness->clearErrors();
    return form;
}

int PlanScreenTest::column(const QString &fieldName) const
{
    return IndiceCol(form->dbgPadrao, fieldName);
}

void PlanScreenTest::clickColumn(const QString &fieldName)
{
    TDBGrid *grid = form->dbgPadrao;
    const int row = qMax(0, form->cdsPlaneja->CurrentRow());
    const QRect rect = grid->visualRect(grid->model()->index(row, column(fieldName)));
    ScreenHarness::click(grid->viewport(), rect.center());
}

void PlanScreenTest::typeText(const QString &text)
{
    // Keys go where the user's focus is: the cell editor once it has opened.
    for (QChar c : text) {
        QWidget *target = QApplication::focusWidget();
        if (!target)
            target = form->dbgPadrao;
        QTest::keyClick(target, c.toLatin1());
        ScreenHarness::processEvents();
    }
}

void PlanScreenTest::press(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QWidget *target = QApplication::focusWidget();
    if (!target)
        target = form->dbgPadrao;
    QTest::keyClick(target, key, modifiers);
    ScreenHarness::processEvents();
}

void PlanScreenTest::clickIncluir()
{
    ScreenHarness::click(form->sbtIncluir);
}

void PlanScreenTest::clickConfirmar()
{
    ScreenHarness::click(form->sbtConfirmar);
}

QString PlanScreenTest::cell(const QString &fieldName, int row) const
{
    if (row < 0)
        row = form->cdsPlaneja->CurrentRow();
    const QAbstractItemModel *model = form->dbgPadrao->model();
    return model->index(row, column(fieldName)).data(Qt::DisplayRole).toString();
}

QString PlanScreenTest::selectedFieldName() const
{
    const TField *field = form->dbgPadrao->SelectedField();
    return field ? field->FieldName() : QString();
}

void PlanScreenTest::typeNewRow(const QString &code, const QString &time)
{
    clickIncluir();
    if (!code.isEmpty())
        typeText(code);
    press(Qt::Key_Tab);
    if (time.isEmpty())
        return;
    clickColumn(u"QTHREXERFISI"_s);
    typeText(time);
    press(Qt::Key_Tab);
}

} // namespace qor::testing
