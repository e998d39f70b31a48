#pragma once

// Shared pieces of the forms tests: a small plan-like client dataset, a window that
// holds a grid, a data-aware edit and a plain edit, and keyboard helpers that type
// into whatever has the focus, as a user would.
#include "data/clientdataset.h"
#include "data/datasource.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/edit.h"
#include "forms/scripteddialogs.h"

#include <QMainWindow>
#include <QMdiArea>
#include <QStringList>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <tuple>

namespace qor::testing {

// CODE (string 6, "Código"), NAME (string 20), HOURS (float typed as HH:MM under the
// mask "00:00"; the set-text handler refuses blanks), and KCAL = HOURS x 2, calculated.
struct PlanData
{
    PlanData();
    // Rows of (code, name, hours); a negative hours value leaves HOURS null.
    void load(const QList<std::tuple<QString, QString, double>> &rows);
    QStringList codes() const;

    std::unique_ptr<TClientDataSet> dataSet;
    TDataSource source;
    TField *code = nullptr;
    TField *name = nullptr;
    TField *hours = nullptr;
    TField *kcal = nullptr;
    QStringList hoursTexts; // every text the HOURS set-text handler received
};

// A top-level window: the grid over PlanData (columns CODE, NAME read-only, HOURS,
// KCAL), a data-aware edit on NAME and a plain edit to move the focus to.
class GridWindow : public QWidget
{
public:
    explicit GridWindow(PlanData &data);
    // Shows the window, waits until it is active and gives the grid the focus.
    bool showActive();

    TDBGrid *grid;
    TDBEdit *dbEdit;
    TEdit *other;
};

// The host's main window with an MDI area, the application's main form for the test.
class MdiTest : public ::testing::Test
{
public:
    void SetUp() override;
    void TearDown() override;

    ScopedScriptedDialogs dialogs;
    QMainWindow main;
    QMdiArea *area = new QMdiArea;
};

// Keys typed into the focus widget, as a user's keyboard would.
void typeText(const QString &text);
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Lets queued work (deferred editors, deleteLater) run.
void settle();

// Test-case tables print as their names.
template <typename Case>
requires requires(const Case &c)
{
    c.name;
}
void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

} // namespace qor::testing
