#include "screen/frmplanejaexerc.h"

#include "data/clientdataset.h"
#include "data/datasource.h"
#include "forms/application.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "framework/consiste.h"
#include "framework/messages.h"
#include "framework/pesquisa.h"
#include "framework/showavi.h"
#include "module/Cli_qor12700.h"
#include "rtl/exceptions.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

const QString CodeField = u"CDEXERFISICO"_s;

bool isEditing(const TDataSet *dataSet)
{
    return dataSet->State() == dsEdit || dataSet->State() == dsInsert;
}

// The field of the grid's selected column is the given one (by exact name).
bool selectedFieldIs(const TDBGrid *grid, const QString &fieldName)
{
    const TField *field = grid->SelectedField();
    return field && field->FieldName() == fieldName;
}

[[noreturn]] void failWith(const TfrmPlanejaExerc &form, const QString &key)
{
    MensErro(form.msgPadrao->Msg(key), true);
    Abort(); // not reached: MensErro raised
}

// Copies code, name and energy cost of the catalogue row a query stands on. An exercise
// whose energy cost the catalogue lacks leaves the row's cost empty rather than 0, so
// the post asks for it instead of planning the exercise at 0 kcal; so does a cost no
// exercise can have (negative, or not finite), which would give negative or endless
// kcal figures and lower the plan's total.
void copyExercise(TfrmPlanejaExerc &form, TField *code, TField *name, TField *energy)
{
    form.cdsPlanejaCDEXERFISICO->SetAsString(code->AsString());
    form.cdsPlanejaDSEXERFISICO->SetAsString(name->AsString());
    if (energy->IsNull() || !std::isfinite(energy->AsFloat()) || energy->AsFloat() < 0)
        form.cdsPlanejaQTENERCONSPL->Clear();
    else
        form.cdsPlanejaQTENERCONSPL->SetAsFloat(energy->AsFloat());
}

// Whether a row of the plan on screen other than the current one has the typed code.
bool plannedInAnotherRow(TfrmPlanejaExerc &form)
{
    TClientDataSet *plan = form.cdsPlaneja;
    const QString code = form.cdsPlanejaCDEXERFISICO->AsString();
    for (int row = 0; row < plan->RecordCount(); ++row) {
        if (row != plan->CurrentRow()
            && plan->ValueAt(row, form.cdsPlanejaCDEXERFISICO).toString() == code)
            return true;
    }
    return false;
}

// Asks the plan service whether the row's exercise is already planned for this
// consultation. At post the call runs under the busy indicator, which is gone again
// before the answer is looked at, so the refusal is shown without it.
void checkDuplicate(TfrmPlanejaExerc &form, bool showBusy)
{
    if (showBusy)
        ActiveShowAvi(Application()->MainForm(), 6);
    try {
        form.cdsVerifExerc->SetData(
            CheckResultServ(form.planService().VerifExerc(stCdFilial, stCdPaciente, dtConsulta,
                                                          form.cdsPlanejaCDEXERFISICO->AsString()),
                            true, 0));
    } catch (...) {
        if (showBusy)
            DeactiveShowAvi();
        throw;
    }
    if (showBusy)
        DeactiveShowAvi();
    // The plan on screen counts as well: a row another workstation deleted meanwhile is
    // still shown, and a second row of that exercise here would be saved beside it,
    // leaving two rows on screen for one stored (deleting either would take the new one).
    if (!form.cdsVerifExerc->IsEmpty() || plannedInAnotherRow(form)) {
        form.cdsPlanejaCDEXERFISICO->FocusControl();
        failWith(form, u"Exer_JCad"_s);
    }
}

} // namespace

// The typed code, brought to the field's size, must name an exercise of the catalogue;
// the catalogue's name and energy cost are copied into the row each time.
void TfrmPlanejaExerc::Vd_Codigo(bool EmptyIsError)
{
    if (!isEditing(cdsPlaneja))
        return;
    try {
        const QString typed = cdsPlanejaCDEXERFISICO->AsString();
        const bool empty = EmptyString(typed);
        cdsPlanejaCDEXERFISICO->SetAsString(Ajusta(typed, cdsPlanejaCDEXERFISICO->Size()));
        if (empty) {
            if (EmptyIsError)
                failWith(*this, u"Cod_inf"_s);
            return; // leaving a column with no code yet is allowed
        }
        qryVdPlaneja->Close();
        qryVdPlaneja->ParamByName(u"P_CDEXERFISICO"_s)
            ->SetAsString(cdsPlanejaCDEXERFISICO->AsString());
        qryVdPlaneja->Open();
        if (qryVdPlaneja->IsEmpty())
            failWith(*this, u"Cod_nc"_s);
        copyExercise(*this, qryVdPlanejaCDEXERFISICO, qryVdPlanejaDSEXERFISICO,
                     qryVdPlanejaQTENERCONS);
    } catch (...) {
        // The message has been shown by now; the code column takes the focus after it.
        cdsPlanejaCDEXERFISICO->FocusControl();
        throw;
    }
}

// Outside insert the code and name columns take no typing; a few characters still
// pass through, tab and Enter among them.
void TfrmPlanejaExerc::dbgPadraoKeyPress(QObject *Sender, QChar &Key)
{
    Q_UNUSED(Sender)
    if (cdsPlaneja->State() == dsInsert)
        return;
    if (!selectedFieldIs(dbgPadrao, CodeField) && !selectedFieldIs(dbgPadrao, u"DSEXERFISICO"_s))
        return;
    const char16_t code = Key.unicode();
    if (code == 9 || code == 13 || (code >= 37 && code <= 40))
        return;
    Key = QChar(0);
    Abort();
}

void TfrmPlanejaExerc::dbgPadraoColExit(QObject *Sender)
{
    Q_UNUSED(Sender)
    Vd_Codigo(false);
    // A new row's exercise must not be planned already; checked as the code is left.
    if (cdsPlaneja->State() == dsInsert && selectedFieldIs(dbgPadrao, CodeField))
        checkDuplicate(*this, false);
}

void TfrmPlanejaExerc::dbgPadraoEditButtonClick(QObject *Sender)
{
    Q_UNUSED(Sender)
    if (cdsPlaneja->State() != dsInsert || !selectedFieldIs(dbgPadrao, CodeField))
        return;
    qryAuxPlaneja->Close();
    const QString caption =
        msgPadrao->Msg(u"Exercicio"_s) + u'|' + msgPadrao->Msg(u"Exercicio_nc"_s);
    const int openedFor = m_newRowSerial;
    // The choice is checked when the column is left or the row posted.
    if (!Pesquisar_Plus(dtsAuxPlaneja, caption, false, true))
        return;
    // While the dialog was open the row may have gone (the host handing the screen another
    // consultation, the row dropped): the choice was made for that row and no other.
    if (cdsPlaneja->State() != dsInsert || m_newRowSerial != openedFor) {
        MensInfo(u"O exercício escolhido não foi colocado: a linha para a qual a "
                 u"pesquisa foi aberta não está mais em inclusão."_s);
        return;
    }
    copyExercise(*this, qryAuxPlanejaCDEXERFISICO, qryAuxPlanejaDSEXERFISICO,
                 qryAuxPlanejaQTENERCONS);
}

// A plan row can only be added once the weight edit holds a weight: the row's figures
// are computed from it.
void TfrmPlanejaExerc::cdsPlanejaBeforeInsert(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
    if (EmptyString(dbePeso->Text())) {
        dbePeso->SetFocus();
        failWith(*this, u"Peso_inf"_s);
    }
}

void TfrmPlanejaExerc::cdsPlanejaBeforePost(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
    Vd_Codigo(true);
    cdsPlanejaCDFILIAL->SetAsString(stCdFilial);
    if (EmptyString(cdsPlanejaQTHREXERFISI->AsString())) {
        cdsPlanejaQTHREXERFISI->FocusControl();
        failWith(*this, u"QRTHREXER_DEVE"_s);
    }
    if (EmptyString(cdsPlanejaQTENERCONSPL->AsString())) {
        cdsPlanejaQTENERCONSPL->FocusControl();
        failWith(*this, u"QTENERCONSPL_DEVE"_s);
    }
    // With another column selected, the check made when the code was left stands.
    if (!selectedFieldIs(dbgPadrao, CodeField))
        return;
    if (cdsPlaneja->State() == dsInsert
        || cdsPlanejaCDEXERFISICO->NewValue() != cdsPlanejaCDEXERFISICO->OldValue())
        checkDuplicate(*this, true);
}

void TfrmPlanejaExerc::cdsPlanejaNewRecord(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
    ++m_newRowSerial;
    cdsPlanejaCDEXERFISICO->FocusControl(); // the new row starts in the code column
    cdsPlanejaCDPACIENTE->SetAsString(stCdPaciente);
    cdsPlanejaDTCONSPACI->SetAsDateTime(dtConsulta);
}

} // namespace qor
