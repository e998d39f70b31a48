#pragma once

#include <QString>
#include <QStringView>

namespace qor {

enum class TFieldType { String, Float, DateTime };
enum class TFieldKind { Data, Calculated };

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert, dsCalcFields };

// What a data source tells the controls attached to it.
enum class TDataEvent {
    FieldChange, // a field of the current row changed; field given
    RecordChange, // the current row's values changed
    DataSetChange, // rows added, removed or replaced
    DataSetScroll, // the current row moved
    LayoutChange, // fields or their display properties changed
    UpdateRecord, // before a post: controls write pending edits into their fields
    UpdateState, // the dataset's state changed
    FocusControl, // a field asks its control to take the focus; field given
};

enum class TUpdateStatus { Unmodified, Modified, Inserted, Deleted };

// A text's length in characters, as the databases count a column's size: a character
// beyond the basic plane is one character, not the two UTF-16 units QString counts, so a
// name the database holds within its size is never refused for being longer.
inline qsizetype textLength(QStringView text)
{
    qsizetype length = text.size();
    for (qsizetype i = 1; i < text.size(); ++i) {
        if (text[i].isLowSurrogate() && text[i - 1].isHighSurrogate())
            --length;
    }
    return length;
}

struct TFieldDef
{
    QString name;
    TFieldType type = TFieldType::String;
    int size = 0; // strings only
    bool operator==(const TFieldDef &) const = default;
};

} // namespace qor
