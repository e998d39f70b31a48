#include "dbtext.h"

#include "data/dataset.h"
#include "data/field.h"

namespace qor {

TDBText::TDBText(QWidget *parent)
    : TLabel(parent)
{ }

TDBText::~TDBText() = default;

void TDBText::dataEvent(TDataEvent event, TField *field)
{
    switch (event) {
    case TDataEvent::FieldChange:
        if (field && field->FieldName() != DataField())
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
