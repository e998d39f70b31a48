#include "forms/dbgridmodel.h"

#include "data/dataset.h"
#include "data/field.h"
#include "forms/dbgrid.h"

using namespace Qt::StringLiterals;

namespace qor {

namespace {

int alignmentRole(TAlignment alignment)
{
    switch (alignment) {
    case taRightJustify:
        return int(Qt::AlignRight | Qt::AlignVCenter);
    case taCenter:
        return int(Qt::AlignCenter);
    case taLeftJustify:
        break;
    }
    return int(Qt::AlignLeft | Qt::AlignVCenter);
}

} // namespace

TDBGridModel::TDBGridModel(TDBGrid *grid)
    : QAbstractTableModel(grid)
    , m_grid(grid)
{ }

TDataSet *TDBGridModel::dataSet() const
{
    TDataSet *ds = m_grid->DataSet();
    return ds && ds->Active() ? ds : nullptr;
}

int TDBGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TDBGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columns;
}

TField *TDBGridModel::fieldAt(int column) const
{
    const TColumn *c = m_grid->columnAt(column);
    return c ? c->Field() : nullptr;
}

QVariant TDBGridModel::data(const QModelIndex &index, int role) const
{
    TDataSet *ds = dataSet();
    if (!ds || !index.isValid() || index.row() >= ds->RecordCount())
        return {};
    const TColumn *column = m_grid->columnAt(index.column());
    if (!column)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        TField *field = column->Field();
        if (!field)
            return {};
        // Painting must not raise nor open dialogs (a dialog would repaint and fail
        // again): a cell whose text cannot be made stays empty.
        try {
            return ds->TextAt(index.row(), field, role == Qt::DisplayRole);
        } catch (...) {
            return {};
        }
    }
    case Qt::TextAlignmentRole:
        return alignmentRole(column->Alignment());
    default:
        return {};
    }
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::TextAlignmentRole && orientation == Qt::Horizontal) {
        const TColumn *column = m_grid->columnAt(section);
        return column && column->TitleAlignmentIsSet() ? alignmentRole(column->TitleAlignment())
                                                       : QVariant();
    }
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal) {
        const TColumn *column = m_grid->columnAt(section);
        return column ? column->Title() : QVariant();
    }
    // The row indicator: the cursor row, marked by the dataset's state.
    TDataSet *ds = dataSet();
    if (!ds || section != ds->CurrentRow())
        return QString();
    switch (ds->State()) {
    case dsEdit:
        return u"✎"_s;
    case dsInsert:
        return u"✱"_s;
    default:
        return u"▶"_s;
    }
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const TColumn *column = m_grid->columnAt(index.column());
    if (column && column->Editable() && !m_grid->ReadOnly() && dataSet())
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool TDBGridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    TDataSet *ds = dataSet();
    if (!ds || role != Qt::EditRole || !index.isValid() || index.row() != ds->CurrentRow())
        return false;
    m_grid->writeCell(index.column(), value.toString());
    return true;
}

void TDBGridModel::rowsChanged()
{
    TDataSet *ds = dataSet();
    const int rows = ds ? ds->RecordCount() : 0;
    if (rows != m_rows) {
        beginResetModel();
        m_rows = rows;
        endResetModel();
        return;
    }
    if (m_rows > 0 && m_columns > 0)
        Q_EMIT dataChanged(index(0, 0), index(m_rows - 1, m_columns - 1));
    if (m_rows > 0)
        Q_EMIT headerDataChanged(Qt::Vertical, 0, m_rows - 1);
}

void TDBGridModel::rowChanged(int row)
{
    if (row < 0 || row >= m_rows)
        return;
    if (m_columns > 0)
        Q_EMIT dataChanged(index(row, 0), index(row, m_columns - 1));
    Q_EMIT headerDataChanged(Qt::Vertical, row, row);
}

void TDBGridModel::layoutReset()
{
    TDataSet *ds = dataSet();
    beginResetModel();
    m_rows = ds ? ds->RecordCount() : 0;
    m_columns = m_grid->Columns()->Count();
    endResetModel();
}

void TDBGridModel::headerChanged()
{
    if (m_columns > 0)
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, m_columns - 1);
}

} // namespace qor
