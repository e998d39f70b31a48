#pragma once

class QWidget;

namespace qor {

// The busy indicator, unit Showavi: a small frameless window centred over form (the
// application's main form) with a spinner and a caption for its kind: 0 "Carregando...",
// 1 "Gravando...", 6 "Verificando...", any other "Aguarde...". It is painted before this
// call returns, so a blocking call made next shows it; the hourglass cursor goes with it.
// Showing it while shown changes its caption. form may be nullptr (centred on screen).
void ActiveShowAvi(QWidget *form, int kind);
// Hides it and restores the cursor; harmless while it is hidden.
void DeactiveShowAvi();

// For tests and diagnostics.
bool ShowAviVisible();
int ShowAviKind(); // the kind shown now, -1 when hidden
int ShowAviCount(int kind); // how often ActiveShowAvi ran with kind
void ResetShowAviCounts();
QWidget *ShowAviWindow(); // the window, nullptr before the first show

} // namespace qor
