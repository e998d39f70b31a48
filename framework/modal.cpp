#include "modal.h"

#include <QDialog>

namespace qor {

namespace {
ModalRunner g_runner;
}

ModalRunner SetModalRunner(ModalRunner runner)
{
    ModalRunner previous = std::move(g_runner);
    g_runner = std::move(runner);
    return previous;
}

int RunModal(QDialog *dialog)
{
    if (g_runner)
        return g_runner(dialog);
    return dialog->exec();
}

} // namespace qor
