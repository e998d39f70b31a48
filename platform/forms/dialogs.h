#pragma once

#include <QFlags>
#include <QString>
#include <memory>

namespace qor {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn {
    mbYes = 0x1,
    mbNo = 0x2,
    mbOK = 0x4,
    mbCancel = 0x8,
    mbAbort = 0x10,
    mbRetry = 0x20,
    mbIgnore = 0x40,
};
Q_DECLARE_FLAGS(TMsgDlgButtons, TMsgDlgBtn)
Q_DECLARE_OPERATORS_FOR_FLAGS(TMsgDlgButtons)

// Modal results, with the classic values (the screen compares with 6).
using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;

// Every modal message of the application goes through one installed IDialogs, so
// tests can answer them without a real modal dialog.
class IDialogs
{
public:
    virtual ~IDialogs() = default;

    // Shows the text modally and returns the button the user chose.
    virtual TModalResult MessageDlg(const QString &text, TMsgDlgType type,
                                    TMsgDlgButtons buttons) = 0;

    void Error(const QString &text) { MessageDlg(text, mtError, mbOK); }
    void Information(const QString &text) { MessageDlg(text, mtInformation, mbOK); }
    void Warning(const QString &text) { MessageDlg(text, mtWarning, mbOK); }
    // Yes/No question; returns mrYes or mrNo (or whatever the dialog was closed with).
    TModalResult Confirmation(const QString &text, TMsgDlgButtons buttons = mbYes | mbNo)
    {
        return MessageDlg(text, mtConfirmation, buttons);
    }
};

// The installed dialogs; a MessageBoxDialogs until something else is installed.
IDialogs *Dialogs();
// Installs new dialogs and returns the previous ones (null restores the default).
std::unique_ptr<IDialogs> SetDialogs(std::unique_ptr<IDialogs> dialogs);

} // namespace qor
