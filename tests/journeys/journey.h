#pragma once

// A dietitian's session as it happens at the desk: the host opens a consultation through
// the package's entry point, the user types into the real widgets (keys and clicks,
// offscreen), a real qor-server on a fresh SQLite or PostgreSQL database keeps what is
// saved, and the outcome is read back from that database with SQL.
//
// The helpers are named for what the user does, so that each journey reads as the
// story it tells.

#include "../screen/screenharness.h"

#include "framework/dbgeral.h"
#include "framework/modal.h"
#include "screen/frmplanejaexerc.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <ostream>

QT_BEGIN_NAMESPACE
// Texts in test failures as text.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
QT_END_NAMESPACE

namespace qor::testing {

// One line of the plan grid as the user reads it.
struct ShownRow
{
    QString code;
    QString name;
    QString kcalPerKgHour;
    QString time;
    QString kcalPerDay;
    bool operator==(const ShownRow &) const = default;
};
void PrintTo(const ShownRow &row, std::ostream *os);

// One plan row as the server stored it.
struct StoredRow
{
    QString code;
    double hours = 0;
    double kcalPerKgHour = 0;
    // Numbers as stored: equal to well below the 8 decimals the time is kept to.
    bool operator==(const StoredRow &other) const;
};
void PrintTo(const StoredRow &row, std::ostream *os);

// A failure the application's error handler showed, with what was on the screen at
// that moment.
struct ShownError
{
    QString text;
    bool busyIndicatorUp = false;
    bool hourglass = false;
};

class Journey : public HarnessTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    // --- The host ---------------------------------------------------------------
    // The host hands a consultation to the package (IniProc): branch 0001, the patient,
    // the name the host shows, and the consultation date (today by default).
    TfrmPlanejaExerc *openConsultation(const QString &patient, const QString &name,
                                       TDateTime date = Date());
    void closeScreen();

    // --- The weight -------------------------------------------------------------
    // Clicks into the weight edit and types, key by key.
    void typeWeight(const QString &keys);
    // Tab to the next control of the screen.
    void leaveWeight();

    // --- The command bar --------------------------------------------------------
    void confirm();
    // Cancel, answering the "Canc" question.
    void cancel(TModalResult answer);
    void verify();

    // --- The plan grid ----------------------------------------------------------
    // Incluir, the code typed in the code column and left with Tab, the time typed in
    // the time column and left with Tab, then Confirmar.
    void addExerciseByCode(const QString &code, const QString &hhmm);
    // Incluir, the code column's button, the search dialog driven live (the filter
    // typed, Enter), the code column left, the time typed, then Confirmar.
    void pickExerciseInSearch(const QString &filter, const QString &hhmm);
    // The steps of a new row, for the journeys that stop half-way.
    void startNewRow();
    void typeCode(const QString &code); // typed, the column not left
    void leaveColumn(); // Tab
    void typeTime(const QString &hhmm); // clicks the time cell, types; not left
    // Clicks the row's code cell.
    void selectRow(const QString &code);
    // Alterar on the row (the time column takes the focus), the new time typed, Confirmar.
    void changeTime(const QString &code, const QString &hhmm);
    // Excluir on the current row, answering Yes to "Confirma exclusão?".
    void deleteCurrentRow();

    // Keys to whatever has the focus, as the keyboard sends them.
    void typeText(const QString &text);
    void press(Qt::Key key);

    // --- What the screen shows --------------------------------------------------
    // The grid's lines, ordered by code.
    QList<ShownRow> shownPlan() const;
    // The codes of those lines.
    QStringList shownCodes() const;
    QString shownTotal() const;
    // Messages shown in dialogs (validation, questions), and failures shown by the
    // application's error handler, since the last forget().
    QStringList messages() const { return harness->dialogs().Texts(); }
    QStringList errorTexts() const;
    const QList<ShownError> &errors() const { return m_errors; }
    // The questions asked (confirmations), and everything else the user was told:
    // refusals, warnings and failures.
    QStringList questions() const { return harness->dialogs().Texts(mtConfirmation); }
    QStringList complaints() const;
    void forgetMessages();

    // --- What the server stored -------------------------------------------------
    // The consultation's plan rows, ordered by code.
    QList<StoredRow> storedPlan(const QString &patient, TDateTime date = Date());
    // DSINFOAVAL of the consultation's weight, null when there is no weight row.
    QVariant storedWeight(const QString &patient, TDateTime date = Date());
    // IDTABELAAV of the consultation's assessment method "01", null when missing.
    QVariant storedMethod(const QString &patient, TDateTime date = Date());
    int count(const QString &sql);

    // The server process: stopped and started again on the same database and port.
    void stopServer();
    void startServer();

    TfrmPlanejaExerc *form = nullptr;
    int searchDialogs = 0;

    // What the user will type into the next search dialog (empty: she cancels it).
    void setSearchFilter(const QString &filter) { m_searchFilter = filter; }
    // The window system gives the main window back its activation (after a dialog).
    void activate();

private:
    int column(const QString &fieldName) const;
    void clickCell(int row, const QString &fieldName);

    QList<ShownError> m_errors;
    ModalRunner m_previousRunner;
    QString m_searchFilter; // what the user types into the search dialog
};

// The demo's second patient: no weight and no plan yet.
inline const QString Joao = ScreenHarness::Joao;
// The demo's first patient: weight "68,5" and three planned exercises.
inline const QString Maria = ScreenHarness::Maria;

} // namespace qor::testing
