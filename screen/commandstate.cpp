#include "screen/frmplanejaexerc.h"

#include "data/clientdataset.h"
#include "data/datasource.h"
#include "forms/application.h"
#include "forms/dbgrid.h"
#include "forms/menuitem.h"
#include "framework/buttonflat.h"
#include "framework/consiste.h"
#include "framework/messages.h"
#include "framework/showavi.h"
#include "module/Cli_qor12700.h"

using namespace Qt::StringLiterals;

namespace qor {

namespace {

bool isEditing(TDataSetState state)
{
    return state == dsEdit || state == dsInsert;
}

// The record commands follow the plan in both rules: enabled while the plan is not being
// edited and has rows. The emptiness is asked per item, and only when not editing.
void enableRecordCommands(const TfrmPadraoGrid *form, const TDataSet *plan)
{
    for (TMenuItem *item : form->RecordCommands())
        item->SetEnabled(!isEditing(plan->State()) && !plan->IsEmpty());
}

} // namespace

void TfrmPlanejaExerc::dtsPadraoStateChange(QObject *Sender)
{
    TfrmPadraoGrid::dtsPadraoStateChange(Sender);
    const TDataSetState state = dtsPadrao->State();
    for (TMenuItem *item : FinishingCommands())
        item->SetEnabled(isEditing(state));
    for (TMenuItem *item : NewRecordCommands())
        item->SetEnabled(state == dsBrowse);
    enableRecordCommands(this, cdsPlaneja);
    MirrorCommandButtons();
    BrowseOnlyControl()->SetEnabled(state == dsBrowse);

    // The search button of the code column only while a plan row is being edited.
    if (TColumn *code = dbgPadrao->Columns()->Items(IndiceCol(dbgPadrao, u"CDEXERFISICO"_s)))
        code->SetButtonStyle(isEditing(cdsPlaneja->State()) ? cbsEllipsis : cbsNone);
}

void TfrmPlanejaExerc::dtsPesoStateChange(QObject *Sender)
{
    Q_UNUSED(Sender)
    const TDataSetState weight = dtsPeso->State();
    for (TMenuItem *item : FinishingCommands())
        item->SetEnabled(isEditing(weight));
    for (TMenuItem *item : NewRecordCommands())
        item->SetEnabled(weight == dsBrowse);
    enableRecordCommands(this, cdsPlaneja);
    MirrorCommandButtons();
    BrowseOnlyControl()->SetEnabled(dtsPadrao->State() == dsBrowse);

    // No plan row may be touched before the consultation has a weight.
    dbgPadrao->SetEnabled(weight == dsBrowse && !cdsPeso->IsEmpty()
                          && !EmptyString(cdsPesoDSINFOAVAL->AsString()));
}

void TfrmPlanejaExerc::sbtVerificarClick(QObject *Sender)
{
    Q_UNUSED(Sender)
    // The reload replaces the plan's rows: a row being typed is dropped only when the
    // user says so, as closing the screen asks. A weight being typed is not touched.
    if (isEditing(cdsPlaneja->State())) {
        if (msgMensagensPadroes->ShowMsg(u"Canc"_s, mtConfirmation, mbYes | mbNo, 0) != mrYes)
            return;
        cdsPlaneja->Cancel();
    }
    ActiveShowAvi(Application()->MainForm(), 6);
    try {
        cdsPlaneja->SetData(CheckResultServ(
            planService().GetPlaneja(stCdFilial, dtConsulta, stCdPaciente), true, 0));
    } catch (...) {
        DeactiveShowAvi();
        throw;
    }
    DeactiveShowAvi();
    // The load gives the time its HH:MM mask only once it has read the plan: after a load
    // that failed before the plan, this reload is where the plan is first read, and a
    // time typed as 0130 without the mask was taken as one hour.
    cdsPlanejaQTHREXERFISI->EditMask = u"00:00"_s;
    // Reopening the plan handed the commands to the plan; a weight still being typed
    // must keep its confirm and cancel, or it could be neither saved nor dropped.
    if (isEditing(cdsPeso->State()))
        dtsPesoStateChange(dtsPeso);
}

void TfrmPlanejaExerc::sbtAlterarClick(QObject *Sender)
{
    TfrmPadraoGrid::sbtAlterarClick(Sender);
    cdsPlanejaQTHREXERFISI->FocusControl();
}

} // namespace qor
