#include "forms/composition.h"

#include <QInputMethodEvent>
#include <QLineEdit>

namespace qor {

QString TComposition::committed(QLineEdit *edit, QInputMethodEvent *event,
                                const std::function<void(QInputMethodEvent *)> &showComposing)
{
    if (edit->isReadOnly()) { // nothing is typed there: Qt's own handling stands
        showComposing(event);
        return {};
    }
    setAside(edit);
    QInputMethodEvent composing(event->preeditString(), event->attributes());
    showComposing(&composing);
    if (event->commitString().isEmpty() && !event->preeditString().isEmpty())
        return {}; // still composing
    restore(edit);
    return event->commitString();
}

void TComposition::setAside(QLineEdit *edit)
{
    if (!edit->hasSelectedText())
        return;
    m_start = edit->selectionStart();
    m_length = int(edit->selectedText().size());
    edit->deselect();
    m_text = edit->text();
    m_cursor = edit->cursorPosition();
}

void TComposition::restore(QLineEdit *edit)
{
    if (m_length > 0 && edit->cursorPosition() == m_cursor && edit->text() == m_text)
        edit->setSelection(m_start, m_length);
    m_start = 0;
    m_length = 0;
    m_text.clear();
    m_cursor = -1;
}

} // namespace qor
