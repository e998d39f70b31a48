#include "dbtext.h"

#include "data/dataset.h"
#include "data/field.h"

namespace qor {

TDBText::TDBText(QWidget *parent)
    : TLabel(parent)
{ }

TDBText::~TDBText()
{
    if (m_dataSource)
        m_dataSource->RemoveLink(this);
}

void TDBText::SetDataSource(TDataSource *dataSource)
{
    if (m_dataSource == dataSource)
        return;
    if (m_dataSource)
        m_dataSource->RemoveLink(this);
    m_dataSource = dataSource;
    if (m_dataSource)
        m_dataSource->AddLink(this);
    refresh();
}

void TDBText::SetDataField(const QString &fieldName)
{
    m_dataField = fieldName;
    refresh();
}

TField *TDBText::Field() const
{
    if (!m_dataSource || !m_dataSource->DataSet() || m_dataField.isEmpty())
        return nullptr;
    return m_dataSource->DataSet()->FindField(m_dataField);
}

void TDBText::dataEvent(TDataEvent event, TField *field)
{
    switch (event) {
    case TDataEvent::FieldChange:
        if (field && field->FieldName() != m_dataField)
            return;
        refresh();
        return;
    case TDataEvent::UpdateRecord:
    case TDataEvent::FocusControl:
        return;
    default:
        refresh();
    }
}

void TDBText::refresh()
{
    TField *field = Field();
    TDataSet *dataSet = field ? field->DataSet() : nullptr;
    if (!dataSet || !dataSet->Active() || dataSet->CurrentRow() < 0) {
        setText(QString());
        return;
    }
    setText(field->DisplayText());
}

} // namespace qor
