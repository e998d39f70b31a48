#include "screen/frmplanejaexerc.h"

#include "data/clientdataset.h"
#include "module/Cli_qor12700.h"

namespace qor {

TfrmPlanejaExerc::TfrmPlanejaExerc(QWidget *parent)
    : TfrmPadraoGrid(parent)
{
    createDataModel();
}

TfrmPlanejaExerc::~TfrmPlanejaExerc()
{
    // Destroyed without closing (the application going away): the context must not
    // point at a screen that no longer exists.
    if (frmPlanejaExerc == this) {
        frmPlanejaExerc = nullptr;
        boIdCriado = false;
    }
}

bool TfrmPlanejaExerc::EditingInProgress() const
{
    const auto editing = [](const TDataSet *dataSet) {
        return dataSet->State() == dsEdit || dataSet->State() == dsInsert;
    };
    return editing(cdsPlaneja) || editing(cdsPeso);
}

void TfrmPlanejaExerc::CancelEditing()
{
    // The weight first: its after-cancel handler gives the commands back to the plan.
    if (cdsPeso->State() == dsEdit || cdsPeso->State() == dsInsert)
        cdsPeso->Cancel();
    if (cdsPlaneja->State() == dsEdit || cdsPlaneja->State() == dsInsert)
        cdsPlaneja->Cancel();
}

} // namespace qor
