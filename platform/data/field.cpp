#include "field.h"

#include "dataset.h"
#include "rtl/convert.h"
#include "rtl/exceptions.h"

#include <QTime>
#include <cmath>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

QString dateTimeText(TDateTime value)
{
    QDate date;
    int msecs = 0;
    if (!DecodeDateTime(value, &date, &msecs))
        return FloatToStr(value);
    QString text = date.toString(u"dd/MM/yyyy");
    if (msecs != 0)
        text += u' ' + QTime::fromMSecsSinceStartOfDay(msecs).toString(u"hh:mm:ss");
    return text;
}

// dd/MM/yyyy with an optional hh:mm or hh:mm:ss; one-digit days and months allowed.
TDateTime textToDateTime(const QString &text)
{
    const QString trimmed = text.trimmed();
    const qsizetype space = trimmed.indexOf(u' ');
    const QString datePart = space < 0 ? trimmed : trimmed.left(space);
    const QString timePart = space < 0 ? QString() : trimmed.mid(space + 1).trimmed();
    const QDate date = QDate::fromString(datePart, u"d/M/yyyy");
    QTime time(0, 0);
    if (!timePart.isEmpty()) {
        time = QTime::fromString(timePart, u"h:m:s");
        if (!time.isValid())
            time = QTime::fromString(timePart, u"h:m");
    }
    if (!date.isValid() || !time.isValid())
        throw EConvertError(u"'%1' não é uma data válida."_s.arg(text));
    return EncodeDateTime(date, time.msecsSinceStartOfDay());
}

} // namespace

bool isNumber(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
        return true;
    default:
        return false;
    }
}

TField::TField(TDataSet *dataSet, const QString &fieldName, TFieldType type, int size,
               TFieldKind kind)
    : QObject(dataSet)
    , m_dataSet(dataSet)
    , m_fieldName(fieldName)
    , m_type(type)
    , m_size(size)
    , m_kind(kind)
{
    setObjectName(fieldName);
    if (size < 0)
        throw EDatabaseError(u"Tamanho inválido para o campo '%1'."_s.arg(fieldName));
    if (dataSet)
        dataSet->registerField(this);
}

const QVariant *TField::stored() const
{
    const TRecord *record = m_dataSet ? std::as_const(*m_dataSet).ActiveRecord() : nullptr;
    if (!record || m_dataIndex < 0)
        return nullptr;
    if (!Calculated())
        return m_dataIndex < record->values.size() ? &record->values.at(m_dataIndex) : nullptr;
    if (m_dataIndex >= record->calc.size() || calcStale())
        return nullptr;
    return &record->calc.at(m_dataIndex);
}

bool TField::calcStale() const
{
    const TDataSet &ds = *m_dataSet;
    if (ds.m_calcStale == 0 || m_dataIndex >= 64 || (ds.m_calcStale >> m_dataIndex & 1) == 0)
        return false;
    // Only the row under calculation has stale values.
    const int row = ds.m_activeOverride >= 0 ? ds.m_activeOverride : ds.m_current;
    return ds.m_state == dsCalcFields && row == ds.m_calcRow;
}

void TField::clearCalcStale()
{
    if (m_dataIndex < 64)
        m_dataSet->m_calcStale &= ~(quint64(1) << m_dataIndex);
}

QVariant TField::Value() const
{
    const QVariant *value = stored();
    return value ? *value : QVariant();
}

bool TField::IsNull() const
{
    const QVariant *value = stored();
    return !value || !value->isValid();
}

void TField::Clear()
{
    SetValue(QVariant());
}

void TField::SetValue(const QVariant &value)
{
    if (!m_dataSet || m_dataIndex < 0)
        throw EDatabaseError(u"O campo '%1' não pertence a um dataset."_s.arg(m_fieldName));
    const TDataSetState state = m_dataSet->State();
    const bool editing = state == dsEdit || state == dsInsert;
    const bool calculating = state == dsCalcFields;
    if (!editing && !(calculating && Calculated()))
        throw EDatabaseError(u"Dataset não está em modo de edição."_s);
    // While editing, writes go to the current row even when a control is reading
    // another one; a calculation writes to the row being calculated.
    TRecord *record = calculating
        ? m_dataSet->ActiveRecord()
        : (m_dataSet->m_current >= 0 ? &m_dataSet->m_records[m_dataSet->m_current] : nullptr);
    if (!record)
        throw EDatabaseError(u"Dataset não está em modo de edição."_s);
    const QVariant checked = coerce(value);
    QVariantList &list = Calculated() ? record->calc : record->values;
    if (m_dataIndex >= list.size())
        list.resize(m_dataIndex + 1);
    list[m_dataIndex] = checked;
    if (Calculated()) {
        if (calculating)
            clearCalcStale();
        else
            m_dataSet->notify(TDataEvent::FieldChange, this);
        return;
    }
    m_dataSet->fieldChanged(this);
}

QVariant TField::OldValue() const
{
    if (!m_dataSet || Calculated() || m_dataIndex < 0)
        return QVariant();
    const TRecord *record = m_dataSet->ActiveRecord();
    if (!record)
        return QVariant();
    const bool current = record == m_dataSet->recordAtCursor();
    const TDataSetState state = m_dataSet->editState();
    if ((current && state == dsInsert) || record->status == TUpdateStatus::Inserted)
        return QVariant();
    if (!record->original.isEmpty())
        return record->original.value(m_dataIndex);
    if (current && state == dsEdit)
        return m_dataSet->m_editBackup.value(m_dataIndex);
    return record->values.value(m_dataIndex);
}

QString TField::AsString() const
{
    const QVariant value = Value();
    if (!value.isValid())
        return QString();
    switch (m_type) {
    case TFieldType::String:
        return value.toString();
    case TFieldType::Float:
        return FloatToStr(value.toDouble());
    case TFieldType::DateTime:
        return dateTimeText(value.toDouble());
    }
    return QString();
}

void TField::SetAsString(const QString &text)
{
    switch (m_type) {
    case TFieldType::String:
        SetValue(text);
        return;
    case TFieldType::Float:
        if (text.trimmed().isEmpty())
            Clear();
        else
            SetValue(StrToFloat(text));
        return;
    case TFieldType::DateTime:
        parseDateTimeText(text);
        return;
    }
}

double TField::AsFloat() const
{
    const QVariant *value = stored();
    if (!value || !value->isValid())
        return 0;
    if (m_type == TFieldType::String)
        return StrToFloat(value->toString());
    // Stored numbers are always doubles: read them without a conversion (walks read
    // every row's figures).
    if (value->metaType().id() == QMetaType::Double)
        return *static_cast<const double *>(value->constData());
    return value->toDouble();
}

void TField::SetAsFloat(double value)
{
    if (m_type == TFieldType::String) {
        SetValue(FloatToStr(value));
        return;
    }
    // A calculation writing its own figures: no coercion and nobody to tell, so the
    // value goes straight into the row being calculated.
    if (m_type == TFieldType::Float && Calculated() && m_dataSet
        && m_dataSet->State() == dsCalcFields && std::isfinite(value)) {
        TRecord *record = m_dataSet->ActiveRecord();
        if (record && m_dataIndex >= 0 && m_dataIndex < record->calc.size()) {
            // The figure left by the last calculation is overwritten in place.
            record->calc[m_dataIndex].setValue(value);
            clearCalcStale();
            return;
        }
    }
    SetValue(value);
}

TDateTime TField::AsDateTime() const
{
    const QVariant value = Value();
    if (!value.isValid())
        return 0;
    if (m_type == TFieldType::String)
        return textToDateTime(value.toString());
    return value.toDouble();
}

void TField::SetAsDateTime(TDateTime value)
{
    if (m_type == TFieldType::String)
        SetValue(dateTimeText(value));
    else
        SetValue(value);
}

void TField::SetText(const QString &text)
{
    if (OnSetText)
        OnSetText(this, text);
    else
        SetAsString(text);
}

void TField::FocusControl()
{
    if (m_dataSet)
        m_dataSet->notify(TDataEvent::FocusControl, this);
}

QString TField::textFor(bool displayText) const
{
    if (OnGetText) {
        QString text;
        OnGetText(const_cast<TField *>(this), text, displayText);
        return text;
    }
    return defaultText(displayText);
}

QString TField::defaultText(bool displayText) const
{
    if (m_type == TFieldType::Float && displayText && !DisplayFormat.isEmpty()) {
        const QVariant value = Value();
        return value.isValid() ? FormatFloat(DisplayFormat, value.toDouble()) : QString();
    }
    return AsString();
}

void TField::parseDateTimeText(const QString &text)
{
    if (text.trimmed().isEmpty())
        Clear();
    else
        SetValue(textToDateTime(text));
}

void TField::validateValue(const QVariant &value) const
{
    if (!value.isValid())
        return;
    if (m_type == TFieldType::String) {
        if (value.metaType().id() != QMetaType::QString)
            throw EDatabaseError(
                u"Valor inválido para o campo '%1': esperado um texto."_s.arg(DisplayName()));
        const qsizetype length = textLength(value.toString());
        if (m_size > 0 && length > m_size)
            throw EDatabaseError(
                u"O texto do campo '%1' tem %2 caracteres; o máximo é %3."_s.arg(DisplayName())
                    .arg(length)
                    .arg(m_size));
        return;
    }
    if (value.metaType().id() != QMetaType::Double || !std::isfinite(value.toDouble()))
        throw EDatabaseError(
            u"Valor inválido para o campo '%1': esperado um número."_s.arg(DisplayName()));
}

QVariant TField::coerce(const QVariant &value) const
{
    if (!value.isValid() || value.isNull())
        return QVariant();
    QVariant result = value;
    if (m_type == TFieldType::String) {
        // The classic framework keeps an empty string as null: EmptyString, AsString and
        // the packets then agree on what "nothing typed" is.
        if (value.metaType().id() == QMetaType::QString && value.toString().isEmpty())
            return QVariant();
    } else if (isNumber(value)) {
        result = QVariant(value.toDouble());
    } else if (m_type == TFieldType::DateTime
               && (value.metaType().id() == QMetaType::QDate
                   || value.metaType().id() == QMetaType::QDateTime)) {
        const bool isDate = value.metaType().id() == QMetaType::QDate;
        try {
            result = QVariant(isDate ? DateToDateTime(value.toDate())
                                     : QDateTimeToDateTime(value.toDateTime()));
        } catch (const EConvertError &) {
            throw EDatabaseError(
                u"Valor inválido para o campo '%1': data inválida."_s.arg(DisplayName()));
        }
    }
    validateValue(result);
    return result;
}

} // namespace qor
