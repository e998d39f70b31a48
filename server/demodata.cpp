#include "demodata.h"

#include "migrations.h"
#include "rtl/datetime.h"
#include "rtl/exceptions.h"
#include "sql/sqlquery.h"
#include "sql/sqltransaction.h"

#include <QFile>
#include <QTextStream>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

const QString Branch = u"0001"_s;

bool databaseIsEmpty(const QSqlDatabase &db)
{
    for (const QString &table :
         {u"PACIENTE"_s, u"EXERFISICO"_s, u"METOAVAL"_s, u"INFOAVAL"_s, u"PLAEXERFISI"_s}) {
        SqlStatement query(db, u"SELECT 1 FROM %1 LIMIT 1"_s.arg(table));
        query.exec();
        if (query.next())
            return false;
    }
    return true;
}

void insertPatient(const QSqlDatabase &db, const QString &code, const QString &name,
                   const QDate &birth)
{
    SqlStatement insert(db,
                        u"INSERT INTO PACIENTE (CDFILIAL, CDPACIENTE, NMPACIENTE, "
                        u"DTNASCPACI) VALUES (?, ?, ?, ?)"_s);
    insert.bind(Branch).bind(code).bind(name).bind(TFieldType::DateTime, DateToDateTime(birth));
    insert.exec();
}

} // namespace

QList<CatalogueEntry> readCatalogueSeed(QIODevice &device)
{
    QTextStream in(&device);
    in.setEncoding(QStringConverter::Utf8);
    QList<CatalogueEntry> entries;
    int lineNumber = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        ++lineNumber;
        if (lineNumber == 1 || line.trimmed().isEmpty())
            continue; // header
        const QStringList cells = line.split(u'\t');
        bool numeric = false, metOk = false;
        const int code = cells.value(0).trimmed().toInt(&numeric);
        const double met = cells.value(1).trimmed().toDouble(&metOk); // C locale: point
        if (cells.size() < 4 || !numeric || code < 0 || code > 999999 || !metOk || met <= 0
            || cells[2].trimmed().isEmpty())
            throw EDatabaseError(u"Linha %1 do catálogo de exercícios ilegível."_s.arg(lineNumber));
        entries.append(
            {u"%1"_s.arg(code, 6, 10, QChar(u'0')), cells[2].trimmed(), met, cells[3].trimmed()});
    }
    return entries;
}

bool seedDemoData(const QSqlDatabase &db, const QDate &consultation)
{
    QFile seed(u":/qor/db/compendium_2011_sample.tsv"_s);
    if (!seed.open(QIODevice::ReadOnly))
        throw EDatabaseError(u"Catálogo de exercícios de demonstração não encontrado."_s);
    const QList<CatalogueEntry> catalogue = readCatalogueSeed(seed);

    SqlTransaction transaction(db);
    // Two servers asked for the demo at once on PostgreSQL would both find the database
    // empty, and the second fail to start on the first one's rows: it waits instead,
    // and then finds them.
    lockMigrations(db);
    if (!databaseIsEmpty(db))
        return false;

    for (const CatalogueEntry &entry : catalogue) {
        SqlStatement insert(db,
                            u"INSERT INTO EXERFISICO (CDEXERFISICO, DSEXERFISICO, "
                            u"QTENERCONS, CDEDICAO) VALUES (?, ?, ?, ?)"_s);
        insert.bind(entry.code).bind(entry.description).bind(entry.kcalPerKgHour);
        insert.bind(entry.edition);
        insert.exec();
    }

    const QString maria = u"000000000001"_s;
    insertPatient(db, maria, u"Maria da Silva"_s, QDate(1985, 3, 14));
    insertPatient(db, u"000000000002"_s, u"João Pereira"_s, QDate(1990, 7, 1));

    const TDateTime day = DateToDateTime(consultation);
    SqlStatement method(db,
                        u"INSERT INTO METOAVAL (CDFILIAL, CDPACIENTE, DTCONSPACI, "
                        u"CDTBMETOAVAL, IDTABELAAV) VALUES (?, ?, ?, '01', 'N')"_s);
    method.bind(Branch).bind(maria).bind(TFieldType::DateTime, day);
    method.exec();
    SqlStatement weight(db,
                        u"INSERT INTO INFOAVAL (CDFILIAL, CDPACIENTE, DTCONSPACI, "
                        u"CDTBMETOAVAL, CDTIPODADO, DSINFOAVAL) "
                        u"VALUES (?, ?, ?, '01', '01', ?)"_s);
    weight.bind(Branch).bind(maria).bind(TFieldType::DateTime, day).bind(u"68,5"_s);
    weight.exec();

    // Code, hours per day; the plan keeps its own copy of the catalogue's energy cost.
    const QList<std::pair<QString, double>> plan{
        {u"017190"_s, 1.0}, {u"002054"_s, 0.75}, {u"018310"_s, 0.5}};
    for (const auto &[code, hours] : plan) {
        const auto entry = std::find_if(catalogue.cbegin(), catalogue.cend(),
                                        [&](const CatalogueEntry &e) { return e.code == code; });
        if (entry == catalogue.cend())
            throw EDatabaseError(u"Exercício %1 ausente do catálogo de demonstração."_s.arg(code));
        SqlStatement insert(db,
                            u"INSERT INTO PLAEXERFISI (CDFILIAL, CDPACIENTE, DTCONSPACI, "
                            u"CDEXERFISICO, QTHREXERFISI, QTENERCONSPL) "
                            u"VALUES (?, ?, ?, ?, ?, ?)"_s);
        insert.bind(Branch).bind(maria).bind(TFieldType::DateTime, day).bind(code);
        insert.bind(hours).bind(entry->kcalPerKgHour);
        insert.exec();
    }
    transaction.commit();
    return true;
}

} // namespace qor
