#include "engine/conversions.h"

#include "engine/errors.h"

#include <algorithm>
#include <cmath>

double LeadingNumber(const QString &text)
{
    // Blanks, a sign, digits with an optional point, an optional exponent; read by hand since
    // this runs on every pass and a regular expression costs more to compile than to run.
    qsizetype pos = 0;
    const auto digitsFrom = [&](qsizetype from) {
        qsizetype end = from;
        while (end < text.size() && text.at(end) >= u'0' && text.at(end) <= u'9')
            ++end;
        return end;
    };
    while (pos < text.size() && (text.at(pos) == u' ' || text.at(pos) == u'\t'))
        ++pos;
    const qsizetype start = pos;
    if (pos < text.size() && (text.at(pos) == u'+' || text.at(pos) == u'-'))
        ++pos;
    const qsizetype whole = digitsFrom(pos);
    qsizetype end = whole;
    if (end < text.size() && text.at(end) == u'.')
        end = digitsFrom(end + 1);
    if (whole == pos && end <= whole + 1)
        return 0.0; // no digit before or after the point
    if (end < text.size() && (text.at(end) == u'e' || text.at(end) == u'E')) {
        qsizetype exponent = end + 1;
        if (exponent < text.size() && (text.at(exponent) == u'+' || text.at(exponent) == u'-'))
            ++exponent;
        const qsizetype exponentEnd = digitsFrom(exponent);
        if (exponentEnd > exponent)
            end = exponentEnd;
    }
    return QStringView(text).mid(start, end - start).toDouble();
}

qint16 ToInteger16(double value)
{
    // nearbyint rounds in the current mode, which is to-nearest with halves to even.
    const double rounded = std::nearbyint(value);
    if (!std::isfinite(rounded) || rounded < -32768.0 || rounded > 32767.0)
        throw DatebellError(ErrorNumber::Overflow, QStringLiteral("Overflow"));
    return qint16(rounded);
}

bool IsAnnualFlag(const QVariant &flag)
{
    if (flag.isNull())
        return true;
    bool number = false;
    const double value = flag.toDouble(&number);
    return !(number && value == 0);
}

QString OneLine(QString text)
{
    const auto breaks = [](QChar c) {
        return c == u'\n' || c == u'\r' || c == u'\t' || c == QChar::LineSeparator
                || c == QChar::ParagraphSeparator;
    };
    // Painting asks for every shown cell: a text without a break is handed back unshared.
    if (std::none_of(text.cbegin(), text.cend(), breaks))
        return text;
    std::replace_if(text.begin(), text.end(), breaks, QChar(u' '));
    return text;
}
