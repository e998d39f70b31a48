#pragma once

#include <QString>

namespace qor {

// Text and number conversions in the pt-BR locale: decimal comma, point for
// thousands. Failures raise EConvertError with a Portuguese message quoting the text.

// Leading and trailing blanks ignored; grouping separators and empty text refused.
double StrToFloat(const QString &text);
// Leading blanks and a sign allowed; nothing may follow the number.
int StrToInt(const QString &text);
// Only the pattern "#,##0.000" and its relatives ("0.00", "#,##0", "0.##"): grouping when
// the pattern has a comma, as many decimals as zeros after the point ('#' decimals only
// when not zero); halves away from zero, decided on the value's 15 significant digits.
// An empty pattern is FloatToStr; any other pattern raises EConvertError.
QString FormatFloat(const QString &pattern, double value);
// Fixed notation; halves away from zero; no grouping.
QString FloatToStrF(double value, int decimals);
// General format, 15 significant digits, no trailing zeros.
QString FloatToStr(double value);

} // namespace qor
