#include "screen/frmplanejaexerc.h"

// Not written yet: the handlers below do nothing until this concern is filled in.

namespace qor {

void TfrmPlanejaExerc::cdsPlanejaAfterPost(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
}

void TfrmPlanejaExerc::cdsPesoAfterPost(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
}

void TfrmPlanejaExerc::cdsMetoAvalAfterPost(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
}

void TfrmPlanejaExerc::cdsPesoAfterCancel(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
}

void TfrmPlanejaExerc::cdsPlanejaAfterCancel(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
}

} // namespace qor
