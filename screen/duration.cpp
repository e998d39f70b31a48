#include "screen/frmplanejaexerc.h"

// Not written yet: the handlers below do nothing until this concern is filled in.

namespace qor {

void TfrmPlanejaExerc::cdsPlanejaQTHREXERFISIGetText(TField *Sender, QString &Text,
                                                     bool DisplayText)
{
    Q_UNUSED(Sender)
    Q_UNUSED(Text)
    Q_UNUSED(DisplayText)
}

void TfrmPlanejaExerc::cdsPlanejaQTHREXERFISISetText(TField *Sender, const QString &Text)
{
    Q_UNUSED(Sender)
    Q_UNUSED(Text)
}

void TfrmPlanejaExerc::Vd_Hora(const QString &Text)
{
    Q_UNUSED(Text)
}

long double TfrmPlanejaExerc::StTimeToReal(const QString &Text)
{
    Q_UNUSED(Text)
    return 0;
}

QString TfrmPlanejaExerc::RealToStTime(double Value)
{
    Q_UNUSED(Value)
    return QString();
}

} // namespace qor
