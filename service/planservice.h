#pragma once

#include "data/packet.h"
#include "rtl/datetime.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace qor {

class TNetConnection;

// The plan service rdmPlanejaExerc as the screen calls it: every method by its name,
// with positional parameters in the order the server expects. Strings travel as JSON
// strings, the consultation date as an ISO date-time string, deltas as delta objects.
// Each method returns the raw result for CheckResultServ(result, true, 0); the client
// itself neither retries nor reports, and a transport failure raises.
class PlanService
{
public:
    explicit PlanService(TNetConnection *connection)
        : m_connection(connection)
    { }

    QJsonObject GetPaciente(const QString &cdFilial, const QString &cdPaciente) const;
    QJsonObject GetPeso(const QString &cdFilial, const QString &cdPaciente,
                        TDateTime dtConsulta) const;
    // The date comes second and the patient third, unlike the other readers.
    QJsonObject GetPlaneja(const QString &cdFilial, TDateTime dtConsulta,
                           const QString &cdPaciente) const;
    QJsonObject VerifExerc(const QString &cdFilial, const QString &cdPaciente, TDateTime dtConsulta,
                           const QString &cdExerFisico) const;
    QJsonObject GetMetoAval(const QString &cdFilial, const QString &cdPaciente,
                            const QString &cdTbMetoAval, TDateTime dtConsulta) const;
    QJsonObject SetPeso(const TDelta &delta) const;
    QJsonObject SetPlaneja(const TDelta &delta) const;
    QJsonObject SetMetoAval(const TDelta &delta) const;

    // Calls sent so far on the connection: a call that failed with the count unchanged
    // never reached the server.
    quint64 CallsSent() const;

    // A consultation date as it travels.
    static QJsonValue encodeDate(TDateTime value);

private:
    QJsonObject call(const QString &method, const QJsonArray &params) const;

    TNetConnection *m_connection;
};

} // namespace qor
