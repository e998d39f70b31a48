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

    // Deletions first, then updates, then inserts, so that a server applying them in
    // order never meets a key still held by a row on its way out.
    TDelta Delta() const;
    // Rows changed since the last merge; a post that leaves every value as it was
    // logs nothing.
    int ChangeCount() const;
    bool LogChanges = true;
    void MergeChangeLog();
    void CancelUpdates(); // back to the last merged state (cancels an edit first)
    TUpdateStatus UpdateStatus() const; // of the current row

protected:
    void RecordPosted(int row, TDataSetState postedFrom,
                      const QVariantList &valuesBeforeEdit) override;
    void RecordDeleted(const TRecord &record, int formerRow) override;
    void RecordsCleared() override;

private:
    // trusted: the values come from decodePacket and already suit the packet's columns.
    void setPacket(const TDataPacket &packet, bool trusted);

    QList<TRecord> m_deleted; // with their original values
    // Where each deleted row stood among the rows that are not inserts: taking the
    // inserts out and putting the deleted rows back, last first, restores the order.
    QList<int> m_deletedRows;
};

} // namespace qor
