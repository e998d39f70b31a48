#include "deltaresolver.h"

#include "data/fieldtypes.h"
#include "remote/rpcserver.h"
#include "serviceerror.h"
#include "sql/sqlconnection.h"
#include "sql/sqldatetime.h"
#include "sql/sqlerror.h"
#include "sql/sqlquery.h"
#include "sql/sqltransaction.h"
#include "storabletext.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

const QString ConflictMessage = u"Registro alterado ou excluído por outro usuário."_s;

// A stored column and where its value sits in the delta's rows.
struct Slot
{
    const ColumnSpec *column;
    int index;
};

class Resolver
{
public:
    Resolver(const QSqlDatabase &db, const TableSpec &table, const TDelta &delta)
        : m_db(db)
        , m_dialect(dialectOf(db))
        , m_table(table)
        , m_delta(delta)
    { }

    void run(const QDeadlineTimer &deadline)
    {
        mapFields();
        SqlTransaction transaction(m_db);
        for (const TDeltaChange &change : m_delta.changes) {
            // Stopped as soon as it is over its budget, not after the last row: a delta
            // of a hundred thousand rows would otherwise hold this worker, and the rows
            // it locked, long after it is certain to be rolled back.
            if (deadline.hasExpired())
                throw ESqlError(SqlErrorKind::Busy, QString(),
                                u"O banco de dados está ocupado: a gravação demorou demais."_s);
            switch (change.op) {
            case TChangeOp::Insert:
                insert(checkedRow(change.newValues, u"new"_s));
                break;
            case TChangeOp::Update:
                update(checkedRow(change.oldValues, u"old"_s),
                       checkedRow(change.newValues, u"new"_s));
                break;
            case TChangeOp::Delete:
                remove(checkedRow(change.oldValues, u"old"_s));
                break;
            }
        }
        // A workstation whose wait ran out while this save queued or waited for the
        // database was told it failed: storing it now would go behind its back.
        if (!rpcCallerStillWaiting()) {
            throw ESqlError(SqlErrorKind::Busy, QString(),
                            u"O cliente deixou de aguardar a gravação."_s);
        }
        transaction.commitBefore(deadline);
    }

private:
    void mapFields()
    {
        QStringList seen;
        for (int i = 0; i < m_delta.fields.size(); ++i) {
            const TFieldDef &field = m_delta.fields[i];
            if (seen.contains(field.name))
                invalid(u"o campo %1 aparece mais de uma vez"_s.arg(field.name));
            seen.append(field.name);
            if (m_table.joinedFields.contains(field.name))
                continue;
            const ColumnSpec *column = m_table.column(field.name);
            if (!column)
                invalid(u"campo desconhecido %1"_s.arg(field.name));
            if (column->type != field.type)
                invalid(u"o campo %1 deve ser do tipo %2"_s.arg(field.name,
                                                                fieldTypeName(column->type)));
            m_slots.append({column, i});
        }
        // In the table's order, so that the statements built from them do not depend on
        // the order the caller listed its fields in: each text is prepared and kept.
        std::sort(m_slots.begin(), m_slots.end(),
                  [](const Slot &a, const Slot &b) { return a.column < b.column; });
        for (const ColumnSpec &column : m_table.columns) {
            if (column.key && !slotOf(column.name))
                invalid(u"falta o campo %1 da chave"_s.arg(column.name));
        }
    }

    [[noreturn]] void invalid(const QString &what) const
    {
        failCall(RpcInvalidParams, u"Alterações inválidas para %1: %2."_s.arg(m_table.name, what));
    }

    const Slot *slotOf(const QString &name) const
    {
        for (const Slot &slot : m_slots) {
            if (slot.column->name == name)
                return &slot;
        }
        return nullptr;
    }

    const QVariantList &checkedRow(const QVariantList &row, const QString &which) const
    {
        if (row.size() != m_delta.fields.size())
            invalid(u"a lista \"%1\" tem %2 valores para %3 campos"_s.arg(which)
                        .arg(row.size())
                        .arg(m_delta.fields.size()));
        return row;
    }

    static bool isNull(const QVariant &value) { return !value.isValid() || value.isNull(); }

    // Values written must fit their column; keys must be filled in. Sizes count
    // characters, as both databases do: a character beyond the basic plane is one.
    void checkValue(const Slot &slot, const QVariant &value) const
    {
        const ColumnSpec &column = *slot.column;
        if (column.key
            && (isNull(value)
                || (column.type == TFieldType::String && value.toString().trimmed().isEmpty())))
            failCall(RpcInvalidParams, u"O campo %1 deve ser informado."_s.arg(column.name));
        if (column.type == TFieldType::String && !isNull(value)
            && textLength(value.toString()) > column.size)
            failCall(
                RpcInvalidParams,
                u"O campo %1 aceita no máximo %2 caracteres."_s.arg(column.name).arg(column.size));
    }

    // Only values being written are checked, so a row stored earlier can still be found
    // by its old values.
    void checkText(const Slot &slot, const QVariant &value) const
    {
        if (slot.column->type != TFieldType::String || isNull(value))
            return;
        if (!readsBackAsWritten(value.toString()))
            failCall(RpcInvalidParams,
                     u"O campo %1 contém caracteres inválidos."_s.arg(slot.column->name));
    }

    static bool sameValue(TFieldType type, const QVariant &a, const QVariant &b)
    {
        if (isNull(a) || isNull(b))
            return isNull(a) && isNull(b);
        switch (type) {
        case TFieldType::String:
            return a.toString() == b.toString();
        case TFieldType::Float:
            return a.toDouble() == b.toDouble();
        case TFieldType::DateTime:
            return dateTimeToMilliseconds(a.toDouble()) == dateTimeToMilliseconds(b.toDouble());
        }
        return false;
    }

    QList<const Slot *> keySlots() const
    {
        QList<const Slot *> keys;
        for (const Slot &slot : m_slots) {
            if (slot.column->key)
                keys.append(&slot);
        }
        return keys;
    }

    // "K1 = ? AND K2 = ?" with the key values of the row bound in order.
    QString keyCondition() const
    {
        QStringList parts;
        for (const Slot *slot : keySlots())
            parts.append(slot->column->name + u" = ?"_s);
        return parts.join(u" AND "_s);
    }

    void bindKey(SqlStatement &statement, const QVariantList &row) const
    {
        for (const Slot *slot : keySlots())
            statement.bind(slot->column->type, row[slot->index]);
    }

    bool rowExists(const QVariantList &row) const
    {
        SqlStatement statement(m_db,
                               u"SELECT 1 FROM %1 WHERE %2"_s.arg(m_table.name, keyCondition()));
        bindKey(statement, row);
        statement.exec();
        return statement.next();
    }

    // Explicit parent checks give the user the parent's own message; the schema's
    // foreign keys still guard against a parent removed meanwhile.
    void checkParents(const QVariantList &row, const QList<const Slot *> &changed) const
    {
        for (const ForeignKeySpec &fk : m_table.foreignKeys) {
            bool involved = changed.isEmpty();
            QVariantList values;
            QList<TFieldType> types;
            bool complete = true;
            for (const QString &name : fk.columns) {
                const Slot *slot = slotOf(name);
                if (!slot || isNull(row[slot->index])) {
                    complete = false;
                    break;
                }
                involved = involved || changed.contains(slot);
                values.append(row[slot->index]);
                types.append(slot->column->type);
            }
            if (!complete || !involved)
                continue;
            QStringList conditions;
            for (const QString &parentColumn : fk.parentColumns)
                conditions.append(parentColumn + u" = ?"_s);
            SqlStatement statement(
                m_db,
                u"SELECT 1 FROM %1 WHERE %2"_s.arg(fk.parentTable, conditions.join(u" AND "_s)));
            for (int i = 0; i < values.size(); ++i)
                statement.bind(types[i], values[i]);
            statement.exec();
            if (!statement.next())
                failCall(RpcDatabaseError, fk.missingMessage);
        }
    }

    void insert(const QVariantList &row)
    {
        for (const Slot &slot : m_slots) {
            checkValue(slot, row[slot.index]);
            checkText(slot, row[slot.index]);
        }
        if (rowExists(row))
            failCall(RpcDuplicate, m_table.duplicateMessage);
        checkParents(row, {});

        QStringList names, marks;
        for (const Slot &slot : m_slots) {
            names.append(slot.column->name);
            marks.append(u"?"_s);
        }
        SqlStatement statement(m_db,
                               u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(
                                   m_table.name, names.join(u", "_s), marks.join(u", "_s)));
        for (const Slot &slot : m_slots)
            statement.bind(slot.column->type, row[slot.index]);
        execWrite(statement, false);
    }

    void update(const QVariantList &oldRow, const QVariantList &newRow)
    {
        for (const Slot *slot : keySlots())
            checkValue(*slot, oldRow[slot->index]);
        QList<const Slot *> changed;
        bool keyChanged = false;
        for (const Slot &slot : m_slots) {
            if (sameValue(slot.column->type, oldRow[slot.index], newRow[slot.index]))
                continue;
            checkValue(slot, newRow[slot.index]);
            checkText(slot, newRow[slot.index]);
            changed.append(&slot);
            keyChanged = keyChanged || slot.column->key;
        }
        if (changed.isEmpty()) {
            if (!rowExists(oldRow))
                failCall(RpcConflict, ConflictMessage);
            return;
        }
        if (keyChanged && rowExists(newRow))
            failCall(RpcDuplicate, m_table.duplicateMessage);
        checkParents(newRow, changed);

        QStringList assignments, conditions{keyCondition()};
        for (const Slot *slot : changed) {
            assignments.append(slot->column->name + u" = ?"_s);
            if (!slot->column->key)
                conditions.append(nullSafeEquals(m_dialect, slot->column->name));
        }
        SqlStatement statement(m_db,
                               u"UPDATE %1 SET %2 WHERE %3"_s.arg(m_table.name,
                                                                  assignments.join(u", "_s),
                                                                  conditions.join(u" AND "_s)));
        for (const Slot *slot : changed)
            statement.bind(slot->column->type, newRow[slot->index]);
        bindKey(statement, oldRow);
        for (const Slot *slot : changed) {
            if (!slot->column->key)
                statement.bind(slot->column->type, oldRow[slot->index]);
        }
        execWrite(statement, false);
        if (statement.rowsAffected() != 1)
            failCall(RpcConflict, ConflictMessage);
    }

    void remove(const QVariantList &oldRow)
    {
        for (const Slot *slot : keySlots())
            checkValue(*slot, oldRow[slot->index]);
        QStringList conditions{keyCondition()};
        for (const Slot &slot : m_slots) {
            if (!slot.column->key)
                conditions.append(nullSafeEquals(m_dialect, slot.column->name));
        }
        SqlStatement statement(
            m_db, u"DELETE FROM %1 WHERE %2"_s.arg(m_table.name, conditions.join(u" AND "_s)));
        bindKey(statement, oldRow);
        for (const Slot &slot : m_slots) {
            if (!slot.column->key)
                statement.bind(slot.column->type, oldRow[slot.index]);
        }
        execWrite(statement, true);
        if (statement.rowsAffected() != 1)
            failCall(RpcConflict, ConflictMessage);
    }

    // Constraint failures the explicit checks could not see coming (another
    // workstation writing at the same moment) get the same messages.
    void execWrite(SqlStatement &statement, bool deleting) const
    {
        try {
            statement.exec();
        } catch (const ESqlError &e) {
            switch (e.kind()) {
            case SqlErrorKind::UniqueViolation:
                failCall(RpcDuplicate, m_table.duplicateMessage);
            case SqlErrorKind::ForeignKeyViolation:
                failCall(RpcDatabaseError,
                         deleting ? m_table.dependentsMessage
                                  : u"Registro relacionado não cadastrado."_s);
            case SqlErrorKind::ValueTooLong:
                failCall(RpcInvalidParams,
                         u"Um valor excede o tamanho do seu campo em %1."_s.arg(m_table.name));
            default:
                throw;
            }
        }
    }

    QSqlDatabase m_db;
    SqlDialect m_dialect;
    const TableSpec &m_table;
    const TDelta &m_delta;
    QList<Slot> m_slots;
};

} // namespace

void applyDelta(const QSqlDatabase &db, const TableSpec &table, const TDelta &delta,
                std::chrono::milliseconds budget)
{
    Resolver(db, table, delta).run(QDeadlineTimer(budget));
}

} // namespace qor
