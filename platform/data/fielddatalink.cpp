#include "fielddatalink.h"

#include "dataset.h"

namespace qor {

TFieldDataLink::~TFieldDataLink()
{
    if (m_dataSource)
        m_dataSource->RemoveLink(this);
}

void TFieldDataLink::SetDataSource(TDataSource *dataSource)
{
    if (m_dataSource == dataSource)
        return;
    if (m_dataSource)
        m_dataSource->RemoveLink(this);
    m_dataSource = dataSource;
    if (m_dataSource)
        m_dataSource->AddLink(this);
    linkChanged();
}

void TFieldDataLink::SetDataField(const QString &fieldName)
{
    m_dataField = fieldName;
    linkChanged();
}

TField *TFieldDataLink::LinkedField() const
{
    if (!m_dataSource || !m_dataSource->DataSet() || m_dataField.isEmpty())
        return nullptr;
    return m_dataSource->DataSet()->FindField(m_dataField);
}

} // namespace qor
