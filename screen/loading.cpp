#include "screen/frmplanejaexerc.h"

#include "data/clientdataset.h"
#include "forms/application.h"
#include "forms/dbedit.h"
#include "forms/edit.h"
#include "forms/label.h"
#include "framework/consiste.h"
#include "framework/dateeditplus.h"
#include "framework/netconnection.h"
#include "framework/showavi.h"
#include "framework/velmora.h"
#include "module/Cli_qor12700.h"

#include <limits>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

// One guarded step of the load: on any failure the busy indicator goes and the failure
// goes on unchanged, so the rest of the load is skipped.
template <typename Fn> void loadStep(Fn &&step)
{
    try {
        step();
    } catch (...) {
        DeactiveShowAvi();
        throw;
    }
}

QString ageText(int years, int months)
{
    // Always the plural words, also for one.
    return years != 0 ? u"%1 Anos"_s.arg(years) : u"%1 Meses"_s.arg(months);
}

} // namespace

void TfrmPlanejaExerc::FormCreate(QObject *Sender)
{
    TfrmPadraoGrid::FormCreate(Sender);
    boPrimVez = true;
}

void TfrmPlanejaExerc::FormActivate(QObject *Sender)
{
    Q_UNUSED(Sender)
    if (!boPrimVez)
        return;
    // Cleared before any call: a failed load is not retried by the next activation.
    boPrimVez = false;
    netPlanejaExerc->Open();
    ActiveShowAvi(Application()->MainForm(), 0);

    bool haveAge = false;
    int years = 0;
    int months = 0;
    loadStep([&] {
        cdsPaciente->SetData(
            CheckResultServ(planService().GetPaciente(stCdFilial, stCdPaciente), true, 0));
        edtPaciente->SetText(stNmPaciente);
        // Without a patient row or a birth date there is no age to show.
        haveAge = !cdsPaciente->IsEmpty() && !cdsPacienteDTNASCPACI->IsNull();
        if (haveAge)
            Idade(Date(), cdsPacienteDTNASCPACI->AsDateTime(), years, months);
    });
    edtIdade->SetText(haveAge ? ageText(years, months) : QString());

    loadStep([&] {
        cdsPeso->SetData(
            CheckResultServ(planService().GetPeso(stCdFilial, stCdPaciente, dtConsulta), true, 0));
    });
    applyWeightFieldRule();

    loadStep([&] {
        cdsPlaneja->SetData(CheckResultServ(
            planService().GetPlaneja(stCdFilial, dtConsulta, stCdPaciente), true, 0));
        depDataCons->SetDate(dtConsulta);
    });
    DeactiveShowAvi();
    cdsPlanejaQTHREXERFISI->EditMask = u"00:00"_s;
}

void TfrmPlanejaExerc::FormClose(QObject *Sender, TCloseAction &Action)
{
    TfrmPadraoGrid::FormClose(Sender, Action);
    boIdCriado = false;
    if (frmPlanejaExerc == this)
        frmPlanejaExerc = nullptr;
    netPlanejaExerc->Close();
}

void TfrmPlanejaExerc::netPlanejaExercBeforeConnect(QObject *Sender)
{
    Q_UNUSED(Sender)
    netPlanejaExerc->Host = WebURL();
    netPlanejaExerc->Port = WebPort();
}

void TfrmPlanejaExerc::applyWeightFieldRule()
{
    if (EmptyString(cdsPesoDSINFOAVAL->AsString())) {
        lblPeso->SetEnabled(true);
        dbePeso->SetEnabled(true);
        dbePeso->SetColor(clInfoBk);
    } else {
        lblPeso->SetEnabled(false);
        dbePeso->SetEnabled(false);
        dbePeso->SetColor(clBtnFace);
    }
}

void TfrmPlanejaExerc::clearConsultation()
{
    // Nothing of the previous consultation may stay on the screen, even when the new
    // load fails half way.
    cdsPlaneja->Close();
    cdsPeso->Close();
    cdsMetoAval->Close();
    cdsVerifExerc->Close();
    cdsPaciente->Close();
    edtPaciente->SetText(QString());
    edtIdade->SetText(QString());
    edtTotal->SetText(QString());
    depDataCons->SetDate(std::numeric_limits<double>::quiet_NaN());
    // The weight field as the form starts; the load applies the weight-field rule.
    lblPeso->SetEnabled(true);
    dbePeso->SetEnabled(true);
    dbePeso->SetColor(clBtnFace);
    cdsPlanejaQTHREXERFISI->EditMask.clear();
}

void TfrmPlanejaExerc::reloadConsultation()
{
    // Cleared only once the whole load has run.
    m_reloadFailed = true;
    clearConsultation();
    boPrimVez = true;
    FormActivate(this);
    m_reloadFailed = false;
}

} // namespace qor
