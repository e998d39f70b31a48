#include "screen/frmplanejaexerc.h"

// Not written yet: the handlers below do nothing until this concern is filled in.

namespace qor {

void TfrmPlanejaExerc::dtsPadraoStateChange(QObject *Sender)
{
    TfrmPadraoGrid::dtsPadraoStateChange(Sender);
}

void TfrmPlanejaExerc::dtsPesoStateChange(QObject *Sender)
{
    Q_UNUSED(Sender)
}

void TfrmPlanejaExerc::sbtVerificarClick(QObject *Sender)
{
    Q_UNUSED(Sender)
}

void TfrmPlanejaExerc::sbtAlterarClick(QObject *Sender)
{
    TfrmPadraoGrid::sbtAlterarClick(Sender);
}

} // namespace qor
