#include "module/Cli_qor12700.h"

#include "forms/application.h"
#include "forms/screen.h"

namespace qor {

namespace {

// The hourglass for the duration of the call, restored also when the call raises.
class HourGlass
{
public:
    HourGlass() { Screen()->SetCursor(crHourGlass); }
    ~HourGlass() { Screen()->SetCursor(crDefault); }
    HourGlass(const HourGlass &) = delete;
    HourGlass &operator=(const HourGlass &) = delete;
};

// The calendar date and the time of day to the millisecond, as the server stores them.
// Not as local QDateTimes: a midnight that daylight saving time skips is an invalid one,
// and every invalid QDateTime equals every other.
bool sameMoment(TDateTime a, TDateTime b)
{
    QDate dateA, dateB;
    int msecsA = 0, msecsB = 0;
    const bool validA = DecodeDateTime(a, &dateA, &msecsA);
    const bool validB = DecodeDateTime(b, &dateB, &msecsB);
    return validA == validB && dateA == dateB && msecsA == msecsB;
}

bool isShownConsultation(const QString &cdFilial, const QString &cdPaciente, TDateTime consulta)
{
    return cdFilial == stCdFilial && cdPaciente == stCdPaciente && sameMoment(consulta, dtConsulta);
}

void showScreen()
{
    frmPlanejaExerc->Show();
    frmPlanejaExerc->SetWindowState(wsNormal);
}

} // namespace

void CriaPlanejamentoExe(const QString &cdFilial, const QString &cdPaciente,
                         const QString &nmPaciente, TDateTime idadePaci, TDateTime consulta)
{
    // A loaded screen asked for another consultation is reloaded, so rows and weights are
    // never saved under a consultation other than the one shown. So is one whose reload
    // failed (the server out of reach): it shows nothing of the consultation of its
    // context, and the host asking for that one again would otherwise change nothing.
    const bool otherConsultation = boIdCriado && frmPlanejaExerc && !boPrimVez
        && (frmPlanejaExerc->reloadFailed()
            || !isShownConsultation(cdFilial, cdPaciente, consulta));
    if (otherConsultation && frmPlanejaExerc->EditingInProgress() && !frmPlanejaExerc->CanClose()) {
        // The user keeps the typed values: the screen and its context stay as they are.
        showScreen();
        return;
    }

    stCdFilial = cdFilial;
    stCdPaciente = cdPaciente;
    stNmPaciente = nmPaciente;
    dtIdadePaci = idadePaci;
    dtConsulta = consulta;

    HourGlass hourGlass;
    if (!boIdCriado || !frmPlanejaExerc) {
        frmPlanejaExerc = Application()->CreateForm<TfrmPlanejaExerc>();
        boIdCriado = true;
    }
    showScreen();
    if (otherConsultation)
        frmPlanejaExerc->reloadConsultation();
}

} // namespace qor
