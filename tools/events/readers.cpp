// The pieces every format reader uses.

#include "readers.h"

#include "engine/dates.h"

#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace EventReading {

// A month by its English name or three-letter abbreviation, a trailing dot allowed; 0 for none.
int monthFromName(QString word)
{
    if (word.endsWith(u'.'))
        word.chop(1);
    word = word.toLower();
    if (word.size() < 3)
        return 0;
    for (int month = 1; month <= 12; ++month) {
        const QString name = QString::fromLatin1(monthNames[month - 1]);
        if (word == name || word == name.left(3))
            return month;
    }
    return 0;
}

// A number of 1 to `maxDigits` ASCII digits, or -1.
int smallNumber(QStringView text, int maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits)
        return -1;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

// Whether `month`/`day` names a day of some year (29 February included).
bool isDayOfYear(int month, int day)
{
    return month >= 1 && month <= 12 && QDate(2000, month, day).isValid();
}

// The text of UTF-8 bytes; nothing when they are not UTF-8.
std::optional<QString> utf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// A line as a report shows it: one line, not too long, invalid bytes replaced.
QString shown(const QString &text)
{
    QString out = text;
    out.replace(u'\t', u' ').replace(u'\r', u' ').replace(u'\n', u"\\n"_s);
    for (QChar &c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QChar::ReplacementCharacter;
    }
    return out.size() > 120 ? out.left(117) + u"..."_s : out;
}

QString shownBytes(const QByteArray &bytes)
{
    return shown(QString::fromUtf8(bytes));
}

// Why a description cannot be held, or nothing: control characters other than tab and line
// breaks, which SQLite and CSV do not keep as text, and more than the grid's 255 characters.
std::optional<QString> descriptionFault(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r') || u == 0x7f)
            return u"the text holds the control character U+%1"_s.arg(
                    QString::number(u, 16).toUpper().rightJustified(4, u'0'));
    }
    if (text.size() > maxDescription)
        return u"the description is longer than %1 characters"_s.arg(maxDescription);
    return std::nullopt;
}

QString severalDaysWarning(const Tally &tally)
{
    return u"%1 several days, imported on %2 first day only; the first: %3"_s.arg(
            tally.count == 1 ? u"1 event lasts"_s : u"%1 events last"_s.arg(tally.count),
            tally.count == 1 ? u"its"_s : u"each one's"_s, tally.first);
}

// "2026-12-06", "2026-12-06 10:30", "2026-12-06 10:30:00" (or with a "T"); `why` says what is
// wrong with anything else.
std::optional<DateAndTime> isoDateTime(QStringView text, QString *why)
{
    const auto fail = [&](const QString &reason) {
        *why = reason;
        return std::nullopt;
    };
    text = text.trimmed();
    if (text.size() < 10 || text.at(4) != u'-' || text.at(7) != u'-')
        return fail(u"the date is not written as YYYY-MM-DD"_s);
    const int year = smallNumber(text.mid(0, 4), 4);
    const int month = smallNumber(text.mid(5, 2), 2);
    const int day = smallNumber(text.mid(8, 2), 2);
    if (year < 0 || month < 0 || day < 0)
        return fail(u"the date is not written as YYYY-MM-DD"_s);
    const QDate date(year, month, day);
    if (!date.isValid())
        return fail(u"there is no such date"_s);
    if (text.size() == 10)
        return DateAndTime{ EventDateTime(date), false };
    const QStringView rest = text.mid(11);
    const bool separated = text.at(10) == u' ' || text.at(10) == u'T';
    const bool shortForm = rest.size() == 5 && rest.at(2) == u':';
    const bool longForm = rest.size() == 8 && rest.at(2) == u':' && rest.at(5) == u':';
    if (!separated || !(shortForm || longForm))
        return fail(u"the time of day is not written as HH:MM:SS"_s);
    const int hour = smallNumber(rest.mid(0, 2), 2);
    const int minute = smallNumber(rest.mid(3, 2), 2);
    const int second = longForm ? smallNumber(rest.mid(6, 2), 2) : 0;
    const QTime time(hour, minute, second);
    if (hour < 0 || minute < 0 || second < 0 || !time.isValid())
        return fail(u"there is no such time of day"_s);
    return DateAndTime{ EventDateTime(date, time), true };
}

} // namespace EventReading
