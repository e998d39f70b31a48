#pragma once

#include "forms/colors.h"

#include <QObject>
#include <QPalette>
#include <functional>

class QWidget;

namespace qor {

// What every visual control offers, mixed into our Qt widget subclasses. The colour
// paints one role of the widget's palette (the base of an edit, the window of a panel).
class TControl
{
public:
    TControl(QWidget *widget, QPalette::ColorRole colorRole, TColor defaultColor);
    virtual ~TControl() = default;
    TControl(const TControl &) = delete;
    TControl &operator=(const TControl &) = delete;

    QWidget *Widget() const { return m_widget; }

    bool Enabled() const;
    void SetEnabled(bool enabled);
    // Not explicitly hidden (true for a child of a form not shown yet).
    bool Visible() const;
    void SetVisible(bool visible);
    TColor Color() const { return m_color; }
    void SetColor(TColor color);

    // Takes the input focus (and activates the window). A disabled or hidden control
    // does nothing, instead of failing as the classic framework did.
    void SetFocus();
    bool Focused() const;
    bool CanFocus() const;

    int Tag = 0;
    // Focus arrives / leaves; run under the exception guard.
    std::function<void(QObject *Sender)> OnEnter;
    std::function<void(QObject *Sender)> OnExit;

protected:
    // For the subclasses' focusInEvent/focusOutEvent: run OnEnter/OnExit guarded.
    void doEnter();
    void doExit();

private:
    QWidget *m_widget;
    QPalette::ColorRole m_colorRole;
    TColor m_color;
};

} // namespace qor
