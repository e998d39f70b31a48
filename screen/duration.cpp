#include "screen/frmplanejaexerc.h"

#include "data/field.h"
#include "framework/consiste.h"
#include "framework/messages.h"
#include "rtl/convert.h"
#include "rtl/exceptions.h"

#include <climits>
#include <cmath>

using namespace Qt::StringLiterals;

namespace qor {

// A plan row's time is stored as decimal hours and shown and typed as HH:MM: characters
// 1-2 the hours, 3 the separator (never examined), 4-5 the minutes.

void TfrmPlanejaExerc::cdsPlanejaQTHREXERFISIGetText(TField *Sender, QString &Text,
                                                     bool DisplayText)
{
    Q_UNUSED(Sender)
    Q_UNUSED(DisplayText) // the cell and the editor show the same text
    // An empty time stays an empty cell, not 00:00.
    Text = cdsPlanejaQTHREXERFISI->IsNull() ? QString()
                                            : RealToStTime(cdsPlanejaQTHREXERFISI->AsFloat());
}

void TfrmPlanejaExerc::cdsPlanejaQTHREXERFISISetText(TField *Sender, const QString &Text)
{
    Q_UNUSED(Sender)
    Vd_Hora(Text); // an invalid time ends here and the field keeps its value
    const long double hours = StTimeToReal(Text);
    cdsPlanejaQTHREXERFISI->SetAsFloat(double(hours));
}

void TfrmPlanejaExerc::Vd_Hora(const QString &Text)
{
    // The parts are taken as typed: a blank left in the mask makes the time invalid.
    const QString hourPart = Text.mid(0, 2);
    const QString minutePart = Text.mid(3, 2);
    bool valid = true;
    try {
        if (StrToInt(minutePart) > 59)
            valid = false;
        else if (StrToInt(hourPart) > 23)
            valid = false;
    } catch (const EConvertError &) {
        valid = false;
    }
    if (!valid)
        MensErro(u"'"_s + Text + u"' "_s + msgPadrao->Msg(u"HORA_INVALIDA"_s), true);
}

long double TfrmPlanejaExerc::StTimeToReal(const QString &Text)
{
    QString hourText = Ajusta(AllTrim(Text.mid(0, 2)), 2);
    QString minuteText = Ajusta(AllTrim(Text.mid(3, 2)), 2);
    if (hourText.isEmpty())
        hourText = u"0"_s;
    if (minuteText.isEmpty())
        minuteText = u"0"_s;
    try {
        const long double hours = StrToFloat(hourText);
        const long double minutes = StrToFloat(minuteText);
        // 8 decimals: 10:10 is stored as 10.16666667, and shows 10:10 again.
        return RoundDec(double(minutes / 60.0L + hours), 8);
    } catch (const EConvertError &) {
        MensErro(msgPadrao->Msg(u"VAL_INV"_s), true);
    }
    return 0; // not reached: MensErro raised
}

QString TfrmPlanejaExerc::RealToStTime(double Value)
{
    // Truncated toward zero; values beyond a 32-bit count of hours are not times this
    // screen writes, and are held at the limit instead of overflowing.
    const double whole = std::trunc(Value);
    qint64 hours = whole >= double(INT_MAX) ? INT_MAX
        : whole <= double(INT_MIN)          ? INT_MIN
        : std::isnan(whole)                 ? 0
                                            : qint64(whole);
    const double minutes = double((static_cast<long double>(Value) - hours) * 60.0L);
    QString minuteText = FloatToStrF(minutes, 0);
    // A fraction worth 59.5 minutes or more rounds up to a whole hour: 2.999 is 03:00,
    // never 02:60.
    if (minuteText == u"60"_s) {
        ++hours;
        minuteText = u"0"_s;
    } else if (minuteText == u"-60"_s) {
        --hours;
        minuteText = u"0"_s;
    }
    return PadL(QString::number(hours), 2) + u':' + Ajusta(minuteText, 2);
}

} // namespace qor
