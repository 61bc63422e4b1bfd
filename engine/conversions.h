#pragma once

#include <QString>
#include <QVariant>

// The number at the start of a text, as a double: blanks before it are skipped, and a text
// that does not start with a number gives 0.
double LeadingNumber(const QString &text);
// Rounds to the nearest 16-bit integer, a half to the even neighbour; raises the overflow
// error when the result does not fit.
qint16 ToInteger16(double value);
// Whether a stored RepeatFlag makes an event annual. Only a flag equal to false (the number 0)
// marks a one-off event; -1, any other value and no value at all mean annual.
bool IsAnnualFlag(const QVariant &flag);
// A description as one line, for a list line, a grid cell or a question: each line break or
// tab becomes a blank. What is stored keeps the text as it is.
QString OneLine(QString text);
