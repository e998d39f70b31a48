#include "forms/composition.h"

#include <QLineEdit>

namespace qor {

void TSetAsideSelection::take(QLineEdit *edit)
{
    if (!edit->hasSelectedText())
        return;
    m_start = edit->selectionStart();
    m_length = int(edit->selectedText().size());
    edit->deselect();
    m_text = edit->text();
    m_cursor = edit->cursorPosition();
}

void TSetAsideSelection::restore(QLineEdit *edit)
{
    if (m_length > 0 && edit->cursorPosition() == m_cursor && edit->text() == m_text)
        edit->setSelection(m_start, m_length);
    *this = {};
}

} // namespace qor
