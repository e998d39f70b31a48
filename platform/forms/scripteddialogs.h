#pragma once

#include "forms/dialogs.h"

#include <QList>
#include <QQueue>
#include <functional>

namespace qor {

// One message the application showed.
struct TDialogMessage
{
    TMsgDlgType Kind = mtInformation;
    QString Text;
    TMsgDlgButtons Buttons;
    bool operator==(const TDialogMessage &) const = default;
};

// Dialogs for tests: record every message and answer from a queue. Messages that are
// not confirmations answer mrOk; a confirmation with no queued answer gets
// DefaultAnswer and is counted in Unanswered().
class ScriptedDialogs : public IDialogs
{
public:
    TModalResult MessageDlg(const QString &text, TMsgDlgType type, TMsgDlgButtons buttons) override;

    void QueueAnswer(TModalResult answer) { m_answers.enqueue(answer); }
    int PendingAnswers() const { return int(m_answers.size()); }
    int Unanswered() const { return m_unanswered; }
    TModalResult DefaultAnswer = mrNo;

    const QList<TDialogMessage> &Messages() const { return m_messages; }
    QStringList Texts() const;
    // The texts of the messages of one kind, in order.
    QStringList Texts(TMsgDlgType kind) const;
    void Clear();

    // Called while the "dialog" is up, before it answers: lets a test look at the
    // application's state at the moment a message is shown.
    std::function<void(const TDialogMessage &)> OnMessage;

private:
    QList<TDialogMessage> m_messages;
    QQueue<TModalResult> m_answers;
    int m_unanswered = 0;
};

// Installs a ScriptedDialogs for the lifetime of the object and restores the previous
// dialogs afterwards.
class ScopedScriptedDialogs
{
public:
    ScopedScriptedDialogs();
    ~ScopedScriptedDialogs();
    ScopedScriptedDialogs(const ScopedScriptedDialogs &) = delete;
    ScopedScriptedDialogs &operator=(const ScopedScriptedDialogs &) = delete;

    ScriptedDialogs *operator->() const { return m_dialogs; }
    ScriptedDialogs &operator*() const { return *m_dialogs; }
    ScriptedDialogs *get() const { return m_dialogs; }

private:
    ScriptedDialogs *m_dialogs;
    std::unique_ptr<IDialogs> m_previous;
};

} // namespace qor
