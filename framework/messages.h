#pragma once

#include "forms/dialogs.h"

#include <QHash>
#include <QObject>
#include <QStringList>

namespace qor {

// A keyed message list. Entries are "key|text" strings, added in order; the text runs
// from the first vertical bar to the end (it may hold further bars). Keys are matched
// exactly; a later entry with the same key replaces the earlier one.
class TMessages : public QObject
{
    Q_OBJECT
public:
    explicit TMessages(QObject *parent = nullptr);

    // Adds one "key|text" entry; an entry without a bar or with an empty key is ignored.
    void Add(const QString &entry);
    void Add(const QStringList &entries);
    void Clear();
    // The entries as given, in order.
    const QStringList &Messages() const { return m_entries; }
    bool Contains(const QString &key) const { return m_texts.contains(key); }

    // The text stored under key. A key missing from the list gives
    // "Mensagem não cadastrada: KEY", so the gap is visible and the text never empty.
    QString Msg(const QString &key) const;

    // Shows the key's text modally through the dialogs interface and returns the modal
    // result (mrYes is 6). number is kept for the call sites (help context).
    TModalResult ShowMsg(const QString &key, TMsgDlgType dialogType, TMsgDlgButtons buttons = mbOK,
                         int number = 0) const;

private:
    QStringList m_entries;
    QHash<QString, QString> m_texts;
};

} // namespace qor
