#pragma once

#include <QList>
#include <QString>
#include <memory>

namespace qor {

class TDBGrid;
class TField;

enum TColumnButtonStyle { cbsAuto, cbsEllipsis, cbsNone };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// One column of a TDBGrid, bound to a field by name. Changing a property updates the
// grid at once (an open cell editor included).
class TColumn
{
public:
    explicit TColumn(TDBGrid *grid);

    TDBGrid *Grid() const { return m_grid; }
    int Index() const; // position in the grid's Columns

    QString FieldName() const { return m_fieldName; }
    void SetFieldName(const QString &fieldName);
    // The field of that name in the grid's dataset, or null.
    TField *Field() const;

    // The title caption; the field's DisplayName() (or the field name) when not set.
    QString Title() const;
    void SetTitle(const QString &title);
    bool TitleIsSet() const { return m_titleSet; }

    // Pixels; when not set, from the field's display width or size (64 otherwise).
    int Width() const;
    void SetWidth(int width);
    // The width on screen: a width given in drawn pixels (set, or the 64 fallback) grows
    // with the grid's font (designWidth); one taken from the field is already in it.
    int ShownWidth() const;
    // Also read-only when the field is calculated or read-only.
    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool readOnly);
    bool Visible() const { return m_visible; }
    void SetVisible(bool visible);
    // When not set: floats right, everything else left.
    TAlignment Alignment() const;
    void SetAlignment(TAlignment alignment);
    // The title's own alignment; until set, the header's default.
    bool TitleAlignmentIsSet() const { return m_titleAlignment >= 0; }
    TAlignment TitleAlignment() const;
    void SetTitleAlignment(TAlignment alignment);
    TColumnButtonStyle ButtonStyle() const { return m_buttonStyle; }
    void SetButtonStyle(TColumnButtonStyle style);

    // Whether typing into this column can change its field.
    bool Editable() const;

private:
    friend class TDBGridColumns;
    static constexpr int DefaultWidth = 64;
    void changed(bool layout);
    // From the field's display width or size in the grid's font; -1 when it has neither.
    int fieldWidth() const;

    TDBGrid *m_grid;
    QString m_fieldName;
    QString m_title;
    bool m_titleSet = false;
    int m_width = -1;
    bool m_readOnly = false;
    bool m_visible = true;
    int m_alignment = -1;
    int m_titleAlignment = -1;
    TColumnButtonStyle m_buttonStyle = cbsAuto;
};

// The grid's columns. While none was added, the grid shows one default column per
// visible field of its dataset; the first Add() replaces those.
class TDBGridColumns
{
public:
    explicit TDBGridColumns(TDBGrid *grid);
    ~TDBGridColumns();

    TColumn *Add();
    // Adds a column for a field name (a convenience over Add + SetFieldName).
    TColumn *Add(const QString &fieldName);
    void Clear();
    int Count() const { return int(m_columns.size()); }
    TColumn *Items(int index) const { return m_columns.value(index).get(); }
    TColumn *operator[](int index) const { return Items(index); }
    // The first column bound to the field name (exact match), or null.
    TColumn *FindByFieldName(const QString &fieldName) const;
    int IndexOf(const TColumn *column) const;
    // Whether the columns were made from the dataset's fields.
    bool DefaultColumns() const { return m_default; }

    // Rebuilds the default columns from the dataset's fields (grid use).
    void RebuildDefault();

private:
    TDBGrid *m_grid;
    QList<std::shared_ptr<TColumn>> m_columns;
    bool m_default = true;
};

} // namespace qor
