#include "forms/inplaceedit.h"

#include "forms/dbgrid.h"
#include "forms/keys.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace qor {

TInplaceEdit::TInplaceEdit(TDBGrid *grid, QWidget *parent)
    : QLineEdit(parent)
    , m_grid(grid)
    , m_button(new QToolButton(this))
{
    setFrame(false);
    // Text may only arrive through keys, which meet the grid's key filter and put the
    // dataset into edit: pasted from the editor's menu or dropped, a code went over a
    // planned row's code that the filter keeps from typing, and a time sat in a row not
    // being edited, dropped unasked when the screen closed.
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    m_button->setObjectName(u"editButton"_s);
    m_button->setText(u"..."_s);
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setCursor(Qt::ArrowCursor);
    m_button->hide();
    connect(m_button, &QToolButton::clicked, this, [this] { m_grid->editButtonClicked(); });
    connect(this, &QLineEdit::textEdited, this, [this] { m_userModified = true; });
}

void TInplaceEdit::SetEditMask(const QString &editMask)
{
    m_mask = parseEditMask(editMask);
    setInputMask(m_mask.qtMask);
}

QString TInplaceEdit::FieldText() const
{
    return m_mask.qtMask.isEmpty() ? text() : m_mask.fieldText(displayText());
}

void TInplaceEdit::SetButtonVisible(bool visible)
{
    m_button->setVisible(visible);
    layoutButton();
}

void TInplaceEdit::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    layoutButton();
}

void TInplaceEdit::inputMethodEvent(QInputMethodEvent *event)
{
    // Composed text taken whole skipped the grid's key filter and left the row browsing: a
    // code composed over a planned row's code changed its exercise once the row was left.
    // It is sent key by key through the grid's handling of the editor's keys instead.
    const QString committed =
        m_composition.committed(this, event, [this](QInputMethodEvent *composing) {
            QLineEdit::inputMethodEvent(composing);
        });
    const QPointer<TInplaceEdit> self(this); // a key may close the editor
    for (const QString &character : characters(committed)) {
        if (!self)
            break;
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, character);
        QCoreApplication::sendEvent(this, &key);
    }
}

void TInplaceEdit::layoutButton()
{
    const int w = m_button->isHidden() ? 0 : qMin(height(), 22);
    m_button->setGeometry(width() - w, 0, w, height());
    setTextMargins(0, 0, w, 0);
}

} // namespace qor
