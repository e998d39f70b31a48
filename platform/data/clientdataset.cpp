#include "clientdataset.h"

#include "rtl/exceptions.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

// A value from a packet built in code: in the column's own type, or raise.
QVariant checkedCell(const TFieldDef &column, const QVariant &value, qsizetype row)
{
    if (!value.isValid() || value.isNull())
        return QVariant();
    const QString where = u"linha %1, campo '%2'"_s.arg(row + 1).arg(column.name);
    if (column.type == TFieldType::String) {
        if (value.metaType().id() != QMetaType::QString)
            throw EDatabaseError(u"Pacote de dados inválido: %1: esperado um texto."_s.arg(where));
        return value;
    }
    bool ok = false;
    const double number = value.toDouble(&ok);
    if (!ok || value.metaType().id() == QMetaType::QString || !std::isfinite(number))
        throw EDatabaseError(u"Pacote de dados inválido: %1: esperado um número."_s.arg(where));
    return QVariant(number);
}

void checkLength(const TField *field, const QVariant &value, qsizetype row)
{
    if (field->DataType() != TFieldType::String || field->Size() <= 0 || !value.isValid())
        return;
    const QString text = value.toString();
    if (text.size() <= field->Size())
        return;
    const qsizetype length = textLength(text);
    if (length > field->Size())
        throw EDatabaseError(
            u"Pacote de dados inválido: linha %1, campo '%2': texto com %3 caracteres para o tamanho %4."_s
                .arg(row + 1)
                .arg(field->FieldName())
                .arg(length)
                .arg(field->Size()));
}

QList<TFieldDef> definitions(const QList<TField *> &fields)
{
    QList<TFieldDef> defs;
    defs.reserve(fields.size());
    for (const TField *field : fields)
        defs.append(TFieldDef{field->FieldName(), field->DataType(), field->Size()});
    return defs;
}

} // namespace

TClientDataSet::TClientDataSet(QObject *parent)
    : TDataSet(parent)
{ }

void TClientDataSet::SetData(const TDataPacket &packet)
{
    setPacket(packet, false);
}

void TClientDataSet::SetData(const QJsonValue &json)
{
    setPacket(decodePacket(json), true);
}

void TClientDataSet::setPacket(const TDataPacket &packet, bool trusted)
{
    const bool makeFields = Fields().isEmpty();
    if (makeFields) {
        if (packet.fields.isEmpty())
            throw EDatabaseError(u"Pacote de dados sem campos."_s);
        for (qsizetype i = 0; i < packet.fields.size(); ++i) {
            const TFieldDef &def = packet.fields.at(i);
            if (def.name.isEmpty() || def.size < 0)
                throw EDatabaseError(
                    u"Pacote de dados inválido: campo %1 mal definido."_s.arg(i + 1));
            for (qsizetype j = 0; j < i; ++j) {
                if (packet.fields.at(j).name.compare(def.name, Qt::CaseInsensitive) == 0)
                    throw EDatabaseError(
                        u"Pacote de dados inválido: campo '%1' repetido."_s.arg(def.name));
            }
        }
    }

    // Which packet column feeds each data field.
    QList<int> columns;
    QList<bool> lengthChecked; // strings whose field is narrower than the packet says
    if (makeFields) {
        for (qsizetype i = 0; i < packet.fields.size(); ++i) {
            columns.append(int(i));
            lengthChecked.append(!trusted && packet.fields.at(i).type == TFieldType::String);
        }
    } else {
        const QList<TField *> fields = DataFields();
        for (const TField *field : fields) {
            int column = -1;
            for (qsizetype i = 0; i < packet.fields.size(); ++i) {
                if (packet.fields.at(i).name.compare(field->FieldName(), Qt::CaseInsensitive) == 0)
                    column = int(i);
            }
            if (column < 0)
                throw EDatabaseError(
                    u"O pacote de dados não traz o campo '%1'."_s.arg(field->FieldName()));
            const TFieldDef &def = packet.fields.at(column);
            if (def.type != field->DataType())
                throw EDatabaseError(u"O campo '%1' chega como %2; esperado %3."_s.arg(
                    field->FieldName(), fieldTypeName(def.type), fieldTypeName(field->DataType())));
            columns.append(column);
            lengthChecked.append(field->DataType() == TFieldType::String && field->Size() > 0
                                 && (!trusted || def.size <= 0 || def.size > field->Size()));
        }
    }
    bool identity = columns.size() == packet.fields.size();
    for (qsizetype i = 0; identity && i < columns.size(); ++i)
        identity = columns.at(i) == i;

    // Every row is checked before anything changes: a bad packet leaves the dataset as it was.
    QList<TRecord> records;
    records.reserve(packet.rows.size());
    for (qsizetype r = 0; r < packet.rows.size(); ++r) {
        const QVariantList &row = packet.rows.at(r);
        if (row.size() != packet.fields.size())
            throw EDatabaseError(
                u"Pacote de dados inválido: a linha %1 tem %2 valores; esperados %3."_s.arg(r + 1)
                    .arg(row.size())
                    .arg(packet.fields.size()));
        TRecord record;
        if (identity && trusted) {
            record.values = row; // shared, not copied
        } else {
            record.values.reserve(columns.size());
            for (int column : std::as_const(columns)) {
                const QVariant &value = row.at(column);
                record.values.append(trusted ? value
                                             : checkedCell(packet.fields.at(column), value, r));
            }
        }
        records.append(std::move(record));
    }

    if (makeFields) {
        for (const TFieldDef &def : packet.fields)
            AddField(def.name, def.type, def.type == TFieldType::String ? def.size : 0);
    }
    const QList<TField *> fields = DataFields();
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (!lengthChecked.at(i))
            continue;
        for (qsizetype r = 0; r < records.size(); ++r)
            checkLength(fields.at(i), records.at(r).values.at(i), r);
    }

    m_deleted.clear();
    m_deletedRows.clear();
    ReplaceRecords(std::move(records));
}

TDataPacket TClientDataSet::Data() const
{
    TDataPacket packet;
    packet.fields = definitions(DataFields());
    packet.rows.reserve(RecordCount());
    QVariantList values;
    for (int row = 0; row < RecordCount(); ++row) {
        if (PostedValues(row, &values))
            packet.rows.append(values);
    }
    return packet;
}

TDelta TClientDataSet::Delta() const
{
    TDelta delta;
    delta.fields = definitions(DataFields());
    for (const TRecord &record : m_deleted)
        delta.changes.append(TDeltaChange{TChangeOp::Delete, record.values, {}});
    const QList<TRecord> &records = Records();
    QVariantList values;
    for (int row = 0; row < records.size(); ++row) {
        if (records.at(row).status == TUpdateStatus::Modified && PostedValues(row, &values))
            delta.changes.append(TDeltaChange{TChangeOp::Update, records.at(row).original, values});
    }
    for (int row = 0; row < records.size(); ++row) {
        if (records.at(row).status == TUpdateStatus::Inserted && PostedValues(row, &values))
            delta.changes.append(TDeltaChange{TChangeOp::Insert, {}, values});
    }
    return delta;
}

int TClientDataSet::ChangeCount() const
{
    int count = int(m_deleted.size());
    for (const TRecord &record : Records()) {
        if (record.status != TUpdateStatus::Unmodified)
            ++count;
    }
    return count;
}

void TClientDataSet::MergeChangeLog()
{
    QList<TRecord> &records = Records();
    for (qsizetype i = 0; i < records.size(); ++i) {
        const TRecord &record = std::as_const(records).at(i);
        if (record.status == TUpdateStatus::Unmodified && record.original.isEmpty())
            continue; // untouched rows are not written, so not copied
        records[i].status = TUpdateStatus::Unmodified;
        records[i].original.clear();
    }
    m_deleted.clear();
    m_deletedRows.clear();
}

void TClientDataSet::CancelUpdates()
{
    Cancel();
    if (!Active()) {
        m_deleted.clear();
        m_deletedRows.clear();
        return;
    }
    QList<TRecord> &records = Records();
    const int current = CurrentRow();
    int newCurrent = 0;
    QList<TRecord> kept;
    kept.reserve(records.size() + m_deleted.size());
    for (qsizetype i = 0; i < records.size(); ++i) {
        if (i == current)
            newCurrent = int(kept.size());
        TRecord &record = records[i];
        if (record.status == TUpdateStatus::Inserted)
            continue;
        if (record.status == TUpdateStatus::Modified) {
            record.values = record.original;
            record.original.clear();
            record.status = TUpdateStatus::Unmodified;
            record.calcValid = false;
        }
        kept.append(std::move(record));
    }
    for (qsizetype k = m_deleted.size() - 1; k >= 0; --k) {
        const int position = qBound(0, m_deletedRows.at(k), int(kept.size()));
        TRecord record = m_deleted.at(k);
        record.status = TUpdateStatus::Unmodified;
        record.calcValid = false;
        kept.insert(position, record);
        if (position <= newCurrent && current >= 0)
            ++newCurrent;
    }
    m_deleted.clear();
    m_deletedRows.clear();
    records = std::move(kept);
    Resync(newCurrent);
}

TUpdateStatus TClientDataSet::UpdateStatus() const
{
    if (State() == dsInsert)
        return TUpdateStatus::Inserted;
    const TRecord *record = ActiveRecord();
    return record ? record->status : TUpdateStatus::Unmodified;
}

void TClientDataSet::RecordPosted(int row, TDataSetState postedFrom,
                                  const QVariantList &valuesBeforeEdit)
{
    if (!LogChanges || row < 0 || row >= RecordCount())
        return;
    TRecord &record = Records()[row];
    if (postedFrom == dsInsert) {
        record.status = TUpdateStatus::Inserted;
        record.original.clear();
        return;
    }
    switch (record.status) {
    case TUpdateStatus::Unmodified:
        if (record.values != valuesBeforeEdit) {
            record.original = valuesBeforeEdit;
            record.status = TUpdateStatus::Modified;
        }
        break;
    case TUpdateStatus::Modified: // keeps its first original; back to it is no change
        if (record.values == record.original) {
            record.original.clear();
            record.status = TUpdateStatus::Unmodified;
        }
        break;
    case TUpdateStatus::Inserted: // still one insert
    case TUpdateStatus::Deleted:
        break;
    }
}

void TClientDataSet::RecordDeleted(const TRecord &record, int formerRow)
{
    if (!LogChanges || record.status == TUpdateStatus::Inserted)
        return; // an insert that is deleted leaves nothing to send
    TRecord gone = record;
    if (record.status == TUpdateStatus::Modified)
        gone.values = record.original;
    gone.original.clear();
    gone.status = TUpdateStatus::Deleted;
    int position = 0;
    const QList<TRecord> &records = Records();
    for (int i = 0; i < formerRow && i < records.size(); ++i) {
        if (records.at(i).status != TUpdateStatus::Inserted)
            ++position;
    }
    m_deleted.append(gone);
    m_deletedRows.append(position);
}

void TClientDataSet::RecordsCleared()
{
    m_deleted.clear();
    m_deletedRows.clear();
}

} // namespace qor
