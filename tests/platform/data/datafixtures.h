#pragma once

// Shared pieces of the data-layer tests: a plan-like client dataset, a recording
// control and a recorder for the dataset's events.
#include "data/clientdataset.h"
#include "data/datasource.h"

#include <QStringList>
#include <memory>

namespace qor::testing {

// Records what a data-aware control hears.
class RecordingLink : public TDataLink
{
public:
    void dataEvent(TDataEvent event, TField *field) override;
    QStringList events;
    std::function<void(TDataEvent)> onEvent; // lets a test act like a control
};

QString eventName(TDataEvent event);
QString stateName(TDataSetState state);

// Subscribes to every event of a dataset, and to the state changes of a data source,
// appending their names to one list in the order they fire.
struct EventLog
{
    void attach(TDataSet *dataSet, TDataSource *source = nullptr);
    QStringList entries;
};

// Two string fields (CODE s6, NAME s20), a float HOURS and a date-time DAY, and a
// calculated float DOUBLE = HOURS x 2 counting its runs.
struct SmallTable
{
    SmallTable();
    // Rows of (code, name, hours); day null. Opens the dataset.
    void load(const QList<std::tuple<QString, QString, double>> &rows);
    QStringList codes(); // the CODE of every row, in order
    void resetCalcLog();

    std::unique_ptr<TClientDataSet> dataSet;
    TField *code = nullptr;
    TField *name = nullptr;
    TField *hours = nullptr;
    TField *day = nullptr;
    TField *doubled = nullptr;
    int calcRuns = 0;
    QStringList calcCodes; // CODE of the row each run calculated
    QList<TDataSetState> calcStates; // the dataset's state inside each run
    QList<bool> calcClearedOnEntry; // DOUBLE was null when each run began
};

} // namespace qor::testing
