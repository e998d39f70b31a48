#pragma once

#include "data/fieldtypes.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace qor {

// The columns of a table the plan service writes, and what the delta resolver must
// know about it: keys, parents, and the messages users see.
struct ColumnSpec
{
    QString name;
    TFieldType type = TFieldType::String;
    int size = 0; // strings: the column's length
    bool key = false;
};

struct ForeignKeySpec
{
    QStringList columns;
    QString parentTable;
    QStringList parentColumns;
    QString missingMessage; // the parent row does not exist
};

struct TableSpec
{
    QString name;
    QList<ColumnSpec> columns;
    QStringList joinedFields; // travel in packets from other tables; never written
    QList<ForeignKeySpec> foreignKeys;
    QString duplicateMessage;
    QString dependentsMessage; // a delete that other rows still point to

    const ColumnSpec *column(const QString &name) const;
};

const TableSpec &plaExerFisiTable();
const TableSpec &infoAvalTable();
const TableSpec &metoAvalTable();

// Field metadata of the packets the reading methods return.
const QList<TFieldDef> &pacienteFields();
const QList<TFieldDef> &pesoFields();
const QList<TFieldDef> &planejaFields();
const QList<TFieldDef> &verifExercFields();
const QList<TFieldDef> &metoAvalFields();

} // namespace qor
