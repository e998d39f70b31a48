#pragma once

#include "dataset.h"
#include "packet.h"

namespace qor {

// A dataset loaded from data packets that logs its changes for the server.
// A row inserted and then edited stays one insert; a row modified twice keeps its
// first original; a row inserted and then deleted leaves nothing in the delta.
class TClientDataSet : public TDataSet
{
    Q_OBJECT
public:
    explicit TClientDataSet(QObject *parent = nullptr);

    // Assigning replaces the rows, clears the change log and opens the dataset
    // (AfterOpen fires). With no fields defined, fields are made from the packet;
    // otherwise packet columns are matched by name and a defined data field that
    // the packet lacks raises EDatabaseError.
    void SetData(const TDataPacket &packet);
    void SetData(const QJsonValue &json);
    TDataPacket Data() const;

    TDelta Delta() const;
    int ChangeCount() const; // rows changed since the last merge
    bool LogChanges = true;
    void MergeChangeLog();
    void CancelUpdates(); // back to the last merged state
    TUpdateStatus UpdateStatus() const; // of the current row

protected:
    void RecordPosted(int row, TDataSetState postedFrom, const QVariantList &valuesBeforeEdit) override;
    void RecordDeleted(const TRecord &record, int formerRow) override;

private:
    QList<TRecord> m_deleted; // with their original values
    QList<int> m_deletedRows; // where each deleted row stood
};

} // namespace qor
