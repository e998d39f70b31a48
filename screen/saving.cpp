#include "screen/frmplanejaexerc.h"

#include "data/clientdataset.h"
#include "forms/application.h"
#include "framework/consiste.h"
#include "framework/showavi.h"

namespace qor {

namespace {

using SaveMethod = QJsonObject (PlanService::*)(const TDelta &) const;

// The apply-delta sequence shared by the plan, the weight and the assessment method:
// one call for the change just posted or deleted, none when nothing changed. A failed
// save puts the dataset back to its last saved state and the failure goes on unchanged
// to whoever posted, so no change stays pending between user actions.
void applyDelta(TClientDataSet *dataSet, const PlanService &service, SaveMethod save)
{
    if (dataSet->ChangeCount() <= 0)
        return;
    try {
        ActiveShowAvi(Application()->MainForm(), 1);
        const TDelta delta = dataSet->Delta();
        CheckResultServ((service.*save)(delta), true, 0);
        DeactiveShowAvi();
        if (dataSet->LogChanges)
            dataSet->MergeChangeLog();
    } catch (...) {
        DeactiveShowAvi();
        dataSet->CancelUpdates();
        throw;
    }
}

} // namespace

void TfrmPlanejaExerc::cdsPlanejaAfterPost(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
    applyDelta(cdsPlaneja, planService(), &PlanService::SetPlaneja);
    Atualiza_KcalDia();
}

void TfrmPlanejaExerc::cdsPesoAfterPost(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
    try {
        applyDelta(cdsPeso, planService(), &PlanService::SetPeso);
    } catch (...) {
        // Going back to browse unlocked the plan grid before the save; the weight that
        // was not saved must not leave it unlocked.
        dtsPesoStateChange(dtsPeso);
        throw;
    }
    dtsPadraoStateChange(dtsPadrao);
    applyWeightFieldRule();
}

void TfrmPlanejaExerc::cdsMetoAvalAfterPost(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
    applyDelta(cdsMetoAval, planService(), &PlanService::SetMetoAval);
}

void TfrmPlanejaExerc::cdsPesoAfterCancel(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
    cdsPeso->CancelUpdates();
    dtsPadraoStateChange(dtsPadrao);
}

void TfrmPlanejaExerc::cdsPlanejaAfterCancel(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
    // The weight's pending updates, not the plan's: cancelling a plan row leaves the
    // plan's log alone (an edit being cancelled logged nothing).
    cdsPeso->CancelUpdates();
    dtsPadraoStateChange(dtsPadrao);
}

} // namespace qor
