#pragma once

#include "forms/dialogs.h"

namespace qor {

// The real dialogs: a QMessageBox over the active window, in Portuguese.
class MessageBoxDialogs : public IDialogs
{
public:
    TModalResult MessageDlg(const QString &text, TMsgDlgType type, TMsgDlgButtons buttons) override;
};

} // namespace qor
