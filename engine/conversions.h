#pragma once

#include <QString>

// The number at the start of a text, as a double: blanks before it are skipped, and a text
// that does not start with a number gives 0.
double LeadingNumber(const QString &text);
// Rounds to the nearest 16-bit integer, a half to the even neighbour; raises the overflow
// error when the result does not fit.
qint16 ToInteger16(double value);
