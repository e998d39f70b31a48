#pragma once

// The exercise-planning screen as a user meets it, for the tests of the energy figures,
// the time field and exercise entry: a real qor-server on a fresh database of the
// backend under test, the host's general data module on the same database's catalogue
// (named in the host's settings), the screen opened through IniProc on a demo
// consultation, and the real grid typed into with QTest.

#include "screenharness.h"

#include "framework/dbgeral.h"
#include "framework/modal.h"

#include <QHash>
#include <QStringList>
#include <QVariantList>
#include <memory>

namespace qor {
class TField;
}

namespace qor::testing {

class PlanScreenTest : public HarnessTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    // The database behind the server, changed before opening (or behind the screen's
    // back, as another workstation would).
    void exec(const QString &sql, const QVariantList &values = {});
    // The weight text of the patient's consultation today; a null text removes the row.
    void setWeight(const QString &patient, const QVariant &text);
    void clearPlan(const QString &patient);
    // hours and kcalPerKgHour may be null.
    void addPlanRow(const QString &patient, const QString &code, const QVariant &hours,
                    const QVariant &kcalPerKgHour);
    // QTHREXERFISI of the patient's stored plan row, or a null variant.
    QVariant storedHours(const QString &patient, const QString &code);
    int storedRowCount(const QString &patient);

    // Opens the screen on the patient's consultation of today and starts counting the
    // plan service calls it makes from then on.
    TfrmPlanejaExerc *open(const QString &patient = ScreenHarness::Maria);

    // The grid as the user works it.
    int column(const QString &fieldName) const;
    // Clicks the cell of the current row in the column of the field.
    void clickColumn(const QString &fieldName);
    void typeText(const QString &text);
    void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // A new row from the command bar, as the user adds an exercise.
    void clickIncluir();
    void clickConfirmar();
    // The text the grid shows in the current row (or the given row) for the field.
    QString cell(const QString &fieldName, int row = -1) const;
    QString selectedFieldName() const;
    // A new row with the code typed in the code column, then the time in the time
    // column (both left with Tab); empty texts are not typed.
    void typeNewRow(const QString &code, const QString &time);

    int calls(const QString &method) const { return m_calls.value(method); }
    QStringList messages() { return harness->dialogs().Texts(); }
    QStringList errors() const { return harness->errors(); }

    TfrmPlanejaExerc *form = nullptr;
    // How the search dialog is answered; by default it is cancelled and counted.
    std::function<int(QDialog *)> searchAnswer;
    int searchDialogs = 0;

private:
    QHash<QString, int> m_calls;
    ModalRunner m_previousRunner;
};

} // namespace qor::testing
