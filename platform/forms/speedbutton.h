#pragma once

#include "forms/control.h"

#include <QToolButton>
#include <functional>

namespace qor {

// A flat command-bar button. It does not take the focus when clicked, so an edit
// keeps its pending text until the command posts it.
class TSpeedButton : public QToolButton, public TControl
{
    Q_OBJECT
public:
    explicit TSpeedButton(QWidget *parent = nullptr);

    QString Caption() const { return text(); }
    void SetCaption(const QString &caption) { setText(caption); }
    QString Hint() const { return toolTip(); }
    void SetHint(const QString &hint) { setToolTip(hint); }

    // Runs OnClick when enabled, as a user's click would (guarded).
    void Click();

    std::function<void(QObject *Sender)> OnClick;
};

} // namespace qor
