#include "module/Cli_qor12700.h"

#include "forms/application.h"
#include "rtl/convert.h"
#include "rtl/exceptions.h"

#include <QDate>
#include <QDateTime>
#include <cmath>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

// 0001-01-01 and the end of 9999-12-31 as day counts: anything outside is no date.
constexpr double MinDateTime = -693593.0;
constexpr double MaxDateTime = 2958466.0;

[[noreturn]] void badElement(int index, const QString &what)
{
    throw EConvertError(u"Parâmetro %1 da abertura da tela inválido: %2."_s.arg(index).arg(what));
}

bool isContainer(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QVariantList:
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash:
    case QMetaType::QStringList:
    case QMetaType::QByteArrayList:
        return true;
    default:
        return false;
    }
}

QString toText(const QVariant &value, int index)
{
    if (!value.isValid() || value.isNull())
        return QString();
    if (isContainer(value) || !value.canConvert<QString>())
        badElement(index, u"não é um texto"_s);
    return value.toString();
}

// The branch and patient codes are the consultation's keys: everything the screen saves
// goes under them, so a blank code or one longer than its field is refused here.
QString toCode(const QVariant &value, int index, int size)
{
    const QString code = toText(value, index);
    if (code.trimmed().isEmpty())
        badElement(index, u"código em branco"_s);
    if (code.size() > size)
        badElement(index, u"código com mais de %1 caracteres"_s.arg(size));
    return code;
}

TDateTime toDateTime(const QVariant &value, int index)
{
    double result = 0;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        result = value.toDouble();
        break;
    case QMetaType::QDate:
        if (!value.toDate().isValid())
            badElement(index, u"data inválida"_s);
        result = DateToDateTime(value.toDate());
        break;
    case QMetaType::QDateTime:
        try {
            result = QDateTimeToDateTime(value.toDateTime());
        } catch (const EConvertError &) {
            badElement(index, u"data inválida"_s);
        }
        break;
    case QMetaType::QString:
        try {
            result = StrToFloat(value.toString());
        } catch (const EConvertError &) {
            badElement(index, u"'%1' não é uma data"_s.arg(value.toString()));
        }
        break;
    default:
        badElement(index, u"não é uma data"_s);
    }
    // NaN, infinities and day counts beyond the calendar would corrupt every date the
    // screen sends.
    if (!std::isfinite(result) || result < MinDateTime || result >= MaxDateTime)
        badElement(index, u"data fora do intervalo"_s);
    return result;
}

} // namespace

ScreenContext ReadIniProcParams(const QVariant &params)
{
    const int type = params.typeId();
    if (type != QMetaType::QVariantList && type != QMetaType::QStringList)
        throw EConvertError(u"Parâmetros da abertura da tela inválidos: esperava-se uma lista."_s);
    const QVariantList list = params.toList();
    if (list.size() < 5)
        throw EConvertError(
            u"Parâmetros da abertura da tela inválidos: esperavam-se 5 valores, vieram %1."_s.arg(
                list.size()));

    ScreenContext context;
    // The order in which the host's values are read.
    context.idadePaci = toDateTime(list.at(3), 3);
    context.consulta = toDateTime(list.at(4), 4);
    context.nmPaciente = toText(list.at(2), 2);
    context.cdPaciente = toCode(list.at(1), 1, 12);
    context.cdFilial = toCode(list.at(0), 0, 4);
    return context;
}

} // namespace qor

bool IniProc(const QVariant &params)
{
    // The host may be built with another compiler or runtime: no exception crosses the
    // library's boundary.
    try {
        const qor::ScreenContext context = qor::ReadIniProcParams(params);
        qor::CriaPlanejamentoExe(context.cdFilial, context.cdPaciente, context.nmPaciente,
                                 context.idadePaci, context.consulta);
        return true;
    } catch (...) {
        qor::Application()->HandleException(std::current_exception());
        return false;
    }
}
