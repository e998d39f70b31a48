#include "sqltransaction.h"

#include "sqlconnection.h"
#include "sqlquery.h"

#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace qor {

SqlTransaction::SqlTransaction(const QSqlDatabase &db)
    : m_db(db)
{
    if (dialectOf(m_db) == SqlDialect::SQLite)
        m_turn.emplace(m_db.databaseName(), std::chrono::milliseconds(SqlLockWaitMs));
    try {
        execSql(m_db, beginTransactionStatement(dialectOf(m_db)));
    } catch (const ESqlError &e) {
        throw ETransactionNotBegun(e);
    }
    m_open = true;
}

SqlTransaction::~SqlTransaction()
{
    if (m_open) {
        QSqlQuery query(m_db);
        query.exec(u"ROLLBACK"_s); // nothing more to do if even this fails
    }
}

void SqlTransaction::commitBefore(const QDeadlineTimer &deadline)
{
    if (deadline.hasExpired()) {
        throw ESqlError(SqlErrorKind::Busy, QString(),
                        u"O banco de dados está ocupado: a gravação demorou demais."_s);
    }
    commit();
}

void SqlTransaction::commit()
{
    // The connection still holds a file, or its log, deleted or moved away under it: a
    // commit there would be reported stored and be read by no one again. SQLite itself
    // treats such a file as read-only when it notices.
    if (!databaseFileInPlace(m_db)) {
        throw ESqlError(
            SqlErrorKind::ReadOnly, QString(),
            u"O arquivo do banco de dados %1 não está mais no lugar."_s.arg(m_db.databaseName()));
    }
    execSql(m_db, u"COMMIT"_s);
    m_open = false;
    m_turn.reset();
}

} // namespace qor
