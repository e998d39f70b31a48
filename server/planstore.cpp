#include "planstore.h"

#include "deltaresolver.h"
#include "sql/sqlconnection.h"
#include "sql/sqlquery.h"
#include "tables.h"

using namespace Qt::StringLiterals;

namespace qor {

namespace {

// The weight is stored under this data type of this assessment method.
const QString WeightDataType = u"01"_s;
const QString WeightMethod = u"01"_s;

} // namespace

PlanStore::PlanStore(QSqlDatabase db)
    : m_db(std::move(db))
{ }

TDataPacket PlanStore::paciente(const QString &filial, const QString &paciente) const
{
    const SqlDialect d = dialectOf(m_db);
    SqlStatement query(
        m_db,
        u"SELECT CDFILIAL, CDPACIENTE, NMPACIENTE, %1 FROM PACIENTE "
        u"WHERE CDFILIAL = ? AND CDPACIENTE = ?"_s.arg(selectDateTime(d, u"DTNASCPACI"_s)));
    query.bind(filial).bind(paciente);
    // The birth date only gives the screen the age. Other programs writing PACIENTE may
    // leave a text that is no date there ("0000-00-00 ...", a 30 February): it is read
    // as no birth date rather than refusing the patient, and so the whole consultation.
    return query.packet(pacienteFields(), UnreadableValues::ReadAsNull);
}

TDataPacket PlanStore::peso(const QString &filial, const QString &paciente,
                            TDateTime consulta) const
{
    const SqlDialect d = dialectOf(m_db);
    SqlStatement query(m_db,
                       u"SELECT CDFILIAL, CDPACIENTE, %1, CDTBMETOAVAL, CDTIPODADO, "
                       u"DSINFOAVAL FROM INFOAVAL WHERE CDFILIAL = ? AND CDPACIENTE = ? "
                       u"AND DTCONSPACI = ? AND CDTIPODADO = ? AND CDTBMETOAVAL = ?"_s.arg(
                           selectDateTime(d, u"DTCONSPACI"_s)));
    query.bind(filial).bind(paciente).bind(TFieldType::DateTime, consulta);
    query.bind(WeightDataType).bind(WeightMethod);
    return query.packet(pesoFields());
}

TDataPacket PlanStore::planeja(const QString &filial, TDateTime consulta,
                               const QString &paciente) const
{
    const SqlDialect d = dialectOf(m_db);
    // LEFT JOIN: a plan row is shown even if its catalogue row were ever missing.
    SqlStatement query(m_db,
                       u"SELECT P.CDFILIAL, P.CDPACIENTE, %1, P.CDEXERFISICO, "
                       u"P.QTHREXERFISI, E.DSEXERFISICO, P.QTENERCONSPL, E.QTENERCONS "
                       u"FROM PLAEXERFISI P LEFT JOIN EXERFISICO E "
                       u"ON E.CDEXERFISICO = P.CDEXERFISICO "
                       u"WHERE P.CDFILIAL = ? AND P.CDPACIENTE = ? AND P.DTCONSPACI = ? "
                       u"ORDER BY P.CDEXERFISICO"_s.arg(selectDateTime(d, u"P.DTCONSPACI"_s)));
    query.bind(filial).bind(paciente).bind(TFieldType::DateTime, consulta);
    return query.packet(planejaFields());
}

TDataPacket PlanStore::verifExerc(const QString &filial, const QString &paciente,
                                  TDateTime consulta, const QString &codigo) const
{
    const SqlDialect d = dialectOf(m_db);
    SqlStatement query(m_db,
                       u"SELECT CDFILIAL, CDPACIENTE, %1, CDEXERFISICO FROM PLAEXERFISI "
                       u"WHERE CDFILIAL = ? AND CDPACIENTE = ? AND DTCONSPACI = ? "
                       u"AND CDEXERFISICO = ?"_s.arg(selectDateTime(d, u"DTCONSPACI"_s)));
    query.bind(filial).bind(paciente).bind(TFieldType::DateTime, consulta).bind(codigo);
    return query.packet(verifExercFields());
}

TDataPacket PlanStore::metoAval(const QString &filial, const QString &paciente,
                                const QString &metodo, TDateTime consulta) const
{
    const SqlDialect d = dialectOf(m_db);
    SqlStatement query(
        m_db,
        u"SELECT CDFILIAL, CDPACIENTE, %1, CDTBMETOAVAL, IDTABELAAV "
        u"FROM METOAVAL WHERE CDFILIAL = ? AND CDPACIENTE = ? "
        u"AND DTCONSPACI = ? AND CDTBMETOAVAL = ?"_s.arg(selectDateTime(d, u"DTCONSPACI"_s)));
    query.bind(filial).bind(paciente).bind(TFieldType::DateTime, consulta).bind(metodo);
    return query.packet(metoAvalFields());
}

void PlanStore::setPeso(const TDelta &delta) const
{
    applyDelta(m_db, infoAvalTable(), delta);
}

void PlanStore::setPlaneja(const TDelta &delta) const
{
    applyDelta(m_db, plaExerFisiTable(), delta);
}

void PlanStore::setMetoAval(const TDelta &delta) const
{
    applyDelta(m_db, metoAvalTable(), delta);
}

} // namespace qor
