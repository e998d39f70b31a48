#pragma once

#include "data/datasource.h"
#include "forms/label.h"

#include <QPointer>

namespace qor {

class TField;

// A data-aware label: shows the display text of one field of its data source's current
// row, and follows scrolling, edits and reloads. Empty while the field or row is absent.
class TDBText : public TLabel, public TDataLink
{
    Q_OBJECT
public:
    explicit TDBText(QWidget *parent = nullptr);
    ~TDBText() override;

    TDataSource *DataSource() const { return m_dataSource; }
    void SetDataSource(TDataSource *dataSource);
    const QString &DataField() const { return m_dataField; }
    void SetDataField(const QString &fieldName);
    // The field shown, nullptr when the dataset has none of that name.
    TField *Field() const;

    void dataEvent(TDataEvent event, TField *field) override;

private:
    void refresh();

    QPointer<TDataSource> m_dataSource;
    QString m_dataField;
};

} // namespace qor
