#include "journey.h"

#include "data/clientdataset.h"
#include "forms/application.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/edit.h"
#include "forms/screen.h"
#include "framework/buttonflat.h"
#include "framework/consiste.h"
#include "framework/showavi.h"
#include "framework/velmora.h"
#include "sql/sqlquery.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace qor::testing {

void PrintTo(const ShownRow &row, std::ostream *os)
{
    *os << '{' << row.code.toStdString() << " | " << row.name.toStdString() << " | "
        << row.kcalPerKgHour.toStdString() << " | " << row.time.toStdString() << " | "
        << row.kcalPerDay.toStdString() << '}';
}

bool StoredRow::operator==(const StoredRow &other) const
{
    return code == other.code && std::abs(hours - other.hours) < 1e-9
        && std::abs(kcalPerKgHour - other.kcalPerKgHour) < 1e-9;
}

void PrintTo(const StoredRow &row, std::ostream *os)
{
    *os << '{' << row.code.toStdString() << ", " << row.hours << " h, " << row.kcalPerKgHour
        << " kcal/kg/h}";
}

void Journey::SetUp()
{
    HarnessTest::SetUp();
    if (IsSkipped() || HasFatalFailure())
        return;
    openGeneralDataModule();
    if (HasFatalFailure())
        return;

    // What the user sees when a failure reaches the error handler, and whether the busy
    // indicator and the hourglass were still up over it.
    Application()->OnException = [this](const QString &message) {
        m_errors.append(
            {message, ShowAviVisible(),
             Screen()->Cursor() == crHourGlass || QApplication::overrideCursor() != nullptr});
    };
    // The search dialog runs live; the user types the filter and presses Enter. Nothing
    // may block on a real modal loop.
    m_previousRunner = SetModalRunner([this](QDialog *dialog) {
        ++searchDialogs;
        auto *filter = dialog->findChild<QLineEdit *>(u"edtPesquisa"_s);
        if (!filter || m_searchFilter.isEmpty())
            return int(QDialog::Rejected);
        dialog->show();
        QTest::keyClicks(filter, m_searchFilter);
        QTest::keyClick(filter, Qt::Key_Return);
        dialog->hide();
        return dialog->result();
    });
}

void Journey::TearDown()
{
    if (!harness)
        return;
    // The screen's queries go before the catalogue connection, and that before the
    // database is dropped.
    Application()->DestroyForms();
    ScreenHarness::processEvents();
    form = nullptr;
    SetModalRunner(m_previousRunner);
    SetDtmDBGeral(nullptr);
    dbGeral.reset();
    harness.reset();
}

TfrmPlanejaExerc *Journey::openConsultation(const QString &patient, const QString &name,
                                            TDateTime date)
{
    form = harness->open(patient, name, date);
    if (form)
        activate();
    return form;
}

void Journey::activate()
{
    harness->mainWindow()->activateWindow();
    QApplication::setActiveWindow(harness->mainWindow());
    ScreenHarness::processEvents();
}

void Journey::closeScreen()
{
    harness->closeScreen();
    form = nullptr;
}

void Journey::typeWeight(const QString &keys)
{
    ScreenHarness::click(form->dbePeso);
    typeText(keys);
}

void Journey::leaveWeight()
{
    if (!form->dbePeso->hasFocus())
        QTest::mouseClick(form->dbePeso, Qt::LeftButton);
    press(Qt::Key_Tab);
}

void Journey::confirm()
{
    ScreenHarness::click(form->sbtConfirmar);
}

void Journey::cancel(TModalResult answer)
{
    harness->dialogs().QueueAnswer(answer);
    ScreenHarness::click(form->sbtCancelar);
}

void Journey::verify()
{
    ScreenHarness::click(form->sbtVerificar);
}

void Journey::startNewRow()
{
    ScreenHarness::click(form->sbtIncluir);
}

void Journey::typeCode(const QString &code)
{
    typeText(code);
}

void Journey::leaveColumn()
{
    press(Qt::Key_Tab);
}

void Journey::typeTime(const QString &hhmm)
{
    clickCell(form->cdsPlaneja->CurrentRow(), u"QTHREXERFISI"_s);
    typeText(hhmm);
}

void Journey::addExerciseByCode(const QString &code, const QString &hhmm)
{
    startNewRow();
    typeCode(code);
    leaveColumn();
    typeTime(hhmm);
    leaveColumn();
    confirm();
}

void Journey::pickExerciseInSearch(const QString &filter, const QString &hhmm)
{
    startNewRow();
    QAbstractButton *button = form->dbgPadrao->EditButton();
    if (!button) {
        ADD_FAILURE() << "the code column of a new row shows no search button";
        return;
    }
    m_searchFilter = filter;
    ScreenHarness::click(button);
    m_searchFilter.clear();
    // The window system gives the main window back its activation when the dialog
    // closes; the offscreen platform leaves no window active.
    activate();
    // The pick is checked when the code column is left, as a typed code is.
    clickCell(form->cdsPlaneja->CurrentRow(), u"CDEXERFISICO"_s);
    leaveColumn();
    typeTime(hhmm);
    leaveColumn();
    confirm();
}

void Journey::selectRow(const QString &code)
{
    const QAbstractItemModel *model = form->dbgPadrao->model();
    const int codeColumn = column(u"CDEXERFISICO"_s);
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, codeColumn).data(Qt::DisplayRole).toString() == code) {
            clickCell(row, u"CDEXERFISICO"_s);
            return;
        }
    }
    ADD_FAILURE() << "no line of the grid shows the exercise " << code.toStdString();
}

void Journey::changeTime(const QString &code, const QString &hhmm)
{
    selectRow(code);
    ScreenHarness::click(form->sbtAlterar);
    // The edit command has put the focus on the time of the row; the user types over
    // it and confirms without leaving the cell.
    typeText(hhmm);
    confirm();
}

void Journey::deleteCurrentRow()
{
    harness->dialogs().QueueAnswer(mrYes);
    ScreenHarness::click(form->sbtExcluir);
}

void Journey::typeText(const QString &text)
{
    for (const QChar c : text) {
        QWidget *target = QApplication::focusWidget();
        if (!target)
            target = form->dbgPadrao;
        QTest::keyClick(target, c.toLatin1());
        ScreenHarness::processEvents();
    }
}

void Journey::press(Qt::Key key)
{
    QWidget *target = QApplication::focusWidget();
    if (!target)
        target = form->dbgPadrao;
    QTest::keyClick(target, key);
    ScreenHarness::processEvents();
}

int Journey::column(const QString &fieldName) const
{
    return IndiceCol(form->dbgPadrao, fieldName);
}

void Journey::clickCell(int row, const QString &fieldName)
{
    TDBGrid *grid = form->dbgPadrao;
    const QModelIndex index = grid->model()->index(qMax(0, row), column(fieldName));
    grid->scrollTo(index);
    ScreenHarness::click(grid->viewport(), grid->visualRect(index).center());
}

QStringList Journey::shownCodes() const
{
    QStringList codes;
    for (const ShownRow &row : shownPlan())
        codes.append(row.code);
    return codes;
}

QList<ShownRow> Journey::shownPlan() const
{
    const QAbstractItemModel *model = form->dbgPadrao->model();
    auto text = [&](int row, const QString &fieldName) {
        return model->index(row, column(fieldName)).data(Qt::DisplayRole).toString();
    };
    QList<ShownRow> rows;
    for (int row = 0; row < model->rowCount(); ++row) {
        rows.append({text(row, u"CDEXERFISICO"_s), text(row, u"DSEXERFISICO"_s),
                     text(row, u"QTENERCONSPL"_s), text(row, u"QTHREXERFISI"_s),
                     text(row, u"Kcal/Dia"_s)});
    }
    std::sort(rows.begin(), rows.end(),
              [](const ShownRow &a, const ShownRow &b) { return a.code < b.code; });
    return rows;
}

QString Journey::shownTotal() const
{
    return form->edtTotal->Text();
}

QStringList Journey::errorTexts() const
{
    QStringList texts;
    for (const ShownError &error : m_errors)
        texts.append(error.text);
    return texts;
}

QStringList Journey::complaints() const
{
    QStringList texts;
    for (const TDialogMessage &message : harness->dialogs().Messages()) {
        if (message.Kind != mtConfirmation)
            texts.append(message.Text);
    }
    return texts + errorTexts();
}

void Journey::forgetMessages()
{
    harness->dialogs().Clear();
    m_errors.clear();
}

QList<StoredRow> Journey::storedPlan(const QString &patient, TDateTime date)
{
    SqlStatement query(harness->server().db(),
                       u"SELECT CDEXERFISICO, QTHREXERFISI, QTENERCONSPL FROM PLAEXERFISI "
                       u"WHERE CDFILIAL = ? AND CDPACIENTE = ? AND DTCONSPACI = ? "
                       u"ORDER BY CDEXERFISICO"_s);
    query.bind(ScreenHarness::Branch).bind(patient).bind(TFieldType::DateTime, date);
    query.exec();
    QList<StoredRow> rows;
    while (query.next())
        rows.append(
            {query.value(0).toString(), query.value(1).toDouble(), query.value(2).toDouble()});
    return rows;
}

QVariant Journey::storedWeight(const QString &patient, TDateTime date)
{
    SqlStatement query(harness->server().db(),
                       u"SELECT DSINFOAVAL FROM INFOAVAL WHERE CDFILIAL = ? AND CDPACIENTE = ? "
                       u"AND DTCONSPACI = ? AND CDTBMETOAVAL = '01' AND CDTIPODADO = '01'"_s);
    query.bind(ScreenHarness::Branch).bind(patient).bind(TFieldType::DateTime, date);
    query.exec();
    return query.next() ? query.value(0) : QVariant();
}

QVariant Journey::storedMethod(const QString &patient, TDateTime date)
{
    SqlStatement query(harness->server().db(),
                       u"SELECT IDTABELAAV FROM METOAVAL WHERE CDFILIAL = ? AND CDPACIENTE = ? "
                       u"AND DTCONSPACI = ? AND CDTBMETOAVAL = '01'"_s);
    query.bind(ScreenHarness::Branch).bind(patient).bind(TFieldType::DateTime, date);
    query.exec();
    return query.next() ? query.value(0) : QVariant();
}

int Journey::count(const QString &sql)
{
    SqlStatement query(harness->server().db(), sql);
    query.exec();
    return query.next() ? query.value(0).toInt() : -1;
}

void Journey::stopServer()
{
    harness->server().stop();
    ASSERT_FALSE(harness->server().isRunning());
}

void Journey::startServer()
{
    QString error;
    ASSERT_TRUE(harness->server().start(&error)) << error.toStdString();
}

} // namespace qor::testing
