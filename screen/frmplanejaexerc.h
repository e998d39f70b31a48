#pragma once

#include "catalogue/exercisequeries.h"
#include "data/clientdataset.h"
#include "data/datasource.h"
#include "framework/frmpadrgrid.h"
#include "service/planservice.h"

#include <QString>

namespace qor {

class TDateEditPlus;
class TDBEdit;
class TEdit;
class TField;
class TLabel;
class TNetConnection;
class TPanel;

// The exercise-planning screen "Planejamento de Exercícios" (QOR12700): the patient
// header with the weight of the consultation, the grid of planned exercises with their
// energy figures, and the plan's daily total. Everything is read from and saved to the
// plan service at once; the exercise catalogue is read through SQL.
//
// The handlers live in one file per concern: datamodel.cpp (components, fields, columns,
// messages, bindings), loading.cpp (creation, first activation, close), commandstate.cpp,
// energy.cpp, duration.cpp, exerciseentry.cpp, weight.cpp and saving.cpp.
class TfrmPlanejaExerc : public TfrmPadraoGrid
{
    Q_OBJECT
public:
    explicit TfrmPlanejaExerc(QWidget *parent = nullptr);
    ~TfrmPlanejaExerc() override;

    // Datasets of the plan service, each with its change log.
    TClientDataSet *cdsPaciente = nullptr;
    TField *cdsPacienteCDFILIAL = nullptr;
    TField *cdsPacienteCDPACIENTE = nullptr;
    TField *cdsPacienteNMPACIENTE = nullptr;
    TField *cdsPacienteDTNASCPACI = nullptr;

    TClientDataSet *cdsPeso = nullptr;
    TField *cdsPesoCDFILIAL = nullptr;
    TField *cdsPesoCDPACIENTE = nullptr;
    TField *cdsPesoDTCONSPACI = nullptr;
    TField *cdsPesoCDTBMETOAVAL = nullptr;
    TField *cdsPesoCDTIPODADO = nullptr;
    TField *cdsPesoDSINFOAVAL = nullptr;

    TClientDataSet *cdsMetoAval = nullptr;
    TField *cdsMetoAvalCDFILIAL = nullptr;
    TField *cdsMetoAvalCDPACIENTE = nullptr;
    TField *cdsMetoAvalDTCONSPACI = nullptr;
    TField *cdsMetoAvalCDTBMETOAVAL = nullptr;
    TField *cdsMetoAvalIDTABELAAV = nullptr;

    TClientDataSet *cdsPlaneja = nullptr;
    TField *cdsPlanejaCDFILIAL = nullptr;
    TField *cdsPlanejaCDPACIENTE = nullptr;
    TField *cdsPlanejaDTCONSPACI = nullptr;
    TField *cdsPlanejaCDEXERFISICO = nullptr;
    TField *cdsPlanejaQTHREXERFISI = nullptr;
    TField *cdsPlanejaDSEXERFISICO = nullptr;
    TField *cdsPlanejaQTENERCONSPL = nullptr;
    TField *cdsPlanejaQTENERCONS = nullptr;
    TField *cdsPlanejaKcalSemana = nullptr; // calculated "Kcal/Semana"
    TField *cdsPlanejaKcalDia = nullptr; // calculated "Kcal/Dia"

    TClientDataSet *cdsVerifExerc = nullptr;
    TField *cdsVerifExercCDFILIAL = nullptr;
    TField *cdsVerifExercCDPACIENTE = nullptr;
    TField *cdsVerifExercDTCONSPACI = nullptr;
    TField *cdsVerifExercCDEXERFISICO = nullptr;

    // The exercise catalogue.
    TADOIBQuery *qryAuxPlaneja = nullptr;
    TADOIBStringField *qryAuxPlanejaCDEXERFISICO = nullptr;
    TADOIBStringField *qryAuxPlanejaDSEXERFISICO = nullptr;
    TADOIBFloatField *qryAuxPlanejaQTENERCONS = nullptr;
    TADOIBQuery *qryVdPlaneja = nullptr;
    TADOIBStringField *qryVdPlanejaCDEXERFISICO = nullptr;
    TADOIBStringField *qryVdPlanejaDSEXERFISICO = nullptr;
    TADOIBFloatField *qryVdPlanejaQTENERCONS = nullptr;

    // Data sources (dtsPadrao, inherited, shows cdsPlaneja).
    TDataSource *dtsPeso = nullptr;
    TDataSource *dtsPaciente = nullptr;
    TDataSource *dtsAuxPlaneja = nullptr;

    // Patient header.
    TPanel *panPaciente = nullptr;
    TLabel *lblPaciente = nullptr;
    TEdit *edtPaciente = nullptr;
    TLabel *lblIdade = nullptr;
    TEdit *edtIdade = nullptr;
    TLabel *lblPeso = nullptr;
    TDBEdit *dbePeso = nullptr;
    TLabel *lblDataCons = nullptr;
    TDateEditPlus *depDataCons = nullptr;

    // Total below the grid.
    TPanel *Panel1 = nullptr;
    TLabel *lblTotal = nullptr;
    TEdit *edtTotal = nullptr;

    // Labels inside the grid area, covered by the grid.
    TLabel *lblHorasSemana = nullptr;
    TLabel *lblKcalDia1 = nullptr;
    TLabel *lblKcalDia2 = nullptr;

    // The plan service connection.
    TNetConnection *netPlanejaExerc = nullptr;

    // Creation, activation and close (loading.cpp).
    void FormCreate(QObject *Sender) override;
    void FormActivate(QObject *Sender) override;
    void FormClose(QObject *Sender, TCloseAction &Action) override;
    void netPlanejaExercBeforeConnect(QObject *Sender);

    // Command state (commandstate.cpp).
    void dtsPadraoStateChange(QObject *Sender) override;
    void dtsPesoStateChange(QObject *Sender);
    void sbtVerificarClick(QObject *Sender) override;
    void sbtAlterarClick(QObject *Sender) override;

    // Energy figures (energy.cpp).
    void cdsPlanejaCalcFields(TDataSet *DataSet);
    void cdsPlanejaAfterOpen(TDataSet *DataSet);
    void Atualiza_KcalDia();

    // The HH:MM duration field (duration.cpp).
    void cdsPlanejaQTHREXERFISIGetText(TField *Sender, QString &Text, bool DisplayText);
    void cdsPlanejaQTHREXERFISISetText(TField *Sender, const QString &Text);
    void Vd_Hora(const QString &Text);
    long double StTimeToReal(const QString &Text);
    QString RealToStTime(double Value);

    // Exercise entry and validation (exerciseentry.cpp).
    void Vd_Codigo(bool EmptyIsError);
    void dbgPadraoKeyPress(QObject *Sender, QChar &Key) override;
    void dbgPadraoColExit(QObject *Sender);
    void dbgPadraoEditButtonClick(QObject *Sender);
    void cdsPlanejaBeforeInsert(TDataSet *DataSet);
    void cdsPlanejaBeforePost(TDataSet *DataSet);
    void cdsPlanejaNewRecord(TDataSet *DataSet);

    // Weight and assessment method (weight.cpp).
    void dbePesoKeyPress(QObject *Sender, QChar &Key);
    void dbePesoExit(QObject *Sender);
    void cdsPesoBeforePost(TDataSet *DataSet);
    void sbtConfirmarClick(QObject *Sender) override;
    void sbtCancelarClick(QObject *Sender) override;

    // Saving through the plan service (saving.cpp).
    void cdsPlanejaAfterPost(TDataSet *DataSet);
    void cdsPesoAfterPost(TDataSet *DataSet);
    void cdsMetoAvalAfterPost(TDataSet *DataSet);
    void cdsPesoAfterCancel(TDataSet *DataSet);
    void cdsPlanejaAfterCancel(TDataSet *DataSet);

    // The plan service over netPlanejaExerc.
    PlanService planService() const { return PlanService(netPlanejaExerc); }
    // The weight label and edit are usable, highlighted, only while no weight text is
    // recorded (after loading and after every weight save).
    void applyWeightFieldRule();
    // The command rule run again after a plan save, which may change the plan's rows
    // without changing its state; a weight being typed keeps its commands.
    void refreshPlanCommands();

    // A plan row or the weight is being edited or inserted.
    bool EditingInProgress() const override;
    // Cancels the plan row and the weight being edited.
    void CancelEditing() override;
    // Empties the screen and loads the consultation of the screen context anew, as the
    // first activation does: used when the screen is asked for another consultation.
    void reloadConsultation();
    // The last reload failed part way (the server out of reach): the screen does not show
    // the consultation of the context, or not all of it.
    bool reloadFailed() const { return m_reloadFailed; }

private:
    void createDataModel(); // datamodel.cpp
    void createHeader();
    void createTotalPanel();
    void defineColumns();
    void defineMessages();
    void bindScreenEvents();
    void clearConsultation(); // loading.cpp
    // The weight text as a number (energy.cpp). Every row's figures read it, so the last
    // text converted is remembered; a text that is not a number raises each time.
    double weightValue(const QString &text);
    QString m_convertedWeightText;
    double m_convertedWeight = 0;
    bool m_weightConverted = false;
    // Counts the plan's new rows, so a search dialog knows whether the row it was opened
    // for is still the one being inserted when it closes.
    int m_newRowSerial = 0;
    bool m_reloadFailed = false;
};

} // namespace qor
