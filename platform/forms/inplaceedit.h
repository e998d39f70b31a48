#pragma once

#include "forms/composition.h"
#include "forms/editmask.h"

#include <QLineEdit>

class QToolButton;

namespace qor {

class TDBGrid;

// The grid's in-place editor: a line edit with an optional "..." button at its right.
class TInplaceEdit : public QLineEdit
{
    Q_OBJECT
public:
    TInplaceEdit(TDBGrid *grid, QWidget *parent);

    void SetEditMask(const QString &editMask);
    const TEditMask &EditMask() const { return m_mask; }
    // The text for the field: mask blanks kept, literals as the mask says.
    QString FieldText() const;
    void SetButtonVisible(bool visible);
    QToolButton *Button() const { return m_button; }
    // The text was changed by the user since the editor opened.
    bool UserModified() const { return m_userModified; }
    void ClearUserModified() { m_userModified = false; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;

private:
    void layoutButton();

    TDBGrid *m_grid;
    QToolButton *m_button;
    TEditMask m_mask;
    bool m_userModified = false;
    // Composed text, typed key by key; the selection it will replace.
    TComposition m_composition;
};

} // namespace qor
