#pragma once

#include <QString>
#include <functional>

class QInputMethodEvent;
class QLineEdit;

namespace qor {

// Composed text (a dead key, a compose sequence, an input method) in a line edit whose
// typing goes through a key filter. Committed whole it would skip the filter, so the
// edit takes only the text being composed from the input method, and types what is
// committed key by key itself. Composing also removes selected text at once, before any
// composed key is filtered: the selection is set aside meanwhile and selected again once
// the composition ends, for the composed keys to replace.
class TComposition
{
public:
    // Shows the text being composed through showComposing (the edit's own
    // QLineEdit::inputMethodEvent) and returns the text committed, for the edit to type
    // key by key; empty while the text is still being composed, and for a read-only edit,
    // which takes the event as Qt does.
    QString committed(QLineEdit *edit, QInputMethodEvent *event,
                      const std::function<void(QInputMethodEvent *)> &showComposing);

private:
    // Deselects the edit's selection, when it has one, and keeps it.
    void setAside(QLineEdit *edit);
    // Selects the kept selection again, and forgets it. A composition dropped without a
    // word from the input method (another window activated meanwhile) leaves it behind:
    // once the edit's cursor or text has changed, it is only forgotten, or the next keys
    // composed would replace text the user no longer had selected.
    void restore(QLineEdit *edit);

    int m_start = 0;
    int m_length = 0;
    QString m_text; // the edit's text and cursor with the selection set aside
    int m_cursor = -1;
};

} // namespace qor
