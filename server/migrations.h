#pragma once

#include <QSqlDatabase>

namespace qor {

// Brings the schema up to the newest version this server knows, one migration per
// transaction, recording each in QOR_SCHEMA. Migrations are the resources
// :/qor/db/<dialect>/NNN_name.sql. Two servers starting at once apply each migration
// once. Raises EDatabaseError when a migration fails or the database is newer than
// this server. Returns the version the database is at.
int migrateSchema(const QSqlDatabase &db);

// First thing within a transaction: waits until no other server is changing the schema
// or filling in the demo data, and keeps them waiting until the transaction ends.
void lockMigrations(const QSqlDatabase &db);

// The statements of a migration script: split at semicolons that end a line, with
// "--" comment lines left out.
QStringList splitSqlScript(const QString &script);

} // namespace qor
