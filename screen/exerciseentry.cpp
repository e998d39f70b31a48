#include "screen/frmplanejaexerc.h"

// Not written yet: the handlers below do nothing until this concern is filled in.

namespace qor {

void TfrmPlanejaExerc::Vd_Codigo(bool EmptyIsError)
{
    Q_UNUSED(EmptyIsError)
}

void TfrmPlanejaExerc::dbgPadraoKeyPress(QObject *Sender, QChar &Key)
{
    Q_UNUSED(Sender)
    Q_UNUSED(Key)
}

void TfrmPlanejaExerc::dbgPadraoColExit(QObject *Sender)
{
    Q_UNUSED(Sender)
}

void TfrmPlanejaExerc::dbgPadraoEditButtonClick(QObject *Sender)
{
    Q_UNUSED(Sender)
}

void TfrmPlanejaExerc::cdsPlanejaBeforeInsert(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
}

void TfrmPlanejaExerc::cdsPlanejaBeforePost(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
}

void TfrmPlanejaExerc::cdsPlanejaNewRecord(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
}

} // namespace qor
