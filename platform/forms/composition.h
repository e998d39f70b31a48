#pragma once

#include <QString>

class QLineEdit;

namespace qor {

// The selection a line edit had when text began to be composed over it (a dead key, a
// compose sequence, an input method). Composing removes selected text at once, before any
// composed key is filtered; set aside instead, it is selected again once the composition
// ends, for the composed keys to replace.
class TSetAsideSelection
{
public:
    // Deselects the edit's selection, when it has one, and keeps it.
    void take(QLineEdit *edit);
    // Selects the kept selection again, and forgets it. A composition dropped without a
    // word from the input method (another window activated meanwhile) leaves it behind:
    // once the edit's cursor or text has changed, it is only forgotten, or the next keys
    // composed would replace text the user no longer had selected.
    void restore(QLineEdit *edit);

private:
    int m_start = 0;
    int m_length = 0;
    QString m_text; // the edit's text and cursor with the selection set aside
    int m_cursor = -1;
};

} // namespace qor
