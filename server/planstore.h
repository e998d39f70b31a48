#pragma once

#include "data/packet.h"
#include "rtl/datetime.h"

#include <QSqlDatabase>

namespace qor {

// The plan service's reads and writes over one database connection (the calling
// worker thread's). Reads return packets with the screen's field metadata; writes
// apply a delta in one transaction (see applyDelta).
class PlanStore
{
public:
    explicit PlanStore(QSqlDatabase db);

    TDataPacket paciente(const QString &filial, const QString &paciente) const;
    // The weight: the assessment row of data type "01" under method "01".
    TDataPacket peso(const QString &filial, const QString &paciente, TDateTime consulta) const;
    // Plan rows with the catalogue's name and energy cost, in code order.
    TDataPacket planeja(const QString &filial, TDateTime consulta, const QString &paciente) const;
    TDataPacket verifExerc(const QString &filial, const QString &paciente, TDateTime consulta,
                           const QString &codigo) const;
    TDataPacket metoAval(const QString &filial, const QString &paciente, const QString &metodo,
                         TDateTime consulta) const;

    void setPeso(const TDelta &delta) const;
    void setPlaneja(const TDelta &delta) const;
    void setMetoAval(const TDelta &delta) const;

private:
    QSqlDatabase m_db;
};

} // namespace qor
