#include "messages.h"

using namespace Qt::StringLiterals;

namespace qor {

TMessages::TMessages(QObject *parent)
    : QObject(parent)
{ }

void TMessages::Add(const QString &entry)
{
    const qsizetype bar = entry.indexOf(u'|');
    if (bar <= 0)
        return;
    const QString key = entry.left(bar);
    m_entries.append(entry);
    m_texts.insert(key, entry.mid(bar + 1));
}

void TMessages::Add(const QStringList &entries)
{
    for (const QString &entry : entries)
        Add(entry);
}

void TMessages::Clear()
{
    m_entries.clear();
    m_texts.clear();
}

QString TMessages::Msg(const QString &key) const
{
    const auto found = m_texts.constFind(key);
    if (found != m_texts.cend())
        return *found;
    return u"Mensagem não cadastrada: %1"_s.arg(key);
}

TModalResult TMessages::ShowMsg(const QString &key, TMsgDlgType dialogType, TMsgDlgButtons buttons,
                                int /*number*/) const
{
    return Dialogs()->MessageDlg(Msg(key), dialogType, buttons);
}

} // namespace qor
