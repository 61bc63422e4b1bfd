#include "engine/conversions.h"

#include "engine/errors.h"

#include <QRegularExpression>

#include <cmath>

double LeadingNumber(const QString &text)
{
    static const QRegularExpression number(
            QStringLiteral("^[ \\t]*([+-]?(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?)"));
    const auto match = number.match(text);
    return match.hasMatch() ? match.captured(1).toDouble() : 0.0;
}

qint16 ToInteger16(double value)
{
    // nearbyint rounds in the current mode, which is to-nearest with halves to even.
    const double rounded = std::nearbyint(value);
    if (!std::isfinite(rounded) || rounded < -32768.0 || rounded > 32767.0)
        throw DatebellError(ErrorNumber::Overflow, QStringLiteral("Overflow"));
    return qint16(rounded);
}
