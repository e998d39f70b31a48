#pragma once

// The screen as the command-state, saving and weight tests meet it: opened through the
// host's entry point against a real qor-server, the catalogue on the same database, an
// observer on the screen's client connection, and direct SQL to read back the outcome.
#include "screenharness.h"

#include "framework/dbgeral.h"
#include "screen/frmplanejaexerc.h"

#include <QJsonArray>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace qor::testing {

// One plan service call the screen made: the method and its parameters.
struct ObservedCall
{
    QString method;
    QJsonArray params;
};

class ScreenFixture : public HarnessTest
{
public:
    void SetUp() override;
    void TearDown() override;

    // Opens the consultation of today for the patient and starts observing its calls.
    TfrmPlanejaExerc *open(const QString &patient);
    // Methods called since open() or the last clearCalls(), in order.
    QStringList methods() const;
    void clearCalls() { calls.clear(); }
    // Stops the server when the screen starts calling method: the call then meets a
    // server that is gone, as when the server goes down at that moment.
    void stopServerOn(const QString &method) { m_stopOn = method; }
    // Starts the stopped server again on the same database and port.
    void restartServer();

    // Direct SQL on the server's database.
    void exec(const QString &sql, const QVariantList &values = {});
    int count(const QString &sql, const QVariantList &values = {});
    // The first column of the first row (null when there is none).
    QVariant scalar(const QString &sql, const QVariantList &values = {});
    // Rows of the consultation's plan, and its weight text (null without a row).
    int planRows(const QString &patient);
    // Another workstation plans 002120 (2 h, 5.3) beside the patient's 017190 row.
    void planElsewhere(const QString &patient);
    QVariant storedWeight(const QString &patient);

    // Types into the weight edit as the user does, key by key; '<' is the Left arrow
    // and '\b' Backspace.
    void typeWeight(const QString &keys);
    // The weight edit loses the focus.
    void leaveWeight();
    // Types into the plan grid's selected cell, key by key.
    void typeInGrid(const QString &keys);
    // Adds a plan row through the grid: the new-record command, the code typed in the
    // code column, the time typed in the time column; then the confirm command.
    void addPlanRow(const QString &code, const QString &hhmm);

    std::unique_ptr<TdtmDBGeral> catalogue;
    TfrmPlanejaExerc *form = nullptr;
    QList<ObservedCall> calls;

private:
    QString m_stopOn;
};

} // namespace qor::testing
