#pragma once

#include <QString>

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

struct TFieldDef
{
    QString name;
    TFieldType type = TFieldType::String;
    int size = 0; // strings only
    bool operator==(const TFieldDef &) const = default;
};

} // namespace qor
