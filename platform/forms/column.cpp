#include "forms/column.h"

#include "data/dataset.h"
#include "data/field.h"
#include "forms/dbgrid.h"
#include "forms/designscale.h"

#include <QFontMetrics>

namespace qor {

TColumn::TColumn(TDBGrid *grid)
    : m_grid(grid)
{ }

int TColumn::Index() const
{
    return m_grid->Columns()->IndexOf(this);
}

void TColumn::changed(bool layout)
{
    m_grid->columnChanged(this, layout);
}

void TColumn::SetFieldName(const QString &fieldName)
{
    m_fieldName = fieldName;
    changed(true);
}

TField *TColumn::Field() const
{
    TDataSet *ds = m_grid->DataSet();
    return ds && !m_fieldName.isEmpty() ? ds->FindField(m_fieldName) : nullptr;
}

QString TColumn::Title() const
{
    if (m_titleSet)
        return m_title;
    if (const TField *field = Field())
        return field->DisplayName();
    return m_fieldName;
}

void TColumn::SetTitle(const QString &title)
{
    m_title = title;
    m_titleSet = true;
    changed(false);
}

int TColumn::fieldWidth() const
{
    const TField *field = Field();
    int chars = 0;
    if (field && field->DisplayWidth > 0)
        chars = field->DisplayWidth;
    else if (field && field->DataType() == TFieldType::String && field->Size() > 0)
        chars = qMin(field->Size(), 40);
    if (chars == 0)
        return -1;
    const QFontMetrics metrics(m_grid->font());
    const int titleWidth = metrics.horizontalAdvance(Title()) + 12;
    return qMax(chars * metrics.averageCharWidth() + 8, titleWidth);
}

int TColumn::Width() const
{
    if (m_width >= 0)
        return m_width;
    const int fromField = fieldWidth();
    return fromField >= 0 ? fromField : DefaultWidth;
}

int TColumn::ShownWidth() const
{
    if (m_width >= 0)
        return designWidth(m_width, m_grid->font());
    const int fromField = fieldWidth();
    return fromField >= 0 ? fromField : designWidth(DefaultWidth, m_grid->font());
}

void TColumn::SetWidth(int width)
{
    m_width = width;
    changed(false);
}

void TColumn::SetReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    changed(false);
}

void TColumn::SetVisible(bool visible)
{
    m_visible = visible;
    changed(false);
}

TAlignment TColumn::Alignment() const
{
    if (m_alignment >= 0)
        return TAlignment(m_alignment);
    const TField *field = Field();
    return field && field->DataType() == TFieldType::Float ? taRightJustify : taLeftJustify;
}

void TColumn::SetAlignment(TAlignment alignment)
{
    m_alignment = alignment;
    changed(false);
}

TAlignment TColumn::TitleAlignment() const
{
    return m_titleAlignment >= 0 ? TAlignment(m_titleAlignment) : taLeftJustify;
}

void TColumn::SetTitleAlignment(TAlignment alignment)
{
    m_titleAlignment = alignment;
    changed(false);
}

void TColumn::SetButtonStyle(TColumnButtonStyle style)
{
    if (m_buttonStyle == style)
        return;
    m_buttonStyle = style;
    changed(false);
}

bool TColumn::Editable() const
{
    const TField *field = Field();
    return field && !m_readOnly && !field->ReadOnly && !field->Calculated();
}

TDBGridColumns::TDBGridColumns(TDBGrid *grid)
    : m_grid(grid)
{ }

TDBGridColumns::~TDBGridColumns() = default;

TColumn *TDBGridColumns::Add()
{
    if (m_default) {
        m_columns.clear();
        m_default = false;
    }
    m_columns.append(std::make_shared<TColumn>(m_grid));
    TColumn *column = m_columns.last().get();
    m_grid->columnChanged(column, true);
    return column;
}

TColumn *TDBGridColumns::Add(const QString &fieldName)
{
    TColumn *column = Add();
    column->SetFieldName(fieldName);
    return column;
}

void TDBGridColumns::Clear()
{
    m_columns.clear();
    m_default = true;
    RebuildDefault();
}

TColumn *TDBGridColumns::FindByFieldName(const QString &fieldName) const
{
    for (const auto &column : m_columns) {
        if (column->FieldName() == fieldName)
            return column.get();
    }
    return nullptr;
}

int TDBGridColumns::IndexOf(const TColumn *column) const
{
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_columns.at(i).get() == column)
            return i;
    }
    return -1;
}

void TDBGridColumns::RebuildDefault()
{
    if (!m_default)
        return;
    QStringList wanted;
    if (TDataSet *ds = m_grid->DataSet()) {
        for (const TField *field : ds->Fields()) {
            if (field->Visible)
                wanted.append(field->FieldName());
        }
    }
    QStringList present;
    for (const auto &column : m_columns)
        present.append(column->FieldName());
    if (wanted == present)
        return;
    m_columns.clear();
    for (const QString &name : wanted) {
        auto column = std::make_shared<TColumn>(m_grid);
        m_columns.append(column);
        // Not through SetFieldName: one layout change for the lot.
        column->m_fieldName = name;
    }
    m_grid->columnChanged(nullptr, true);
}

} // namespace qor
