#include "forms/editmask.h"

#include <QLocale>

using namespace Qt::StringLiterals;

namespace qor {

namespace {

// The first character of a locale format that is not a field letter.
QChar separatorOf(const QString &format, QChar fallback)
{
    for (QChar c : format) {
        if (!c.isLetter() && c != u'\'' && !c.isSpace())
            return c;
    }
    return fallback;
}

bool isQtMaskMeta(QChar c)
{
    return u"AaNnXx90Dd#HhBb><!\\[]{};"_s.contains(c);
}

// Splits "mask;saveLiterals;blank" at unescaped semicolons.
QStringList splitFields(const QString &editMask)
{
    QStringList fields{QString()};
    for (qsizetype i = 0; i < editMask.size(); ++i) {
        const QChar c = editMask.at(i);
        if (c == u'\\' && i + 1 < editMask.size()) {
            fields.last() += c;
            fields.last() += editMask.at(++i);
        } else if (c == u';') {
            fields.append(QString());
        } else {
            fields.last() += c;
        }
    }
    return fields;
}

} // namespace

TEditMask parseEditMask(const QString &editMask)
{
    TEditMask result;
    const QStringList fields = splitFields(editMask);
    const QString &mask = fields.first();
    if (mask.isEmpty())
        return result;
    if (fields.size() > 1)
        result.saveLiterals = fields.at(1).trimmed() != u"0"_s;

    const QLocale locale;
    const QChar timeSep = separatorOf(locale.timeFormat(QLocale::ShortFormat), u':');
    const QChar dateSep = separatorOf(locale.dateFormat(QLocale::ShortFormat), u'/');

    QString qt;
    auto literal = [&](QChar c) {
        if (isQtMaskMeta(c))
            qt += u'\\';
        qt += c;
        result.literalAt.append(true);
    };
    auto input = [&](QChar qtChar) {
        qt += qtChar;
        result.literalAt.append(false);
    };
    for (qsizetype i = 0; i < mask.size(); ++i) {
        const QChar c = mask.at(i);
        switch (c.unicode()) {
        case '\\':
            if (i + 1 < mask.size())
                literal(mask.at(++i));
            break;
        case '!':
            break; // blank suppression: nothing to do with a space blank
        case '>':
            if (i + 1 < mask.size() && mask.at(i + 1) == u'<') {
                qt += u'!';
                ++i;
            } else {
                qt += u'>';
            }
            break;
        case '<':
            if (i + 1 < mask.size() && mask.at(i + 1) == u'>') { // "<>": no case conversion
                qt += u'!';
                ++i;
            } else {
                qt += u'<';
            }
            break;
        // Required and optional positions alike become optional (see the header).
        case '0':
        case '9':
            input(u'0');
            break;
        case '#':
            input(u'#');
            break;
        case 'L':
        case 'l':
            input(u'a');
            break;
        case 'A':
        case 'a':
            input(u'n');
            break;
        case 'C':
        case 'c':
            input(u'x');
            break;
        case ':':
            literal(timeSep);
            break;
        case '/':
            literal(dateSep);
            break;
        case '_':
            literal(u' ');
            break;
        default:
            literal(c);
        }
    }
    result.qtMask = qt + u"; "_s;
    return result;
}

QString toQtInputMask(const QString &editMask)
{
    return parseEditMask(editMask).qtMask;
}

QString TEditMask::fieldText(const QString &displayText) const
{
    if (saveLiterals || literalAt.size() != displayText.size())
        return displayText;
    QString text;
    for (qsizetype i = 0; i < displayText.size(); ++i) {
        if (!literalAt.at(i))
            text += displayText.at(i);
    }
    return text;
}

} // namespace qor
