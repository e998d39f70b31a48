#include "datafixtures.h"

#include "data/packet.h"

using namespace Qt::StringLiterals;

namespace qor::testing {

QString eventName(TDataEvent event)
{
    switch (event) {
    case TDataEvent::FieldChange:
        return u"FieldChange"_s;
    case TDataEvent::RecordChange:
        return u"RecordChange"_s;
    case TDataEvent::DataSetChange:
        return u"DataSetChange"_s;
    case TDataEvent::DataSetScroll:
        return u"DataSetScroll"_s;
    case TDataEvent::LayoutChange:
        return u"LayoutChange"_s;
    case TDataEvent::UpdateRecord:
        return u"UpdateRecord"_s;
    case TDataEvent::UpdateState:
        return u"UpdateState"_s;
    case TDataEvent::FocusControl:
        return u"FocusControl"_s;
    }
    return QString();
}

QString stateName(TDataSetState state)
{
    switch (state) {
    case dsInactive:
        return u"inactive"_s;
    case dsBrowse:
        return u"browse"_s;
    case dsEdit:
        return u"edit"_s;
    case dsInsert:
        return u"insert"_s;
    case dsCalcFields:
        return u"calc"_s;
    }
    return QString();
}

void RecordingLink::dataEvent(TDataEvent event, TField *field)
{
    events.append(field ? eventName(event) + u':' + field->FieldName() : eventName(event));
    if (onEvent)
        onEvent(event);
}

void EventLog::attach(TDataSet *dataSet, TDataSource *source)
{
    const auto record = [this](const QString &name) {
        return [this, name](TDataSet *) {
            entries.append(name);
        };
    };
    dataSet->BeforeOpen = record(u"BeforeOpen"_s);
    dataSet->AfterOpen = record(u"AfterOpen"_s);
    dataSet->BeforeClose = record(u"BeforeClose"_s);
    dataSet->AfterClose = record(u"AfterClose"_s);
    dataSet->BeforeInsert = record(u"BeforeInsert"_s);
    dataSet->AfterInsert = record(u"AfterInsert"_s);
    dataSet->OnNewRecord = record(u"OnNewRecord"_s);
    dataSet->BeforeEdit = record(u"BeforeEdit"_s);
    dataSet->AfterEdit = record(u"AfterEdit"_s);
    dataSet->BeforePost = record(u"BeforePost"_s);
    dataSet->AfterPost = record(u"AfterPost"_s);
    dataSet->BeforeCancel = record(u"BeforeCancel"_s);
    dataSet->AfterCancel = record(u"AfterCancel"_s);
    dataSet->BeforeDelete = record(u"BeforeDelete"_s);
    dataSet->AfterDelete = record(u"AfterDelete"_s);
    dataSet->BeforeScroll = record(u"BeforeScroll"_s);
    dataSet->AfterScroll = record(u"AfterScroll"_s);
    if (source) {
        source->OnStateChange = [this](QObject *sender) {
            entries.append(u"State:"_s + stateName(static_cast<TDataSource *>(sender)->State()));
        };
    }
}

SmallTable::SmallTable()
    : dataSet(std::make_unique<TClientDataSet>())
{
    code = dataSet->AddField(u"CODE"_s, TFieldType::String, 6);
    name = dataSet->AddField(u"NAME"_s, TFieldType::String, 20);
    hours = dataSet->AddField(u"HOURS"_s, TFieldType::Float);
    day = dataSet->AddField(u"DAY"_s, TFieldType::DateTime);
    doubled = dataSet->AddField(u"DOUBLE"_s, TFieldType::Float, 0, TFieldKind::Calculated);
    dataSet->OnCalcFields = [this](TDataSet *ds) {
        ++calcRuns;
        calcCodes.append(code->AsString());
        calcStates.append(ds->State());
        calcClearedOnEntry.append(doubled->IsNull());
        if (!hours->IsNull())
            doubled->SetAsFloat(hours->AsFloat() * 2);
    };
}

void SmallTable::load(const QList<std::tuple<QString, QString, double>> &rows)
{
    TDataPacket packet;
    packet.fields = {{u"CODE"_s, TFieldType::String, 6},
                     {u"NAME"_s, TFieldType::String, 20},
                     {u"HOURS"_s, TFieldType::Float, 0},
                     {u"DAY"_s, TFieldType::DateTime, 0}};
    for (const auto &[c, n, h] : rows)
        packet.rows.append({c, n, h, QVariant()});
    dataSet->SetData(packet);
    resetCalcLog();
}

void SmallTable::resetCalcLog()
{
    calcRuns = 0;
    calcCodes.clear();
    calcStates.clear();
    calcClearedOnEntry.clear();
}

QStringList SmallTable::codes()
{
    QStringList out;
    for (int row = 0; row < dataSet->RecordCount(); ++row)
        out.append(dataSet->ValueAt(row, code).toString());
    return out;
}

} // namespace qor::testing
