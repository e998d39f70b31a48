#include "packet.h"

#include "rtl/datetime.h"
#include "rtl/exceptions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QSet>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

const QString PacketWhat = u"Pacote de dados inválido"_s;
const QString DeltaWhat = u"Delta inválido"_s;

[[noreturn]] void malformed(const QString &what, const QString &detail)
{
    throw EDatabaseError(what + u": "_s + detail);
}

// A cell that does not suit its column; the caller says where it stood.
struct BadCell
{
    QString reason;
};

QString isoText(TDateTime value)
{
    QString text = DateTimeText(value, u'T');
    if (text.isEmpty())
        throw BadCell{u"data fora do intervalo (%1)"_s.arg(value)};
    return text;
}

QJsonValue encodeCell(TFieldType type, const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QJsonValue(QJsonValue::Null);
    switch (type) {
    case TFieldType::String:
        if (value.metaType().id() != QMetaType::QString)
            throw BadCell{u"esperado um texto"_s};
        return QJsonValue(value.toString());
    case TFieldType::Float:
    case TFieldType::DateTime: {
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (!ok || value.metaType().id() == QMetaType::QString || !std::isfinite(number))
            throw BadCell{type == TFieldType::Float ? u"esperado um número"_s
                                                    : u"esperada uma data e hora"_s};
        return type == TFieldType::Float ? QJsonValue(number) : QJsonValue(isoText(number));
    }
    }
    return QJsonValue(QJsonValue::Null);
}

// previous: the text this column held in the row before. Branch, patient and date repeat
// down a plan, so an equal text shares that row's buffer instead of keeping its own.
template <typename JsonValue> // QJsonValue, or the lighter reference an array iterator gives
QVariant decodeCell(const TFieldDef &field, const JsonValue &json, QString *previous = nullptr)
{
    // Each question to a cell looks into the parsed document, so the value is asked for
    // first and the type only when the value came back empty: null, or of the wrong kind.
    switch (field.type) {
    case TFieldType::String: {
        QString text = json.toString();
        if (text.isNull()) {
            const QJsonValue::Type type = json.type();
            if (type == QJsonValue::Null)
                return QVariant();
            if (type != QJsonValue::String)
                throw BadCell{u"esperado um texto"_s};
            text = u""_s;
        }
        // The UTF-16 size is never below the length, so it alone clears most texts.
        if (field.size > 0 && text.size() > field.size && textLength(text) > field.size)
            throw BadCell{u"texto com %1 caracteres para o tamanho %2"_s.arg(textLength(text))
                              .arg(field.size)};
        if (previous) {
            if (text == *previous)
                return QVariant(*previous);
            *previous = text;
        }
        return QVariant(std::move(text));
    }
    case TFieldType::Float: {
        const double number = json.toDouble(std::numeric_limits<double>::quiet_NaN());
        if (!std::isnan(number)) // JSON has no NaN: this was a number
            return QVariant(number);
        if (json.type() == QJsonValue::Null)
            return QVariant();
        throw BadCell{u"esperado um número"_s};
    }
    case TFieldType::DateTime: {
        const QString text = json.toString();
        if (text.isNull() && json.type() == QJsonValue::Null)
            return QVariant();
        if (text.isNull() && json.type() != QJsonValue::String)
            throw BadCell{u"esperada uma data e hora"_s};
        TDateTime value = 0;
        if (!ReadDateTimeText(text, u'T', &value))
            throw BadCell{u"data e hora '%1' fora do formato aaaa-mm-ddThh:mm:ss.zzz"_s.arg(text)};
        return QVariant(value);
    }
    }
    return QVariant();
}

bool parseFieldType(const QString &name, TFieldType *type)
{
    if (name == u"string")
        *type = TFieldType::String;
    else if (name == u"float")
        *type = TFieldType::Float;
    else if (name == u"datetime")
        *type = TFieldType::DateTime;
    else
        return false;
    return true;
}

QJsonArray encodeFields(const QList<TFieldDef> &fields)
{
    QJsonArray array;
    for (const TFieldDef &field : fields) {
        QJsonObject object{{u"name"_s, field.name}, {u"type"_s, fieldTypeName(field.type)}};
        if (field.type == TFieldType::String || field.size != 0)
            object.insert(u"size"_s, field.size);
        array.append(object);
    }
    return array;
}

QList<TFieldDef> decodeFields(const QJsonObject &object, const QString &what)
{
    const QJsonValue value = object.value(u"fields");
    if (!value.isArray())
        malformed(what, u"\"fields\" ausente ou não é uma lista."_s);
    const QJsonArray array = value.toArray();
    QList<TFieldDef> fields;
    fields.reserve(array.size());
    // The names met so far, case folded: a message may carry hundreds of thousands of
    // definitions, and comparing each with every earlier one would hold a worker for
    // minutes. Folding is what a case-insensitive comparison does, character by character.
    QSet<QString> seen;
    seen.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QJsonValue item = array.at(i);
        const QString where = u"campo %1"_s.arg(i + 1);
        if (!item.isObject())
            malformed(what, where + u" não é um objeto."_s);
        const QJsonObject def = item.toObject();
        TFieldDef field;
        const QJsonValue name = def.value(u"name");
        if (!name.isString() || name.toString().isEmpty())
            malformed(what, where + u" sem \"name\"."_s);
        field.name = name.toString();
        const QString folded = field.name.toCaseFolded();
        if (seen.contains(folded))
            malformed(what, u"campo '%1' repetido."_s.arg(field.name));
        seen.insert(folded);
        const QJsonValue type = def.value(u"type");
        if (!type.isString() || !parseFieldType(type.toString(), &field.type))
            malformed(what, u"tipo desconhecido no campo '%1'."_s.arg(field.name));
        const QJsonValue size = def.value(u"size");
        if (!size.isUndefined()) {
            const double number = size.toDouble(-1);
            if (!size.isDouble() || number < 0 || number > 1.0e9 || number != std::floor(number))
                malformed(what, u"tamanho inválido no campo '%1'."_s.arg(field.name));
            field.size = int(number);
        }
        fields.append(field);
    }
    return fields;
}

QJsonArray encodeRow(const QList<TFieldDef> &fields, const QVariantList &row, const QString &where)
{
    if (row.size() != fields.size())
        throw EDatabaseError(
            u"%1 tem %2 valores; esperados %3."_s.arg(where).arg(row.size()).arg(fields.size()));
    QJsonArray array;
    for (qsizetype c = 0; c < fields.size(); ++c) {
        try {
            array.append(encodeCell(fields.at(c).type, row.at(c)));
        } catch (const BadCell &bad) {
            throw EDatabaseError(
                u"%1, campo '%2': %3."_s.arg(where, fields.at(c).name, bad.reason));
        }
    }
    return array;
}

// where() names the row for a message; it is only called when something is wrong, so
// a clean packet builds no text per row.
template <typename JsonValue, typename Where>
QVariantList decodeRow(const QList<TFieldDef> &fields, const JsonValue &value, const QString &what,
                       const Where &where, QList<QString> *previous = nullptr)
{
    if (!value.isArray())
        malformed(what, where() + u" não é uma lista."_s);
    const QJsonArray array = value.toArray();
    if (array.size() != fields.size())
        malformed(what,
                  u"%1 tem %2 valores; esperados %3."_s.arg(where())
                      .arg(array.size())
                      .arg(fields.size()));
    QVariantList row(fields.size());
    QVariant *out = row.data(); // a fresh list: written in place, no per-cell append
    qsizetype c = 0;
    for (auto cell = array.constBegin(); cell != array.constEnd(); ++cell, ++c) {
        try {
            out[c] = decodeCell(fields.at(c), *cell, previous ? &(*previous)[c] : nullptr);
        } catch (const BadCell &bad) {
            malformed(what, u"%1, campo '%2': %3."_s.arg(where(), fields.at(c).name, bad.reason));
        }
    }
    return row;
}

// Compact JSON text, written as QJsonDocument writes it.
void appendJsonString(QByteArray &out, QStringView text)
{
    static constexpr char Hex[] = "0123456789abcdef";
    const qsizetype start = out.size();
    out += '"';
    const char16_t *p = text.utf16();
    const char16_t *const end = p + text.size();
    while (p != end) {
        const char16_t *run = p;
        while (p != end && *p >= 0x20 && *p < 0x80 && *p != u'"' && *p != u'\\')
            ++p;
        if (p != run) {
            const qsizetype n = p - run;
            const qsizetype at = out.size();
            out.resize(at + n);
            char *dst = out.data() + at;
            for (qsizetype i = 0; i < n; ++i)
                dst[i] = char(run[i]);
            continue;
        }
        const char16_t c = *p;
        if (c < 0x80) {
            out += '\\';
            switch (c) {
            case u'"':
                out += '"';
                break;
            case u'\\':
                out += '\\';
                break;
            case u'\b':
                out += 'b';
                break;
            case u'\f':
                out += 'f';
                break;
            case u'\n':
                out += 'n';
                break;
            case u'\r':
                out += 'r';
                break;
            case u'\t':
                out += 't';
                break;
            default:
                out += "u00";
                out += Hex[c >> 4];
                out += Hex[c & 0xf];
            }
            ++p;
            continue;
        }
        while (p != end && *p >= 0x80) {
            if (QChar::isHighSurrogate(*p) && p + 1 != end && QChar::isLowSurrogate(p[1]))
                p += 2;
            else if (QChar::isSurrogate(*p))
                break;
            else
                ++p;
        }
        if (p != end && QChar::isSurrogate(*p)) {
            // A broken surrogate pair is rare: let Qt's writer say how it escapes it.
            out.truncate(start);
            QByteArray json =
                QJsonDocument(QJsonArray{text.toString()}).toJson(QJsonDocument::Compact);
            out += QByteArrayView(json).sliced(1, json.size() - 2);
            return;
        }
        out += QStringView(run, p).toUtf8();
    }
    out += '"';
}

void appendJsonNumber(QByteArray &out, double number)
{
    // Qt's writer gives whole numbers up to 2^53 in full (and -0 as 0); beyond that,
    // and for fractions, the shortest text that reads back the same.
    constexpr double Exact = 9007199254740992.0;
    if (number == std::trunc(number) && number >= -Exact && number <= Exact)
        out += QByteArray::number(qint64(number));
    else
        out += QByteArray::number(number, 'g', QLocale::FloatingPointShortest);
}

void appendJsonCell(QByteArray &out, TFieldType type, const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        out += "null";
        return;
    }
    switch (type) {
    case TFieldType::String:
        if (value.metaType().id() != QMetaType::QString)
            throw BadCell{u"esperado um texto"_s};
        appendJsonString(out, *static_cast<const QString *>(value.constData()));
        return;
    case TFieldType::Float:
    case TFieldType::DateTime: {
        bool ok = false;
        const double number = value.metaType().id() == QMetaType::Double
            ? (ok = true, *static_cast<const double *>(value.constData()))
            : value.toDouble(&ok);
        if (!ok || value.metaType().id() == QMetaType::QString || !std::isfinite(number))
            throw BadCell{type == TFieldType::Float ? u"esperado um número"_s
                                                    : u"esperada uma data e hora"_s};
        if (type == TFieldType::Float) {
            appendJsonNumber(out, number);
        } else {
            out += '"';
            out += isoText(number).toLatin1();
            out += '"';
        }
        return;
    }
    }
    out += "null";
}

QString opName(TChangeOp op)
{
    switch (op) {
    case TChangeOp::Insert:
        return u"insert"_s;
    case TChangeOp::Update:
        return u"update"_s;
    case TChangeOp::Delete:
        return u"delete"_s;
    }
    return QString();
}

} // namespace

QString fieldTypeName(TFieldType type)
{
    switch (type) {
    case TFieldType::String:
        return u"string"_s;
    case TFieldType::Float:
        return u"float"_s;
    case TFieldType::DateTime:
        return u"datetime"_s;
    }
    return QString();
}

QJsonValue encodeValue(TFieldType type, const QVariant &value)
{
    try {
        return encodeCell(type, value);
    } catch (const BadCell &bad) {
        throw EDatabaseError(u"Valor inválido: %1."_s.arg(bad.reason));
    }
}

QVariant decodeValue(TFieldType type, const QJsonValue &json, const QString &fieldName)
{
    try {
        return decodeCell(TFieldDef{fieldName, type, 0}, json);
    } catch (const BadCell &bad) {
        throw EDatabaseError(u"Valor inválido para o campo '%1': %2."_s.arg(fieldName, bad.reason));
    }
}

QJsonObject encodePacket(const TDataPacket &packet)
{
    QJsonArray rows;
    for (qsizetype r = 0; r < packet.rows.size(); ++r)
        rows.append(encodeRow(packet.fields, packet.rows.at(r), u"Linha %1"_s.arg(r + 1)));
    return QJsonObject{{u"fields"_s, encodeFields(packet.fields)}, {u"rows"_s, rows}};
}

QByteArray encodePacketJson(const TDataPacket &packet)
{
    const QList<TFieldDef> &fields = packet.fields;
    QByteArray out;
    out.reserve(64 + fields.size() * 48 + packet.rows.size() * fields.size() * 12);
    // Keys in sorted order, as a QJsonObject keeps them: fields, rows; name, size, type.
    out += "{\"fields\":[";
    for (qsizetype c = 0; c < fields.size(); ++c) {
        const TFieldDef &field = fields.at(c);
        if (c > 0)
            out += ',';
        out += "{\"name\":";
        appendJsonString(out, field.name);
        if (field.type == TFieldType::String || field.size != 0) {
            out += ",\"size\":";
            out += QByteArray::number(field.size);
        }
        out += ",\"type\":\"";
        out += fieldTypeName(field.type).toLatin1();
        out += "\"}";
    }
    out += "],\"rows\":[";
    for (qsizetype r = 0; r < packet.rows.size(); ++r) {
        const QVariantList &row = packet.rows.at(r);
        if (row.size() != fields.size())
            throw EDatabaseError(u"Linha %1 tem %2 valores; esperados %3."_s.arg(r + 1)
                                     .arg(row.size())
                                     .arg(fields.size()));
        out += r > 0 ? QByteArrayView(",[") : QByteArrayView("[");
        for (qsizetype c = 0; c < fields.size(); ++c) {
            if (c > 0)
                out += ',';
            try {
                appendJsonCell(out, fields.at(c).type, row.at(c));
            } catch (const BadCell &bad) {
                throw EDatabaseError(u"Linha %1, campo '%2': %3."_s.arg(
                    QString::number(r + 1), fields.at(c).name, bad.reason));
            }
        }
        out += ']';
    }
    out += "]}";
    return out;
}

TDataPacket decodePacket(const QJsonValue &json)
{
    if (!json.isObject())
        malformed(PacketWhat, u"não é um objeto JSON."_s);
    const QJsonObject object = json.toObject();
    TDataPacket packet;
    packet.fields = decodeFields(object, PacketWhat);
    const QJsonValue rowsValue = object.value(u"rows");
    if (!rowsValue.isArray())
        malformed(PacketWhat, u"\"rows\" ausente ou não é uma lista."_s);
    const QJsonArray rows = rowsValue.toArray();
    packet.rows.reserve(rows.size());
    QList<QString> previous(packet.fields.size());
    qsizetype r = 0;
    for (auto row = rows.constBegin(); row != rows.constEnd(); ++row, ++r)
        packet.rows.append(decodeRow(
            packet.fields, *row, PacketWhat, [r] { return u"linha %1"_s.arg(r + 1); }, &previous));
    return packet;
}

QJsonObject encodeDelta(const TDelta &delta)
{
    QJsonArray changes;
    for (qsizetype i = 0; i < delta.changes.size(); ++i) {
        const TDeltaChange &change = delta.changes.at(i);
        const QString where = u"Alteração %1"_s.arg(i + 1);
        QJsonObject object{{u"op"_s, opName(change.op)}};
        if (change.op != TChangeOp::Insert)
            object.insert(u"old"_s, encodeRow(delta.fields, change.oldValues, where));
        if (change.op != TChangeOp::Delete)
            object.insert(u"new"_s, encodeRow(delta.fields, change.newValues, where));
        changes.append(object);
    }
    return QJsonObject{{u"fields"_s, encodeFields(delta.fields)}, {u"changes"_s, changes}};
}

TDelta decodeDelta(const QJsonValue &json)
{
    if (!json.isObject())
        malformed(DeltaWhat, u"não é um objeto JSON."_s);
    const QJsonObject object = json.toObject();
    TDelta delta;
    delta.fields = decodeFields(object, DeltaWhat);
    const QJsonValue changesValue = object.value(u"changes");
    if (!changesValue.isArray())
        malformed(DeltaWhat, u"\"changes\" ausente ou não é uma lista."_s);
    const QJsonArray changes = changesValue.toArray();
    delta.changes.reserve(changes.size());
    for (qsizetype i = 0; i < changes.size(); ++i) {
        const QString where = u"alteração %1"_s.arg(i + 1);
        const QJsonValue item = changes.at(i);
        if (!item.isObject())
            malformed(DeltaWhat, where + u" não é um objeto."_s);
        const QJsonObject change = item.toObject();
        const QString op = change.value(u"op").toString();
        TDeltaChange decoded;
        if (op == u"insert")
            decoded.op = TChangeOp::Insert;
        else if (op == u"update")
            decoded.op = TChangeOp::Update;
        else if (op == u"delete")
            decoded.op = TChangeOp::Delete;
        else
            malformed(DeltaWhat, where + u" com \"op\" desconhecido."_s);
        if (decoded.op != TChangeOp::Insert)
            decoded.oldValues = decodeRow(delta.fields, change.value(u"old"), DeltaWhat,
                                          [&] { return where + u" (\"old\")"_s; });
        if (decoded.op != TChangeOp::Delete)
            decoded.newValues = decodeRow(delta.fields, change.value(u"new"), DeltaWhat,
                                          [&] { return where + u" (\"new\")"_s; });
        delta.changes.append(std::move(decoded));
    }
    return delta;
}

} // namespace qor
