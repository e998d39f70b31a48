#include "screen/frmplanejaexerc.h"

// Not written yet: the handlers below do nothing until this concern is filled in.

namespace qor {

void TfrmPlanejaExerc::cdsPlanejaCalcFields(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
}

void TfrmPlanejaExerc::cdsPlanejaAfterOpen(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
}

void TfrmPlanejaExerc::Atualiza_KcalDia() { }

} // namespace qor
