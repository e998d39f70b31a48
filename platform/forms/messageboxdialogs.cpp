#include "forms/messageboxdialogs.h"

#include "forms/application.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

struct ButtonText
{
    TMsgDlgBtn button;
    QMessageBox::ButtonRole role;
    const char16_t *text;
    TModalResult result;
};

// In the order the buttons appear.
constexpr ButtonText buttonTexts[] = {
    {mbYes, QMessageBox::YesRole, u"&Sim", mrYes},
    {mbNo, QMessageBox::NoRole, u"&Não", mrNo},
    {mbOK, QMessageBox::AcceptRole, u"OK", mrOk},
    {mbCancel, QMessageBox::RejectRole, u"Cancelar", mrCancel},
    {mbAbort, QMessageBox::RejectRole, u"&Abortar", mrAbort},
    {mbRetry, QMessageBox::AcceptRole, u"&Repetir", mrRetry},
    {mbIgnore, QMessageBox::AcceptRole, u"&Ignorar", mrIgnore},
};

QString titleFor(TMsgDlgType type)
{
    switch (type) {
    case mtWarning:
        return u"Aviso"_s;
    case mtError:
        return u"Erro"_s;
    case mtInformation:
        return u"Informação"_s;
    case mtConfirmation:
        return u"Confirmação"_s;
    case mtCustom:
        break;
    }
    return Application()->Title;
}

QMessageBox::Icon iconFor(TMsgDlgType type)
{
    switch (type) {
    case mtWarning:
        return QMessageBox::Warning;
    case mtError:
        return QMessageBox::Critical;
    case mtInformation:
        return QMessageBox::Information;
    case mtConfirmation:
        return QMessageBox::Question;
    case mtCustom:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

TModalResult MessageBoxDialogs::MessageDlg(const QString &text, TMsgDlgType type,
                                           TMsgDlgButtons buttons)
{
    QWidget *parent = QApplication::activeWindow();
    if (!parent)
        parent = Application()->MainForm();
    QMessageBox box(iconFor(type), titleFor(type), text, QMessageBox::NoButton, parent);
    if (!buttons)
        buttons = mbOK;
    QList<std::pair<QAbstractButton *, TModalResult>> made;
    for (const auto &b : buttonTexts) {
        if (buttons.testFlag(b.button))
            made.append({box.addButton(QString::fromUtf16(b.text), b.role), b.result});
    }
    if (!made.isEmpty())
        box.setDefaultButton(qobject_cast<QPushButton *>(made.first().first));
    box.exec();
    for (const auto &[button, result] : made) {
        if (box.clickedButton() == button)
            return result;
    }
    // Closed with Esc or the title bar: the cancelling answer.
    if (buttons.testFlag(mbCancel))
        return mrCancel;
    return buttons.testFlag(mbNo) ? mrNo : mrOk;
}

} // namespace qor
