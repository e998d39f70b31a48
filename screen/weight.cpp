#include "screen/frmplanejaexerc.h"

// Not written yet: the handlers below do nothing until this concern is filled in.

namespace qor {

void TfrmPlanejaExerc::dbePesoKeyPress(QObject *Sender, QChar &Key)
{
    Q_UNUSED(Sender)
    Q_UNUSED(Key)
}

void TfrmPlanejaExerc::dbePesoExit(QObject *Sender)
{
    Q_UNUSED(Sender)
}

void TfrmPlanejaExerc::cdsPesoBeforePost(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
}

void TfrmPlanejaExerc::sbtConfirmarClick(QObject *Sender)
{
    TfrmPadraoGrid::sbtConfirmarClick(Sender);
}

void TfrmPlanejaExerc::sbtCancelarClick(QObject *Sender)
{
    TfrmPadraoGrid::sbtCancelarClick(Sender);
}

} // namespace qor
