#pragma once

#include <QChar>
#include <QStringList>
#include <memory>

class QKeyEvent;

namespace qor {

// The character a key press types, as the OnKeyPress events see it: printable text,
// and the control characters backspace (8), tab (9), carriage return (13, Enter) and
// escape (27), also Ctrl+letter codes; every paste shortcut types Ctrl+V's 22. A null
// QChar when the key types nothing (arrows, function keys, Delete).
QChar typedChar(const QKeyEvent *event);

// The character a grid's key filter is asked about: what typedChar gives, and for the
// Delete key (with any modifier) the DEL character (127), so that a filter refusing
// typing in a column refuses deleting there too.
QChar filteredChar(const QKeyEvent *event);

// For the numeric keypad's decimal key, which gives a point on many keyboard layouts and
// a comma on others: a copy of the event that types the decimal comma the numbers are
// read with. Null for any other key, and when the key already types the comma.
std::unique_ptr<QKeyEvent> keypadDecimalAsComma(const QKeyEvent *event);

// A copy of the event that types `key` instead (for a handler that replaced the key).
std::unique_ptr<QKeyEvent> retypedEvent(const QKeyEvent *event, QChar key);

// Whether the key changes the text of an edit (typed characters other than tab, Enter
// and escape; Delete; the cut and paste shortcuts).
bool modifiesText(const QKeyEvent *event);

// The text's characters one by one, as composed or pasted text is typed key by key; a
// character beyond 16 bits (a surrogate pair) stays one.
QStringList characters(const QString &text);

} // namespace qor
