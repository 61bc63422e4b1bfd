#include "engine/dates.h"

namespace {
const QString isoDate = QStringLiteral("yyyy-MM-dd");
const QString storedForm = QStringLiteral("yyyy-MM-dd HH:mm:ss");
} // namespace

QString DateText(QDate date)
{
    return date.toString(isoDate);
}

std::optional<QDate> DateFromText(const QString &text)
{
    const QString trimmed = text.trimmed();
    const QDate date = QDate::fromString(trimmed, isoDate);
    if (trimmed.size() != isoDate.size() || !date.isValid())
        return std::nullopt;
    return date;
}

QString ShortDateText(QDate date, const QLocale &locale)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return locale.toString(date, format);
}

QString ListDateText(QDate date, const QLocale &locale)
{
    return locale.toString(date, QStringLiteral("ddd MMM d, yyyy"));
}

QDateTime EventDateTime(QDate date, QTime time)
{
    return QDateTime(date, time, Qt::UTC);
}

QString StoredDateText(const QDateTime &value)
{
    // Formatted by hand: this runs for every row the roll-forward moves, and
    // QDateTime::toString with a format is many times slower.
    const QDate d = value.date();
    const QTime t = value.time();
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", d.year(), d.month(), d.day(),
                             t.hour(), t.minute(), t.second());
}

namespace {
// The number written by `count` ASCII digits at `from`, or -1.
int digits(const QString &text, qsizetype from, int count)
{
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const char16_t c = text.at(from + i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}
} // namespace

std::optional<QDateTime> StoredDateValue(const QString &text)
{
    // Read by hand for speed (QDateTime::fromString is slow), and to take the fixed-width
    // form only: "yyyy-MM-dd HH:mm:ss".
    if (text.size() != storedForm.size() || text.at(4) != u'-' || text.at(7) != u'-'
        || text.at(10) != u' ' || text.at(13) != u':' || text.at(16) != u':')
        return std::nullopt;
    const int year = digits(text, 0, 4), month = digits(text, 5, 2), day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2), minute = digits(text, 14, 2),
              second = digits(text, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0)
        return std::nullopt;
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return EventDateTime(date, time);
}

QDateTime AddYears(const QDateTime &value, int years)
{
    return EventDateTime(value.date().addYears(years), value.time());
}

std::optional<QString> StoredFormOfLiteral(const QString &literal)
{
    const QString text = literal.trimmed();
    if (text.size() == isoDate.size()) {
        if (const auto date = DateFromText(text))
            return StoredDateText(EventDateTime(*date));
        return std::nullopt;
    }
    QString withSpace = text;
    if (withSpace.size() > 10 && withSpace.at(10) == u'T')
        withSpace[10] = u' ';
    if (const auto value = StoredDateValue(withSpace))
        return StoredDateText(*value);
    return std::nullopt;
}
