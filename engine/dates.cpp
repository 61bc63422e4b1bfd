#include "engine/dates.h"

#include <QRegularExpression>

#include <algorithm>

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

QDateTime NextAnnualDate(const QDateTime &value, QDate from)
{
    const int month = value.date().month(), day = value.date().day();
    // Within eight years every day of the year comes round, 29 February included (2096 to 2104).
    for (int year = from.year(); year <= from.year() + 8; ++year) {
        const QDate date(year, month, day);
        if (date.isValid() && date >= from)
            return EventDateTime(date, value.time());
    }
    return value;
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

QString GridDateText(const QDateTime &value, const QLocale &locale)
{
    const QTime time = value.time();
    if (time == QTime(0, 0))
        return ShortDateText(value.date(), locale);
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (time.second() != 0 && !timeFormat.contains(u's'))
        timeFormat.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
    return ShortDateText(value.date(), locale) + u' ' + locale.toString(time, timeFormat);
}

namespace {

// "10:30", "10:30:15", "7:05 pm", "7:05 PM" and the locale's own AM/PM texts.
std::optional<QTime> recognizeTime(const QString &text, const QLocale &locale)
{
    static const QRegularExpression pattern(
            QStringLiteral("^(\\d{1,2}):(\\d{2})(?::(\\d{2}))?\\s*(\\S*)$"));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    int hour = match.captured(1).toInt();
    const QString suffix = match.captured(4).remove(u'.').toLower();
    if (!suffix.isEmpty()) {
        const bool am = suffix == u"am" || suffix == locale.amText().remove(u'.').toLower();
        const bool pm = suffix == u"pm" || suffix == locale.pmText().remove(u'.').toLower();
        if ((!am && !pm) || hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    const QTime time(hour, match.captured(2).toInt(), match.captured(3).toInt());
    if (!time.isValid())
        return std::nullopt;
    return time;
}

// A month by its name or abbreviation, in the locale's language or in English; 0 for none.
int monthByName(const QString &word, const QLocale &locale)
{
    const QLocale english(QLocale::English);
    for (int month = 1; month <= 12; ++month) {
        for (const QLocale *names : { &locale, &english }) {
            for (const auto format : { QLocale::ShortFormat, QLocale::LongFormat }) {
                QString name = names->monthName(month, format);
                name.remove(u'.');
                if (name.compare(word, Qt::CaseInsensitive) == 0)
                    return month;
            }
        }
    }
    return 0;
}

// A year of four digits as it stands, of one or two by the window; 0, which no date has,
// for any other.
int windowedYear(const QString &digits)
{
    const int year = digits.toInt();
    if (digits.size() == 4)
        return year;
    if (digits.size() <= 2)
        return year < 30 ? 2000 + year : 1900 + year;
    return 0;
}

// Day, month and year in the order the locale's short date form writes them; a day and
// month alone, in the same order, are that day of `currentYear`.
std::optional<QDate> recognizeDate(const QString &text, const QLocale &locale, int currentYear)
{
    static const QRegularExpression iso(QStringLiteral("^(\\d{4})-(\\d{1,2})-(\\d{1,2})$"));
    if (const auto match = iso.match(text); match.hasMatch()) {
        const QDate date(match.captured(1).toInt(), match.captured(2).toInt(),
                         match.captured(3).toInt());
        return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
    }
    static const QRegularExpression separators(QStringLiteral("[\\s/.,-]+"));
    const QStringList tokens = text.split(separators, Qt::SkipEmptyParts);
    if (tokens.size() != 3 && tokens.size() != 2)
        return std::nullopt;
    const bool yearGiven = tokens.size() == 3;

    const QString format = locale.dateFormat(QLocale::ShortFormat);
    QList<std::pair<qsizetype, QChar>> order;
    for (const QChar field : { u'd', u'M', u'y' })
        order.append({ format.indexOf(field), field });
    std::sort(order.begin(), order.end());

    int day = -1, month = -1, year = -1;
    QStringList numbers;
    for (const QString &token : tokens) {
        const bool isNumber = std::all_of(token.cbegin(), token.cend(),
                                          [](QChar c) { return c >= u'0' && c <= u'9'; });
        if (isNumber) {
            numbers << token;
        } else {
            const int named = month < 0 ? monthByName(token, locale) : 0;
            if (named == 0)
                return std::nullopt;
            month = named;
        }
    }
    qsizetype next = 0;
    for (const auto &[position, field] : order) {
        if ((field == u'M' && month > 0) || (field == u'y' && !yearGiven))
            continue;
        if (position < 0 || next >= numbers.size())
            return std::nullopt;
        const QString &number = numbers.at(next++);
        if (field == u'd')
            day = number.toInt();
        else if (field == u'M')
            month = number.toInt();
        else
            year = windowedYear(number);
    }
    if (next != numbers.size())
        return std::nullopt;
    const QDate date(yearGiven ? year : currentYear, month, day);
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

} // namespace

std::optional<TypedDate> RecognizeDate(const QString &text, const QLocale &locale, int currentYear)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    if (const auto time = recognizeTime(trimmed, locale))
        return TypedDate{ std::nullopt, time };
    // A date, then optionally a time of day after a blank or a "T".
    static const QRegularExpression split(
            QStringLiteral("^(.*?\\d\\.?)(?:[ T]+(\\d{1,2}:\\d{2}(?::\\d{2})?\\s*\\S*))?$"));
    const auto parts = split.match(trimmed);
    if (!parts.hasMatch())
        return std::nullopt;
    const auto date = recognizeDate(parts.captured(1), locale, currentYear);
    if (!date)
        return std::nullopt;
    if (parts.captured(2).isEmpty())
        return TypedDate{ date, std::nullopt };
    const auto time = recognizeTime(parts.captured(2), locale);
    if (!time)
        return std::nullopt;
    return TypedDate{ date, time };
}

QDateTime TypedDateTime(const TypedDate &typed, QDate base)
{
    return EventDateTime(typed.date.value_or(base), typed.time.value_or(QTime(0, 0)));
}
