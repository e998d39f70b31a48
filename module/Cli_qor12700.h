#pragma once

// Unit Cli_qor12700, the package Pkg_Qor12700: the exercise-planning screen, the screen
// context the host and sibling modules read, and the entry routines.

#include "rtl/datetime.h"
#include "screen/frmplanejaexerc.h"

#include <QString>
#include <QVariant>
#include <QtGlobal>

// The screen context, exported under plain names so the host can read it from the
// loaded library. The branch, the patient and the consultation date identify the
// consultation; every plan service call and every new row carries them.
extern "C" {
Q_DECL_EXPORT extern qor::TfrmPlanejaExerc *frmPlanejaExerc; // null unless boIdCriado
Q_DECL_EXPORT extern QString stCdFilial; // CDFILIAL, 4 characters
Q_DECL_EXPORT extern QString stCdPaciente; // CDPACIENTE, 12 characters
Q_DECL_EXPORT extern QString stNmPaciente; // shown unchanged in the header
Q_DECL_EXPORT extern qor::TDateTime dtIdadePaci; // the host's age reference; kept only
Q_DECL_EXPORT extern qor::TDateTime dtConsulta; // DTCONSPACI
Q_DECL_EXPORT extern bool boIdCriado; // the screen exists
Q_DECL_EXPORT extern bool boPrimVez; // the screen has not been activated yet

// The host's entry point. params holds a list of at least five values: branch code,
// patient code, patient name (strings), age reference date and consultation date
// (date-times as day counts, or QDate/QDateTime). They are read in the order 3, 4, 2,
// 1, 0 and converted before anything is stored. Nothing raises across this boundary:
// a failure is handed to the application's error handler (a message to the user) and
// false is returned, with the screen context unchanged.
Q_DECL_EXPORT bool IniProc(const QVariant &params);

// "6.05.002": the package's file and product version 6.5.2.0 as the host shows it.
Q_DECL_EXPORT const char *QorPackageVersion();
}

namespace qor {

// Stores the screen context and shows the single screen, creating it when none exists
// (its first activation loads the consultation). Raises what creating, loading or
// showing raises.
//
// Asked for another consultation while the screen is loaded, the screen never mixes
// two consultations: with nothing being edited it reloads header, weight and plan for
// the new one; with a plan row or the weight being edited it asks "Canc" first: Yes
// cancels the editing and reloads, any other answer keeps the shown consultation and
// its context (so new rows still take the shown consultation's keys).
void CriaPlanejamentoExe(const QString &cdFilial, const QString &cdPaciente,
                         const QString &nmPaciente, TDateTime idadePaci, TDateTime consulta);

// The context converted from IniProc's parameter list; raises EConvertError with a
// Portuguese message when the list is too short, an element does not convert, or a
// branch or patient code is blank or longer than its field (4 and 12 characters).
struct ScreenContext
{
    QString cdFilial;
    QString cdPaciente;
    QString nmPaciente;
    TDateTime idadePaci = 0;
    TDateTime consulta = 0;
};
ScreenContext ReadIniProcParams(const QVariant &params);

// Counted unit initialization and finalization: the first initialization clears
// boIdCriado, the last finalization clears the context strings. The package runs them
// when it is loaded and unloaded.
void InitializeCli_qor12700();
void FinalizeCli_qor12700();
int Cli_qor12700InitCount();

} // namespace qor
