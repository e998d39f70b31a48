#pragma once

#include <QAbstractTableModel>

namespace qor {

class TDBGrid;
class TDataSet;
class TField;

// The grid's table model: a thin adapter that reads every cell from the dataset
// (ValueAt/TextAt) when the view asks, and writes through the field (Edit, SetText).
// It keeps no copy of the rows; only the row count last reported, to tell the view
// when rows came or went.
class TDBGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit TDBGridModel(TDBGrid *grid);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Writes the text into the field of the dataset's current row (which must be the
    // index's row); raises what the field raises.
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

    TField *fieldAt(int column) const;
    // The dataset changed: rows (reset when the count differs), one row, or the layout.
    void rowsChanged();
    void rowChanged(int row);
    void layoutReset();
    void headerChanged();

private:
    TDataSet *dataSet() const;

    TDBGrid *m_grid;
    int m_rows = 0;
    int m_columns = 0;
};

} // namespace qor
