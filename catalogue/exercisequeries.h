#pragma once

#include "framework/adoibquery.h"

#include <QStringList>

namespace qor {

// The exercise catalogue EXERFISICO, read directly from the database through the host's
// general data module: qryAuxPlaneja lists it for the search dialog, qryVdPlaneja fetches
// one exercise by code (parameter P_CDEXERFISICO, a string).

// The fields both queries yield, in the order of their columns.
struct ExerciseQueryFields
{
    TADOIBStringField *CDEXERFISICO = nullptr;
    TADOIBStringField *DSEXERFISICO = nullptr;
    TADOIBFloatField *QTENERCONS = nullptr;
};

// The statement texts, line for line; the same for every database kind.
QStringList QryAuxPlanejaSQL();
QStringList QryVdPlanejaSQL();

// Gives the query its texts (SQL, SQL_ORACLE, SQL_MSSQL, SQL_IB) and its persistent
// fields with their labels and display widths. The query stays closed.
ExerciseQueryFields DefineQryAuxPlaneja(TADOIBQuery *query);
ExerciseQueryFields DefineQryVdPlaneja(TADOIBQuery *query);

} // namespace qor
