#include "csvcell.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

bool looksLikeFormula(const QString &text)
{
    if (text.isEmpty())
        return false;
    const QChar first = text.front();
    if (first != u'=' && first != u'+' && first != u'-' && first != u'@' && first != u'\t'
        && first != u'\r')
        return false;
    // A signed figure as the grid shows it ("-1.234,5") is data, not a formula.
    static const QRegularExpression number(u"^[+-]?[0-9][0-9.]*(,[0-9]+)?$"_s);
    return !number.match(text).hasMatch();
}

} // namespace

QString csvCell(const QString &text)
{
    const QString safe = looksLikeFormula(text) ? u'\'' + text : text;
    if (!safe.contains(u';') && !safe.contains(u'"') && !safe.contains(u'\n')
        && !safe.contains(u'\r'))
        return safe;
    QString quoted = safe;
    quoted.replace(u"\""_s, u"\"\""_s);
    return u'"' + quoted + u'"';
}

} // namespace qor
