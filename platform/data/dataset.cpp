#include "dataset.h"

#include "datasource.h"
#include "rtl/datetime.h"
#include "rtl/exceptions.h"

#include <QScopeGuard>
#include <bit>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

// Puts a member back as it was when the scope ends, exceptions included.
template <typename T> class Restore
{
public:
    explicit Restore(T &ref)
        : m_ref(ref)
        , m_saved(ref)
    { }
    ~Restore() { m_ref = m_saved; }
    Restore(const Restore &) = delete;
    Restore &operator=(const Restore &) = delete;

private:
    T &m_ref;
    T m_saved;
};

void fire(const std::function<void(TDataSet *)> &handler, TDataSet *dataSet)
{
    if (handler)
        handler(dataSet);
}

} // namespace

TDataSet::TDataSet(QObject *parent)
    : QObject(parent)
{ }

TDataSet::~TDataSet()
{
    for (TDataSource *source : std::as_const(m_sources)) {
        source->m_dataSet = nullptr;
        source->m_lastState = dsInactive;
    }
}

TField *TDataSet::AddField(const QString &fieldName, TFieldType type, int size, TFieldKind kind)
{
    return new TField(this, fieldName, type, size, kind);
}

void TDataSet::registerField(TField *field)
{
    if (Active())
        throw EDatabaseError(
            u"Não é possível definir o campo '%1' com o dataset aberto."_s.arg(field->FieldName()));
    if (field->FieldName().isEmpty())
        throw EDatabaseError(u"Um campo precisa de nome."_s);
    if (FindField(field->FieldName()))
        throw EDatabaseError(u"O campo '%1' já existe."_s.arg(field->FieldName()));
    field->m_index = int(m_fields.size());
    m_fields.append(field);
    QList<TField *> &kindList = field->Calculated() ? m_calcFields : m_dataFields;
    field->m_dataIndex = int(kindList.size());
    kindList.append(field);
    for (TRecord &record : m_records) { // rows a subclass loaded before the field came
        record.values.resize(m_dataFields.size());
        record.calc.resize(m_calcFields.size());
    }
    notify(TDataEvent::LayoutChange);
}

QList<TField *> TDataSet::DataFields() const
{
    return m_dataFields;
}

TField *TDataSet::FindField(const QString &fieldName) const
{
    for (TField *field : m_fields) {
        if (field->FieldName().compare(fieldName, Qt::CaseInsensitive) == 0)
            return field;
    }
    return nullptr;
}

TField *TDataSet::FieldByName(const QString &fieldName) const
{
    if (TField *field = FindField(fieldName))
        return field;
    throw EDatabaseError(u"Campo '%1' não encontrado."_s.arg(fieldName));
}

void TDataSet::checkActive() const
{
    if (!Active())
        throw EDatabaseError(u"Operação não permitida: o dataset está fechado."_s);
}

void TDataSet::checkNotCalculating() const
{
    if (m_state == dsCalcFields)
        throw EDatabaseError(u"Operação não permitida durante o cálculo dos campos."_s);
}

void TDataSet::Open()
{
    if (Active())
        return;
    if (m_fields.isEmpty())
        throw EDatabaseError(u"O dataset não tem campos definidos."_s);
    fire(BeforeOpen, this);
    openCursor();
}

void TDataSet::openCursor()
{
    m_current = m_records.isEmpty() ? -1 : 0;
    m_bof = true;
    m_eof = m_records.isEmpty();
    m_modified = false;
    m_editBackup.clear();
    setState(dsBrowse);
    calculateRecord(m_current);
    notify(TDataEvent::DataSetChange);
    fire(AfterOpen, this);
    if (!IsEmpty())
        fire(AfterScroll, this);
}

void TDataSet::Close()
{
    if (!Active())
        return;
    checkNotCalculating();
    fire(BeforeClose, this);
    discardEdits();
    m_records.clear();
    m_current = -1;
    m_bof = m_eof = true;
    RecordsCleared();
    setState(dsInactive);
    notify(TDataEvent::DataSetChange);
    fire(AfterClose, this);
}

void TDataSet::discardEdits()
{
    if (m_state == dsInsert && m_current >= 0)
        m_records.removeAt(m_current);
    else if (m_state == dsEdit && m_current >= 0)
        m_records[m_current].values = m_editBackup;
    m_editBackup.clear();
    m_modified = false;
}

void TDataSet::ReplaceRecords(QList<TRecord> records)
{
    checkNotCalculating();
    if (m_fields.isEmpty())
        throw EDatabaseError(u"O dataset não tem campos definidos."_s);
    for (const TRecord &record : records) {
        if (record.values.size() != m_dataFields.size())
            throw EDatabaseError(u"Linha com %1 valores para %2 campos."_s.arg(record.values.size())
                                     .arg(m_dataFields.size()));
    }
    Close();
    m_records = std::move(records);
    // One list of nulls shared by every row until its first calculation writes to it.
    const QVariantList clearedCalc(m_calcFields.size());
    for (TRecord &record : m_records) {
        if (record.calc.size() != m_calcFields.size())
            record.calc = clearedCalc;
    }
    fire(BeforeOpen, this);
    openCursor();
}

TRecord TDataSet::NewRecord() const
{
    TRecord record;
    record.values.resize(m_dataFields.size());
    record.calc.resize(m_calcFields.size());
    return record;
}

void TDataSet::Resync(int currentRow)
{
    m_current = m_records.isEmpty() ? -1 : qBound(0, currentRow, int(m_records.size()) - 1);
    m_bof = m_eof = m_records.isEmpty();
    calculateRecord(m_current);
    notify(TDataEvent::DataSetChange);
}

bool TDataSet::PostedValues(int row, QVariantList *values) const
{
    if (row < 0 || row >= m_records.size())
        return false;
    const TDataSetState state = editState();
    if (row == m_current && state == dsInsert)
        return false;
    if (values)
        *values = (row == m_current && state == dsEdit) ? m_editBackup : m_records.at(row).values;
    return true;
}

// ---- navigation ----

void TDataSet::scrollTo(int row)
{
    m_current = row;
    calculateRecord(row);
    notify(TDataEvent::DataSetScroll);
}

void TDataSet::First()
{
    CheckBrowseMode();
    fire(BeforeScroll, this);
    scrollTo(m_records.isEmpty() ? -1 : 0);
    m_bof = true;
    m_eof = m_records.isEmpty();
    fire(AfterScroll, this);
}

void TDataSet::Last()
{
    CheckBrowseMode();
    fire(BeforeScroll, this);
    scrollTo(int(m_records.size()) - 1);
    m_bof = m_records.isEmpty();
    m_eof = true;
    fire(AfterScroll, this);
}

void TDataSet::Next()
{
    CheckBrowseMode();
    fire(BeforeScroll, this);
    if (!m_eof) {
        m_bof = false;
        if (m_current + 1 < m_records.size())
            scrollTo(m_current + 1);
        else
            m_eof = true;
    }
    fire(AfterScroll, this);
}

void TDataSet::Prior()
{
    CheckBrowseMode();
    fire(BeforeScroll, this);
    if (!m_bof) {
        m_eof = false;
        if (m_current > 0)
            scrollTo(m_current - 1);
        else
            m_bof = true;
    }
    fire(AfterScroll, this);
}

void TDataSet::SetRecNo(int recNo)
{
    CheckBrowseMode();
    if (recNo < 1 || recNo > m_records.size() || recNo == RecNo())
        return;
    fire(BeforeScroll, this);
    m_bof = m_eof = false;
    scrollTo(recNo - 1);
    fire(AfterScroll, this);
}

bool TDataSet::rowMatches(int row, TField *field, const QVariant &key, TLocateOptions options)
{
    const QVariant value = ValueAt(row, field);
    if (field->DataType() == TFieldType::String) {
        // Null and the empty text are the same "nothing" for a string field.
        const QString text = value.toString();
        const QString wanted = key.toString();
        const Qt::CaseSensitivity cs = options.testFlag(TLocateOption::CaseInsensitive)
            ? Qt::CaseInsensitive
            : Qt::CaseSensitive;
        return options.testFlag(TLocateOption::PartialKey) ? text.startsWith(wanted, cs)
                                                           : text.compare(wanted, cs) == 0;
    }
    if (!key.isValid() || key.isNull())
        return !value.isValid();
    if (!value.isValid())
        return false;
    bool ok = false;
    const double wanted = key.toDouble(&ok);
    return ok && value.toDouble() == wanted;
}

bool TDataSet::Locate(const QString &keyField, const QVariant &keyValue, TLocateOptions options)
{
    CheckBrowseMode();
    TField *field = FieldByName(keyField);
    QVariant key = keyValue;
    if (field->DataType() == TFieldType::DateTime) {
        // A date-time field is written a QDate or a QDateTime and holds the day count:
        // the key is brought to that form, or no date would ever be found.
        const int type = keyValue.metaType().id();
        try {
            if (type == QMetaType::QDate)
                key = DateToDateTime(keyValue.toDate());
            else if (type == QMetaType::QDateTime)
                key = QDateTimeToDateTime(keyValue.toDateTime());
        } catch (const EConvertError &) {
            return false; // no row holds an invalid date
        }
    }
    for (int row = 0; row < m_records.size(); ++row) {
        if (rowMatches(row, field, key, options)) {
            fire(BeforeScroll, this);
            m_bof = m_eof = false;
            scrollTo(row);
            fire(AfterScroll, this);
            return true;
        }
    }
    return false;
}

// ---- editing ----

void TDataSet::Insert()
{
    insertRow(false);
}

void TDataSet::Append()
{
    insertRow(true);
}

void TDataSet::insertRow(bool append)
{
    checkActive();
    checkNotCalculating();
    CheckBrowseMode();
    fire(BeforeInsert, this);
    fire(BeforeScroll, this);
    const int returnRow = m_current;
    const int row = append ? int(m_records.size()) : qMax(m_current, 0);
    TRecord record = NewRecord();
    record.calcValid = true; // cleared, and so already what a new row shows
    m_records.insert(row, record);
    m_current = row;
    m_insertReturnRow = returnRow;
    const bool bofBefore = m_bof;
    const bool eofBefore = m_eof;
    m_bof = m_eof = false;
    m_editBackup.clear();
    setState(dsInsert);
    // The controls learn of the new row before OnNewRecord asks one of them for focus.
    notify(TDataEvent::DataSetChange);
    try {
        fire(OnNewRecord, this);
    } catch (...) {
        m_records.removeAt(m_current);
        m_modified = false;
        m_current = m_records.isEmpty() ? -1 : qBound(0, returnRow, int(m_records.size()) - 1);
        m_bof = bofBefore; // the ends as before the row: an empty dataset is at its end
        m_eof = eofBefore;
        setState(dsBrowse);
        notify(TDataEvent::DataSetChange);
        throw;
    }
    m_modified = false; // what OnNewRecord filled in is not the user's change
    fire(AfterInsert, this);
    fire(AfterScroll, this);
}

void TDataSet::Edit()
{
    checkActive();
    checkNotCalculating();
    if (m_state == dsEdit || m_state == dsInsert)
        return;
    if (m_records.isEmpty()) {
        Insert();
        return;
    }
    fire(BeforeEdit, this);
    m_editBackup = m_records.at(m_current).values;
    m_modified = false;
    setState(dsEdit);
    fire(AfterEdit, this);
}

void TDataSet::Post()
{
    checkActive();
    checkNotCalculating();
    if (m_state != dsEdit && m_state != dsInsert)
        return;
    notify(TDataEvent::UpdateRecord);
    fire(BeforePost, this);
    if (m_state != dsEdit && m_state != dsInsert) // BeforePost itself cancelled
        return;
    const TDataSetState postedFrom = m_state;
    const QVariantList valuesBeforeEdit = postedFrom == dsEdit ? m_editBackup : QVariantList();
    const int row = m_current;
    m_editBackup.clear();
    m_modified = false;
    // The row is posted: browse, and logged, before anyone hears of it, so that a
    // state-change handler that raises cannot keep the change out of the log.
    m_state = dsBrowse;
    RecordPosted(row, postedFrom, valuesBeforeEdit);
    notify(TDataEvent::UpdateState);
    calculateRecord(m_current); // the posted row is read again, as after any resync
    notify(TDataEvent::DataSetChange);
    fire(AfterPost, this);
}

void TDataSet::Cancel()
{
    if (m_state != dsEdit && m_state != dsInsert)
        return;
    fire(BeforeCancel, this);
    if (m_state != dsEdit && m_state != dsInsert)
        return;
    if (m_state == dsInsert) {
        m_records.removeAt(m_current);
        m_current =
            m_records.isEmpty() ? -1 : qBound(0, m_insertReturnRow, int(m_records.size()) - 1);
    } else {
        m_records[m_current].values = m_editBackup;
    }
    m_editBackup.clear();
    m_modified = false;
    m_bof = m_eof = m_records.isEmpty();
    setState(dsBrowse);
    calculateRecord(m_current);
    notify(TDataEvent::DataSetChange);
    fire(AfterCancel, this);
}

void TDataSet::Delete()
{
    checkActive();
    checkNotCalculating();
    if (m_state == dsInsert) {
        Cancel();
        return;
    }
    if (m_records.isEmpty())
        throw EDatabaseError(u"Operação não permitida: o dataset está vazio."_s);
    fire(BeforeDelete, this);
    fire(BeforeScroll, this);
    if (m_state == dsEdit) { // the row leaves with what it held before the edit
        m_records[m_current].values = m_editBackup;
        m_editBackup.clear();
        m_modified = false;
    }
    const int row = m_current;
    const TRecord record = m_records.takeAt(row);
    m_current = m_records.isEmpty() ? -1 : qMin(row, int(m_records.size()) - 1);
    m_bof = m_eof = m_records.isEmpty();
    RecordDeleted(record, row);
    setState(dsBrowse);
    calculateRecord(m_current);
    notify(TDataEvent::DataSetChange);
    fire(AfterDelete, this);
    fire(AfterScroll, this);
}

void TDataSet::CheckBrowseMode()
{
    checkActive();
    checkNotCalculating();
    if (m_state != dsEdit && m_state != dsInsert)
        return;
    notify(TDataEvent::UpdateRecord); // a control's pending text counts as a change
    if (m_modified)
        Post();
    else
        Cancel();
}

void TDataSet::RecordPosted(int, TDataSetState, const QVariantList &) { }

void TDataSet::RecordDeleted(const TRecord &, int) { }

void TDataSet::RecordsCleared() { }

// ---- controls ----

void TDataSet::DisableControls()
{
    if (m_disableCount++ == 0)
        m_stateAtDisable = m_state;
}

void TDataSet::EnableControls()
{
    if (m_disableCount == 0 || --m_disableCount > 0)
        return;
    const bool stateChanged = m_state != m_stateAtDisable;
    const QList<TDataSource *> sources = m_sources;
    for (TDataSource *source : sources) {
        if (m_sources.contains(source))
            source->controlsEnabled(stateChanged);
    }
}

void TDataSet::notify(TDataEvent event, TField *field)
{
    if (m_sources.isEmpty())
        return;
    const QList<TDataSource *> sources = m_sources; // a handler may detach a source
    for (TDataSource *source : sources) {
        if (!m_sources.contains(source))
            continue;
        if (m_disableCount > 0) {
            // The command state still follows the dataset; the controls wait.
            if (event == TDataEvent::UpdateState)
                source->updateState(false);
            continue;
        }
        source->dataEvent(event, field);
    }
}

void TDataSet::setState(TDataSetState state)
{
    if (m_state == state)
        return;
    m_state = state;
    notify(TDataEvent::UpdateState);
}

// ---- calculated fields and rows read by the controls ----

void TDataSet::calculateRecord(int row)
{
    if (row < 0 || row >= m_records.size())
        return;
    TRecord &record = m_records[row];
    if (record.calc.size() != m_calcFields.size())
        record.calc = QVariantList(m_calcFields.size());
    // Valid even when the handler raises: the values stay until the next calculation.
    record.calcValid = true;
    const qsizetype count = record.calc.size();
    quint64 stale = 0;
    for (qsizetype i = 0; i < count; ++i) {
        if (!record.calc.at(i).isValid())
            continue;
        if (i < 64 && OnCalcFields)
            stale |= quint64(1) << i; // kept for the handler to overwrite in place
        else
            record.calc[i] = QVariant();
    }
    if (count == 0 || !OnCalcFields)
        return;
    Restore<TDataSetState> state(m_state);
    Restore<TDataSetState> stateBeforeCalc(m_stateBeforeCalc);
    Restore<int> activeOverride(m_activeOverride);
    Restore<quint64> staleBefore(m_calcStale);
    Restore<int> calcRowBefore(m_calcRow);
    m_stateBeforeCalc = m_state == dsCalcFields ? m_stateBeforeCalc : m_state;
    m_state = dsCalcFields; // a temporary state: the data sources are not told
    m_activeOverride = row;
    m_calcStale = stale;
    m_calcRow = row;
    // However the handler ends, what it did not write is empty afterwards.
    const auto clearStale = qScopeGuard([this, row] {
        for (quint64 left = m_calcStale; left != 0; left &= left - 1)
            m_records[row].calc[std::countr_zero(left)] = QVariant();
    });
    OnCalcFields(this);
}

void TDataSet::fieldChanged(TField *field)
{
    m_modified = true;
    if (AutoCalcFields)
        calculateRecord(m_current);
    notify(TDataEvent::FieldChange, field);
}

TDataSetState TDataSet::editState() const
{
    return m_state == dsCalcFields ? m_stateBeforeCalc : m_state;
}

const TRecord *TDataSet::recordAtCursor() const
{
    return m_current >= 0 && m_current < m_records.size() ? &m_records.at(m_current) : nullptr;
}

QVariant TDataSet::ValueAt(int row, TField *field)
{
    if (!field || field->DataSet() != this || row < 0 || row >= m_records.size())
        return QVariant();
    if (field->Calculated()) {
        if (!m_records.at(row).calcValid)
            calculateRecord(row);
        if (row == m_calcRow && field->calcStale())
            return QVariant();
        return m_records.at(row).calc.value(field->m_dataIndex);
    }
    return m_records.at(row).values.value(field->m_dataIndex);
}

QString TDataSet::TextAt(int row, TField *field, bool displayText)
{
    if (!field || field->DataSet() != this || row < 0 || row >= m_records.size())
        return QString();
    if (field->Calculated() && !m_records.at(row).calcValid)
        calculateRecord(row);
    Restore<int> activeOverride(m_activeOverride);
    m_activeOverride = row;
    return field->textFor(displayText);
}

} // namespace qor
