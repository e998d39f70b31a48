#include "frmpadrgrid.h"

#include "buttonflat.h"
#include "csvcell.h"
#include "data/dataset.h"
#include "data/datasource.h"
#include "data/field.h"
#include "dbtext.h"
#include "forms/dbgrid.h"
#include "forms/dialogs.h"
#include "forms/guard.h"
#include "forms/label.h"
#include "forms/menuitem.h"
#include "forms/panel.h"
#include "messages.h"
#include "prompts.h"
#include "rtl/exceptions.h"
#include "rtl/ownerfile.h"
#include "showavi.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QSaveFile>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

bool isEditing(TDataSetState state)
{
    return state == dsEdit || state == dsInsert;
}

TButtonFlat *makeButton(QWidget *parent, const QString &name, const QString &caption,
                        const QString &hint)
{
    auto *button = new TButtonFlat(parent);
    button->setObjectName(name);
    button->SetCaption(caption);
    button->SetHint(hint);
    return button;
}

TMenuItem *makeItem(QObject *parent, const QString &name, const QString &caption)
{
    auto *item = new TMenuItem(caption, parent);
    item->setObjectName(name);
    return item;
}

// Why a file could not be opened for writing, told in Portuguese: the system's own
// reason comes in English.
QString whyNotOpened(const QString &path)
{
    const QFileInfo target(path);
    if (target.isDir())
        return u"o nome é de uma pasta."_s;
    if (!target.absoluteDir().exists())
        return u"a pasta não existe."_s;
    if (target.exists() && !target.isWritable())
        return u"o arquivo está protegido contra gravação."_s;
    return u"não há permissão para gravar nessa pasta."_s;
}

// The stored values of the dataset's current row, to tell whether it is still the same.
QVariantList currentRowValues(TDataSet *dataSet)
{
    QVariantList values;
    const int row = dataSet->CurrentRow();
    for (TField *field : dataSet->DataFields())
        values.append(dataSet->ValueAt(row, field));
    return values;
}

// The grid's visible columns as CSV: the titles, then every row's display texts.
QString gridCsv(TDBGrid *grid, TDataSet *dataSet, int *rowCount)
{
    QList<const TColumn *> shown;
    const TDBGridColumns *columns = grid->Columns();
    for (int i = 0; i < columns->Count(); ++i) {
        if (columns->Items(i)->Visible() && columns->Items(i)->Field())
            shown.append(columns->Items(i));
    }
    QString csv;
    QStringList cells;
    for (const TColumn *column : shown)
        cells.append(csvCell(column->Title()));
    csv += cells.join(u';') + u"\r\n"_s;
    const int rows = dataSet && dataSet->Active() ? dataSet->RecordCount() : 0;
    for (int row = 0; row < rows; ++row) {
        cells.clear();
        for (const TColumn *column : shown)
            cells.append(csvCell(dataSet->TextAt(row, column->Field(), true)));
        csv += cells.join(u';') + u"\r\n"_s;
    }
    if (rowCount)
        *rowCount = rows;
    return csv;
}

// Writes csv to path whole, with a BOM; raises Exception with a Portuguese message when
// the file cannot be written.
void writeCsvFile(const QString &path, const QString &csv)
{
    // A device, a pipe or a socket (or a link to one) is no file to export to: the safe
    // save would put a new file in its place and report it written, or, written
    // straight, a pipe nobody reads would hang the screen.
    if (const QFileInfo target(path); target.exists() && !target.isFile() && !target.isDir())
        throw Exception(
            u"Não foi possível gravar o arquivo %1: o nome não é de um arquivo comum."_s.arg(path));
    QSaveFile file(path);
    if (!OpenOwnerOnlySave(file))
        throw Exception(
            u"Não foi possível gravar o arquivo %1: %2"_s.arg(path, whyNotOpened(path)));
    file.write("\xEF\xBB\xBF"); // BOM: spreadsheets then read the accents right
    file.write(csv.toUtf8());
    if (!file.commit())
        throw Exception(
            u"Não foi possível gravar o arquivo %1: a gravação não terminou (o disco "
            u"pode estar cheio); nenhum arquivo que já existia foi alterado."_s.arg(path));
}

} // namespace

TfrmPadraoGrid::TfrmPadraoGrid(QWidget *parent)
    : TForm(parent)
{
    dtsPadrao = new TDataSource(this);
    dtsPadrao->setObjectName(u"dtsPadrao"_s);
    msgPadrao = new TMessages(this);
    msgPadrao->setObjectName(u"msgPadrao"_s);
    msgMensagensPadroes = new TMessages(this);
    msgMensagensPadroes->setObjectName(u"msgMensagensPadroes"_s);
    msgMensagensPadroes->Add(QStringList{
        u"Canc|Deseja cancelar as alterações?"_s,
        u"Excl|Confirma exclusão?"_s,
    });
    buildLayout();
    bindEvents();
}

TfrmPadraoGrid::~TfrmPadraoGrid()
{
    // The grid and the label hold links to dtsPadrao: let them go first.
    delete dbgPadrao;
    delete dbtNome;
}

void TfrmPadraoGrid::buildLayout()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    mnuPadrao = new QMenuBar(this);
    mnuPadrao->setNativeMenuBar(false);
    mnuRegistro = mnuPadrao->addMenu(u"&Registro"_s);
    mniConfirmar = makeItem(this, u"mniConfirmar"_s, u"Confirmar"_s);
    mniCancelar = makeItem(this, u"mniCancelar"_s, u"Cancelar"_s);
    mniIncluir = makeItem(this, u"mniIncluir"_s, u"Incluir"_s);
    mniAlterar = makeItem(this, u"mniAlterar"_s, u"Alterar"_s);
    mniExcluir = makeItem(this, u"mniExcluir"_s, u"Excluir"_s);
    mniLocalizar = makeItem(this, u"mniLocalizar"_s, u"Localizar"_s);
    mniExportar = makeItem(this, u"mniExportar"_s, u"Exportar"_s);
    mnuRegistro->addActions({mniConfirmar, mniCancelar});
    mnuRegistro->addSeparator();
    mnuRegistro->addActions({mniIncluir, mniAlterar, mniExcluir});
    mnuRegistro->addSeparator();
    mnuRegistro->addActions({mniLocalizar, mniExportar});
    layout->setMenuBar(mnuPadrao);

    panMenu = new TPanel(this);
    panMenu->setObjectName(u"panMenu"_s);
    auto *bar = new QHBoxLayout(panMenu);
    bar->setContentsMargins(4, 2, 4, 2);
    bar->setSpacing(2);
    sbtConfirmar = makeButton(panMenu, u"sbtConfirmar"_s, u"Confirmar"_s, u"Confirmar"_s);
    sbtCancelar = makeButton(panMenu, u"sbtCancelar"_s, u"Cancelar"_s, u"Cancelar"_s);
    sbtIncluir = makeButton(panMenu, u"sbtIncluir"_s, u"Incluir"_s, u"Incluir registro"_s);
    sbtAlterar = makeButton(panMenu, u"sbtAlterar"_s, u"Alterar"_s, u"Alterar registro"_s);
    sbtExcluir = makeButton(panMenu, u"sbtExcluir"_s, u"Excluir"_s, u"Excluir registro"_s);
    sbtLocalizar = makeButton(panMenu, u"sbtLocalizar"_s, u"Localizar"_s, u"Localizar registro"_s);
    sbtExportar = makeButton(panMenu, u"sbtExportar"_s, u"Exportar"_s, u"Exportar para CSV"_s);
    sbtVerificar = makeButton(panMenu, u"sbtVerificar"_s, u"Verificar"_s, u"Verificar"_s);
    sbtImprimir = makeButton(panMenu, u"sbtImprimir"_s, u"Imprimir"_s, u"Imprimir"_s);
    sbtFechar = makeButton(panMenu, u"sbtFechar"_s, u"Fechar"_s, u"Fechar"_s);
    for (TButtonFlat *button : {sbtConfirmar, sbtCancelar, sbtIncluir, sbtAlterar, sbtExcluir,
                                sbtLocalizar, sbtExportar, sbtVerificar, sbtImprimir})
        bar->addWidget(button);
    bar->addStretch(1);
    lblCodTela = new TLabel(panMenu);
    lblCodTela->setObjectName(u"lblCodTela"_s);
    bar->addWidget(lblCodTela);
    bar->addSpacing(8);
    bar->addWidget(sbtFechar);
    layout->addWidget(panMenu);

    pgcPadrao = new QTabWidget(this);
    pgcPadrao->setObjectName(u"pgcPadrao"_s);
    tshPadrao = new QWidget;
    tshPadrao->setObjectName(u"tshPadrao"_s);
    pgcPadrao->addTab(tshPadrao, u"Dados"_s);
    auto *page = new QVBoxLayout(tshPadrao);
    page->setContentsMargins(0, 0, 0, 0);
    scbFolhaDados = new QWidget(tshPadrao);
    scbFolhaDados->setObjectName(u"scbFolhaDados"_s);
    page->addWidget(scbFolhaDados);
    auto *sheet = new QVBoxLayout(scbFolhaDados);
    sheet->setContentsMargins(0, 0, 0, 0);
    sheet->setSpacing(2);
    m_aboveGrid = new QVBoxLayout;
    m_belowGrid = new QVBoxLayout;
    panDbgPadrao = new TPanel(scbFolhaDados);
    panDbgPadrao->setObjectName(u"panDbgPadrao"_s);
    sheet->addLayout(m_aboveGrid);
    sheet->addWidget(panDbgPadrao, 1);
    sheet->addLayout(m_belowGrid);

    auto *gridArea = new QVBoxLayout(panDbgPadrao);
    gridArea->setContentsMargins(0, 0, 0, 0);
    gridArea->setSpacing(2);
    dbgPadrao = new TDBGrid(panDbgPadrao);
    dbgPadrao->setObjectName(u"dbgPadrao"_s);
    gridArea->addWidget(dbgPadrao, 1);
    auto *under = new QHBoxLayout;
    panNavigator = new TPanel(panDbgPadrao);
    panNavigator->setObjectName(u"panNavigator"_s);
    auto *navigator = new QHBoxLayout(panNavigator);
    navigator->setContentsMargins(2, 2, 2, 2);
    navigator->setSpacing(1);
    sbtPrimeiro = makeButton(panNavigator, u"sbtPrimeiro"_s, u"|<"_s, u"Primeiro registro"_s);
    sbtAnterior = makeButton(panNavigator, u"sbtAnterior"_s, u"<"_s, u"Registro anterior"_s);
    sbtProximo = makeButton(panNavigator, u"sbtProximo"_s, u">"_s, u"Próximo registro"_s);
    sbtUltimo = makeButton(panNavigator, u"sbtUltimo"_s, u">|"_s, u"Último registro"_s);
    for (TButtonFlat *button : {sbtPrimeiro, sbtAnterior, sbtProximo, sbtUltimo})
        navigator->addWidget(button);
    dbtNome = new TDBText(panDbgPadrao);
    dbtNome->setObjectName(u"dbtNome"_s);
    under->addWidget(panNavigator);
    under->addWidget(dbtNome, 1);
    gridArea->addLayout(under);
    layout->addWidget(pgcPadrao, 1);
}

void TfrmPadraoGrid::bindEvents()
{
    dbgPadrao->SetDataSource(dtsPadrao);
    dbtNome->SetDataSource(dtsPadrao);

    // Menu item and speed button reach the same handler; the descendant's override
    // takes it. Clicks run under the forms' exception guard.
    const auto bind = [this](TMenuItem *item, TButtonFlat *button,
                             void (TfrmPadraoGrid::*handler)(QObject *)) {
        const auto call = [this, handler](QObject *sender) {
            (this->*handler)(sender);
        };
        if (item)
            item->OnClick = call;
        button->OnClick = call;
    };
    bind(mniConfirmar, sbtConfirmar, &TfrmPadraoGrid::sbtConfirmarClick);
    bind(mniCancelar, sbtCancelar, &TfrmPadraoGrid::sbtCancelarClick);
    bind(mniIncluir, sbtIncluir, &TfrmPadraoGrid::sbtIncluirClick);
    bind(mniAlterar, sbtAlterar, &TfrmPadraoGrid::sbtAlterarClick);
    bind(mniExcluir, sbtExcluir, &TfrmPadraoGrid::sbtExcluirClick);
    bind(mniLocalizar, sbtLocalizar, &TfrmPadraoGrid::sbtLocalizarClick);
    bind(mniExportar, sbtExportar, &TfrmPadraoGrid::sbtExportarClick);
    bind(nullptr, sbtVerificar, &TfrmPadraoGrid::sbtVerificarClick);
    bind(nullptr, sbtImprimir, &TfrmPadraoGrid::sbtImprimirClick);
    bind(nullptr, sbtFechar, &TfrmPadraoGrid::sbtFecharClick);

    dtsPadrao->OnStateChange = [this](QObject *sender) {
        dtsPadraoStateChange(sender);
    };
    dtsPadrao->OnDataChange = [this](QObject *, TField *) {
        refreshNavigator();
    };
    dbgPadrao->OnKeyPress = [this](QObject *sender, QChar &key) {
        dbgPadraoKeyPress(sender, key);
    };

    const auto navigate = [this](void (TDataSet::*move)()) {
        return [this, move](QObject *) {
            if (TDataSet *dataSet = padraoDataSet(); dataSet && dataSet->Active()) {
                dataSet->CheckBrowseMode();
                (dataSet->*move)();
            }
            refreshNavigator();
        };
    };
    sbtPrimeiro->OnClick = navigate(&TDataSet::First);
    sbtAnterior->OnClick = navigate(&TDataSet::Prior);
    sbtProximo->OnClick = navigate(&TDataSet::Next);
    sbtUltimo->OnClick = navigate(&TDataSet::Last);
}

TDataSet *TfrmPadraoGrid::padraoDataSet() const
{
    return dtsPadrao->DataSet();
}

QList<TMenuItem *> TfrmPadraoGrid::FinishingCommands() const
{
    return {mniConfirmar, mniCancelar};
}

QList<TMenuItem *> TfrmPadraoGrid::NewRecordCommands() const
{
    return {mniIncluir};
}

QList<TMenuItem *> TfrmPadraoGrid::RecordCommands() const
{
    return {mniAlterar, mniExcluir, mniLocalizar, mniExportar};
}

QList<TMenuItem *> TfrmPadraoGrid::Commands() const
{
    return FinishingCommands() + NewRecordCommands() + RecordCommands();
}

TButtonFlat *TfrmPadraoGrid::ButtonOf(const TMenuItem *item) const
{
    const std::pair<const TMenuItem *, TButtonFlat *> pairs[] = {
        {mniConfirmar, sbtConfirmar}, {mniCancelar, sbtCancelar}, {mniIncluir, sbtIncluir},
        {mniAlterar, sbtAlterar},     {mniExcluir, sbtExcluir},   {mniLocalizar, sbtLocalizar},
        {mniExportar, sbtExportar},
    };
    for (const auto &[menuItem, button] : pairs) {
        if (menuItem == item)
            return button;
    }
    return nullptr;
}

void TfrmPadraoGrid::MirrorCommandButtons()
{
    for (TMenuItem *item : Commands())
        ButtonOf(item)->SetEnabled(item->Enabled());
}

void TfrmPadraoGrid::AddAboveGrid(QWidget *widget)
{
    widget->setParent(scbFolhaDados);
    m_aboveGrid->addWidget(widget);
}

void TfrmPadraoGrid::AddBelowGrid(QWidget *widget)
{
    widget->setParent(scbFolhaDados);
    m_belowGrid->addWidget(widget);
}

void TfrmPadraoGrid::FormCreate(QObject *Sender)
{
    TForm::FormCreate(Sender);
    dtsPadraoStateChange(dtsPadrao);
}

void TfrmPadraoGrid::FormClose(QObject *Sender, TCloseAction &Action)
{
    Action = caFree;
    TForm::FormClose(Sender, Action);
}

void TfrmPadraoGrid::dtsPadraoStateChange(QObject * /*Sender*/)
{
    const TDataSetState state = dtsPadrao->State();
    const TDataSet *dataSet = padraoDataSet();
    for (TMenuItem *item : FinishingCommands())
        item->SetEnabled(isEditing(state));
    for (TMenuItem *item : NewRecordCommands())
        item->SetEnabled(state == dsBrowse);
    const bool records = dataSet && dataSet->State() == dsBrowse && !dataSet->IsEmpty();
    for (TMenuItem *item : RecordCommands())
        item->SetEnabled(records);
    MirrorCommandButtons();
    sbtFechar->SetEnabled(!isEditing(state));
    refreshNavigator();
}

void TfrmPadraoGrid::refreshNavigator()
{
    const TDataSet *dataSet = padraoDataSet();
    const bool browsing = dataSet && dataSet->State() == dsBrowse && !dataSet->IsEmpty();
    const bool atFirst = !browsing || dataSet->RecNo() <= 1;
    const bool atLast = !browsing || dataSet->RecNo() >= dataSet->RecordCount();
    sbtPrimeiro->SetEnabled(!atFirst);
    sbtAnterior->SetEnabled(!atFirst);
    sbtProximo->SetEnabled(!atLast);
    sbtUltimo->SetEnabled(!atLast);
}

void TfrmPadraoGrid::sbtConfirmarClick(QObject * /*Sender*/)
{
    TDataSet *dataSet = padraoDataSet();
    if (dataSet && isEditing(dataSet->State()))
        dataSet->Post();
}

void TfrmPadraoGrid::sbtCancelarClick(QObject * /*Sender*/)
{
    TDataSet *dataSet = padraoDataSet();
    if (!dataSet || !isEditing(dataSet->State()))
        return;
    if (msgMensagensPadroes->ShowMsg(u"Canc"_s, mtConfirmation, mbYes | mbNo, 0) == mrYes)
        dataSet->Cancel();
}

void TfrmPadraoGrid::sbtIncluirClick(QObject * /*Sender*/)
{
    TDataSet *dataSet = padraoDataSet();
    if (!dataSet || !dataSet->Active())
        return;
    dataSet->Append();
    dbgPadrao->SetFocus();
}

void TfrmPadraoGrid::sbtAlterarClick(QObject * /*Sender*/)
{
    TDataSet *dataSet = padraoDataSet();
    if (!dataSet || !dataSet->Active() || dataSet->IsEmpty())
        return;
    dataSet->Edit();
}

void TfrmPadraoGrid::sbtExcluirClick(QObject * /*Sender*/)
{
    TDataSet *dataSet = padraoDataSet();
    if (!dataSet || dataSet->State() != dsBrowse || dataSet->IsEmpty())
        return;
    const QVariantList asked = currentRowValues(dataSet);
    if (msgMensagensPadroes->ShowMsg(u"Excl"_s, mtConfirmation, mbYes | mbNo, 0) != mrYes)
        return;
    // The rows may have been replaced while the question was open (the host handing the
    // screen another consultation): the Yes was for the row asked about, no other.
    if (dataSet->State() != dsBrowse || dataSet->IsEmpty() || currentRowValues(dataSet) != asked) {
        Dialogs()->Information(u"Nenhum registro foi excluído: os registros da tela mudaram "
                               u"enquanto a pergunta estava aberta."_s);
        return;
    }
    dataSet->Delete();
}

void TfrmPadraoGrid::sbtLocalizarClick(QObject * /*Sender*/)
{
    TDataSet *dataSet = padraoDataSet();
    if (!dataSet || dataSet->State() != dsBrowse || dataSet->IsEmpty())
        return;
    QString text;
    if (!InputQuery(u"Localizar"_s, u"Informe o código ou o nome:"_s, text))
        return;
    text = text.trimmed();
    if (text.isEmpty())
        return;
    // The first two visible columns (code, then name); a number column cannot match
    // a typed text and is passed over.
    int tried = 0;
    const TDBGridColumns *columns = dbgPadrao->Columns();
    for (int i = 0; i < columns->Count() && tried < 2; ++i) {
        const TColumn *column = columns->Items(i);
        TField *field = column->Field();
        if (!column->Visible() || !field)
            continue;
        ++tried;
        if (field->DataType() != TFieldType::String)
            continue;
        if (dataSet->Locate(field->FieldName(), text,
                            TLocateOptions(TLocateOption::CaseInsensitive)
                                | TLocateOption::PartialKey)) {
            dbgPadrao->SetFocus();
            return;
        }
    }
    Dialogs()->Information(u"Nenhum registro encontrado com \"%1\"."_s.arg(text));
}

void TfrmPadraoGrid::sbtExportarClick(QObject * /*Sender*/)
{
    int rows = 0;
    const QString asked = gridCsv(dbgPadrao, padraoDataSet(), &rows);
    const QString suggested = (Caption().isEmpty() ? u"exportacao"_s : Caption()) + u".csv"_s;
    const QString path =
        PromptSaveFileName(u"Exportar"_s, suggested, u"Arquivos CSV (*.csv);;Todos (*)"_s);
    if (path.isEmpty())
        return;
    // The rows may have been replaced while the name was asked for (the host handing the
    // screen another consultation): the file was asked for the rows shown then, and
    // another patient's rows must not be written, over an earlier file too, as exported.
    if (gridCsv(dbgPadrao, padraoDataSet(), nullptr) != asked) {
        Dialogs()->Information(u"Nenhum arquivo foi gravado: os registros da tela mudaram "
                               u"enquanto o nome do arquivo era pedido."_s);
        return;
    }
    writeCsvFile(path, asked);
    Dialogs()->Information(
        u"Exportação concluída: %1 registro(s) gravado(s) em %2."_s.arg(rows).arg(path));
}

void TfrmPadraoGrid::sbtVerificarClick(QObject * /*Sender*/)
{
    dtsPadraoStateChange(dtsPadrao);
}

void TfrmPadraoGrid::sbtImprimirClick(QObject * /*Sender*/)
{
    Dialogs()->Information(u"Não há relatório disponível para esta tela."_s);
}

void TfrmPadraoGrid::sbtFecharClick(QObject * /*Sender*/)
{
    Close();
}

void TfrmPadraoGrid::dbgPadraoKeyPress(QObject * /*Sender*/, QChar & /*Key*/) { }

bool TfrmPadraoGrid::EditingInProgress() const
{
    const TDataSet *dataSet = padraoDataSet();
    return dataSet && isEditing(dataSet->State());
}

void TfrmPadraoGrid::CancelEditing()
{
    if (TDataSet *dataSet = padraoDataSet(); dataSet && isEditing(dataSet->State()))
        dataSet->Cancel();
}

bool TfrmPadraoGrid::CanClose()
{
    if (!EditingInProgress())
        return true;
    if (msgMensagensPadroes->ShowMsg(u"Canc"_s, mtConfirmation, mbYes | mbNo, 0) != mrYes)
        return false;
    CancelEditing();
    return true;
}

void TfrmPadraoGrid::closeEvent(QCloseEvent *event)
{
    // The busy indicator lets window-system events through until it is painted, before
    // each call to the server: a close request then (the main window asked to close)
    // arrives in the middle of a load or a save. Closed there, the form would be freed
    // and its connection closed under the handler still running, and a row being posted
    // would be asked about and cancelled half way. The request is refused; the user asks
    // again once the work is done.
    if (ShowAviVisible()) {
        event->ignore();
        return;
    }
    bool allowed = false;
    guarded([&] { allowed = CanClose(); });
    if (!allowed) {
        event->ignore();
        return;
    }
    TForm::closeEvent(event);
}

} // namespace qor
