#include "forms/speedbutton.h"

#include "forms/guard.h"

namespace qor {

TSpeedButton::TSpeedButton(QWidget *parent)
    : QToolButton(parent)
    , TControl(this, QPalette::Button, clBtnFace)
{
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    connect(this, &QToolButton::clicked, this, [this] {
        if (OnClick)
            guarded([&] { OnClick(this); });
    });
}

void TSpeedButton::Click()
{
    if (isEnabled())
        click();
}

} // namespace qor
