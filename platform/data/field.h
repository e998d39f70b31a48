#pragma once

#include "fieldtypes.h"
#include "rtl/datetime.h"

#include <QObject>
#include <QVariant>
#include <functional>

namespace qor {

class TDataSet;

// A number of any C++ kind: what a float field takes without reading it as text.
bool isNumber(const QVariant &value);

// One column of a dataset. It reads and writes the dataset's active row; it holds
// no value of its own. Values are null (invalid QVariant), QString, or double
// (floats, and date-times as TDateTime).
class TField : public QObject
{
    Q_OBJECT
public:
    TField(TDataSet *dataSet, const QString &fieldName, TFieldType type, int size = 0,
           TFieldKind kind = TFieldKind::Data);

    TDataSet *DataSet() const { return m_dataSet; }
    const QString &FieldName() const { return m_fieldName; }
    TFieldType DataType() const { return m_type; }
    TFieldKind FieldKind() const { return m_kind; }
    bool Calculated() const { return m_kind == TFieldKind::Calculated; }
    int Size() const { return m_size; }
    int Index() const { return m_index; } // position among the dataset's fields

    // Display properties, read by the controls when they lay themselves out.
    QString DisplayLabel; // empty: the field name is shown
    int DisplayWidth = 0; // characters; 0: from the size
    QString DisplayFormat; // FormatFloat pattern for floats
    QString EditMask; // the screen's notation ("00:00"); controls translate it
    bool Visible = true;
    bool ReadOnly = false; // controls refuse typing; the screen's own code may still write
    QString DisplayName() const { return DisplayLabel.isEmpty() ? m_fieldName : DisplayLabel; }

    // Setting a value outside edit or insert (calculated fields also while being
    // calculated) raises EDatabaseError. Values must suit the type (see coerce).
    bool IsNull() const;
    void Clear();
    QVariant Value() const;
    void SetValue(const QVariant &value);
    // The value the active row had when it was last merged (null for a new row).
    QVariant OldValue() const;
    // The value in the active row now.
    QVariant NewValue() const { return Value(); }

    QString AsString() const;
    void SetAsString(const QString &text);
    double AsFloat() const;
    void SetAsFloat(double value);
    TDateTime AsDateTime() const;
    void SetAsDateTime(TDateTime value);

    // Through OnGetText when assigned; displayText tells whether the text is for
    // display (true) or for editing (false).
    QString Text() const { return textFor(false); }
    QString DisplayText() const { return textFor(true); }
    // Through OnSetText when assigned, otherwise converted from the text: strings as
    // they are (longer than Size raises EDatabaseError, nothing is cut), floats with
    // StrToFloat, date-times as dd/MM/yyyy [hh:mm[:ss]]; an empty text sets null.
    void SetText(const QString &text);

    // Asks whichever control shows this field to select it and take the focus.
    void FocusControl();

    std::function<void(TField *sender, QString &text, bool displayText)> OnGetText;
    std::function<void(TField *sender, const QString &text)> OnSetText;

private:
    friend class TDataSet;
    QString textFor(bool displayText) const;
    // The value in the active row, read in place; nullptr when there is none.
    const QVariant *stored() const;
    bool calcStale() const; // left from the row's last calculation: reads as empty
    void clearCalcStale();
    QString defaultText(bool displayText) const;
    // Raises EDatabaseError unless the value is null or of the field's own type
    // (QString within Size, finite double).
    void validateValue(const QVariant &value) const;
    // The value in the field's own type: numbers become double, dates TDateTime, an
    // empty string null (as the classic framework stores it); then validated.
    QVariant coerce(const QVariant &value) const;
    void parseDateTimeText(const QString &text);

    TDataSet *m_dataSet;
    QString m_fieldName;
    TFieldType m_type;
    int m_size;
    TFieldKind m_kind;
    int m_index = -1; // set by the dataset
    int m_dataIndex = -1; // in TRecord::values, or TRecord::calc for calculated fields
};

} // namespace qor
