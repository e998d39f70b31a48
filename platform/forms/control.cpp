#include "forms/control.h"

#include "forms/guard.h"

#include <QWidget>

namespace qor {

TControl::TControl(QWidget *widget, QPalette::ColorRole colorRole, TColor defaultColor)
    : m_widget(widget)
    , m_colorRole(colorRole)
    , m_color(defaultColor)
{ }

bool TControl::Enabled() const
{
    return m_widget->isEnabled();
}

void TControl::SetEnabled(bool enabled)
{
    m_widget->setEnabled(enabled);
}

bool TControl::Visible() const
{
    if (m_widget->isWindow())
        return m_widget->isVisible();
    return !(m_widget->testAttribute(Qt::WA_WState_ExplicitShowHide) && m_widget->isHidden());
}

void TControl::SetVisible(bool visible)
{
    m_widget->setVisible(visible);
}

void TControl::SetColor(TColor color)
{
    m_color = color;
    QPalette palette = m_widget->palette();
    if (color.IsDefault()) {
        palette.setBrush(m_colorRole, QPalette().brush(m_colorRole));
    } else {
        palette.setColor(m_colorRole, color.toQColor());
    }
    m_widget->setPalette(palette);
    if (m_colorRole == QPalette::Window)
        m_widget->setAutoFillBackground(!color.IsDefault());
}

bool TControl::CanFocus() const
{
    return m_widget->isEnabled() && m_widget->focusPolicy() != Qt::NoFocus
        && !(m_widget->testAttribute(Qt::WA_WState_ExplicitShowHide) && m_widget->isHidden());
}

void TControl::SetFocus()
{
    if (!CanFocus())
        return;
    if (QWidget *window = m_widget->window(); window->isVisible())
        window->activateWindow();
    m_widget->setFocus(Qt::OtherFocusReason);
}

bool TControl::Focused() const
{
    return m_widget->hasFocus();
}

void TControl::doEnter()
{
    if (OnEnter)
        guarded([&] { OnEnter(m_widget); });
}

void TControl::doExit()
{
    if (OnExit)
        guarded([&] { OnExit(m_widget); });
}

} // namespace qor
