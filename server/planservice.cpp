#include "planservice.h"

#include "planstore.h"
#include "serviceerror.h"
#include "sql/sqlconnection.h"
#include "sql/sqlerror.h"
#include "sql/sqltransaction.h"
#include "storabletext.h"

#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

enum class ParamKind { String, DateTime, Delta };

struct Param
{
    QString name;
    ParamKind kind;
};

// Decoded params, in the method's order.
struct Args
{
    QVariantList values; // strings as QString, date-times as TDateTime
    TDelta delta;
    QString text(int i) const { return values[i].toString(); }
    TDateTime date(int i) const { return values[i].toDouble(); }
};

struct Method
{
    QString name;
    QList<Param> params;
    std::function<RpcResult(const PlanStore &, const Args &)> run;
};

// Written straight to JSON text: a plan of thousands of rows never becomes a tree.
RpcResult packet(const TDataPacket &p)
{
    return RpcResult::fromJson(encodePacketJson(p));
}

const QList<Method> &methods()
{
    const Param filial{u"filial"_s, ParamKind::String};
    const Param paciente{u"paciente"_s, ParamKind::String};
    const Param consulta{u"dtConsulta"_s, ParamKind::DateTime};
    const Param delta{u"delta"_s, ParamKind::Delta};
    static const QList<Method> table{
        {u"GetPaciente"_s,
         {filial, paciente},
         [](const PlanStore &s, const Args &a) {
             return packet(s.paciente(a.text(0), a.text(1)));
         }},
        {u"GetPeso"_s,
         {filial, paciente, consulta},
         [](const PlanStore &s, const Args &a) {
             return packet(s.peso(a.text(0), a.text(1), a.date(2)));
         }},
        // The date comes second here, unlike the other methods.
        {u"GetPlaneja"_s,
         {filial, consulta, paciente},
         [](const PlanStore &s, const Args &a) {
             return packet(s.planeja(a.text(0), a.date(1), a.text(2)));
         }},
        {u"VerifExerc"_s,
         {filial, paciente, consulta, {u"codigo"_s, ParamKind::String}},
         [](const PlanStore &s, const Args &a) {
             return packet(s.verifExerc(a.text(0), a.text(1), a.date(2), a.text(3)));
         }},
        {u"GetMetoAval"_s,
         {filial, paciente, {u"metodo"_s, ParamKind::String}, consulta},
         [](const PlanStore &s, const Args &a) {
             return packet(s.metoAval(a.text(0), a.text(1), a.text(2), a.date(3)));
         }},
        {u"SetPeso"_s,
         {delta},
         [](const PlanStore &s, const Args &a) {
             s.setPeso(a.delta);
             return RpcResult(QJsonValue::Null);
         }},
        {u"SetPlaneja"_s,
         {delta},
         [](const PlanStore &s, const Args &a) {
             s.setPlaneja(a.delta);
             return RpcResult(QJsonValue::Null);
         }},
        {u"SetMetoAval"_s,
         {delta},
         [](const PlanStore &s, const Args &a) {
             s.setMetoAval(a.delta);
             return RpcResult(QJsonValue::Null);
         }},
    };
    return table;
}

const Method *findMethod(const QString &name)
{
    for (const Method &m : methods()) {
        if (m.name == name)
            return &m;
    }
    return nullptr;
}

// Our tables have a handful of columns. Decoding checks every field name against the
// ones before it, so a delta naming hundreds of thousands of fields would hold a worker,
// and every connection it serves, for hours before being refused.
constexpr qsizetype MaxDeltaFields = 64;

void checkDeltaFieldCount(const QJsonObject &delta)
{
    const QJsonValue fields = delta.value(u"fields"_s);
    if (fields.isArray() && fields.toArray().size() > MaxDeltaFields)
        throw EDatabaseError(
            u"campos demais (%1; no máximo %2)"_s.arg(fields.toArray().size()).arg(MaxDeltaFields));
}

Args decodeArgs(const Method &method, const QJsonArray &params)
{
    if (params.size() != method.params.size()) {
        QStringList names;
        for (const Param &p : method.params)
            names.append(p.name);
        failCall(RpcInvalidParams,
                 u"Parâmetros inválidos em %1: esperados %2 (%3), recebidos %4."_s.arg(method.name)
                     .arg(method.params.size())
                     .arg(names.join(u", "_s))
                     .arg(params.size()));
    }
    Args args;
    for (int i = 0; i < params.size(); ++i) {
        const Param &p = method.params[i];
        const QJsonValue value = params[i];
        try {
            switch (p.kind) {
            case ParamKind::String:
                if (!value.isString())
                    throw EDatabaseError(u"deve ser um texto"_s);
                if (!storableText(value.toString()))
                    throw EDatabaseError(u"contém caracteres inválidos"_s);
                args.values.append(value.toString());
                break;
            case ParamKind::DateTime: {
                if (!value.isString())
                    throw EDatabaseError(u"deve ser uma data e hora"_s);
                const QVariant date = decodeValue(TFieldType::DateTime, value, p.name);
                if (!date.isValid() || date.isNull())
                    throw EDatabaseError(u"deve ser uma data e hora"_s);
                args.values.append(date);
                break;
            }
            case ParamKind::Delta:
                if (!value.isObject())
                    throw EDatabaseError(u"deve ser um objeto de alterações"_s);
                checkDeltaFieldCount(value.toObject());
                args.delta = decodeDelta(value);
                args.values.append(QVariant());
                break;
            }
        } catch (const Exception &e) {
            failCall(RpcInvalidParams,
                     u"Parâmetro %1 inválido em %2: %3"_s.arg(p.name, method.name, e.Message()));
        }
    }
    return args;
}

} // namespace

PlanService::PlanService(DatabaseUri uri, LogLine log)
    : m_uri(std::move(uri))
    , m_log(std::move(log))
{ }

QStringList PlanService::methodNames()
{
    QStringList names;
    for (const Method &m : methods())
        names.append(m.name);
    return names;
}

RpcResult PlanService::callOnDatabase(const QString &method, const QJsonArray &params) const
{
    const Method *m = findMethod(method);
    if (!m)
        failCall(RpcMethodNotFound, u"Método desconhecido: %1."_s.arg(method));
    const Args args = decodeArgs(*m, params);
    const bool writes = std::any_of(m->params.cbegin(), m->params.cend(),
                                    [](const Param &p) { return p.kind == ParamKind::Delta; });
    for (int attempt = 1;; ++attempt) {
        try {
            const PlanStore store(threadDatabase(m_uri));
            return m->run(store, args);
        } catch (const ESqlError &e) {
            // A connection opened while the database refused writes (a SQLite file that
            // could not be written, a PostgreSQL database set read-only) keeps refusing
            // them after the database takes writes again: it is replaced too.
            if (e.kind() != SqlErrorKind::Connection && e.kind() != SqlErrorKind::ReadOnly)
                throw;
            closeThreadDatabase(m_uri); // connected afresh from here on
            // A connection the database dropped while it lay idle (a restart, an
            // administrator) is found out by the first statement sent on it. A read is
            // run again on a new one; so is a save whose transaction never began. A save
            // cut off inside its transaction is reported: the database rolled it back.
            const bool nothingWritten =
                !writes || dynamic_cast<const ETransactionNotBegun *>(&e) != nullptr;
            if (attempt == 1 && nothingWritten)
                continue;
            throw;
        }
    }
}

RpcResult PlanService::call(const QString &method, const QJsonArray &params) const
{
    try {
        return callOnDatabase(method, params);
    } catch (const RpcError &) {
        throw;
    } catch (const ESqlError &e) {
        if (e.kind() == SqlErrorKind::Connection) {
            // The database's address and the driver's reason; no patient data.
            if (m_log)
                m_log(u"qor-server: %1 sem conexão com o banco de dados: %2"_s.arg(method,
                                                                                   e.Message()));
            failCall(RpcDatabaseError, u"Sem conexão com o banco de dados. Tente novamente."_s);
        }
        if (e.kind() == SqlErrorKind::Busy)
            failCall(RpcDatabaseError, u"O banco de dados está ocupado. Tente novamente."_s);
        if (e.kind() == SqlErrorKind::ReadOnly)
            failCall(RpcDatabaseError,
                     u"O banco de dados não aceita gravações no momento; nada foi gravado."_s);
        failCall(RpcDatabaseError, e.Message());
    } catch (const Exception &e) {
        failCall(RpcDatabaseError, e.Message());
    } catch (const std::exception &) {
        failCall(RpcInternalError, u"Erro interno do servidor em %1."_s.arg(method));
    }
}

} // namespace qor
