#pragma once

#include "forms/form.h"

#include <QList>
#include <QString>

class QMenuBar;
class QMenu;
class QTabWidget;
class QVBoxLayout;

namespace qor {

class TDataSource;
class TDataSet;
class TDBGrid;
class TDBText;
class TLabel;
class TMenuItem;
class TMessages;
class TPanel;
class TButtonFlat;

// The standard grid form, unit Frmpadrgrid: a menu and a command bar, a record grid on
// its data source with a navigator, and two message lists. A descendant points
// dtsPadrao at its dataset, defines the grid's columns, fills msgPadrao and overrides
// the handlers below (calling the base where it relies on it).
//
// Layout, top to bottom: the menu bar (menu "Registro" with the seven commands),
// panMenu (the command bar: the seven command buttons, sbtVerificar, sbtImprimir,
// sbtFechar, then lblCodTela on the right), and pgcPadrao with the one page tshPadrao
// holding scbFolhaDados: a vertical layout whose middle is panDbgPadrao (dbgPadrao with
// panNavigator and dbtNome under it). Descendants add their own panels above and below
// the grid with AddAboveGrid and AddBelowGrid.
class TfrmPadraoGrid : public TForm
{
    Q_OBJECT
public:
    explicit TfrmPadraoGrid(QWidget *parent = nullptr);
    ~TfrmPadraoGrid() override;

    // Components.
    TDataSource *dtsPadrao;
    TDBGrid *dbgPadrao;
    TMessages *msgPadrao; // empty; the descendant's own messages
    TMessages *msgMensagensPadroes; // "Canc" and "Excl"
    TLabel *lblCodTela; // the screen code
    TDBText *dbtNome; // a field of dtsPadrao the descendant names

    QMenuBar *mnuPadrao;
    QMenu *mnuRegistro;
    TMenuItem *mniConfirmar;
    TMenuItem *mniCancelar;
    TMenuItem *mniIncluir;
    TMenuItem *mniAlterar;
    TMenuItem *mniExcluir;
    TMenuItem *mniLocalizar;
    TMenuItem *mniExportar;

    TButtonFlat *sbtConfirmar;
    TButtonFlat *sbtCancelar;
    TButtonFlat *sbtIncluir;
    TButtonFlat *sbtAlterar;
    TButtonFlat *sbtExcluir;
    TButtonFlat *sbtLocalizar;
    TButtonFlat *sbtExportar;
    TButtonFlat *sbtVerificar;
    TButtonFlat *sbtImprimir;
    TButtonFlat *sbtFechar; // the browse-only control

    // The navigator on dtsPadrao.
    TButtonFlat *sbtPrimeiro;
    TButtonFlat *sbtAnterior;
    TButtonFlat *sbtProximo;
    TButtonFlat *sbtUltimo;

    TPanel *panMenu;
    TPanel *panNavigator;
    QTabWidget *pgcPadrao;
    QWidget *tshPadrao;
    TPanel *panDbgPadrao;
    QWidget *scbFolhaDados;

    // The command groups, by their enabling rule, in order.
    QList<TMenuItem *> FinishingCommands() const; // Confirmar, Cancelar
    QList<TMenuItem *> NewRecordCommands() const; // Incluir
    QList<TMenuItem *> RecordCommands() const; // Alterar, Excluir, Localizar, Exportar
    QList<TMenuItem *> Commands() const; // the seven, in the order above
    // The speed button that mirrors a command's menu item (nullptr for others).
    TButtonFlat *ButtonOf(const TMenuItem *item) const;
    // Each of the seven speed buttons takes its menu item's enabled state.
    void MirrorCommandButtons();
    // The control enabled only while dtsPadrao browses.
    TButtonFlat *BrowseOnlyControl() const { return sbtFechar; }

    // Descendants' panels above (in order, under earlier ones) or below the grid.
    void AddAboveGrid(QWidget *widget);
    void AddBelowGrid(QWidget *widget);

    // Handlers, bound by name: a descendant's override takes the event.
    void FormCreate(QObject *Sender) override;
    // Sets Action to caFree: the form is released after closing.
    void FormClose(QObject *Sender, TCloseAction &Action) override;
    // The command refresh: finishing commands enabled while dtsPadrao edits, the
    // new-record command while it browses, the record commands while its dataset is
    // neither editing nor empty; speed buttons mirror; the browse-only control and the
    // navigator follow browsing.
    virtual void dtsPadraoStateChange(QObject *Sender);
    virtual void sbtConfirmarClick(QObject *Sender); // posts dtsPadrao's dataset
    virtual void sbtCancelarClick(QObject *Sender); // asks "Canc"; Yes cancels
    virtual void sbtIncluirClick(QObject *Sender); // appends a row, focus to the grid
    virtual void sbtAlterarClick(QObject *Sender); // Edit
    virtual void sbtExcluirClick(QObject *Sender); // asks "Excl"; Yes deletes
    // Asks for a code or name and finds the row: the first visible column, then the
    // second, partial and ignoring case; tells when nothing matches.
    virtual void sbtLocalizarClick(QObject *Sender);
    // Saves the grid's visible columns (titles, then display texts) to a CSV file
    // asked for: ";"-separated, UTF-8 with BOM.
    virtual void sbtExportarClick(QObject *Sender);
    virtual void sbtVerificarClick(QObject *Sender); // base: a command refresh
    virtual void sbtImprimirClick(QObject *Sender); // base: tells there is no report
    virtual void sbtFecharClick(QObject *Sender); // Close()
    virtual void dbgPadraoKeyPress(QObject *Sender, QChar &Key); // base: nothing

    // Whether closing must ask first: base, dtsPadrao's dataset is editing.
    virtual bool EditingInProgress() const;
    // Abandons what EditingInProgress saw (base: cancels dtsPadrao's dataset).
    virtual void CancelEditing();
    // Asks "Canc" when something is being edited: Yes cancels it and allows closing,
    // any other answer keeps the form open with the typed values.
    bool CanClose();

protected:
    // Refused while the busy indicator is up (a call of the form's own is under way);
    // otherwise closes when CanClose allows it.
    void closeEvent(QCloseEvent *event) override;

private:
    void buildLayout();
    void bindEvents();
    void refreshNavigator();
    TDataSet *padraoDataSet() const;

    QVBoxLayout *m_aboveGrid = nullptr;
    QVBoxLayout *m_belowGrid = nullptr;
};

} // namespace qor
