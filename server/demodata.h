#pragma once

#include <QDate>
#include <QIODevice>
#include <QList>
#include <QSqlDatabase>

namespace qor {

// One activity of the exercise catalogue seed.
struct CatalogueEntry
{
    QString code; // zero-padded to the column's 6 characters
    QString description; // Portuguese
    double kcalPerKgHour = 0; // MET, taken as kcal per kg per hour
    QString edition;
};

// Reads the seed (tab-separated: code, met, descricao_pt, edition, with a header).
// Raises EDatabaseError naming the line that cannot be read.
QList<CatalogueEntry> readCatalogueSeed(QIODevice &device);

// When the database holds no rows at all, fills it in one transaction with the
// catalogue and the demo consultations dated `consultation` (see db/README.md).
// Returns false, changing nothing, when the database already holds data.
bool seedDemoData(const QSqlDatabase &db, const QDate &consultation);

} // namespace qor
