#include "fielddatalink.h"

#include "dataset.h"

namespace qor {

void TFieldDataLink::SetDataSource(TDataSource *dataSource)
{
    if (relink(dataSource))
        linkChanged();
}

void TFieldDataLink::SetDataField(const QString &fieldName)
{
    m_dataField = fieldName;
    linkChanged();
}

TField *TFieldDataLink::LinkedField() const
{
    const TDataSource *source = DataSource();
    if (!source || !source->DataSet() || m_dataField.isEmpty())
        return nullptr;
    return source->DataSet()->FindField(m_dataField);
}

} // namespace qor
