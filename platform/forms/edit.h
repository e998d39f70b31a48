#pragma once

#include "forms/control.h"

#include <QLineEdit>
#include <functional>

namespace qor {

// A plain one-line edit.
class TEdit : public QLineEdit, public TControl
{
    Q_OBJECT
public:
    explicit TEdit(QWidget *parent = nullptr);

    QString Text() const { return text(); }
    void SetText(const QString &text) { setText(text); }
    bool ReadOnly() const { return isReadOnly(); }
    void SetReadOnly(bool readOnly) { setReadOnly(readOnly); }

    // Every typed character, before the edit acts on it; setting Key to 0 (or raising
    // EAbort) drops it. Guarded.
    std::function<void(QObject *Sender, QChar &Key)> OnKeyPress;
    // The text changed (by typing or by SetText). Guarded.
    std::function<void(QObject *Sender)> OnChange;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
};

} // namespace qor
