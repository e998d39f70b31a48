#include "prompts.h"

#include "modal.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

InputPrompter g_input;
SaveFilePrompter g_saveFile;

bool defaultInput(const QString &caption, const QString &prompt, QString &value)
{
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(caption);
    dialog.setLabelText(prompt);
    dialog.setTextValue(value);
    dialog.setOkButtonText(u"OK"_s);
    dialog.setCancelButtonText(u"Cancelar"_s);
    if (RunModal(&dialog) != QDialog::Accepted)
        return false;
    value = dialog.textValue();
    return true;
}

QString defaultSaveFile(const QString &caption, const QString &suggestedName, const QString &filter)
{
    QFileDialog dialog(QApplication::activeWindow(), caption, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(suggestedName);
    // A name typed without an extension takes the suggested one ("plano" is written as
    // plano.csv), as the filter promises; an extension the user typed is kept.
    dialog.setDefaultSuffix(QFileInfo(suggestedName).suffix());
    if (RunModal(&dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

bool InputQuery(const QString &caption, const QString &prompt, QString &value)
{
    if (g_input)
        return g_input(caption, prompt, value);
    return defaultInput(caption, prompt, value);
}

QString PromptSaveFileName(const QString &caption, const QString &suggestedName,
                           const QString &filter)
{
    if (g_saveFile)
        return g_saveFile(caption, suggestedName, filter);
    return defaultSaveFile(caption, suggestedName, filter);
}

InputPrompter SetInputPrompter(InputPrompter prompter)
{
    InputPrompter previous = std::move(g_input);
    g_input = std::move(prompter);
    return previous;
}

SaveFilePrompter SetSaveFilePrompter(SaveFilePrompter prompter)
{
    SaveFilePrompter previous = std::move(g_saveFile);
    g_saveFile = std::move(prompter);
    return previous;
}

} // namespace qor
