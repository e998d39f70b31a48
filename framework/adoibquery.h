#pragma once

#include "data/dataset.h"
#include "data/packet.h"

#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace qor {

// A named parameter of a query (":P_CDEXERFISICO" in the text is P_CDEXERFISICO).
class TParam
{
public:
    explicit TParam(QString name)
        : m_name(std::move(name))
    { }
    const QString &Name() const { return m_name; }
    QVariant Value() const { return m_value; }
    void SetValue(const QVariant &value) { m_value = value; }
    bool IsNull() const { return m_value.isNull(); }
    void Clear() { m_value = QVariant(); }
    QString AsString() const { return m_value.toString(); }
    void SetAsString(const QString &text) { m_value = text; }
    double AsFloat() const { return m_value.toDouble(); }
    void SetAsFloat(double value) { m_value = value; }

private:
    QString m_name;
    QVariant m_value;
};

// Field kinds of a query, for the owner's declarations.
using TADOIBStringField = TField;
using TADOIBFloatField = TField;

// A read-only SQL query over the general data module's connection (dtmDBGeral), with
// one text per database kind. The text is chosen by the connection's driver: QOCI uses
// SQL_ORACLE, QODBC and QTDS SQL_MSSQL, QIBASE SQL_IB, any other (QSQLITE, QPSQL) SQL;
// an empty kind-specific text falls back to SQL. Parameters are named placeholders
// (:P_X) and are always bound, never pasted into the text.
//
// Fields: the owner defines them with AddField before opening (persistent fields, with
// DisplayLabel and DisplayWidth); the result's columns are matched by name and a
// defined field missing from the result raises. With no fields defined, they are made
// from the result's columns.
class TADOIBQuery : public TDataSet
{
    Q_OBJECT
public:
    explicit TADOIBQuery(QObject *parent = nullptr);
    ~TADOIBQuery() override;

    QStringList SQL;
    QStringList SQL_ORACLE;
    QStringList SQL_MSSQL;
    QStringList SQL_IB;

    // The parameter named name (without the colon) in the current text; raises
    // EDatabaseError when the text has no such parameter. Values survive Close and a
    // change of text.
    TParam *ParamByName(const QString &name);
    // The parameter names of the current text, in order of first appearance.
    QStringList ParamNames() const;

    // Runs the query and loads its rows (AfterOpen fires); an open query is closed
    // first. A failing query or a missing connection raises EDatabaseError with a
    // Portuguese message; the query then stays closed.
    void Open();

    // Runs on this connection instead of dtmDBGeral's (tests, tools).
    void SetDatabase(const QSqlDatabase &database) { m_database = database; }
    // The connection the query runs on now.
    QSqlDatabase Database() const;
    // The text the query runs on the connection of the given driver.
    QString SQLFor(const QString &driverName) const;

private:
    TDataPacket packetOfFields(QSqlQuery &query) const;
    TDataPacket packetWithOwnFields(QSqlQuery &query);

    QList<std::shared_ptr<TParam>> m_params;
    QSqlDatabase m_database;
};

} // namespace qor
