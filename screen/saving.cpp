#include "screen/frmplanejaexerc.h"

#include "data/clientdataset.h"
#include "forms/application.h"
#include "framework/consiste.h"
#include "framework/showavi.h"
#include "module/Cli_qor12700.h"
#include "rtl/exceptions.h"

#include <exception>
#include <functional>
#include <typeinfo>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

using SaveMethod = QJsonObject (PlanService::*)(const TDelta &) const;

// Told after a save whose answer never came, once the screen shows what the server holds.
const QString OutcomeUnknown = u"Não foi possível saber se a gravação foi concluída: a tela "
                               u"mostra agora o que está gravado no servidor."_s;

// The failure of a save whose answer never came, with what the user must know about it.
[[noreturn]] void raiseOutcomeUnknown(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const Exception &error) {
        if (typeid(error) != typeid(Exception))
            throw;
        throw Exception(error.Message() + u' ' + OutcomeUnknown);
    }
}

// The apply-delta sequence shared by the plan, the weight and the assessment method:
// one call for the change just posted or deleted, none when nothing changed. A failed
// save puts the dataset back to its last saved state and the failure goes on unchanged
// to whoever posted, so no change stays pending between user actions. rolledBack, when
// given, sees the refused change once the dataset is back, and whether the server answered
// (refused it) rather than being out of reach; it cannot replace the failure.
//
// A save sent whose answer never came (the link dropped after the server committed, the
// wait ran out while it finished) may be stored all the same: rolled back, the screen
// would show other rows than the server's, and the next change of such a row was refused
// as changed by another user. readAgain, when given, then reads the dataset's rows from
// the server instead, and the user is told the outcome is not known; when that read fails
// too, the rollback stands, as for a refusal. Nothing is ever sent a second time. A save
// that never went out (no connection could be made for it) is only rolled back: the
// server holds nothing of it.
void applyDelta(TClientDataSet *dataSet, const PlanService &service, SaveMethod save,
                const std::function<void(const TDelta &, bool answered)> &rolledBack = {},
                const std::function<void(const TDelta &)> &readAgain = {})
{
    if (dataSet->ChangeCount() <= 0)
        return;
    TDelta delta;
    const quint64 callsBefore = service.CallsSent();
    bool answered = false;
    try {
        ActiveShowAvi(Application()->MainForm(), 1);
        delta = dataSet->Delta();
        const QJsonObject result = (service.*save)(delta);
        answered = true;
        CheckResultServ(result, true, 0);
        DeactiveShowAvi();
        if (dataSet->LogChanges)
            dataSet->MergeChangeLog();
    } catch (...) {
        const bool sent = service.CallsSent() != callsBefore;
        DeactiveShowAvi();
        dataSet->CancelUpdates();
        if (sent && !answered && readAgain) {
            const std::exception_ptr failure = std::current_exception();
            bool readBack = false;
            try {
                ActiveShowAvi(Application()->MainForm(), 6);
                readAgain(delta);
                readBack = true;
            } catch (...) {
                // Out of reach still: the save's own failure is the one to read.
            }
            DeactiveShowAvi();
            if (readBack)
                raiseOutcomeUnknown(failure);
        }
        if (rolledBack) {
            try {
                rolledBack(delta, answered);
            } catch (...) {
                // The save's own failure is the one the user must read.
            }
        }
        throw;
    }
}

// The exercise of the row a delta's change is about: the row deleted, or else (with
// anyChange) the row inserted or changed; empty when there is none.
QString changedExercise(const TDelta &delta, bool anyChange)
{
    qsizetype code = -1;
    for (qsizetype i = 0; i < delta.fields.size(); ++i) {
        if (delta.fields.at(i).name.compare(u"CDEXERFISICO"_s, Qt::CaseInsensitive) == 0)
            code = i;
    }
    if (code < 0)
        return {};
    for (const TDeltaChange &change : delta.changes) {
        if (change.op == TChangeOp::Delete && code < change.oldValues.size())
            return change.oldValues.at(code).toString();
        if (!anyChange)
            continue;
        if (code < change.newValues.size() && !change.newValues.at(code).isNull())
            return change.newValues.at(code).toString();
        if (code < change.oldValues.size())
            return change.oldValues.at(code).toString();
    }
    return {};
}

// Every figure is the weight edit's text times the row's energy and time: when that text
// changes by a save, a cancel or a refused save, the figures follow it, as reopening the
// screen would show them. Only a browsing plan is walked (a row being typed would post).
void recomputeFigures(TfrmPlanejaExerc *form)
{
    if (form->cdsPlaneja->Active() && form->cdsPlaneja->State() == dsBrowse)
        form->Atualiza_KcalDia();
}

} // namespace

void TfrmPlanejaExerc::cdsPlanejaAfterPost(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
    // A refused delete brings its row back; the grid goes back to it too, or the
    // neighbour the delete had made current would be taken by the next delete.
    // A delete, or a refused save that takes a new row back, leaves the plan browsing, so
    // no state change tells the commands whether a row is left: without this the record
    // commands stayed offered on an empty plan, where they do nothing.
    try {
        // Codes matched exactly, as the walk of Atualiza_KcalDia matches them.
        applyDelta(
            cdsPlaneja, planService(), &PlanService::SetPlaneja,
            [this](const TDelta &refused, bool) {
                if (const QString code = changedExercise(refused, false); !code.isEmpty())
                    cdsPlaneja->Locate(u"CDEXERFISICO"_s, code);
            },
            [this](const TDelta &unanswered) {
                // Opening the plan read anew walks the total too.
                cdsPlaneja->SetData(CheckResultServ(
                    planService().GetPlaneja(stCdFilial, dtConsulta, stCdPaciente), true, 0));
                if (const QString code = changedExercise(unanswered, true); !code.isEmpty())
                    cdsPlaneja->Locate(u"CDEXERFISICO"_s, code);
            });
    } catch (...) {
        refreshPlanCommands();
        throw;
    }
    Atualiza_KcalDia();
    refreshPlanCommands();
}

void TfrmPlanejaExerc::refreshPlanCommands()
{
    dtsPadraoStateChange(dtsPadrao);
    // A weight still being typed keeps its confirm and cancel.
    if (cdsPeso->State() == dsEdit || cdsPeso->State() == dsInsert)
        dtsPesoStateChange(dtsPeso);
}

void TfrmPlanejaExerc::cdsPesoAfterPost(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
    try {
        // A weight refused by the server (another workstation recorded one first) is read
        // again: the stored weight is shown and locked, as reopening shows it. Rolled back
        // to the weight loaded earlier, the edit stayed open and every weight typed into it
        // was refused again, the plan locked, until the screen was closed; the plan's
        // verify command does not read the weight.
        // A weight whose answer never came is read again the same way: it may be stored.
        const auto readWeight = [this] {
            cdsPeso->SetData(CheckResultServ(
                planService().GetPeso(stCdFilial, stCdPaciente, dtConsulta), true, 0));
            applyWeightFieldRule();
        };
        applyDelta(
            cdsPeso, planService(), &PlanService::SetPeso,
            [readWeight](const TDelta &, bool answered) {
                if (answered) // else the server is out of reach: nothing to read
                    readWeight();
            },
            [readWeight](const TDelta &) { readWeight(); });
    } catch (...) {
        // Going back to browse unlocked the plan grid before the save; the weight that
        // was not saved must not leave it unlocked, nor count in the figures. The commands
        // then go back to the plan: a plan row still being edited keeps its confirm and
        // cancel, and no new row is offered over it.
        dtsPesoStateChange(dtsPeso);
        dtsPadraoStateChange(dtsPadrao);
        try {
            recomputeFigures(this);
        } catch (...) {
            // The save's own failure is the one the user must read.
        }
        throw;
    }
    // A plan written before the weight was recorded showed 0,000 until it next changed.
    recomputeFigures(this);
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
    // A plan reloaded while the weight was typed computed with the weight now dropped.
    recomputeFigures(this);
    dtsPadraoStateChange(dtsPadrao);
}

void TfrmPlanejaExerc::cdsPlanejaAfterCancel(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
    // The weight's pending updates, not the plan's: cancelling a plan row leaves the
    // plan's log alone (an edit being cancelled logged nothing). A weight being typed has
    // none (each post is saved at once), and cancelling the updates would first cancel
    // its edit: verify, answered Yes for a plan row being edited, dropped the weight
    // typed meanwhile without a word.
    if (cdsPeso->State() != dsEdit && cdsPeso->State() != dsInsert)
        cdsPeso->CancelUpdates();
    // A weight saved while the row was being edited could not be walked into the figures
    // then (the walk would have posted the row); the plan browses again now.
    recomputeFigures(this);
    refreshPlanCommands();
}

} // namespace qor
