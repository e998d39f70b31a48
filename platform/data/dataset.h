#pragma once

#include "field.h"
#include "fieldtypes.h"

#include <QList>
#include <QObject>
#include <QVariant>
#include <functional>

namespace qor {

class TDataSource;

enum class TLocateOption { CaseInsensitive = 1, PartialKey = 2 };
Q_DECLARE_FLAGS(TLocateOptions, TLocateOption)

// One row: the stored fields' values, the calculated fields' values, and what the
// change log of a client dataset needs to know about it.
struct TRecord
{
    QVariantList values; // by data-field index
    QVariantList calc; // by calculated-field index
    QVariantList original; // values at the last merge; empty for a row inserted since
    TUpdateStatus status = TUpdateStatus::Unmodified;
    bool calcValid = false;
};

// An in-memory dataset with a cursor, states and the classic event order.
// Insert: BeforeInsert, BeforeScroll, new row at the cursor (calculated fields cleared),
//   dsInsert, DataSetChange to the controls, OnNewRecord, AfterInsert, AfterScroll.
//   (Append: the same with the row at the end.) A raise in OnNewRecord drops the row.
// Post: UpdateRecord to the controls, BeforePost while still editing, back to browse,
//   RecordPosted, DataSetChange, AfterPost.
// A raise in BeforeInsert or BeforePost abandons the operation and leaves state and values.
// Moving the cursor while editing runs CheckBrowseMode first: a modified row is posted,
// an untouched one cancelled (an inserted row nobody typed into disappears).
class TDataSet : public QObject
{
    Q_OBJECT
public:
    explicit TDataSet(QObject *parent = nullptr);
    ~TDataSet() override;

    // Fields are defined before the dataset opens; the field belongs to the dataset.
    TField *AddField(const QString &fieldName, TFieldType type, int size = 0,
                     TFieldKind kind = TFieldKind::Data);
    const QList<TField *> &Fields() const { return m_fields; }
    QList<TField *> DataFields() const;
    TField *FindField(const QString &fieldName) const;
    TField *FieldByName(const QString &fieldName) const; // raises EDatabaseError when missing

    TDataSetState State() const { return m_state; }
    bool Active() const { return m_state != dsInactive; }
    void Open();
    void Close();
    void SetActive(bool active) { active ? Open() : Close(); }

    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const { return m_eof; }
    bool Bof() const { return m_bof; }
    bool IsEmpty() const { return m_records.isEmpty(); }
    int RecordCount() const { return int(m_records.size()); }
    int RecNo() const { return m_current + 1; } // 1-based, 0 when there is no row
    void SetRecNo(int recNo);
    // Whole value unless PartialKey; one key field.
    bool Locate(const QString &keyField, const QVariant &keyValue, TLocateOptions options = {});

    void Insert();
    void Append();
    void Edit(); // on an empty dataset: Insert
    void Post();
    void Cancel();
    void Delete(); // in insert state: Cancel
    void
    CheckBrowseMode(); // posts a pending modified edit (raises like Post), cancels an untouched one
    // Whether a stored field of the row being edited or inserted has been set since
    // Edit, or since OnNewRecord ran.
    bool Modified() const { return m_modified; }

    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return m_disableCount > 0; }

    bool AutoCalcFields = true;

    std::function<void(TDataSet *)> BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    std::function<void(TDataSet *)> BeforeInsert, AfterInsert, OnNewRecord;
    std::function<void(TDataSet *)> BeforeEdit, AfterEdit;
    std::function<void(TDataSet *)> BeforePost, AfterPost;
    std::function<void(TDataSet *)> BeforeCancel, AfterCancel;
    std::function<void(TDataSet *)> BeforeDelete, AfterDelete;
    std::function<void(TDataSet *)> BeforeScroll, AfterScroll;
    std::function<void(TDataSet *)> OnCalcFields;

    // For the data-aware controls: read any row without moving the cursor. The row's
    // calculated fields are computed first when they have not been yet.
    int CurrentRow() const { return m_current; } // -1 when there is no row
    QVariant ValueAt(int row, TField *field);
    QString TextAt(int row, TField *field, bool displayText);

    // The row fields read and write: the current row, or the row being calculated.
    // Inline: every field read and write goes through it.
    TRecord *ActiveRecord()
    {
        const int row = m_activeOverride >= 0 ? m_activeOverride : m_current;
        return row >= 0 && row < m_records.size() ? &m_records[row] : nullptr;
    }
    const TRecord *ActiveRecord() const
    {
        const int row = m_activeOverride >= 0 ? m_activeOverride : m_current;
        return row >= 0 && row < m_records.size() ? &m_records.at(row) : nullptr;
    }

protected:
    // Storage for the subclasses that load rows (client datasets, queries).
    QList<TRecord> &Records() { return m_records; }
    const QList<TRecord> &Records() const { return m_records; }
    // Closes (BeforeClose/AfterClose) when open, then opens on the given rows at the
    // first row: BeforeOpen, state changes, AfterOpen, AfterScroll.
    void ReplaceRecords(QList<TRecord> records);
    TRecord NewRecord() const;
    // After a subclass rearranged Records() while browsing: puts the cursor on the
    // given row (clamped), recalculates it and tells the controls.
    void Resync(int currentRow);
    // The values of a row as last posted: the row being edited gives its values from
    // before the edit; the row being inserted, not yet posted, gives false.
    bool PostedValues(int row, QVariantList *values) const;

    // Hooks for the change log. Called after the local change has been made and
    // before the After* event fires.
    virtual void RecordPosted(int row, TDataSetState postedFrom,
                              const QVariantList &valuesBeforeEdit);
    virtual void RecordDeleted(const TRecord &record, int formerRow);
    // Close dropped every row.
    virtual void RecordsCleared();

private:
    friend class TField;
    friend class TDataSource;
    void notify(TDataEvent event, TField *field = nullptr);
    void setState(TDataSetState state);
    void calculateRecord(int row);
    void fieldChanged(TField *field);
    void scrollTo(int row);
    void checkActive() const;
    void checkNotCalculating() const;
    void registerField(TField *field);
    void openCursor();
    void discardEdits();
    void insertRow(bool append);
    bool rowMatches(int row, TField *field, const QVariant &key, TLocateOptions options);
    TDataSetState editState() const; // the state under a running calculation
    const TRecord *recordAtCursor() const;

    QList<TField *> m_fields;
    QList<TField *> m_dataFields;
    QList<TField *> m_calcFields;
    QList<TRecord> m_records;
    QList<TDataSource *> m_sources;
    TDataSetState m_state = dsInactive;
    int m_current = -1;
    int m_activeOverride = -1; // row being read or calculated outside the cursor
    bool m_eof = true;
    bool m_bof = true;
    int m_disableCount = 0;
    TDataSetState m_stateAtDisable = dsInactive;
    TDataSetState m_stateBeforeCalc = dsInactive; // the state a calculation interrupted
    // While a row is calculated, one bit per calculated field (the first 64): the value
    // left by the row's last calculation. It reads as empty until the handler writes the
    // field again, in place, and is cleared if the handler does not.
    quint64 m_calcStale = 0;
    int m_calcRow = -1; // the row m_calcStale describes
    bool m_modified = false;
    int m_insertReturnRow = -1; // the row to go back to when an insert is cancelled
    QVariantList m_editBackup; // values of the row when Edit began
};

} // namespace qor

Q_DECLARE_OPERATORS_FOR_FLAGS(qor::TLocateOptions)
