#include "forms/dbgriddelegate.h"

#include "data/field.h"
#include "forms/dbgrid.h"
#include "forms/dbgridmodel.h"
#include "forms/guard.h"
#include "forms/inplaceedit.h"
#include "forms/keys.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>

namespace qor {

TDBGridDelegate::TDBGridDelegate(TDBGrid *grid)
    : QStyledItemDelegate(grid)
    , m_grid(grid)
{ }

QWidget *TDBGridDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                       const QModelIndex &index) const
{
    TInplaceEdit *editor = nullptr;
    guarded([&] {
        const TColumn *column = m_grid->columnAt(index.column());
        TField *field = column ? column->Field() : nullptr;
        if (!field)
            return;
        auto *e = new TInplaceEdit(m_grid, parent);
        e->SetEditMask(field->EditMask);
        if (e->EditMask().qtMask.isEmpty() && field->DataType() == TFieldType::String
            && field->Size() > 0)
            e->setMaxLength(field->Size());
        e->setAlignment(column->Alignment() == taRightJustify ? Qt::AlignRight
                            : column->Alignment() == taCenter ? Qt::AlignCenter
                                                              : Qt::AlignLeft);
        e->SetButtonVisible(column->ButtonStyle() == cbsEllipsis);
        editor = e;
    });
    m_editor = editor;
    return editor;
}

void TDBGridDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *e = qobject_cast<TInplaceEdit *>(editor);
    if (!e)
        return;
    guarded([&] {
        // The view refills open editors whenever the grid's rows repaint, the first key
        // of an edit among them (the row goes into edit state): the same text set again
        // would move the cursor to the end and drop the selection, so that key landed
        // there, and in a full edit mask was lost.
        const QString text = index.data(Qt::EditRole).toString();
        // The field's size counts characters, the editor's limit UTF-16 units: a text
        // with characters beyond the basic plane would be cut, and saved cut.
        if (text.size() > e->maxLength())
            e->setMaxLength(int(text.size()));
        if (e->text() != text)
            e->setText(text);
    });
}

QString TDBGridDelegate::editorText(QWidget *editor)
{
    if (auto *e = qobject_cast<TInplaceEdit *>(editor))
        return e->FieldText();
    if (auto *e = qobject_cast<QLineEdit *>(editor))
        return e->text();
    return {};
}

void TDBGridDelegate::commit(QWidget *editor, const QModelIndex &index) const
{
    auto *e = qobject_cast<TInplaceEdit *>(editor);
    // An editor the user did not change writes nothing (the dataset stays browsing).
    if (!e || !e->UserModified() || !index.isValid())
        return;
    m_grid->gridModel()->setData(index, e->FieldText(), Qt::EditRole);
    e->ClearUserModified();
}

void TDBGridDelegate::setModelData(QWidget *editor, QAbstractItemModel *,
                                   const QModelIndex &index) const
{
    guarded([&] { commit(editor, index); });
}

void TDBGridDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                           const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}

void TDBGridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                            const QModelIndex &index) const
{
    // The grid has no selection of its own: the current cell is the selection.
    QStyleOptionViewItem opt(option);
    if (index == m_grid->currentIndex())
        opt.state |= QStyle::State_Selected;
    else
        opt.state &= ~QStyle::State_Selected;
    QStyledItemDelegate::paint(painter, opt, index);
}

TInplaceEdit *TDBGridDelegate::currentEditor() const
{
    return m_editor.data();
}

bool TDBGridDelegate::eventFilter(QObject *object, QEvent *event)
{
    auto *editor = qobject_cast<TInplaceEdit *>(object);
    if (!editor)
        return QStyledItemDelegate::eventFilter(object, event);

    if (event->type() == QEvent::KeyPress) {
        auto *ke = static_cast<QKeyEvent *>(event);
        // Esc cancels on key-down, before any key filter can drop it.
        if (!m_grid->forwardingKey() && ke->key() != Qt::Key_Escape) {
            QChar key = filteredChar(ke);
            if (!key.isNull()) {
                const QChar typed = key;
                if (!m_grid->filterKey(key))
                    return true;
                if (key != typed) {
                    // Send the replacement through this filter again, already filtered.
                    auto replaced = retypedEvent(ke, key);
                    m_grid->setForwardingKey(true);
                    QCoreApplication::sendEvent(editor, replaced.get());
                    m_grid->setForwardingKey(false);
                    return true;
                }
            }
        }
        if (m_grid->editorKey(ke))
            return true;
        if (modifiesText(ke) && !m_grid->prepareEditorKey())
            return true;
        return false;
    }
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            return false;
        QWidget *now = QApplication::focusWidget();
        if (now && (now == m_grid || m_grid->isAncestorOf(now)))
            return false; // the grid's own moves write the text
        m_grid->editorLeftGrid(editor);
        return false;
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

} // namespace qor
