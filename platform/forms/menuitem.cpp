#include "forms/menuitem.h"

#include "forms/guard.h"

namespace qor {

TMenuItem::TMenuItem(QObject *parent)
    : QAction(parent)
{
    connect(this, &QAction::triggered, this, [this] {
        if (OnClick)
            guarded([&] { OnClick(this); });
    });
}

TMenuItem::TMenuItem(const QString &caption, QObject *parent)
    : TMenuItem(parent)
{
    setText(caption);
}

void TMenuItem::Click()
{
    if (isEnabled())
        trigger();
}

} // namespace qor
