#pragma once

#include <QString>
#include <functional>

namespace qor {

// Questions the framework asks the user beyond yes and no: a line of text and a file
// name to save to. They run through replaceable prompters, so tests answer them
// without a modal dialog; by default a QInputDialog and a QFileDialog (run through
// RunModal) ask.

// Asks for a text, value holding the initial text; true with the typed text in value
// when the user confirmed, false (value unchanged) when cancelled.
bool InputQuery(const QString &caption, const QString &prompt, QString &value);
// Asks for the name of a file to write; empty when cancelled. A name typed without an
// extension takes the suggested name's.
QString PromptSaveFileName(const QString &caption, const QString &suggestedName,
                           const QString &filter);

using InputPrompter =
    std::function<bool(const QString &caption, const QString &prompt, QString &value)>;
using SaveFilePrompter = std::function<QString(const QString &caption, const QString &suggestedName,
                                               const QString &filter)>;
// Install replacements (an empty function restores the default); each returns the
// previous one.
InputPrompter SetInputPrompter(InputPrompter prompter);
SaveFilePrompter SetSaveFilePrompter(SaveFilePrompter prompter);

} // namespace qor
