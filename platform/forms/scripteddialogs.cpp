#include "forms/scripteddialogs.h"

namespace qor {

TModalResult ScriptedDialogs::MessageDlg(const QString &text, TMsgDlgType type,
                                         TMsgDlgButtons buttons)
{
    const TDialogMessage message{type, text, buttons};
    m_messages.append(message);
    if (OnMessage)
        OnMessage(message);
    if (type != mtConfirmation)
        return mrOk;
    if (m_answers.isEmpty()) {
        ++m_unanswered;
        return DefaultAnswer;
    }
    return m_answers.dequeue();
}

QStringList ScriptedDialogs::Texts() const
{
    QStringList texts;
    for (const auto &m : m_messages)
        texts.append(m.Text);
    return texts;
}

QStringList ScriptedDialogs::Texts(TMsgDlgType kind) const
{
    QStringList texts;
    for (const auto &m : m_messages) {
        if (m.Kind == kind)
            texts.append(m.Text);
    }
    return texts;
}

void ScriptedDialogs::Clear()
{
    m_messages.clear();
    m_answers.clear();
    m_unanswered = 0;
}

ScopedScriptedDialogs::ScopedScriptedDialogs()
{
    auto dialogs = std::make_unique<ScriptedDialogs>();
    m_dialogs = dialogs.get();
    m_previous = SetDialogs(std::move(dialogs));
}

ScopedScriptedDialogs::~ScopedScriptedDialogs()
{
    SetDialogs(std::move(m_previous));
}

} // namespace qor
