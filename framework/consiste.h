#pragma once

#include "rtl/datetime.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

namespace qor {

class TDBGrid;

// Routines of unit Consiste: result checks, error messages and small text and number
// helpers shared by every screen.

// Takes a raw plan-service result: {"ok":true,"data":...} gives back the payload under
// "data" (null when absent); {"ok":false,"error":{"message":...}} raises Exception with
// the server's message; anything else raises Exception saying the answer is malformed.
// raiseOnError and number are kept for the call sites; a failure always raises.
QJsonValue CheckResultServ(const QJsonObject &raw, bool raiseOnError = true, int number = 0);

// Shows text as an error through the dialogs interface. With abort true it then raises
// EAbort, so the post, insert or field change in progress is abandoned without a second
// message.
void MensErro(const QString &text, bool abort);
// Shows text as information through the dialogs interface; nothing is abandoned.
void MensInfo(const QString &text);

// True when the text holds nothing but blanks (a null field's text is empty).
bool EmptyString(const QString &text);
// The text without leading and trailing blanks.
QString AllTrim(const QString &text);

// A code brought to n characters, right-aligned and zero-filled on the left: blanks
// around it are dropped first, and a blank text stays empty (so "no code" is still
// seen as no code). A text longer than n is returned whole, never cut: cutting would
// turn one code into another.
QString Ajusta(const QString &text, int n);
// The text right-aligned in n characters, filled with "0" on the left; a text of n
// characters or more is returned unchanged.
QString PadL(const QString &text, int n);

// value rounded to decimals places, halves away from zero. Decimal representation
// noise is ignored: RoundDec(72.455, 2) is 72.46 although 72.455 is stored as
// 72.4549999...
double RoundDec(double value, int decimals);

// Index of the column of grid bound to fieldName (exact name), -1 when there is none.
int IndiceCol(const TDBGrid *grid, const QString &fieldName);

// Whole years and remaining whole months from birth to today. A birthday on Feb 29
// is reached on Feb 28 in common years; a month is complete on the same day of the
// month, or on the last day of a shorter month. Birth after today gives 0 and 0.
void Idade(TDateTime today, TDateTime birth, int &years, int &months);

} // namespace qor
