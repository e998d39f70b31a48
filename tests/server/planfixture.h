#pragma once

#include "data/packet.h"
#include "remote/rpcerror.h"
#include "rtl/datetime.h"
#include "support/serverprocess.h"

#include <QJsonObject>
#include <QSqlDatabase>
#include <memory>

namespace qor::testing {

// Demo keys (db/README.md).
inline const QString Branch = QStringLiteral("0001");
inline const QString Maria = QStringLiteral("000000000001");
inline const QString Joao = QStringLiteral("000000000002");

// A demo server on the backend under test, an authenticated client, and the demo
// consultation's date as the server stored it.
class PlanServerTest : public BackendTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    QJsonObject call(const QString &method, const QJsonArray &params);
    // Calls and expects success; returns "data".
    QJsonValue ok(const QString &method, const QJsonArray &params);
    // Runs a SELECT on the direct connection; date-times come back as TDateTime.
    TDataPacket select(const QString &sql, const QList<TFieldDef> &fields,
                       const QVariantList &binds = {});
    int count(const QString &table);

    QString consultaIso() const;

    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<RpcClient> client;
    TDateTime consulta = 0;
};

// The plan delta's fields as the screen sends them (the joined columns included).
QList<TFieldDef> planDeltaFields();
// The assessment method's and the weight's delta fields.
QList<TFieldDef> metoAvalDeltaFields();
QList<TFieldDef> pesoDeltaFields();
QVariantList planRow(const QString &paciente, TDateTime consulta, const QString &codigo,
                     QVariant horas, const QString &nome = {}, QVariant kcal = 3.5);
QJsonObject deltaJson(const QList<TFieldDef> &fields, const QList<TDeltaChange> &changes);
TDeltaChange insertOf(const QVariantList &row);
TDeltaChange updateOf(const QVariantList &oldRow, const QVariantList &newRow);
TDeltaChange deleteOf(const QVariantList &row);

QString isoDateTime(TDateTime value);

// "code: message" of a failed result, or "ok" — for readable expectations.
std::string outcome(const QJsonObject &result);

} // namespace qor::testing
