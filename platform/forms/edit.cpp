#include "forms/edit.h"

#include "forms/guard.h"
#include "forms/keys.h"

#include <QKeyEvent>

namespace qor {

TEdit::TEdit(QWidget *parent)
    : QLineEdit(parent)
    , TControl(this, QPalette::Base, clWindow)
{
    connect(this, &QLineEdit::textChanged, this, [this] {
        if (OnChange)
            guarded([&] { OnChange(this); });
    });
}

void TEdit::keyPressEvent(QKeyEvent *event)
{
    QChar key = typedChar(event);
    if (key.isNull() || !OnKeyPress) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const QChar typed = key;
    if (!guarded([&] { OnKeyPress(this, key); }) || key.isNull()) {
        event->accept();
        return;
    }
    if (key == typed) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    auto replaced = retypedEvent(event, key);
    QLineEdit::keyPressEvent(replaced.get());
}

void TEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    doEnter();
}

void TEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    doExit();
}

} // namespace qor
