#pragma once

#include "datasource.h"

#include <QString>

namespace qor {

class TField;

// The link of a control that shows one field: the data source it listens to, kept
// registered with it, and the field's name. A change of either makes the control
// show afresh through linkChanged().
class TFieldDataLink : public TSourceLink
{
public:
    void SetDataSource(TDataSource *dataSource);
    const QString &DataField() const { return m_dataField; }
    void SetDataField(const QString &fieldName);

protected:
    TFieldDataLink() = default;
    // The named field of the source's dataset, null without source, dataset or field.
    TField *LinkedField() const;
    virtual void linkChanged() = 0;

private:
    QString m_dataField;
};

} // namespace qor
