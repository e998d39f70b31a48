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
    QVariantList values;   // by data-field index
    QVariantList calc;     // by calculated-field index
    QVariantList original; // values at the last merge; empty for a row inserted since
    TUpdateStatus status = TUpdateStatus::Unmodified;
    bool calcValid = false;
};

// An in-memory dataset with a cursor, states and the classic event order.
// Insert: BeforeInsert, new row (calculated fields cleared), dsInsert, OnNewRecord, AfterInsert.
// Post: UpdateRecord to the controls, BeforePost while still editing, back to browse, AfterPost.
// A raise in BeforeInsert or BeforePost abandons the operation and leaves state and values.
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
    void CheckBrowseMode(); // posts a pending edit (raises like Post)

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
    TRecord *ActiveRecord();
    const TRecord *ActiveRecord() const;

protected:
    // Storage for the subclasses that load rows (client datasets, queries).
    QList<TRecord> &Records() { return m_records; }
    const QList<TRecord> &Records() const { return m_records; }
    void ReplaceRecords(QList<TRecord> records); // reopens at the first row, AfterOpen fires
    TRecord NewRecord() const;

    // Hooks for the change log. Called after the local change has been made and
    // before the After* event fires.
    virtual void RecordPosted(int row, TDataSetState postedFrom, const QVariantList &valuesBeforeEdit);
    virtual void RecordDeleted(const TRecord &record, int formerRow);

private:
    friend class TField;
    friend class TDataSource;
    void notify(TDataEvent event, TField *field = nullptr);
    void setState(TDataSetState state);
    void calculateRecord(int row);
    void fieldChanged(TField *field);
    void scrollTo(int row);

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
    QVariantList m_editBackup; // values of the row when Edit began
};

} // namespace qor

Q_DECLARE_OPERATORS_FOR_FLAGS(qor::TLocateOptions)
