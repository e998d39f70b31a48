#pragma once

// A second workstation working on the same consultation as the screen.
//
// Why not a second screen: the package keeps one screen per process (a second
// IniProc shows the same instance), and a second qor-host process cannot be typed into
// from a test. So the other workstation is what a screen is underneath: its own
// TNetConnection (its own TCP connection, authenticated with the installation's token
// from the same settings), the plan service client and a TClientDataSet with its change
// log, saving each change at once with the same apply-delta steps (send the delta,
// check the result, merge, or cancel the updates on failure). To qor-server it is just
// another client.

#include "data/clientdataset.h"
#include "framework/netconnection.h"
#include "rtl/datetime.h"
#include "service/planservice.h"

#include <QString>
#include <QStringList>

namespace qor::testing {

class OtherWorkstation
{
public:
    OtherWorkstation();

    // Loads the consultation's plan (GetPlaneja).
    void openConsultation(const QString &cdFilial, const QString &cdPaciente, TDateTime dtConsulta);
    // Reloads the plan from the server (the verify command of this workstation).
    void verify();

    // Each change is saved at once; the result is the failure message the user would
    // read, empty when the server took the change. A refused change is rolled back.
    QString addExercise(const QString &code, double hours, double kcalPerKgHour);
    QString changeHours(const QString &code, double hours);
    QString deleteExercise(const QString &code);
    // Records the consultation's weight as a screen does: the assessment method "01"
    // first when the consultation has none, then the weight row.
    QString recordWeight(const QString &text);

    // The codes of the rows this workstation holds, in its dataset's order.
    QStringList codes();
    // The hours of a row it holds; -1 when it holds no such row.
    double hours(const QString &code);
    int pendingChanges() const { return m_plan.ChangeCount(); }

private:
    QString save();
    PlanService service() { return PlanService(&m_connection); }

    TNetConnection m_connection;
    TClientDataSet m_plan;
    QString m_cdFilial;
    QString m_cdPaciente;
    TDateTime m_dtConsulta = 0;
};

} // namespace qor::testing
