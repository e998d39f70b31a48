#include "service/planservice.h"

#include "framework/netconnection.h"
#include "rtl/exceptions.h"

using namespace Qt::StringLiterals;

namespace qor {

QJsonValue PlanService::encodeDate(TDateTime value)
{
    return encodeValue(TFieldType::DateTime, QVariant(value));
}

quint64 PlanService::CallsSent() const
{
    return m_connection ? m_connection->CallsSent() : 0;
}

QJsonObject PlanService::call(const QString &method, const QJsonArray &params) const
{
    if (!m_connection)
        throw Exception(u"Sem conexão com o servidor de aplicação."_s);
    return m_connection->AppServer()->Call(method, params);
}

QJsonObject PlanService::GetPaciente(const QString &cdFilial, const QString &cdPaciente) const
{
    return call(u"GetPaciente"_s, {cdFilial, cdPaciente});
}

QJsonObject PlanService::GetPeso(const QString &cdFilial, const QString &cdPaciente,
                                 TDateTime dtConsulta) const
{
    return call(u"GetPeso"_s, {cdFilial, cdPaciente, encodeDate(dtConsulta)});
}

QJsonObject PlanService::GetPlaneja(const QString &cdFilial, TDateTime dtConsulta,
                                    const QString &cdPaciente) const
{
    return call(u"GetPlaneja"_s, {cdFilial, encodeDate(dtConsulta), cdPaciente});
}

QJsonObject PlanService::VerifExerc(const QString &cdFilial, const QString &cdPaciente,
                                    TDateTime dtConsulta, const QString &cdExerFisico) const
{
    return call(u"VerifExerc"_s, {cdFilial, cdPaciente, encodeDate(dtConsulta), cdExerFisico});
}

QJsonObject PlanService::GetMetoAval(const QString &cdFilial, const QString &cdPaciente,
                                     const QString &cdTbMetoAval, TDateTime dtConsulta) const
{
    return call(u"GetMetoAval"_s, {cdFilial, cdPaciente, cdTbMetoAval, encodeDate(dtConsulta)});
}

QJsonObject PlanService::SetPeso(const TDelta &delta) const
{
    return call(u"SetPeso"_s, {encodeDelta(delta)});
}

QJsonObject PlanService::SetPlaneja(const TDelta &delta) const
{
    return call(u"SetPlaneja"_s, {encodeDelta(delta)});
}

QJsonObject PlanService::SetMetoAval(const TDelta &delta) const
{
    return call(u"SetMetoAval"_s, {encodeDelta(delta)});
}

} // namespace qor
