#include "catalogue/exercisequeries.h"

using namespace Qt::StringLiterals;

namespace qor {

QStringList QryAuxPlanejaSQL()
{
    return {
        u"SELECT  CDEXERFISICO,"_s, u"   DSEXERFISICO,"_s,       u"   QTENERCONS"_s,
        u"FROM  EXERFISICO"_s,      u"ORDER BY  CDEXERFISICO"_s,
    };
}

QStringList QryVdPlanejaSQL()
{
    return {
        u"SELECT"_s,
        u"   CDEXERFISICO,"_s,
        u"   DSEXERFISICO,"_s,
        u"   QTENERCONS"_s,
        u"FROM"_s,
        u"   EXERFISICO"_s,
        u"WHERE"_s,
        u"   (CDEXERFISICO = :P_CDEXERFISICO)"_s,
        u"ORDER BY"_s,
        u"   CDEXERFISICO"_s,
    };
}

namespace {

struct Widths
{
    int code;
    int name;
    int energy;
};

ExerciseQueryFields define(TADOIBQuery *query, const QStringList &sql, Widths widths)
{
    query->SQL = sql;
    query->SQL_ORACLE = sql;
    query->SQL_MSSQL = sql;
    query->SQL_IB = sql;
    query->AutoCalcFields = true;

    ExerciseQueryFields fields;
    fields.CDEXERFISICO = query->AddField(u"CDEXERFISICO"_s, TFieldType::String, 6);
    fields.CDEXERFISICO->DisplayLabel = u"Código"_s;
    fields.CDEXERFISICO->DisplayWidth = widths.code;
    fields.DSEXERFISICO = query->AddField(u"DSEXERFISICO"_s, TFieldType::String, 100);
    fields.DSEXERFISICO->DisplayLabel = u"Descrição"_s;
    fields.DSEXERFISICO->DisplayWidth = widths.name;
    fields.QTENERCONS = query->AddField(u"QTENERCONS"_s, TFieldType::Float);
    fields.QTENERCONS->DisplayLabel = u"Kcal/Kg/hora"_s;
    fields.QTENERCONS->DisplayWidth = widths.energy;
    return fields;
}

} // namespace

ExerciseQueryFields DefineQryAuxPlaneja(TADOIBQuery *query)
{
    return define(query, QryAuxPlanejaSQL(), {8, 35, 10});
}

ExerciseQueryFields DefineQryVdPlaneja(TADOIBQuery *query)
{
    return define(query, QryVdPlanejaSQL(), {6, 35, 10});
}

} // namespace qor
