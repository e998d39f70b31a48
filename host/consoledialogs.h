#pragma once

#include "forms/dialogs.h"

namespace qor {

// Dialogs for an unattended run (--screenshot): messages go to the standard error and
// questions are answered No, so nothing waits for a user who is not there and nothing
// is discarded. It counts the errors it was given, so the run can end as failed.
class ConsoleDialogs : public IDialogs
{
public:
    TModalResult MessageDlg(const QString &text, TMsgDlgType type, TMsgDlgButtons buttons) override;
    int errorCount() const { return m_errors; }

private:
    int m_errors = 0;
};

} // namespace qor
