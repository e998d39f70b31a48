#include "screen/frmplanejaexerc.h"

#include "data/clientdataset.h"
#include "forms/dbedit.h"
#include "forms/edit.h"
#include "rtl/convert.h"

#include <QScopeGuard>

#include <algorithm>

#include <exception>

using namespace Qt::StringLiterals;

namespace qor {

namespace {
const QString KcalFormat = u"#,##0.000"_s;
} // namespace

// The row's figures from the weight as the weight edit shows it now: text typed and not
// yet saved already counts.
void TfrmPlanejaExerc::cdsPlanejaCalcFields(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
    // No time, or a time of zero: the figures stay empty rather than 0,000. An empty
    // time reads as 0, so one test covers both. A negative time, which other programs
    // sharing the database may have stored, is no time spent either: counted, it would
    // lower the plan's total.
    const long double hours = cdsPlanejaQTHREXERFISI->AsFloat();
    if (!(hours > 0))
        return;
    try {
        const long double weight = weightValue(dbePeso->Text());
        // A negative weight or energy cost is no body weight or cost at all; both count
        // as a missing one (0), never as a negative figure lowering the total.
        const long double cost = std::max(0.0, cdsPlanejaQTENERCONSPL->AsFloat());
        const long double weekly = (weight < 0 ? 0.0L : weight) * cost * hours;
        cdsPlanejaKcalSemana->SetAsFloat(double(weekly));
        // The daily figure is derived from the weekly one as stored, not from weekly.
        cdsPlanejaKcalDia->SetAsFloat(double(cdsPlanejaKcalSemana->AsFloat() / 7.0L));
    } catch (const std::exception &) {
        // A weight that is missing or not a number gives zeros, without a message: the
        // screen asks for the weight when a row is added.
        cdsPlanejaKcalSemana->SetAsFloat(0);
        cdsPlanejaKcalDia->SetAsFloat(0);
    }
}

double TfrmPlanejaExerc::weightValue(const QString &text)
{
    if (!m_weightConverted || text != m_convertedWeightText) {
        const double weight = StrToFloat(text); // raises before anything is remembered
        m_convertedWeightText = text;
        m_convertedWeight = weight;
        m_weightConverted = true;
    }
    return m_convertedWeight;
}

void TfrmPlanejaExerc::cdsPlanejaAfterOpen(TDataSet *DataSet)
{
    Q_UNUSED(DataSet)
    Atualiza_KcalDia();
}

// The total is walked anew from every row each time, so it can never drift from the
// rows shown; the walk comes back to the row that was current by its code, which is
// unique within a plan. The code is matched exactly: codes differing only in case are
// two exercises, and the user's next command must not land on the other one.
void TfrmPlanejaExerc::Atualiza_KcalDia()
{
    const QString current = cdsPlanejaCDEXERFISICO->AsString();
    // The grid and the other controls catch up once, on the row the walk returns to,
    // instead of following every row of it (a plan of 1,000 rows took a quarter of a
    // second that way).
    cdsPlaneja->DisableControls();
    const auto enableControls = qScopeGuard([this] { cdsPlaneja->EnableControls(); });
    double sum = 0;
    cdsPlaneja->First();
    while (!cdsPlaneja->Eof()) {
        sum = cdsPlanejaKcalDia->AsFloat() + sum;
        cdsPlaneja->Next();
    }
    edtTotal->SetText(FormatFloat(KcalFormat, sum));
    cdsPlaneja->Locate(u"CDEXERFISICO"_s, current);
}

} // namespace qor
