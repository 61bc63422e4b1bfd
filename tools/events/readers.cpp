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

namespace {

// The 8-bit encoding that files of the user's language were written in before UTF-8: on
// Windows (spreadsheets) and on Unix.
QString usualEncoding(QLocale::Language language, bool windows)
{
    switch (language) {
    case QLocale::Polish:
    case QLocale::Czech:
    case QLocale::Slovak:
    case QLocale::Hungarian:
    case QLocale::Slovenian:
    case QLocale::Croatian:
    case QLocale::Romanian:
        return windows ? u"windows-1250"_s : u"ISO-8859-2"_s;
    case QLocale::Russian:
        return windows ? u"windows-1251"_s : u"KOI8-R"_s;
    case QLocale::Ukrainian:
        return windows ? u"windows-1251"_s : u"KOI8-U"_s;
    case QLocale::Bulgarian:
    case QLocale::Serbian:
    case QLocale::Macedonian:
    case QLocale::Belarusian:
        return u"windows-1251"_s;
    case QLocale::Greek:
        return windows ? u"windows-1253"_s : u"ISO-8859-7"_s;
    case QLocale::Turkish:
        return windows ? u"windows-1254"_s : u"ISO-8859-9"_s;
    case QLocale::Lithuanian:
    case QLocale::Latvian:
    case QLocale::Estonian:
        return windows ? u"windows-1257"_s : u"ISO-8859-13"_s;
    case QLocale::Hebrew:
        return windows ? u"windows-1255"_s : u"ISO-8859-8"_s;
    case QLocale::Arabic:
        return windows ? u"windows-1256"_s : u"ISO-8859-6"_s;
    case QLocale::Japanese:
        return windows ? u"Shift_JIS"_s : u"EUC-JP"_s;
    case QLocale::Chinese:
        return u"GB18030"_s;
    case QLocale::Korean:
        return u"EUC-KR"_s;
    default:
        // Windows' Western encoding is Latin-1 with letters where Latin-1 has control codes.
        return u"windows-1252"_s;
    }
}

} // namespace

std::optional<QString> lineText(const QByteArray &bytes, const LineReader &lines, Collector &out,
                                QString *why, bool spreadsheet)
{
    if (auto text = lines.text(bytes))
        return text;
    if (const auto named = lines.named()) {
        *why = u"the line is not %1 text"_s.arg(named->name());
        return std::nullopt;
    }
    const QLocale::Language language = out.options.locale.language();
    const QString name = usualEncoding(language, spreadsheet);
    if (!out.fallback || out.fallback->name() != name)
        out.fallback = std::make_shared<TextDecoder>(name);
    auto text = out.fallback->decode(bytes);
    if (!text) {
        *why = u"the line is neither UTF-8 nor %1 text (--encoding names the file's)"_s.arg(name);
        return std::nullopt;
    }
    out.warn(u"the file is not UTF-8: read as %1, usual for %2 (--encoding names another)"_s.arg(
            name, language == QLocale::C ? u"English"_s : QLocale::languageToString(language)));
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
