#pragma once

#include <QList>
#include <QString>

namespace qor {

// A field's edit mask in the screen's notation ("00:00", "!99/99/0000;1;_"), turned
// into a QLineEdit input mask. Notation: 0 digit, 9 digit optional, # digit or sign,
// L/l letter, A/a letter or digit, C/c any character, : and / the locale's time and
// date separators, > and < case conversion, <> none, ! dropped, \ literal next, _ a
// literal blank; after ';' the save-literals flag and the blank character.
//
// Every input position becomes optional in Qt's notation: a required position would
// stop the editor from delivering a half-filled text, and the field's own validation
// must see it ("1 :  ") to report it. The blank character is always a space, so the
// editor's displayText() is the text the field receives.
struct TEditMask
{
    QString qtMask; // for QLineEdit::setInputMask; empty for no mask
    bool saveLiterals = true; // false: literal positions are left out of the text
    QList<bool> literalAt; // per position of the display text

    // The text a masked editor hands to the field: its display text, blanks where the
    // user typed nothing, without the literals when they are not saved.
    QString fieldText(const QString &displayText) const;
};

TEditMask parseEditMask(const QString &editMask);
// The QLineEdit input mask for an edit mask; "00:00" gives "00:00; " in pt-BR.
QString toQtInputMask(const QString &editMask);

} // namespace qor
