#include "module/Cli_qor12700.h"

// The screen context and the unit's counted initialization live in one translation
// unit, so the strings are constructed before the unit is initialized and destroyed
// after it is finalized.

qor::TfrmPlanejaExerc *frmPlanejaExerc = nullptr;
QString stCdFilial;
QString stCdPaciente;
QString stNmPaciente;
qor::TDateTime dtIdadePaci = 0;
qor::TDateTime dtConsulta = 0;
bool boIdCriado = false;
bool boPrimVez = false;

namespace qor {

namespace {
int initCount = 0;
} // namespace

void InitializeCli_qor12700()
{
    // Nested loads of the package initialize the unit once.
    if (initCount++ == 0)
        boIdCriado = false;
}

void FinalizeCli_qor12700()
{
    if (initCount == 0)
        return;
    if (--initCount == 0) {
        stCdFilial.clear();
        stNmPaciente.clear();
        stCdPaciente.clear();
    }
}

int Cli_qor12700InitCount()
{
    return initCount;
}

namespace {
// Runs the unit's initialization when the package is loaded and its finalization when
// it is unloaded.
struct UnitRegistration
{
    UnitRegistration() { InitializeCli_qor12700(); }
    ~UnitRegistration() { FinalizeCli_qor12700(); }
} unitRegistration;
} // namespace

} // namespace qor
