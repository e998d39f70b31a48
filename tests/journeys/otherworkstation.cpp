#include "otherworkstation.h"

#include "data/field.h"
#include "framework/consiste.h"
#include "framework/velmora.h"
#include "rtl/exceptions.h"

using namespace Qt::StringLiterals;

namespace qor::testing {

OtherWorkstation::OtherWorkstation()
{
    m_connection.BeforeConnect = [this](QObject *) {
        m_connection.Host = WebURL();
        m_connection.Port = WebPort();
    };
}

void OtherWorkstation::openConsultation(const QString &cdFilial, const QString &cdPaciente,
                                        TDateTime dtConsulta)
{
    m_cdFilial = cdFilial;
    m_cdPaciente = cdPaciente;
    m_dtConsulta = dtConsulta;
    verify();
}

void OtherWorkstation::verify()
{
    m_plan.SetData(
        CheckResultServ(service().GetPlaneja(m_cdFilial, m_dtConsulta, m_cdPaciente), true, 0));
}

QString OtherWorkstation::addExercise(const QString &code, double hours, double kcalPerKgHour)
{
    m_plan.Append();
    m_plan.FieldByName(u"CDFILIAL"_s)->SetAsString(m_cdFilial);
    m_plan.FieldByName(u"CDPACIENTE"_s)->SetAsString(m_cdPaciente);
    m_plan.FieldByName(u"DTCONSPACI"_s)->SetAsDateTime(m_dtConsulta);
    m_plan.FieldByName(u"CDEXERFISICO"_s)->SetAsString(code);
    m_plan.FieldByName(u"QTHREXERFISI"_s)->SetAsFloat(hours);
    m_plan.FieldByName(u"QTENERCONSPL"_s)->SetAsFloat(kcalPerKgHour);
    m_plan.Post();
    return save();
}

QString OtherWorkstation::changeHours(const QString &code, double hours)
{
    if (!m_plan.Locate(u"CDEXERFISICO"_s, code))
        return u"(this workstation holds no row %1)"_s.arg(code);
    m_plan.Edit();
    m_plan.FieldByName(u"QTHREXERFISI"_s)->SetAsFloat(hours);
    m_plan.Post();
    return save();
}

QString OtherWorkstation::deleteExercise(const QString &code)
{
    if (!m_plan.Locate(u"CDEXERFISICO"_s, code))
        return u"(this workstation holds no row %1)"_s.arg(code);
    m_plan.Delete();
    return save();
}

QString OtherWorkstation::recordWeight(const QString &text)
{
    try {
        TClientDataSet method;
        method.SetData(CheckResultServ(
            service().GetMetoAval(m_cdFilial, m_cdPaciente, u"01"_s, m_dtConsulta), true, 0));
        if (method.IsEmpty()) {
            method.Append();
            method.FieldByName(u"CDFILIAL"_s)->SetAsString(m_cdFilial);
            method.FieldByName(u"CDPACIENTE"_s)->SetAsString(m_cdPaciente);
            method.FieldByName(u"DTCONSPACI"_s)->SetAsDateTime(m_dtConsulta);
            method.FieldByName(u"CDTBMETOAVAL"_s)->SetAsString(u"01"_s);
            method.FieldByName(u"IDTABELAAV"_s)->SetAsString(u"N"_s);
            method.Post();
            CheckResultServ(service().SetMetoAval(method.Delta()), true, 0);
        }
        TClientDataSet weight;
        weight.SetData(
            CheckResultServ(service().GetPeso(m_cdFilial, m_cdPaciente, m_dtConsulta), true, 0));
        if (weight.IsEmpty()) {
            weight.Append();
            weight.FieldByName(u"CDFILIAL"_s)->SetAsString(m_cdFilial);
            weight.FieldByName(u"CDPACIENTE"_s)->SetAsString(m_cdPaciente);
            weight.FieldByName(u"DTCONSPACI"_s)->SetAsDateTime(m_dtConsulta);
            weight.FieldByName(u"CDTIPODADO"_s)->SetAsString(u"01"_s);
            weight.FieldByName(u"CDTBMETOAVAL"_s)->SetAsString(u"01"_s);
        } else {
            weight.Edit();
        }
        weight.FieldByName(u"DSINFOAVAL"_s)->SetAsString(text);
        weight.Post();
        CheckResultServ(service().SetPeso(weight.Delta()), true, 0);
        return {};
    } catch (const Exception &failure) {
        return failure.Message();
    }
}

QString OtherWorkstation::save()
{
    try {
        CheckResultServ(service().SetPlaneja(m_plan.Delta()), true, 0);
        m_plan.MergeChangeLog();
        return {};
    } catch (const Exception &failure) {
        m_plan.CancelUpdates();
        return failure.Message();
    }
}

QStringList OtherWorkstation::codes()
{
    QStringList result;
    TField *code = m_plan.FieldByName(u"CDEXERFISICO"_s);
    for (int row = 0; row < m_plan.RecordCount(); ++row)
        result.append(m_plan.TextAt(row, code, false));
    return result;
}

double OtherWorkstation::hours(const QString &code)
{
    if (!m_plan.Locate(u"CDEXERFISICO"_s, code))
        return -1;
    return m_plan.FieldByName(u"QTHREXERFISI"_s)->AsFloat();
}

} // namespace qor::testing
