#include "screen/frmplanejaexerc.h"

#include "data/clientdataset.h"
#include "data/datasource.h"
#include "forms/dbedit.h"
#include "framework/consiste.h"
#include "framework/messages.h"
#include "module/Cli_qor12700.h"
#include "rtl/convert.h"
#include "rtl/exceptions.h"

using namespace Qt::StringLiterals;

namespace qor {

namespace {

bool isEditing(const TDataSet *dataSet)
{
    return dataSet && (dataSet->State() == dsEdit || dataSet->State() == dsInsert);
}

// The weight is recorded under the consultation's assessment method "01", data type "01".
const QString MetodoPeso = u"01"_s;
const QString TipoDadoPeso = u"01"_s;

// The typed weight as a number; the text stays for the user to correct, and the message
// says what it is about.
double readWeight(const QString &typed)
{
    try {
        return StrToFloat(typed);
    } catch (const EConvertError &error) {
        throw EConvertError(u"Peso inválido: "_s + error.Message());
    }
}

} // namespace

void TfrmPlanejaExerc::dbePesoKeyPress(QObject *Sender, QChar &Key)
{
    Q_UNUSED(Sender)
    const bool accepted =
        Key == QChar(8) || Key == QChar(13) || Key == u',' || (Key >= u'0' && Key <= u'9');
    if (!accepted) {
        Key = QChar(0);
        return;
    }
    // One decimal comma, never first; the whole text counts, whatever is selected.
    if (Key == u',') {
        const QString text = dbePeso->Text();
        if (text.isEmpty() || text.contains(u','))
            Key = QChar(0);
    }
}

void TfrmPlanejaExerc::dbePesoExit(QObject *Sender)
{
    Q_UNUSED(Sender)
    // Saving the weight locks the edit, which then loses the focus: its text is the
    // stored weight by then, and reformatting it would show (and compute with) a weight
    // other than the one saved.
    if (!dbePeso->Enabled())
        return;
    dbePeso->SetText(FloatToStr(RoundDec(readWeight(dbePeso->Text()), 2)));
}

void TfrmPlanejaExerc::cdsPesoBeforePost(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
    // The confirm button takes no focus, so the weight can be posted without leaving the
    // edit: a text that is not a number ("," once the digits before it are erased) would
    // be recorded and locked, and every figure would read it as no weight. A blank text
    // stays allowed: it records no weight and the edit stays open.
    if (const QString typed = cdsPesoDSINFOAVAL->AsString(); !EmptyString(typed)) {
        try {
            readWeight(typed);
        } catch (const EConvertError &) {
            dbePeso->SetFocus();
            throw;
        }
    }
    // The weight belongs to the consultation's assessment method "01": it is created and
    // saved first when missing. A failure here leaves the weight unposted, as typed.
    cdsMetoAval->SetData(CheckResultServ(
        planService().GetMetoAval(stCdFilial, stCdPaciente, MetodoPeso, dtConsulta), true, 0));
    if (cdsMetoAval->IsEmpty()) {
        cdsMetoAval->Insert();
        cdsMetoAvalCDFILIAL->SetAsString(stCdFilial);
        cdsMetoAvalCDPACIENTE->SetAsString(stCdPaciente);
        cdsMetoAvalDTCONSPACI->SetAsDateTime(dtConsulta);
        cdsMetoAvalCDTBMETOAVAL->SetAsString(MetodoPeso);
        cdsMetoAvalIDTABELAAV->SetAsString(u"N"_s);
        cdsMetoAval->Post(); // saved through SetMetoAval before the weight goes on
    }
    cdsPesoCDFILIAL->SetAsString(stCdFilial);
    cdsPesoCDPACIENTE->SetAsString(stCdPaciente);
    cdsPesoDTCONSPACI->SetAsDateTime(dtConsulta);
    cdsPesoCDTIPODADO->SetAsString(TipoDadoPeso);
    cdsPesoCDTBMETOAVAL->SetAsString(MetodoPeso);
}

void TfrmPlanejaExerc::sbtConfirmarClick(QObject *Sender)
{
    if (!isEditing(cdsPeso)) {
        TfrmPadraoGrid::sbtConfirmarClick(Sender);
        return;
    }
    if (TDataSet *weight = dtsPeso->DataSet(); isEditing(weight))
        weight->Post();
}

void TfrmPlanejaExerc::sbtCancelarClick(QObject *Sender)
{
    if (!isEditing(cdsPeso)) {
        TfrmPadraoGrid::sbtCancelarClick(Sender);
        return;
    }
    if (!dtsPeso->DataSet())
        return;
    if (msgMensagensPadroes->ShowMsg(u"Canc"_s, mtConfirmation, mbYes | mbNo, 0) == mrYes)
        cdsPeso->Cancel();
}

} // namespace qor
