#pragma once

#include <QString>

namespace qor {

// The text as searches compare it: accents dropped (decomposed, combining marks
// removed) and case folded, so "exercicio" finds "Exercício".
QString searchKey(const QString &text);

} // namespace qor
