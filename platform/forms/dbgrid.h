#pragma once

#include "data/datasource.h"
#include "forms/column.h"
#include "forms/control.h"

#include <QPointer>
#include <QTableView>
#include <functional>
#include <memory>

class QAbstractButton;
class QLineEdit;

namespace qor {

class TDBGridModel;
class TDBGridDelegate;
class TDataSet;
class TField;

// A data-aware grid: a QTableView over a model that reads the dataset's rows in place
// (it keeps no copy). The view's current row follows the dataset's cursor and the
// other way round.
//
// Keyboard: typing into an editable cell puts the dataset into edit and opens the
// in-place editor (the field's EditMask applies); Insert inserts a row; the down arrow
// on the last row appends one; Esc first drops the editor's changes, then cancels the
// dataset's edit or insert. Moving to another row posts the pending edit; when the
// post fails the row stays.
//
// Column moves: the editor's text is written to the field first; then OnColExit runs
// while the column being left is still selected; a raise there abandons the move (the
// exception goes to the application's error handler). Inside OnColExit, selecting
// another column (a field's FocusControl) moves there without a nested OnColExit and
// the original move is dropped.
class TDBGrid : public QTableView, public TControl, private TSourceLink
{
    Q_OBJECT
public:
    explicit TDBGrid(QWidget *parent = nullptr);
    ~TDBGrid() override;

    using TSourceLink::DataSource;
    void SetDataSource(TDataSource *dataSource);
    TDataSet *DataSet() const;

    TDBGridColumns *Columns() const { return m_columns.get(); }

    // Index into Columns of the selected column (-1 when there is none).
    int SelectedIndex() const;
    // Selects a column from code. Runs OnColExit first (unless inside it); a raise
    // reaches the caller and the selection stays.
    void SetSelectedIndex(int index);
    // The field of the selected column, or null.
    TField *SelectedField() const;
    void SetSelectedField(TField *field);

    // A read-only grid never edits.
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }

    // Whether the in-place editor is open; opening needs an editable cell.
    bool EditorMode() const;
    void SetEditorMode(bool open);
    // The in-place editor while it is open, else null.
    QLineEdit *InplaceEditor() const;
    // The editor's "..." button while shown (an open editor of an ellipsis column).
    QAbstractButton *EditButton() const;

    // Every typed character, before the grid (or its editor) acts on it. Setting Key
    // to 0 or raising EAbort drops it.
    std::function<void(QObject *Sender, QChar &Key)> OnKeyPress;
    std::function<void(QObject *Sender)> OnColEnter;
    std::function<void(QObject *Sender)> OnColExit;
    std::function<void(QObject *Sender)> OnEditButtonClick;
    std::function<void(QObject *Sender)> OnDblClick;

    // For the model, delegate and columns (not for screens).
    TDBGridModel *gridModel() const { return m_model; }
    TColumn *columnAt(int modelColumn) const { return m_columns->Items(modelColumn); }
    void columnChanged(TColumn *column, bool layout);
    // Runs the key through OnKeyPress (guarded); false when it was dropped.
    bool filterKey(QChar &key);
    // Before the editor acts on a key that changes text: puts the dataset into edit.
    bool prepareEditorKey();
    // Writes an editor's text to the current row's field (putting the dataset into
    // edit when the text differs); raises what the field raises.
    void writeCell(int modelColumn, const QString &text);
    // Editor keys that end or leave the editor (Enter, Esc, Tab, Up, Down); true when
    // the grid took the key.
    bool editorKey(QKeyEvent *event);
    void editButtonClicked();
    // Whether a cell move is allowed; runs the writes, OnColExit and the post.
    bool beforeMove(const QModelIndex &from, const QModelIndex &to);
    // The focus went from the editor to outside the grid: write the text (guarded);
    // the editor stays open when the field refuses it.
    void editorLeftGrid(QWidget *editor);
    bool forwardingKey() const { return m_forwarding; }
    void setForwardingKey(bool forwarding) { m_forwarding = forwarding; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    void dataEvent(TDataEvent event, TField *field) override;
    void syncCurrent(int column = -1);
    void applyColumnLayout();
    // Writes the open editor's text and closes the editor; raises what the field raises
    // (the editor then stays open).
    void commitEditor();
    void discardEditor();
    void insertRow(bool append);
    void moveToRow(int row);
    void moveToColumn(int column);
    void runColExit();
    // A change of the current cell was refused.
    void moveRefused();
    void showEditorForButton();
    void editorButtonStyleChanged();
    void focusLeft();
    bool editingState() const;
    QModelIndex cellIndex(int row, int column) const;

    std::unique_ptr<TDBGridColumns> m_columns;
    TDBGridModel *m_model;
    TDBGridDelegate *m_delegate;
    bool m_readOnly = false;
    bool m_inColExit = false;
    bool m_syncing = false; // moving the view to the dataset's cursor, or moving from code
    bool m_forwarding = false; // a key already filtered is on its way to the editor
    int m_selectedColumn = 0; // wanted while there is no current cell
    bool m_focusInside = false; // the grid or its editor has the focus
    TDataSetState m_lastState = dsInactive;

    friend class TDBGridSelection;
};

} // namespace qor
