#include "forms/keys.h"

#include <QKeyEvent>
#include <QLocale>

namespace qor {

QChar typedChar(const QKeyEvent *event)
{
    // Every paste shortcut types what Ctrl+V types, so a key filter that refuses Ctrl+V
    // also refuses Shift+Insert instead of letting the pasted text skip it.
    if (event->matches(QKeySequence::Paste))
        return QChar(22);
    switch (event->key()) {
    case Qt::Key_Backspace:
        return QChar(8);
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return QChar(9);
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QChar(13);
    case Qt::Key_Escape:
        return QChar(27);
    case Qt::Key_Delete:
        return {};
    default:
        break;
    }
    const QString text = event->text();
    if (text.isEmpty())
        return {};
    const QChar c = text.at(0);
    // A character beyond 16 bits (an emoji) is still a typed character: the key filter
    // sees it as the replacement character, instead of the text skipping the filter.
    if (c.isSurrogate())
        return QChar(QChar::ReplacementCharacter);
    // Ctrl+letter types its control code (Ctrl+V is 22), as the classic controls saw it.
    if (c.unicode() < 32 || c.isPrint())
        return c;
    return {};
}

QChar filteredChar(const QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete)
        return QChar(127);
    return typedChar(event);
}

std::unique_ptr<QKeyEvent> keypadDecimalAsComma(const QKeyEvent *event)
{
    if (!event->modifiers().testFlag(Qt::KeypadModifier)
        || (event->key() != Qt::Key_Period && event->key() != Qt::Key_Comma))
        return nullptr;
    // The numbers are read with the Brazilian decimal comma whatever the system's locale
    // (rtl/convert.h), so the keypad types that one.
    static const QChar comma = QLocale(QLocale::Portuguese, QLocale::Brazil).decimalPoint().at(0);
    if (event->text() == QString(comma))
        return nullptr;
    return retypedEvent(event, comma);
}

std::unique_ptr<QKeyEvent> retypedEvent(const QKeyEvent *event, QChar key)
{
    int code = 0;
    switch (key.unicode()) {
    case 8:
        code = Qt::Key_Backspace;
        break;
    case 9:
        code = Qt::Key_Tab;
        break;
    case 13:
        code = Qt::Key_Return;
        break;
    case 27:
        code = Qt::Key_Escape;
        break;
    default:
        if (key.isDigit() || (key.unicode() >= 'A' && key.unicode() <= 'Z'))
            code = key.unicode();
        else if (key.unicode() >= 'a' && key.unicode() <= 'z')
            code = key.toUpper().unicode();
        else if (key.unicode() >= 32 && key.unicode() < 127)
            code = key.unicode(); // Qt's key codes for ASCII punctuation are the characters
        else
            code = Qt::Key_unknown;
    }
    return std::make_unique<QKeyEvent>(event->type(), code, event->modifiers(), QString(key),
                                       event->isAutoRepeat(), ushort(event->count()));
}

bool modifiesText(const QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)
        || event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)
        || event->matches(QKeySequence::DeleteEndOfWord)
        || event->matches(QKeySequence::DeleteStartOfWord)
        || event->matches(QKeySequence::DeleteEndOfLine))
        return true;
    if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace)
        return true;
    const QChar c = typedChar(event);
    return !c.isNull() && c.isPrint();
}

QStringList characters(const QString &text)
{
    QStringList result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length =
            text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()
            ? 2
            : 1;
        result.append(text.mid(i, length));
        i += length - 1;
    }
    return result;
}

} // namespace qor
