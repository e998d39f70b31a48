#include "screen/frmplanejaexerc.h"

#include "data/clientdataset.h"
#include "data/datasource.h"
#include "forms/dbedit.h"
#include "forms/dbgrid.h"
#include "forms/designscale.h"
#include "forms/edit.h"
#include "forms/label.h"
#include "forms/panel.h"
#include "framework/buttonflat.h"
#include "framework/dateeditplus.h"
#include "framework/dbtext.h"
#include "framework/messages.h"
#include "framework/netconnection.h"

#include <QGridLayout>
#include <QHBoxLayout>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

TField *addField(TDataSet *dataSet, const QString &name, TFieldType type, int size = 0,
                 const QString &label = QString(), bool visible = true)
{
    TField *field = dataSet->AddField(name, type, size);
    field->DisplayLabel = label;
    field->Visible = visible;
    return field;
}

TClientDataSet *newClientDataSet(QObject *owner, const QString &name)
{
    auto *dataSet = new TClientDataSet(owner);
    dataSet->setObjectName(name);
    return dataSet;
}

template <typename T> T *named(T *object, const QString &name)
{
    object->setObjectName(name);
    return object;
}

} // namespace

void TfrmPlanejaExerc::createDataModel()
{
    setObjectName(u"frmPlanejaExerc"_s);
    SetCaption(u"Planejamento de Exercícios"_s);
    resize(565, 382);
    lblCodTela->SetCaption(u"QOR12700"_s);
    sbtImprimir->SetEnabled(false);

    cdsPaciente = newClientDataSet(this, u"cdsPaciente"_s);
    cdsPacienteCDFILIAL = addField(cdsPaciente, u"CDFILIAL"_s, TFieldType::String, 4, {}, false);
    cdsPacienteCDPACIENTE = addField(cdsPaciente, u"CDPACIENTE"_s, TFieldType::String, 12);
    cdsPacienteNMPACIENTE = addField(cdsPaciente, u"NMPACIENTE"_s, TFieldType::String, 80);
    cdsPacienteDTNASCPACI = addField(cdsPaciente, u"DTNASCPACI"_s, TFieldType::DateTime);

    cdsPeso = newClientDataSet(this, u"cdsPeso"_s);
    cdsPesoCDFILIAL = addField(cdsPeso, u"CDFILIAL"_s, TFieldType::String, 4, {}, false);
    cdsPesoCDPACIENTE = addField(cdsPeso, u"CDPACIENTE"_s, TFieldType::String, 12);
    cdsPesoDTCONSPACI = addField(cdsPeso, u"DTCONSPACI"_s, TFieldType::DateTime);
    cdsPesoCDTBMETOAVAL = addField(cdsPeso, u"CDTBMETOAVAL"_s, TFieldType::String, 2);
    cdsPesoCDTIPODADO = addField(cdsPeso, u"CDTIPODADO"_s, TFieldType::String, 2);
    cdsPesoDSINFOAVAL = addField(cdsPeso, u"DSINFOAVAL"_s, TFieldType::String, 30);

    cdsMetoAval = newClientDataSet(this, u"cdsMetoAval"_s);
    cdsMetoAvalCDFILIAL = addField(cdsMetoAval, u"CDFILIAL"_s, TFieldType::String, 4, {}, false);
    cdsMetoAvalCDPACIENTE = addField(cdsMetoAval, u"CDPACIENTE"_s, TFieldType::String, 12);
    cdsMetoAvalDTCONSPACI = addField(cdsMetoAval, u"DTCONSPACI"_s, TFieldType::DateTime);
    cdsMetoAvalCDTBMETOAVAL = addField(cdsMetoAval, u"CDTBMETOAVAL"_s, TFieldType::String, 2);
    cdsMetoAvalIDTABELAAV = addField(cdsMetoAval, u"IDTABELAAV"_s, TFieldType::String, 1);

    cdsPlaneja = newClientDataSet(this, u"cdsPlaneja"_s);
    cdsPlanejaCDFILIAL = addField(cdsPlaneja, u"CDFILIAL"_s, TFieldType::String, 4, {}, false);
    cdsPlanejaCDPACIENTE = addField(cdsPlaneja, u"CDPACIENTE"_s, TFieldType::String, 12, {}, false);
    cdsPlanejaDTCONSPACI =
        addField(cdsPlaneja, u"DTCONSPACI"_s, TFieldType::DateTime, 0, u"Data da Consulta"_s);
    cdsPlanejaCDEXERFISICO =
        addField(cdsPlaneja, u"CDEXERFISICO"_s, TFieldType::String, 6, u"Código"_s);
    // Hours per week: the daily figure is the weekly one divided by 7.
    cdsPlanejaQTHREXERFISI =
        addField(cdsPlaneja, u"QTHREXERFISI"_s, TFieldType::Float, 0, u"Horas/Semana"_s);
    cdsPlanejaDSEXERFISICO =
        addField(cdsPlaneja, u"DSEXERFISICO"_s, TFieldType::String, 100, u"Nome"_s);
    cdsPlanejaQTENERCONSPL =
        addField(cdsPlaneja, u"QTENERCONSPL"_s, TFieldType::Float, 0, {}, false);
    cdsPlanejaQTENERCONS = addField(cdsPlaneja, u"QTENERCONS"_s, TFieldType::Float, 0, {}, false);
    cdsPlanejaKcalSemana =
        cdsPlaneja->AddField(u"Kcal/Semana"_s, TFieldType::Float, 0, TFieldKind::Calculated);
    cdsPlanejaKcalSemana->DisplayFormat = u"#,##0.000"_s;
    cdsPlanejaKcalSemana->Visible = false;
    cdsPlanejaKcalDia =
        cdsPlaneja->AddField(u"Kcal/Dia"_s, TFieldType::Float, 0, TFieldKind::Calculated);
    cdsPlanejaKcalDia->DisplayFormat = u"#,##0.000"_s;

    cdsVerifExerc = newClientDataSet(this, u"cdsVerifExerc"_s);
    cdsVerifExercCDFILIAL =
        addField(cdsVerifExerc, u"CDFILIAL"_s, TFieldType::String, 4, {}, false);
    cdsVerifExercCDPACIENTE = addField(cdsVerifExerc, u"CDPACIENTE"_s, TFieldType::String, 12);
    cdsVerifExercDTCONSPACI = addField(cdsVerifExerc, u"DTCONSPACI"_s, TFieldType::DateTime);
    cdsVerifExercCDEXERFISICO = addField(cdsVerifExerc, u"CDEXERFISICO"_s, TFieldType::String, 6);

    qryAuxPlaneja = named(new TADOIBQuery(this), u"qryAuxPlaneja"_s);
    const ExerciseQueryFields aux = DefineQryAuxPlaneja(qryAuxPlaneja);
    qryAuxPlanejaCDEXERFISICO = aux.CDEXERFISICO;
    qryAuxPlanejaDSEXERFISICO = aux.DSEXERFISICO;
    qryAuxPlanejaQTENERCONS = aux.QTENERCONS;
    qryVdPlaneja = named(new TADOIBQuery(this), u"qryVdPlaneja"_s);
    const ExerciseQueryFields vd = DefineQryVdPlaneja(qryVdPlaneja);
    qryVdPlanejaCDEXERFISICO = vd.CDEXERFISICO;
    qryVdPlanejaDSEXERFISICO = vd.DSEXERFISICO;
    qryVdPlanejaQTENERCONS = vd.QTENERCONS;

    dtsPadrao->SetDataSet(cdsPlaneja);
    dtsPeso = named(new TDataSource(this), u"dtsPeso"_s);
    dtsPeso->SetDataSet(cdsPeso);
    dtsPaciente = named(new TDataSource(this), u"dtsPaciente"_s);
    dtsPaciente->SetDataSet(cdsPaciente);
    dtsAuxPlaneja = named(new TDataSource(this), u"dtsAuxPlaneja"_s);
    dtsAuxPlaneja->SetDataSet(qryAuxPlaneja);

    netPlanejaExerc = named(new TNetConnection(this), u"netPlanejaExerc"_s);
    netPlanejaExerc->ServerName = u"QOR12700.rdmPlanejaExerc"_s;
    netPlanejaExerc->ServerGUID = u"{3BBED0B9-EE5F-4A8A-B415-14C36143A0E8}"_s;
    netPlanejaExerc->Host = u"127.0.0.1"_s;
    netPlanejaExerc->ThrowException = false;

    createHeader();
    createTotalPanel();
    defineColumns();
    defineMessages();
    dbtNome->SetDataSource(dtsPadrao);
    dbtNome->SetDataField(u"DSEXERFISICO"_s);
    bindScreenEvents();
}

void TfrmPlanejaExerc::createHeader()
{
    panPaciente = named(new TPanel(this), u"panPaciente"_s);
    auto *grid = new QGridLayout(panPaciente);
    grid->setContentsMargins(6, 4, 6, 4);

    lblPaciente = named(new TLabel(u"Paciente"_s, panPaciente), u"lblPaciente"_s);
    edtPaciente = named(new TEdit(panPaciente), u"edtPaciente"_s);
    edtPaciente->SetEnabled(false);
    edtPaciente->SetColor(clBtnFace);

    lblIdade = named(new TLabel(u"Idade"_s, panPaciente), u"lblIdade"_s);
    edtIdade = named(new TEdit(panPaciente), u"edtIdade"_s);
    edtIdade->SetEnabled(false);

    lblPeso = named(new TLabel(u"Peso"_s, panPaciente), u"lblPeso"_s);
    dbePeso = named(new TDBEdit(panPaciente), u"dbePeso"_s);
    dbePeso->SetDataSource(dtsPeso);
    dbePeso->SetDataField(u"DSINFOAVAL"_s);
    dbePeso->SetColor(clBtnFace);
    lblPeso->setBuddy(dbePeso);

    lblDataCons = named(new TLabel(u"Data da Consulta"_s, panPaciente), u"lblDataCons"_s);
    depDataCons = named(new TDateEditPlus(panPaciente), u"depDataCons"_s);
    depDataCons->SetEnabled(false);
    depDataCons->SetColor(clInfoBk);
    depDataCons->SetValidDateColor(clBlue);
    depDataCons->SetWeekDays({u"Domingo"_s, u"Segunda"_s, u"Terça"_s, u"Quarta"_s, u"Quinta"_s,
                              u"Sexta"_s, u"Sábado"_s});

    grid->addWidget(lblPaciente, 0, 0);
    grid->addWidget(edtPaciente, 1, 0, 1, 3);
    grid->addWidget(lblIdade, 0, 3);
    grid->addWidget(edtIdade, 1, 3);
    grid->addWidget(lblPeso, 2, 0);
    grid->addWidget(dbePeso, 3, 0);
    grid->addWidget(lblDataCons, 2, 1);
    grid->addWidget(depDataCons, 3, 1);
    grid->setColumnStretch(2, 1);
    AddAboveGrid(panPaciente);
}

void TfrmPlanejaExerc::createTotalPanel()
{
    Panel1 = named(new TPanel(this), u"Panel1"_s);
    auto *row = new QHBoxLayout(Panel1);
    row->setContentsMargins(6, 2, 6, 2);
    row->addStretch(1);
    lblTotal = named(new TLabel(u"Total Kcal/Dia"_s, Panel1), u"lblTotal"_s);
    lblTotal->SetBold(true);
    edtTotal = named(new TEdit(Panel1), u"edtTotal"_s);
    edtTotal->SetEnabled(false);
    edtTotal->SetColor(clBtnFace);
    edtTotal->setAlignment(Qt::AlignRight);
    // Drawn 120 wide; it grows with the font as the form and the grid's columns do, so a
    // total of five digits before the comma is not cut.
    edtTotal->setMaximumWidth(designWidth(120, edtTotal->font()));
    row->addWidget(lblTotal);
    row->addWidget(edtTotal);
    AddBelowGrid(Panel1);

    // Captions kept in the grid area, under the grid.
    lblHorasSemana = named(new TLabel(u"N.º Horas/Semana"_s, panDbgPadrao), u"lblHorasSemana"_s);
    lblKcalDia1 = named(new TLabel(u"Kcal/Dia"_s, panDbgPadrao), u"lblKcalDia1"_s);
    lblKcalDia2 = named(new TLabel(u"Kcal/Dia"_s, panDbgPadrao), u"lblKcalDia2"_s);
    for (TLabel *label : {lblHorasSemana, lblKcalDia1, lblKcalDia2})
        label->lower();
}

void TfrmPlanejaExerc::defineColumns()
{
    TDBGridColumns *columns = dbgPadrao->Columns();
    columns->Clear();
    columns->Add(u"CDEXERFISICO"_s)->SetWidth(45);

    TColumn *name = columns->Add(u"DSEXERFISICO"_s);
    name->SetWidth(181);
    name->SetReadOnly(true);

    TColumn *energy = columns->Add(u"QTENERCONSPL"_s);
    energy->SetTitle(u"Kcal/kg/hora"_s);
    energy->SetWidth(88);
    energy->SetReadOnly(true);

    columns->Add(u"QTHREXERFISI"_s)->SetWidth(119);

    TColumn *weekly = columns->Add(u"Kcal/Semana"_s);
    weekly->SetTitleAlignment(taRightJustify);
    weekly->SetVisible(false);

    TColumn *daily = columns->Add(u"Kcal/Dia"_s);
    daily->SetTitleAlignment(taRightJustify);
    daily->SetWidth(70);
    daily->SetReadOnly(true);
}

void TfrmPlanejaExerc::defineMessages()
{
    msgPadrao->Clear();
    msgPadrao->Add(QStringList{
        u"Excl|Confirma exclusão?"_s,
        u"Exercicio|Exercício"_s,
        u"Exercicio_nc|Não há exercício cadastrado."_s,
        u"Cod_inf|Código deve ser informado."_s,
        u"Cod_nc|Exercício não cadastrado."_s,
        u"Peso_inf|Peso deve ser informado."_s,
        u"QRTHREXER_DEVE|Horas/semana deve ser informada."_s,
        u"QTENERCONSPL_DEVE|Kcal/Kg/Hora deve ser informada."_s,
        u"Exer_JCad|Exercício físico já cadastrado."_s,
        u"HORA_INVALIDA|não é uma hora válida"_s,
    });
}

void TfrmPlanejaExerc::bindScreenEvents()
{
    // The handlers the base form binds by name (FormCreate, FormClose, FormActivate,
    // dtsPadraoStateChange, the command clicks, dbgPadraoKeyPress) reach this screen
    // through its overrides; these are the screen's own bindings.
    dbgPadrao->OnColExit = [this](QObject *sender) {
        dbgPadraoColExit(sender);
    };
    dbgPadrao->OnEditButtonClick = [this](QObject *sender) {
        dbgPadraoEditButtonClick(sender);
    };
    dbePeso->OnExit = [this](QObject *sender) {
        dbePesoExit(sender);
    };
    dbePeso->OnKeyPress = [this](QObject *sender, QChar &key) {
        dbePesoKeyPress(sender, key);
    };
    dtsPeso->OnStateChange = [this](QObject *sender) {
        dtsPesoStateChange(sender);
    };

    cdsPeso->BeforePost = [this](TDataSet *dataSet) {
        cdsPesoBeforePost(dataSet);
    };
    cdsPeso->AfterPost = [this](TDataSet *dataSet) {
        cdsPesoAfterPost(dataSet);
    };
    cdsPeso->AfterCancel = [this](TDataSet *dataSet) {
        cdsPesoAfterCancel(dataSet);
    };
    cdsPeso->AfterDelete = [this](TDataSet *dataSet) {
        cdsPesoAfterPost(dataSet);
    };
    cdsMetoAval->AfterPost = [this](TDataSet *dataSet) {
        cdsMetoAvalAfterPost(dataSet);
    };

    cdsPlaneja->AfterOpen = [this](TDataSet *dataSet) {
        cdsPlanejaAfterOpen(dataSet);
    };
    cdsPlaneja->BeforeInsert = [this](TDataSet *dataSet) {
        cdsPlanejaBeforeInsert(dataSet);
    };
    cdsPlaneja->BeforePost = [this](TDataSet *dataSet) {
        cdsPlanejaBeforePost(dataSet);
    };
    cdsPlaneja->AfterPost = [this](TDataSet *dataSet) {
        cdsPlanejaAfterPost(dataSet);
    };
    cdsPlaneja->AfterCancel = [this](TDataSet *dataSet) {
        cdsPlanejaAfterCancel(dataSet);
    };
    cdsPlaneja->AfterDelete = [this](TDataSet *dataSet) {
        cdsPlanejaAfterPost(dataSet);
    };
    cdsPlaneja->OnCalcFields = [this](TDataSet *dataSet) {
        cdsPlanejaCalcFields(dataSet);
    };
    cdsPlaneja->OnNewRecord = [this](TDataSet *dataSet) {
        cdsPlanejaNewRecord(dataSet);
    };
    cdsPlanejaQTHREXERFISI->OnGetText = [this](TField *sender, QString &text, bool display) {
        cdsPlanejaQTHREXERFISIGetText(sender, text, display);
    };
    cdsPlanejaQTHREXERFISI->OnSetText = [this](TField *sender, const QString &text) {
        cdsPlanejaQTHREXERFISISetText(sender, text);
    };

    netPlanejaExerc->BeforeConnect = [this](QObject *sender) {
        netPlanejaExercBeforeConnect(sender);
    };
}

} // namespace qor
