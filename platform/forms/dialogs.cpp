#include "forms/dialogs.h"

#include "forms/messageboxdialogs.h"

namespace qor {

namespace {
std::unique_ptr<IDialogs> &installed()
{
    static std::unique_ptr<IDialogs> dialogs;
    return dialogs;
}
} // namespace

IDialogs *Dialogs()
{
    auto &dialogs = installed();
    if (!dialogs)
        dialogs = std::make_unique<MessageBoxDialogs>();
    return dialogs.get();
}

std::unique_ptr<IDialogs> SetDialogs(std::unique_ptr<IDialogs> dialogs)
{
    auto previous = std::move(installed());
    installed() = std::move(dialogs);
    return previous;
}

} // namespace qor
