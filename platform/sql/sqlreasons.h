#pragma once

#include "sqldialect.h"

#include <QSqlError>

namespace qor {

// Why the database refused, in Portuguese, for the end of a user's message such as
// "Não foi possível abrir o banco de dados URI: <reason>.": the usual causes in our own
// words, any other as the database's first line (drivers word them in English).
QString databaseFailureReason(SqlDialect dialect, const QSqlError &error);

} // namespace qor
