#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

namespace qor {

class TDBGrid;
class TInplaceEdit;

// The grid's cell editor: a TInplaceEdit with the field's edit mask and, for an
// ellipsis column, a "..." button. Every override runs under the exception guard.
class TDBGridDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit TDBGridDelegate(TDBGrid *grid);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;
    // Paints the current cell as selected (the grid has no other selection).
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

    // The editor made last, while it lives.
    TInplaceEdit *currentEditor() const;

    // The text the editor hands to the field (mask blanks kept).
    static QString editorText(QWidget *editor);
    // Writes the editor's text through the grid; raises what the field raises.
    void commit(QWidget *editor, const QModelIndex &index) const;

protected:
    bool eventFilter(QObject *object, QEvent *event) override;

private:
    TDBGrid *m_grid;
    mutable QPointer<TInplaceEdit> m_editor;
};

} // namespace qor
