#include "forms/dbgrid.h"

#include "data/dataset.h"
#include "data/field.h"
#include "forms/dbgriddelegate.h"
#include "forms/dbgridmodel.h"
#include "forms/guard.h"
#include "forms/inplaceedit.h"
#include "forms/keys.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QScopeGuard>
#include <QToolButton>

namespace qor {

// Every change of the current cell passes here, whatever caused it (keys, mouse,
// code), so the grid can write the editor, run OnColExit and post before it happens,
// or refuse it.
class TDBGridSelection : public QItemSelectionModel
{
public:
    explicit TDBGridSelection(TDBGrid *grid)
        : QItemSelectionModel(grid->model(), grid)
        , m_grid(grid)
    { }

    void setCurrentIndex(const QModelIndex &index,
                         QItemSelectionModel::SelectionFlags command) override
    {
        const QModelIndex from = currentIndex();
        if (m_grid->m_syncing || !index.isValid() || !from.isValid() || index == from) {
            QItemSelectionModel::setCurrentIndex(index, command);
            return;
        }
        if (m_grid->beforeMove(from, index))
            QItemSelectionModel::setCurrentIndex(index, command);
        else
            m_grid->moveRefused();
    }

private:
    TDBGrid *m_grid;
};

TDBGrid::TDBGrid(QWidget *parent)
    : QTableView(parent)
    , TControl(this, QPalette::Base, clWindow)
    , m_columns(std::make_unique<TDBGridColumns>(this))
    , m_model(new TDBGridModel(this))
    , m_delegate(new TDBGridDelegate(this))
{
    setModel(m_model);
    QItemSelectionModel *defaultSelection = selectionModel();
    setSelectionModel(new TDBGridSelection(this));
    delete defaultSelection;
    setItemDelegate(m_delegate);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                    | QAbstractItemView::AnyKeyPressed);
    setTabKeyNavigation(true);
    setWordWrap(false);
    setSortingEnabled(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsMovable(false);
    verticalHeader()->setHighlightSections(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    verticalHeader()->setMinimumWidth(18);
}

TDBGrid::~TDBGrid()
{
    relink(nullptr); // before the model and the columns go
}

void TDBGrid::SetDataSource(TDataSource *dataSource)
{
    if (DataSource() == dataSource)
        return;
    discardEditor();
    relink(dataSource);
    TDataSet *ds = DataSet();
    m_lastState = ds ? ds->State() : dsInactive;
    m_columns->RebuildDefault();
    m_model->layoutReset();
    applyColumnLayout();
    syncCurrent();
}

TDataSet *TDBGrid::DataSet() const
{
    return DataSource() ? DataSource()->DataSet() : nullptr;
}

bool TDBGrid::editingState() const
{
    const TDataSet *ds = DataSet();
    return ds && (ds->State() == dsEdit || ds->State() == dsInsert);
}

QModelIndex TDBGrid::cellIndex(int row, int column) const
{
    return m_model->index(row, column);
}

int TDBGrid::SelectedIndex() const
{
    const QModelIndex current = currentIndex();
    if (current.isValid())
        return current.column();
    if (m_columns->Count() == 0)
        return -1;
    return qBound(0, m_selectedColumn, m_columns->Count() - 1);
}

TField *TDBGrid::SelectedField() const
{
    const TColumn *column = m_columns->Items(SelectedIndex());
    return column ? column->Field() : nullptr;
}

void TDBGrid::SetSelectedField(TField *field)
{
    for (int i = 0; i < m_columns->Count(); ++i) {
        if (field && m_columns->Items(i)->Field() == field) {
            SetSelectedIndex(i);
            return;
        }
    }
}

void TDBGrid::SetSelectedIndex(int index)
{
    if (index < 0 || index >= m_columns->Count())
        return;
    const int from = SelectedIndex();
    if (index == from)
        return;
    commitEditor();
    if (!m_inColExit) {
        runColExit();
        if (SelectedIndex() != from)
            return; // OnColExit chose another column
    }
    moveToColumn(index);
}

void TDBGrid::moveToColumn(int column)
{
    m_selectedColumn = column;
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return;
    const QModelIndex target = cellIndex(current.row(), column);
    const bool wasSyncing = m_syncing;
    m_syncing = true;
    auto restore = qScopeGuard([&] { m_syncing = wasSyncing; });
    setCurrentIndex(target);
    scrollTo(target);
}

void TDBGrid::runColExit()
{
    if (!OnColExit)
        return;
    m_inColExit = true;
    auto restore = qScopeGuard([&] { m_inColExit = false; });
    OnColExit(this);
}

bool TDBGrid::EditorMode() const
{
    return state() == QAbstractItemView::EditingState && m_delegate->currentEditor();
}

void TDBGrid::SetEditorMode(bool open)
{
    if (!open) {
        commitEditor();
        return;
    }
    const QModelIndex current = currentIndex();
    if (!EditorMode() && current.isValid() && (m_model->flags(current) & Qt::ItemIsEditable))
        edit(current);
}

QLineEdit *TDBGrid::InplaceEditor() const
{
    return EditorMode() ? m_delegate->currentEditor() : nullptr;
}

QAbstractButton *TDBGrid::EditButton() const
{
    TInplaceEdit *editor = EditorMode() ? m_delegate->currentEditor() : nullptr;
    return editor && !editor->Button()->isHidden() ? editor->Button() : nullptr;
}

void TDBGrid::commitEditor()
{
    TInplaceEdit *editor = EditorMode() ? m_delegate->currentEditor() : nullptr;
    if (!editor)
        return;
    m_delegate->commit(editor, currentIndex()); // raises: the editor stays open
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void TDBGrid::discardEditor()
{
    if (TInplaceEdit *editor = EditorMode() ? m_delegate->currentEditor() : nullptr)
        closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void TDBGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTableView::closeEditor(editor, hint);
    verticalHeader()->viewport()->update();
}

bool TDBGrid::filterKey(QChar &key)
{
    if (!OnKeyPress)
        return true;
    return guarded([&] { OnKeyPress(this, key); }) && !key.isNull();
}

bool TDBGrid::prepareEditorKey()
{
    bool ready = false;
    guarded([&] {
        TDataSet *ds = DataSet();
        if (m_readOnly || !ds || !ds->Active())
            return;
        if (!editingState())
            ds->Edit(); // insert when there is no row
        ready = editingState();
    });
    return ready;
}

void TDBGrid::writeCell(int modelColumn, const QString &text)
{
    TField *field = m_model->fieldAt(modelColumn);
    TDataSet *ds = DataSet();
    if (!field || !ds)
        return;
    if (!editingState())
        ds->Edit();
    field->SetText(text);
}

void TDBGrid::insertRow(bool append)
{
    TDataSet *ds = DataSet();
    if (m_readOnly || !ds || !ds->Active())
        return;
    commitEditor();
    if (append && ds->State() == dsInsert && !ds->Modified())
        return; // already on an untouched new row
    // Insert and Append post the row being left (or drop it when untouched) first.
    if (append)
        ds->Append();
    else
        ds->Insert();
    syncCurrent();
    showEditorForButton();
}

bool TDBGrid::beforeMove(const QModelIndex &from, const QModelIndex &to)
{
    bool allowed = false;
    guarded([&] {
        commitEditor();
        const int fromColumn = from.column();
        if (to.column() != fromColumn && !m_inColExit) {
            runColExit();
            if (SelectedIndex() != fromColumn)
                return; // OnColExit chose another column
        }
        if (to.row() == from.row()) {
            allowed = true;
            return;
        }
        // A row move: post (or drop an untouched new row), then follow the dataset.
        TDataSet *ds = DataSet();
        if (!ds)
            return;
        const int countBefore = ds->RecordCount();
        const int leaving = ds->CurrentRow();
        ds->CheckBrowseMode();
        int target = to.row();
        if (ds->RecordCount() < countBefore && target > leaving)
            --target;
        if (ds->RecordCount() == 0)
            return;
        target = qBound(0, target, ds->RecordCount() - 1);
        if (ds->CurrentRow() != target)
            ds->SetRecNo(target + 1);
        m_model->rowsChanged();
        syncCurrent(to.column());
    });
    return allowed;
}

void TDBGrid::moveRefused()
{
    // The view took the focus from the editor before asking to move, expecting the move
    // to close it. An editor left open holds text its field refused: the keys go back to
    // it, so the user corrects that text (or drops it with Esc) where it is shown.
    TInplaceEdit *editor = EditorMode() ? m_delegate->currentEditor() : nullptr;
    if (editor && hasFocus())
        editor->setFocus(Qt::OtherFocusReason);
}

void TDBGrid::syncCurrent(int column)
{
    TDataSet *ds = DataSet();
    if (!ds || !ds->Active() || m_model->rowCount() == 0 || m_model->columnCount() == 0)
        return;
    const int row = ds->CurrentRow();
    if (row < 0 || row >= m_model->rowCount())
        return;
    int col = column >= 0 ? column : SelectedIndex();
    if (col < 0 || col >= m_model->columnCount() || isColumnHidden(col)) {
        col = 0;
        while (col < m_model->columnCount() - 1 && isColumnHidden(col))
            ++col;
    }
    const QModelIndex target = cellIndex(row, col);
    if (currentIndex() == target)
        return;
    if (currentIndex().row() != row)
        discardEditor();
    const bool wasSyncing = m_syncing;
    m_syncing = true;
    auto restore = qScopeGuard([&] { m_syncing = wasSyncing; });
    setCurrentIndex(target);
    scrollTo(target);
}

void TDBGrid::applyColumnLayout()
{
    for (int i = 0; i < m_columns->Count() && i < m_model->columnCount(); ++i) {
        const TColumn *column = m_columns->Items(i);
        setColumnHidden(i, !column->Visible());
        setColumnWidth(i, column->ShownWidth());
    }
}

void TDBGrid::columnChanged(TColumn *, bool layout)
{
    if (layout) {
        discardEditor();
        m_model->layoutReset();
        applyColumnLayout();
        syncCurrent();
        return;
    }
    applyColumnLayout();
    m_model->headerChanged();
    viewport()->update();
    editorButtonStyleChanged();
}

void TDBGrid::editorButtonStyleChanged()
{
    if (TInplaceEdit *editor = EditorMode() ? m_delegate->currentEditor() : nullptr) {
        const TColumn *column = m_columns->Items(currentIndex().column());
        editor->SetButtonVisible(column && column->ButtonStyle() == cbsEllipsis);
    }
    showEditorForButton();
}

void TDBGrid::showEditorForButton()
{
    // An ellipsis column shows its button in the cell editor, so the editor opens by
    // itself on such a cell while the row is edited. Later, once the dataset has
    // settled (this may run inside an insert).
    QMetaObject::invokeMethod(
        this,
        [this] {
            guarded([&] {
                const QModelIndex current = currentIndex();
                if (EditorMode() || !isVisible() || !isEnabled() || !current.isValid()
                    || !editingState())
                    return;
                const TColumn *column = m_columns->Items(current.column());
                if (!column || column->ButtonStyle() != cbsEllipsis
                    || !(m_model->flags(current) & Qt::ItemIsEditable))
                    return;
                edit(current);
            });
        },
        Qt::QueuedConnection);
}

void TDBGrid::editButtonClicked()
{
    if (OnEditButtonClick)
        guarded([&] { OnEditButtonClick(this); });
}

bool TDBGrid::editorKey(QKeyEvent *event)
{
    TInplaceEdit *editor = m_delegate->currentEditor();
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (mods & Qt::ControlModifier) {
            if (EditButton())
                editButtonClicked();
            return true;
        }
        guarded([&] { commitEditor(); });
        return true;
    case Qt::Key_Escape:
        // First Esc drops the typed text; with nothing typed it cancels the row.
        if (editor && editor->UserModified()) {
            discardEditor();
            return true;
        }
        discardEditor();
        guarded([&] {
            if (editingState())
                DataSet()->Cancel();
        });
        return true;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        // The grid moves; the move writes the editor's text first.
        const bool wasForwarding = m_forwarding;
        m_forwarding = true;
        auto restore = qScopeGuard([&] { m_forwarding = wasForwarding; });
        if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)
            focusNextPrevChild(event->key() == Qt::Key_Tab && !(mods & Qt::ShiftModifier));
        else
            keyPressEvent(event);
        return true;
    }
    default:
        return false;
    }
}

void TDBGrid::keyPressEvent(QKeyEvent *event)
{
    // Esc cancels on key-down, before any key filter can drop it.
    if (!m_forwarding && event->key() != Qt::Key_Escape) {
        QChar key = filteredChar(event);
        if (!key.isNull()) {
            const QChar typed = key;
            if (!filterKey(key)) {
                event->accept();
                return;
            }
            if (key != typed) {
                auto replaced = retypedEvent(event, key);
                m_forwarding = true;
                auto restore = qScopeGuard([&] { m_forwarding = false; });
                keyPressEvent(replaced.get());
                event->accept();
                return;
            }
        }
    }
    // The key was filtered here: the editor that may open must not filter it again.
    const bool wasForwarding = m_forwarding;
    m_forwarding = true;
    auto restore = qScopeGuard([&] { m_forwarding = wasForwarding; });

    const int key = event->key();
    const auto mods = event->modifiers() & ~Qt::KeypadModifier;
    const QModelIndex current = currentIndex();
    if (key == Qt::Key_Insert && mods == Qt::NoModifier) {
        guarded([&] { insertRow(false); });
        event->accept();
        return;
    }
    if (key == Qt::Key_Escape) {
        discardEditor();
        guarded([&] {
            if (editingState())
                DataSet()->Cancel();
        });
        event->accept();
        return;
    }
    if (key == Qt::Key_Down && mods == Qt::NoModifier
        && (!current.isValid() || current.row() == m_model->rowCount() - 1)) {
        guarded([&] { insertRow(true); });
        event->accept();
        return;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !EditorMode()) {
        SetEditorMode(true);
        event->accept();
        return;
    }
    const QChar typed = typedChar(event);
    if (modifiesText(event) && !typed.isNull()) {
        // No keyboard search: typing either edits the cell or does nothing.
        if (m_model->rowCount() == 0 && !prepareEditorKey()) {
            event->accept();
            return;
        }
        const QModelIndex cell = currentIndex();
        if (!cell.isValid() || !(m_model->flags(cell) & Qt::ItemIsEditable)
            || !prepareEditorKey()) {
            event->accept();
            return;
        }
        QTableView::keyPressEvent(event);
        return;
    }
    QTableView::keyPressEvent(event);
}

void TDBGrid::focusInEvent(QFocusEvent *event)
{
    QTableView::focusInEvent(event);
    if (!m_focusInside) {
        m_focusInside = true;
        doEnter();
    }
}

void TDBGrid::focusOutEvent(QFocusEvent *event)
{
    QTableView::focusOutEvent(event);
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    QWidget *now = QApplication::focusWidget();
    if (now && isAncestorOf(now))
        return; // into the cell editor
    focusLeft();
}

void TDBGrid::editorLeftGrid(QWidget *)
{
    guarded([&] { commitEditor(); });
    focusLeft();
}

void TDBGrid::focusLeft()
{
    if (!m_focusInside)
        return;
    m_focusInside = false;
    doExit();
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (OnDblClick)
        guarded([&] { OnDblClick(this); });
}

void TDBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (current.isValid())
        m_selectedColumn = current.column();
    verticalHeader()->viewport()->update();
    if (current.isValid() && current.column() != previous.column() && OnColEnter)
        guarded([&] { OnColEnter(this); });
    showEditorForButton();
}

void TDBGrid::dataEvent(TDataEvent event, TField *field)
{
    TDataSet *ds = DataSet();
    switch (event) {
    case TDataEvent::FieldChange:
    case TDataEvent::RecordChange:
        m_model->rowsChanged();
        if (ds)
            m_model->rowChanged(ds->CurrentRow());
        break;
    case TDataEvent::DataSetChange:
    case TDataEvent::DataSetScroll:
        m_columns->RebuildDefault();
        m_model->rowsChanged();
        syncCurrent();
        break;
    case TDataEvent::LayoutChange:
        discardEditor();
        m_columns->RebuildDefault();
        m_model->layoutReset();
        applyColumnLayout();
        syncCurrent();
        break;
    case TDataEvent::UpdateState: {
        const TDataSetState state = ds ? ds->State() : dsInactive;
        const bool activeChanged = (m_lastState == dsInactive) != (state == dsInactive);
        m_lastState = state;
        if (!editingState())
            discardEditor(); // posted (already written) or cancelled
        if (activeChanged) {
            m_columns->RebuildDefault();
            m_model->layoutReset();
            applyColumnLayout();
        } else {
            m_model->rowsChanged();
        }
        syncCurrent();
        showEditorForButton();
        break;
    }
    case TDataEvent::UpdateRecord:
        commitEditor();
        break;
    case TDataEvent::FocusControl:
        for (int i = 0; i < m_columns->Count(); ++i) {
            if (field && m_columns->Items(i)->Field() == field) {
                SetSelectedIndex(i);
                SetFocus();
                break;
            }
        }
        break;
    }
}

} // namespace qor
