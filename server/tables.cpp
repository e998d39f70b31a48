#include "tables.h"

using namespace Qt::StringLiterals;

namespace qor {

namespace {

ColumnSpec str(const QString &name, int size, bool key = false)
{
    return {name, TFieldType::String, size, key};
}

ColumnSpec key(const QString &name, int size)
{
    return str(name, size, true);
}

ColumnSpec dateKey(const QString &name)
{
    return {name, TFieldType::DateTime, 0, true};
}

ColumnSpec flt(const QString &name)
{
    return {name, TFieldType::Float, 0, false};
}

TFieldDef fs(const QString &name, int size)
{
    return {name, TFieldType::String, size};
}

TFieldDef fdt(const QString &name)
{
    return {name, TFieldType::DateTime, 0};
}

TFieldDef ff(const QString &name)
{
    return {name, TFieldType::Float, 0};
}

const QString DependentsMessage =
    u"O registro não pode ser excluído porque há outros registros ligados a ele."_s;

} // namespace

const ColumnSpec *TableSpec::column(const QString &name) const
{
    for (const ColumnSpec &c : columns) {
        if (c.name == name)
            return &c;
    }
    return nullptr;
}

const TableSpec &plaExerFisiTable()
{
    static const TableSpec table{
        u"PLAEXERFISI"_s,
        {key(u"CDFILIAL"_s, 4), key(u"CDPACIENTE"_s, 12), dateKey(u"DTCONSPACI"_s),
         key(u"CDEXERFISICO"_s, 6), flt(u"QTHREXERFISI"_s), flt(u"QTENERCONSPL"_s)},
        {u"DSEXERFISICO"_s, u"QTENERCONS"_s},
        {{{u"CDFILIAL"_s, u"CDPACIENTE"_s},
          u"PACIENTE"_s,
          {u"CDFILIAL"_s, u"CDPACIENTE"_s},
          u"Paciente não cadastrado."_s},
         {{u"CDEXERFISICO"_s},
          u"EXERFISICO"_s,
          {u"CDEXERFISICO"_s},
          u"Exercício não cadastrado."_s}},
        u"Exercício físico já cadastrado."_s,
        DependentsMessage,
    };
    return table;
}

const TableSpec &infoAvalTable()
{
    static const TableSpec table{
        u"INFOAVAL"_s,
        {key(u"CDFILIAL"_s, 4), key(u"CDPACIENTE"_s, 12), dateKey(u"DTCONSPACI"_s),
         key(u"CDTBMETOAVAL"_s, 2), key(u"CDTIPODADO"_s, 2), str(u"DSINFOAVAL"_s, 30)},
        {},
        // The patient too: a method stored before its own patient check may belong to
        // a patient nobody registered, and no weight is recorded under it.
        {{{u"CDFILIAL"_s, u"CDPACIENTE"_s},
          u"PACIENTE"_s,
          {u"CDFILIAL"_s, u"CDPACIENTE"_s},
          u"Paciente não cadastrado."_s},
         {{u"CDFILIAL"_s, u"CDPACIENTE"_s, u"DTCONSPACI"_s, u"CDTBMETOAVAL"_s},
          u"METOAVAL"_s,
          {u"CDFILIAL"_s, u"CDPACIENTE"_s, u"DTCONSPACI"_s, u"CDTBMETOAVAL"_s},
          u"Método de avaliação não cadastrado para a consulta."_s}},
        u"Informação de avaliação já cadastrada para a consulta."_s,
        DependentsMessage,
    };
    return table;
}

const TableSpec &metoAvalTable()
{
    static const TableSpec table{
        u"METOAVAL"_s,
        {key(u"CDFILIAL"_s, 4), key(u"CDPACIENTE"_s, 12), dateKey(u"DTCONSPACI"_s),
         key(u"CDTBMETOAVAL"_s, 2), str(u"IDTABELAAV"_s, 1)},
        {},
        // Checked here rather than by the schema, so that rows stored before the check
        // existed stay readable; a weight hangs on its method, so none can be recorded
        // for a patient who is not registered.
        {{{u"CDFILIAL"_s, u"CDPACIENTE"_s},
          u"PACIENTE"_s,
          {u"CDFILIAL"_s, u"CDPACIENTE"_s},
          u"Paciente não cadastrado."_s}},
        u"Método de avaliação já cadastrado para a consulta."_s,
        u"O método de avaliação não pode ser excluído porque há informações de avaliação "
        u"ligadas a ele."_s,
    };
    return table;
}

const QList<TFieldDef> &pacienteFields()
{
    static const QList<TFieldDef> fields{fs(u"CDFILIAL"_s, 4), fs(u"CDPACIENTE"_s, 12),
                                         fs(u"NMPACIENTE"_s, 80), fdt(u"DTNASCPACI"_s)};
    return fields;
}

const QList<TFieldDef> &pesoFields()
{
    static const QList<TFieldDef> fields{fs(u"CDFILIAL"_s, 4),   fs(u"CDPACIENTE"_s, 12),
                                         fdt(u"DTCONSPACI"_s),   fs(u"CDTBMETOAVAL"_s, 2),
                                         fs(u"CDTIPODADO"_s, 2), fs(u"DSINFOAVAL"_s, 30)};
    return fields;
}

const QList<TFieldDef> &planejaFields()
{
    static const QList<TFieldDef> fields{fs(u"CDFILIAL"_s, 4),  fs(u"CDPACIENTE"_s, 12),
                                         fdt(u"DTCONSPACI"_s),  fs(u"CDEXERFISICO"_s, 6),
                                         ff(u"QTHREXERFISI"_s), fs(u"DSEXERFISICO"_s, 100),
                                         ff(u"QTENERCONSPL"_s), ff(u"QTENERCONS"_s)};
    return fields;
}

const QList<TFieldDef> &verifExercFields()
{
    static const QList<TFieldDef> fields{fs(u"CDFILIAL"_s, 4), fs(u"CDPACIENTE"_s, 12),
                                         fdt(u"DTCONSPACI"_s), fs(u"CDEXERFISICO"_s, 6)};
    return fields;
}

const QList<TFieldDef> &metoAvalFields()
{
    static const QList<TFieldDef> fields{fs(u"CDFILIAL"_s, 4), fs(u"CDPACIENTE"_s, 12),
                                         fdt(u"DTCONSPACI"_s), fs(u"CDTBMETOAVAL"_s, 2),
                                         fs(u"IDTABELAAV"_s, 1)};
    return fields;
}

} // namespace qor
