#pragma once

#include <functional>

class QDialog;

namespace qor {

// How the framework's modal dialogs run: by default QDialog::exec. A test installs a
// runner that drives the live dialog (QTest key clicks into it) and returns its result
// (dialog->result()); pass an empty function to restore the default. Returns the
// previous runner.
using ModalRunner = std::function<int(QDialog *dialog)>;
ModalRunner SetModalRunner(ModalRunner runner);
// Runs dialog modally through the installed runner and returns its result.
int RunModal(QDialog *dialog);

} // namespace qor
