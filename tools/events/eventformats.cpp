#include "eventformats.h"

#include "engine/dates.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

namespace {

// ---- Shared pieces

constexpr std::array<const char *, 12> monthNames = { "january", "february", "march",
                                                      "april",   "may",      "june",
                                                      "july",    "august",   "september",
                                                      "october", "november", "december" };

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
    return QDate(2000, month, day).isValid();
}

// The lines of a file as bytes, without their line ends (LF, CRLF or a lone CR at the end),
// a leading UTF-8 byte order mark dropped.
QList<QByteArray> splitLines(const QByteArray &content)
{
    QByteArray text = content;
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast(); // the line end of the last line
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

// The text of a line of UTF-8; nothing when its bytes are not UTF-8.
std::optional<QString> decodeLine(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

const QString notUtf8 = u"the line is not UTF-8 text"_s;

// What a line shows when reported: its text with the invalid bytes replaced.
QString shownText(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

struct DateAndTime
{
    QDateTime value;
    bool hasTime = false;
};

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

// Collects records and problems, with the line each starts on.
class Collector
{
public:
    void add(int line, const EventRecord &record)
    {
        result.records << record;
        result.recordLines << line;
    }
    void bad(int line, const QString &reason, const QString &text)
    {
        result.bad << LineIssue{ line, reason, text };
    }
    void skip(int line, const QString &reason, const QString &text)
    {
        result.skipped << LineIssue{ line, reason, text };
    }
    ReadResult result;
};

// An annual event of a file that gives no year, or a year long past (a birth year), is dated
// on its next day: the reminder keeps annual events on their next occurrence and moves them
// on one year a pass, so a date decades back would be shown as missed for decades.
EventRecord annualEvent(int month, int day, QTime time, bool hasTime, const QString &text,
                        const ReadOptions &options)
{
    return EventRecord{ EventDateTime(NextOccurrence(month, day, options.today), time), hasTime,
                        text, true };
}

// ---- CSV

QByteArray csvField(const QString &text)
{
    const bool quote = text.contains(u'"') || text.contains(u',') || text.contains(u'\n')
            || text.contains(u'\r') || text.startsWith(u' ') || text.endsWith(u' ');
    if (!quote)
        return text.toUtf8();
    return '"' + QString(text).replace(u'"', u"\"\""_s).toUtf8() + '"';
}

struct CsvRow
{
    int line = 0; // where it starts
    int lastLine = 0; // where it ends
    QStringList fields;
    QString error;
};

// Splits RFC 4180 text into rows. Quoted fields keep their line breaks as they are.
QList<CsvRow> csvRows(const QString &text)
{
    QList<CsvRow> rows;
    qsizetype i = 0;
    int line = 1;
    const qsizetype size = text.size();
    while (i < size) {
        CsvRow row;
        row.line = line;
        QString field;
        bool quoted = false; // the field began with a quote
        bool closed = false; // its closing quote has been read
        bool endOfRow = false;
        while (!endOfRow) {
            if (i >= size) {
                if (quoted && !closed && row.error.isEmpty())
                    row.error = u"a quoted field is not closed before the end of the file"_s;
                endOfRow = true;
                break;
            }
            const QChar c = text.at(i);
            if (quoted && !closed) {
                if (c == u'"') {
                    if (i + 1 < size && text.at(i + 1) == u'"') {
                        field += u'"';
                        i += 2;
                    } else {
                        closed = true;
                        ++i;
                    }
                    continue;
                }
                if (c == u'\n')
                    ++line;
                field += c;
                ++i;
                continue;
            }
            if (c == u',') {
                row.fields << field;
                field.clear();
                quoted = closed = false;
                ++i;
            } else if (c == u'\n' || c == u'\r') {
                i += (c == u'\r' && i + 1 < size && text.at(i + 1) == u'\n') ? 2 : 1;
                endOfRow = true;
            } else if (c == u'"' && field.isEmpty() && !quoted) {
                quoted = true;
                ++i;
            } else {
                if (row.error.isEmpty()) {
                    if (closed)
                        row.error = u"text follows the closing quote of a field"_s;
                    else if (c == u'"')
                        row.error = u"a quote inside a field that does not start with one"_s;
                }
                field += c;
                ++i;
            }
        }
        row.fields << field;
        row.lastLine = line;
        rows << row;
        ++line;
    }
    return rows;
}

const QStringList csvColumns = { u"date"_s, u"description"_s, u"annual"_s };

std::optional<bool> yesNo(QString text)
{
    text = text.trimmed().toLower();
    if (text == u"yes" || text == u"true" || text == u"y")
        return true;
    if (text == u"no" || text == u"false" || text == u"n")
        return false;
    return std::nullopt;
}

ReadResult readCsv(const QByteArray &content)
{
    Collector out;
    // Lines that are not UTF-8 are reported as such, and so is every row that takes in one.
    QList<int> badLines; // in ascending order
    const QList<QByteArray> lines = splitLines(content);
    for (int n = 0; n < lines.size(); ++n) {
        if (!decodeLine(lines.at(n)))
            badLines << n + 1;
    }
    QByteArray bytes = content;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    const QList<CsvRow> rows = csvRows(QString::fromUtf8(bytes));

    std::array<int, 3> column = { 0, 1, 2 }; // date, description, annual
    bool first = true;
    for (const CsvRow &row : rows) {
        const QString text = row.fields.join(u',');
        if (row.fields.size() == 1 && row.fields.constFirst().trimmed().isEmpty()
            && row.error.isEmpty())
            continue; // a blank line
        const auto badLine = std::lower_bound(badLines.cbegin(), badLines.cend(), row.line);
        if (badLine != badLines.cend() && *badLine <= row.lastLine) {
            out.bad(*badLine, notUtf8, shownText(lines.at(*badLine - 1)));
            first = false;
            continue;
        }
        if (first) {
            first = false;
            QStringList names;
            for (const QString &field : row.fields)
                names << field.trimmed().toLower();
            if (names.size() == 3 && names.contains(csvColumns[0]) && names.contains(csvColumns[1])
                && names.contains(csvColumns[2])) {
                for (int c = 0; c < 3; ++c)
                    column[c] = int(names.indexOf(csvColumns[c]));
                continue;
            }
        }
        if (!row.error.isEmpty()) {
            out.bad(row.line, row.error, text);
            continue;
        }
        if (row.fields.size() != 3) {
            out.bad(row.line,
                    u"%1 fields where 3 (Date, Description, Annual) were expected"_s.arg(
                            row.fields.size()),
                    text);
            continue;
        }
        QString why;
        const auto date = isoDateTime(row.fields.at(column[0]), &why);
        if (!date) {
            out.bad(row.line, why, text);
            continue;
        }
        const QString description = row.fields.at(column[1]);
        if (description.trimmed().isEmpty()) {
            out.bad(row.line, u"the description is empty"_s, text);
            continue;
        }
        const auto annual = yesNo(row.fields.at(column[2]));
        if (!annual) {
            out.bad(row.line, u"Annual is neither yes nor no"_s, text);
            continue;
        }
        out.add(row.line, EventRecord{ date->value, date->hasTime, description, *annual });
    }
    return out.result;
}

// ---- iCalendar

// Text escaped as RFC 5545 TEXT values are: backslash, semicolon, comma and line breaks.
// Control characters, which a TEXT value cannot hold, are left out.
QString icalText(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        switch (c.unicode()) {
        case u'\\':
            out += u"\\\\"_s;
            break;
        case u';':
            out += u"\\;"_s;
            break;
        case u',':
            out += u"\\,"_s;
            break;
        case u'\r':
            if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            out += u"\\n"_s;
            break;
        case u'\n':
            out += u"\\n"_s;
            break;
        default:
            if ((c.unicode() < 0x20 && c != u'\t') || c.unicode() == 0x7f)
                break;
            out += c;
        }
    }
    return out;
}

QString icalUnescape(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        const QChar next = text.at(++i);
        out += (next == u'n' || next == u'N') ? QChar(u'\n') : next;
    }
    return out;
}

// Appends one content line, folded so that no line is longer than 75 octets, never inside a
// UTF-8 sequence, and ended with CRLF.
void appendFolded(QByteArray &out, const QByteArray &line)
{
    constexpr qsizetype limit = 75;
    qsizetype start = 0;
    qsizetype room = limit;
    while (line.size() - start > room) {
        qsizetype cut = start + room;
        while (cut > start && (uchar(line.at(cut)) & 0xC0) == 0x80)
            --cut; // back to the first byte of the character
        out += line.mid(start, cut - start);
        out += "\r\n ";
        start = cut;
        room = limit - 1; // a continuation line starts with a space
    }
    out += line.mid(start);
    out += "\r\n";
}

QString icalDate(QDate date)
{
    return QString::asprintf("%04d%02d%02d", date.year(), date.month(), date.day());
}

QString icalTime(QTime time)
{
    return QString::asprintf("%02d%02d%02d", time.hour(), time.minute(), time.second());
}

// One content line: its name, its parameters (names upper-cased) and its value.
struct ContentLine
{
    QString name;
    QHash<QString, QString> parameters;
    QString value;
};

std::optional<ContentLine> contentLine(const QString &text)
{
    ContentLine out;
    qsizetype i = 0;
    while (i < text.size() && text.at(i) != u';' && text.at(i) != u':')
        ++i;
    out.name = text.left(i).trimmed().toUpper();
    if (out.name.isEmpty() || i == text.size())
        return std::nullopt;
    while (text.at(i) == u';') {
        const qsizetype nameStart = ++i;
        while (i < text.size() && text.at(i) != u'=' && text.at(i) != u':' && text.at(i) != u';')
            ++i;
        if (i == text.size())
            return std::nullopt;
        const QString name = text.mid(nameStart, i - nameStart).toUpper();
        QString value;
        if (text.at(i) == u'=') {
            ++i;
            // A parameter value is quoted when it holds ':', ';' or ','.
            bool inQuotes = false;
            while (i < text.size() && (inQuotes || (text.at(i) != u';' && text.at(i) != u':'))) {
                if (text.at(i) == u'"')
                    inQuotes = !inQuotes;
                else
                    value += text.at(i);
                ++i;
            }
            if (i == text.size())
                return std::nullopt;
        }
        out.parameters.insert(name, value);
    }
    out.value = text.mid(i + 1);
    return out;
}

struct ICalProperty
{
    int line = 0;
    QString text;
    ContentLine content;
};

struct ICalEvent
{
    int line = 0; // BEGIN:VEVENT
    std::optional<ICalProperty> start;
    std::optional<ICalProperty> summary;
    QList<ICalProperty> rules; // RRULE and RDATE
    bool broken = false; // one of its lines was bad and has been reported
};

// DTSTART as a local date and time: VALUE=DATE (or eight digits), a floating local time, a
// UTC time ("Z"), or a time in a named zone (TZID); the last two are converted to `local`.
std::optional<DateAndTime> icalStart(const ContentLine &line, const QTimeZone &local,
                                     QHash<QByteArray, QTimeZone> &zones, QString *why)
{
    const QString value = line.value.trimmed();
    const QString kind = line.parameters.value(u"VALUE"_s).toUpper();
    const auto fail = [&](const QString &reason) {
        *why = reason;
        return std::nullopt;
    };
    const int year = smallNumber(QStringView(value).mid(0, 4), 4);
    const int month = smallNumber(QStringView(value).mid(4, 2), 2);
    const int day = smallNumber(QStringView(value).mid(6, 2), 2);
    if (value.size() < 8 || year < 0 || month < 0 || day < 0)
        return fail(u"DTSTART is not a date"_s);
    const QDate date(year, month, day);
    if (!date.isValid())
        return fail(u"DTSTART is no such date"_s);
    if (value.size() == 8) {
        if (!kind.isEmpty() && kind != u"DATE")
            return fail(u"DTSTART has no time of day"_s);
        return DateAndTime{ EventDateTime(date), false };
    }
    if (kind == u"DATE")
        return fail(u"DTSTART;VALUE=DATE holds a time of day"_s);
    const bool utc = value.size() == 16 && value.endsWith(u'Z');
    if (value.at(8) != u'T' || (value.size() != 15 && !utc))
        return fail(u"DTSTART is not a date or a date and time"_s);
    const int hour = smallNumber(QStringView(value).mid(9, 2), 2);
    const int minute = smallNumber(QStringView(value).mid(11, 2), 2);
    const int second = smallNumber(QStringView(value).mid(13, 2), 2);
    QTime time(hour, minute, second == 60 ? 59 : second); // a leap second keeps its minute
    if (hour < 0 || minute < 0 || second < 0 || !time.isValid())
        return fail(u"DTSTART is no such time of day"_s);

    QTimeZone zone;
    if (utc) {
        zone = QTimeZone::utc();
    } else if (line.parameters.contains(u"TZID"_s)) {
        QByteArray id = line.parameters.value(u"TZID"_s).toUtf8();
        if (id.startsWith('/'))
            id.remove(0, 1); // a globally unique id names the zone of that name
        // Qt takes an unknown name for a POSIX rule and makes UTC of it: only a zone that is
        // really there, by its IANA name or its Windows one (as Outlook writes), will do.
        if (!zones.contains(id)) {
            QByteArray iana = id;
            if (!QTimeZone::isTimeZoneIdAvailable(iana))
                iana = QTimeZone::windowsIdToDefaultIanaId(id);
            zones.insert(id,
                         QTimeZone::isTimeZoneIdAvailable(iana) ? QTimeZone(iana) : QTimeZone());
        }
        zone = zones.value(id);
        if (!zone.isValid())
            return fail(u"DTSTART names a time zone that is not known here (%1)"_s.arg(
                    QString::fromUtf8(id)));
    } else {
        return DateAndTime{ EventDateTime(date, time), true }; // floating: local as it stands
    }
    const QDateTime there(date, time, zone);
    const QDateTime here = there.toTimeZone(local);
    return DateAndTime{ EventDateTime(here.date(), here.time()), true };
}

// Whether RRULE says "every year on the day of DTSTART" and nothing more.
bool plainYearly(const QString &rule, QDate start)
{
    bool yearly = false;
    for (const QString &part : rule.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype equals = part.indexOf(u'=');
        const QString key = part.left(equals).trimmed().toUpper();
        const QString value = part.mid(equals + 1).trimmed().toUpper();
        if (key == u"FREQ")
            yearly = value == u"YEARLY";
        else if (key == u"INTERVAL" && value == u"1")
            continue;
        else if (key == u"BYMONTH" && value == QString::number(start.month()))
            continue;
        else if (key == u"BYMONTHDAY" && value == QString::number(start.day()))
            continue;
        else if (key != u"WKST")
            return false;
    }
    return yearly;
}

void finishEvent(const ICalEvent &event, const ReadOptions &options,
                 QHash<QByteArray, QTimeZone> &zones, Collector &out)
{
    if (event.broken)
        return;
    const QString summary = event.summary ? icalUnescape(event.summary->content.value) : QString();
    const QString shown = u"VEVENT %1"_s.arg(summary.isEmpty() ? u"without SUMMARY"_s : summary);
    if (!event.start) {
        out.skip(event.line, u"the event has no date (no DTSTART)"_s, shown);
        return;
    }
    QString why;
    const auto start = icalStart(event.start->content, options.localZone, zones, &why);
    if (!start) {
        out.bad(event.start->line, why, event.start->text);
        return;
    }
    bool annual = false;
    for (const ICalProperty &rule : event.rules) {
        if (rule.content.name != u"RRULE" || annual
            || !plainYearly(rule.content.value, start->value.date())) {
            out.skip(rule.line, u"the event repeats otherwise than once a year"_s, rule.text);
            return;
        }
        annual = true;
    }
    if (summary.trimmed().isEmpty()) {
        out.bad(event.line, u"the event has no SUMMARY"_s, shown);
        return;
    }
    out.add(event.line, EventRecord{ start->value, start->hasTime, summary, annual });
}

ReadResult readICalendar(const QByteArray &content, const ReadOptions &options)
{
    Collector out;
    // Unfolded on the bytes: a folding writer may have cut inside a UTF-8 sequence.
    struct Logical
    {
        int line;
        QByteArray bytes;
    };
    QList<Logical> logical;
    const QList<QByteArray> lines = splitLines(content);
    logical.reserve(lines.size());
    for (int n = 0; n < lines.size(); ++n) {
        const QByteArray &line = lines.at(n);
        if ((line.startsWith(' ') || line.startsWith('\t')) && !logical.isEmpty())
            logical.last().bytes += line.mid(1);
        else
            logical << Logical{ n + 1, line };
    }

    QHash<QByteArray, QTimeZone> zones; // by TZID
    QStringList stack; // open components, innermost last
    std::optional<ICalEvent> event;
    bool sawCalendar = false;
    for (const Logical &entry : logical) {
        const auto decoded = decodeLine(entry.bytes);
        const QString shown = decoded ? *decoded : shownText(entry.bytes);
        const auto reject = [&](const QString &reason) {
            out.bad(entry.line, reason, shown);
            if (event)
                event->broken = true;
        };
        if (!decoded) {
            reject(notUtf8);
            continue;
        }
        if (decoded->trimmed().isEmpty())
            continue;
        const auto line = contentLine(*decoded);
        if (!line) {
            reject(u"not an iCalendar content line (NAME:value)"_s);
            continue;
        }
        if (line->name == u"BEGIN") {
            const QString component = line->value.trimmed().toUpper();
            if (stack.isEmpty() && component != u"VCALENDAR") {
                reject(u"BEGIN:%1 outside BEGIN:VCALENDAR"_s.arg(component));
                continue;
            }
            sawCalendar = true;
            stack << component;
            if (component == u"VEVENT" && stack.size() == 2)
                event = ICalEvent{ entry.line, {}, {}, {}, false };
            continue;
        }
        if (stack.isEmpty()) {
            reject(u"a line outside BEGIN:VCALENDAR and END:VCALENDAR"_s);
            continue;
        }
        if (line->name == u"END") {
            const QString component = line->value.trimmed().toUpper();
            if (component != stack.constLast()) {
                reject(u"END:%1 where END:%2 was expected"_s.arg(component, stack.constLast()));
                continue;
            }
            stack.removeLast();
            if (component == u"VEVENT" && stack.size() == 1 && event) {
                finishEvent(*event, options, zones, out);
                event.reset();
            }
            continue;
        }
        // Only the event's own properties count, not those of an alarm inside it.
        if (!event || stack.size() != 2)
            continue;
        const ICalProperty property{ entry.line, *decoded, *line };
        if (line->name == u"DTSTART" && !event->start)
            event->start = property;
        else if (line->name == u"SUMMARY" && !event->summary)
            event->summary = property;
        else if (line->name == u"RRULE" || line->name == u"RDATE")
            event->rules << property;
    }
    if (!sawCalendar) {
        out.bad(1, u"the file does not start with BEGIN:VCALENDAR"_s,
                lines.isEmpty() ? QString() : shownText(lines.constFirst()));
    } else if (!stack.isEmpty()) {
        const int last = logical.isEmpty() ? 1 : logical.constLast().line;
        out.bad(last, u"the file ends before END:%1"_s.arg(stack.constLast()),
                shownText(logical.isEmpty() ? QByteArray() : logical.constLast().bytes));
    }
    return out.result;
}

// ---- Line-based formats

// Reads a file line by line: `readLine` is handed each line of UTF-8 text with its number.
template<typename ReadLine>
ReadResult readLines(const QByteArray &content, ReadLine readLine)
{
    Collector out;
    const QList<QByteArray> lines = splitLines(content);
    for (int n = 0; n < lines.size(); ++n) {
        const auto text = decodeLine(lines.at(n));
        if (!text)
            out.bad(n + 1, notUtf8, shownText(lines.at(n)));
        else
            readLine(n + 1, *text, out);
    }
    return out.result;
}

// remind: "REM 7 Dec 2026 MSG text" (the date's parts in any order), "REM 2026-12-07 MSG
// text", each optionally with "AT 10:30"; without a year the event is annual. A line ended
// by a backslash goes on on the next one.
ReadResult readRemind(const QByteArray &content, const ReadOptions &options)
{
    QString pending;
    int pendingLine = 0;
    return readLines(content, [&](int number, const QString &line, Collector &out) {
        QString text = line;
        if (!pending.isEmpty()) {
            text = pending + text;
            number = pendingLine;
            pending.clear();
        }
        if (text.endsWith(u'\\')) {
            pending = text.chopped(1);
            pendingLine = number;
            return;
        }
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#') || trimmed.startsWith(u';'))
            return;
        const auto fail = [&](const QString &reason) { out.bad(number, reason, text); };

        const QStringList words = trimmed.simplified().split(u' ');
        if (words.constFirst().compare(u"REM"_s, Qt::CaseInsensitive) != 0)
            return fail(u"only REM lines can be read"_s);
        qsizetype msg = -1;
        for (qsizetype w = 1; w < words.size(); ++w) {
            if (words.at(w).compare(u"MSG"_s, Qt::CaseInsensitive) == 0) {
                msg = w;
                break;
            }
        }
        if (msg < 0)
            return fail(u"only REM ... MSG reminders can be read"_s);

        int year = 0, month = 0, day = 0;
        std::optional<QTime> time;
        for (qsizetype w = 1; w < msg; ++w) {
            QString word = words.at(w);
            if (word.compare(u"AT"_s, Qt::CaseInsensitive) == 0 && w + 1 < msg && !time) {
                time = QTime::fromString(words.at(++w), u"H:mm"_s);
                if (!time->isValid())
                    return fail(u"AT is not followed by a time of day (HH:MM)"_s);
                continue;
            }
            if (const qsizetype at = word.indexOf(u'@'); at > 0 && !time) {
                time = QTime::fromString(word.mid(at + 1), u"H:mm"_s);
                if (!time->isValid())
                    return fail(u"\"%1\" has no time of day after @"_s.arg(word));
                word.truncate(at);
            }
            if (word.size() == 10 && (word.at(4) == u'-' || word.at(4) == u'/')
                && word.at(7) == word.at(4) && !year && !month && !day) {
                year = smallNumber(QStringView(word).mid(0, 4), 4);
                month = smallNumber(QStringView(word).mid(5, 2), 2);
                day = smallNumber(QStringView(word).mid(8, 2), 2);
                if (year < 0 || month < 1 || day < 1 || !QDate(year, month, day).isValid())
                    return fail(u"\"%1\" is no such date"_s.arg(word));
            } else if (const int named = monthFromName(word); named && !month) {
                month = named;
            } else if (const int n = smallNumber(word, 2); n >= 1 && n <= 31 && !day) {
                day = n;
            } else if (const int y = smallNumber(word, 4); word.size() == 4 && y > 0 && !year) {
                year = y;
            } else {
                return fail(u"\"%1\" is not part of a plain date (only a day, a month, an "
                            "optional year and AT time can be read)"_s.arg(word));
            }
        }
        if (!month || !day)
            return fail(u"the reminder does not name a day and a month"_s);
        if (year ? !QDate(year, month, day).isValid() : !isDayOfYear(month, day))
            return fail(u"there is no such date"_s);
        // The body after MSG; "%%" is remind's way of writing a percent sign.
        static const QRegularExpression msgWord(u"(?i)\\bMSG\\b\\s*"_s);
        const auto match = msgWord.match(text);
        QString body = text.mid(match.capturedEnd()).trimmed();
        body.replace(u"%%"_s, u"%"_s);
        if (body.isEmpty())
            return fail(u"the reminder has no text after MSG"_s);
        const QTime at = time.value_or(QTime(0, 0));
        if (year)
            out.add(number,
                    EventRecord{ EventDateTime(QDate(year, month, day), at), bool(time), body,
                                 false });
        else
            out.add(number, annualEvent(month, day, at, bool(time), body, options));
    });
}

// BSD calendar: "12/07<TAB>text" or "Dec 7<TAB>text" ("7 Dec", "December 7", "Dec. 7"), each
// an annual event; a line starting with a tab goes on with the text of the one before. C
// comments, preprocessor lines and settings (LANG=...) hold no events; #include is reported.
// "//" is not taken for a comment: descriptions hold web addresses.
ReadResult readCalendar(const QByteArray &content, const ReadOptions &options)
{
    bool inComment = false;
    // The record a tab-led line continues: -1 after a line that gave none.
    qsizetype last = -1;
    bool lastWasBad = false;
    return readLines(content, [&](int number, const QString &line, Collector &out) {
        QString text = line;
        // C comments, as the preprocessor takes them out.
        QString kept;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (inComment) {
                if (text.mid(i, 2) == u"*/") {
                    inComment = false;
                    ++i;
                }
            } else if (text.mid(i, 2) == u"/*") {
                inComment = true;
                ++i;
            } else {
                kept += text.at(i);
            }
        }
        if (kept.trimmed().isEmpty())
            return;
        if (kept.startsWith(u'\t')) {
            const QString more = kept.trimmed();
            if (last >= 0) {
                out.result.records[last].description += u'\n' + more;
            } else if (lastWasBad) {
                out.bad(number, u"goes on with a line that could not be read"_s, text);
            } else {
                out.bad(number, u"a line starting with a tab, with no event before it"_s, text);
            }
            return;
        }
        last = -1;
        lastWasBad = false;
        const QString trimmed = kept.trimmed();
        if (trimmed.startsWith(u'#')) {
            if (trimmed.mid(1).trimmed().startsWith(u"include"_s))
                out.skip(number, u"an included file is not read"_s, text);
            return;
        }
        const qsizetype tab = kept.indexOf(u'\t');
        if (tab < 0) {
            static const QRegularExpression setting(u"^[A-Za-z_]+=.*$"_s);
            if (setting.match(trimmed).hasMatch())
                return;
            lastWasBad = true;
            return out.bad(number, u"no tab between the date and the text"_s, text);
        }
        const QString date = kept.left(tab).trimmed();
        const QString body = kept.mid(tab + 1).trimmed();
        int month = 0, day = 0;
        const QStringList parts = date.simplified().split(u' ', Qt::SkipEmptyParts);
        if (parts.size() == 1 && date.count(u'/') == 1) {
            month = smallNumber(QStringView(date).left(date.indexOf(u'/')), 2);
            day = smallNumber(QStringView(date).mid(date.indexOf(u'/') + 1), 2);
        } else if (parts.size() == 2) {
            const bool monthFirst = monthFromName(parts.at(0)) > 0;
            month = monthFromName(parts.at(monthFirst ? 0 : 1));
            day = smallNumber(parts.at(monthFirst ? 1 : 0), 2);
        }
        if (month < 1 || month > 12 || day < 1) {
            lastWasBad = true;
            return out.bad(number,
                           u"\"%1\" is not a fixed month and day (12/07 or Dec 7)"_s.arg(date),
                           text);
        }
        if (!isDayOfYear(month, day)) {
            lastWasBad = true;
            return out.bad(number, u"there is no such date"_s, text);
        }
        if (body.isEmpty()) {
            lastWasBad = true;
            return out.bad(number, u"the description is empty"_s, text);
        }
        last = out.result.records.size();
        out.add(number, annualEvent(month, day, QTime(0, 0), false, body, options));
    });
}

// birthday: "name=DD/MM[/YYYY] [flags]". A birthday (bd, the default) or an anniversary (ann)
// is annual; an event (ev) is one-off when it has a year, annual when not. "wN" (how many
// days ahead to warn) means nothing here; multi-day events ("to", "for") cannot be held.
ReadResult readBirthday(const QByteArray &content, const ReadOptions &options)
{
    return readLines(content, [&](int number, const QString &text, Collector &out) {
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#'))
            return;
        const auto fail = [&](const QString &reason) { out.bad(number, reason, text); };
        if (trimmed.startsWith(u'&')) {
            if (trimmed.startsWith(u"&include"_s))
                return out.skip(number, u"an included file is not read"_s, text);
            return fail(u"an unknown directive"_s);
        }
        const qsizetype equals = trimmed.lastIndexOf(u'=');
        if (equals < 0)
            return fail(u"not a \"name=DD/MM/YYYY\" line"_s);
        const QString name = trimmed.left(equals).trimmed();
        const QStringList words =
                trimmed.mid(equals + 1).simplified().split(u' ', Qt::SkipEmptyParts);
        if (name.isEmpty())
            return fail(u"the name is empty"_s);
        if (words.isEmpty())
            return fail(u"there is no date after '='"_s);
        const QStringList date = words.constFirst().split(u'/');
        const int day = date.size() >= 2 ? smallNumber(date.at(0), 2) : -1;
        const int month = date.size() >= 2 ? smallNumber(date.at(1), 2) : -1;
        int year = 0;
        if (date.size() == 3) {
            year = date.at(2).size() == 2 || date.at(2).size() == 4 ? smallNumber(date.at(2), 4)
                                                                    : -1;
            if (date.at(2).size() == 2 && year >= 0)
                year += 1900; // birthday reads two-digit years as 19xx
        }
        if (day < 1 || month < 1 || month > 12 || year < 0 || date.size() > 3)
            return fail(u"\"%1\" is not a date written DD/MM or DD/MM/YYYY"_s.arg(words.at(0)));
        if (year ? !QDate(year, month, day).isValid() : !isDayOfYear(month, day))
            return fail(u"there is no such date"_s);
        QString kind;
        for (qsizetype w = 1; w < words.size(); ++w) {
            const QString &flag = words.at(w);
            if (flag == u"bd" || flag == u"ann" || flag == u"ev") {
                if (!kind.isEmpty())
                    return fail(u"both %1 and %2 are given"_s.arg(kind, flag));
                kind = flag;
            } else if (flag.startsWith(u'w') && smallNumber(flag.mid(1), 3) >= 0) {
                continue;
            } else if (flag.startsWith(u"to"_s) || flag.startsWith(u"for"_s)) {
                return fail(u"events lasting several days cannot be read"_s);
            } else {
                return fail(u"\"%1\" is not a flag of birthday files"_s.arg(flag));
            }
        }
        if (kind == u"ev" && year)
            out.add(number,
                    EventRecord{ EventDateTime(QDate(year, month, day)), false, name, false });
        else
            out.add(number, annualEvent(month, day, QTime(0, 0), false, name, options));
    });
}

std::optional<EventFormat> formatFromFileName(const QString &fileName)
{
    const QFileInfo info(fileName);
    const QString name = info.fileName().toLower();
    const QString suffix = info.suffix().toLower();
    if (suffix == u"csv")
        return EventFormat::Csv;
    if (suffix == u"ics" || suffix == u"ical" || suffix == u"icalendar" || suffix == u"ifb")
        return EventFormat::ICalendar;
    if (suffix == u"rem" || suffix == u"remind" || name == u".reminders")
        return EventFormat::Remind;
    if (name == u"calendar" || name.startsWith(u"calendar."_s))
        return EventFormat::Calendar;
    if (name == u".birthdays" || suffix == u"birthdays")
        return EventFormat::Birthday;
    return std::nullopt;
}

} // namespace

QString FormatName(EventFormat format)
{
    switch (format) {
    case EventFormat::Csv:
        return u"csv"_s;
    case EventFormat::ICalendar:
        return u"ics"_s;
    case EventFormat::Remind:
        return u"remind"_s;
    case EventFormat::Calendar:
        return u"calendar"_s;
    case EventFormat::Birthday:
        return u"birthday"_s;
    }
    return QString();
}

std::optional<EventFormat> FormatFromName(const QString &name)
{
    for (const auto format : { EventFormat::Csv, EventFormat::ICalendar, EventFormat::Remind,
                               EventFormat::Calendar, EventFormat::Birthday }) {
        if (name.compare(FormatName(format), Qt::CaseInsensitive) == 0)
            return format;
    }
    return std::nullopt;
}

QDate NextOccurrence(int month, int day, QDate from)
{
    // Within eight years every day of the year comes round, 29 February included.
    for (int year = from.year(); year < from.year() + 8; ++year) {
        const QDate date(year, month, day);
        if (date.isValid() && date >= from)
            return date;
    }
    return QDate();
}

QString RecordDateText(const EventRecord &record)
{
    const QString stored = StoredDateText(record.date);
    return record.date.time() == QTime(0, 0) ? stored.left(10) : stored;
}

ReadResult ReadEvents(EventFormat format, const QByteArray &content, const ReadOptions &options)
{
    ReadResult result;
    switch (format) {
    case EventFormat::Csv:
        result = readCsv(content);
        break;
    case EventFormat::ICalendar:
        result = readICalendar(content, options);
        break;
    case EventFormat::Remind:
        result = readRemind(content, options);
        break;
    case EventFormat::Calendar:
        result = readCalendar(content, options);
        break;
    case EventFormat::Birthday:
        result = readBirthday(content, options);
        break;
    }
    // Problems found at the end of the file (a missing END) are reported in line order too.
    const auto byLine = [](const LineIssue &a, const LineIssue &b) { return a.line < b.line; };
    std::stable_sort(result.bad.begin(), result.bad.end(), byLine);
    std::stable_sort(result.skipped.begin(), result.skipped.end(), byLine);
    return result;
}

std::optional<EventFormat> GuessFormat(const QByteArray &content, const QString &fileName)
{
    const std::optional<EventFormat> hint = formatFromFileName(fileName);
    QByteArray head = content.left(64 * 1024);
    if (head.startsWith("\xEF\xBB\xBF"))
        head.remove(0, 3);
    if (head.trimmed().left(15).toUpper() == "BEGIN:VCALENDAR")
        return EventFormat::ICalendar;
    if (head.size() < content.size() && head.lastIndexOf('\n') > 0)
        head.truncate(head.lastIndexOf('\n') + 1); // whole lines only

    // The line-based formats hardly ever read each other's lines: the one that reads the most
    // events from the head of the file is the one.
    ReadOptions options;
    options.today = QDate(2000, 1, 1);
    options.localZone = QTimeZone::utc();
    std::optional<EventFormat> best;
    qsizetype bestCount = 0;
    for (const auto format :
         { EventFormat::Csv, EventFormat::Remind, EventFormat::Birthday, EventFormat::Calendar }) {
        const qsizetype count = ReadEvents(format, head, options).records.size();
        if (count > bestCount || (count == bestCount && count > 0 && format == hint)) {
            best = format;
            bestCount = count;
        }
    }
    if (best)
        return best;
    // A CSV file of no events still shows its header.
    const QList<QByteArray> firstLines = splitLines(head.left(256));
    if (!firstLines.isEmpty()
        && firstLines.constFirst().trimmed().toLower() == "date,description,annual")
        return EventFormat::Csv;
    return hint;
}

QByteArray WriteCsv(const QList<EventRecord> &records)
{
    QByteArray out = "Date,Description,Annual\r\n";
    out.reserve(records.size() * 48);
    for (const EventRecord &record : records) {
        out += RecordDateText(record).toLatin1();
        out += ',';
        out += csvField(record.description);
        out += record.annual ? ",yes\r\n" : ",no\r\n";
    }
    return out;
}

QByteArray WriteICalendar(const QList<EventRecord> &records, const QDateTime &stamp)
{
    const QDateTime utc = stamp.toUTC();
    const QByteArray dtstamp =
            "DTSTAMP:" + (icalDate(utc.date()) + u'T' + icalTime(utc.time()) + u'Z').toLatin1();
    QByteArray out;
    out.reserve(records.size() * 200);
    appendFolded(out, "BEGIN:VCALENDAR");
    appendFolded(out, "VERSION:2.0");
    appendFolded(out, "PRODID:-//Datebell//datebell-events " DATEBELL_EVENTS_VERSION "//EN");
    appendFolded(out, "CALSCALE:GREGORIAN");
    // The same event always gets the same UID, so that a calendar that imports a later export
    // updates what it has; identical rows are told apart by their count.
    QHash<QByteArray, int> seen;
    for (const EventRecord &record : records) {
        const QString stored = StoredDateText(record.date);
        const QByteArray hash =
                QCryptographicHash::hash((stored + u'\x1f' + record.description + u'\x1f'
                                          + (record.annual ? u"-1"_s : u"0"_s))
                                                 .toUtf8(),
                                         QCryptographicHash::Sha1)
                        .toHex();
        const int occurrence = ++seen[hash];
        const QDate date = record.date.date();
        const QTime time = record.date.time();
        appendFolded(out, "BEGIN:VEVENT");
        appendFolded(out, "UID:" + hash + '-' + QByteArray::number(occurrence) + "@datebell");
        appendFolded(out, dtstamp);
        if (time == QTime(0, 0))
            appendFolded(out, "DTSTART;VALUE=DATE:" + icalDate(date).toLatin1());
        else
            appendFolded(out, "DTSTART:" + (icalDate(date) + u'T' + icalTime(time)).toLatin1());
        appendFolded(out, "SUMMARY:" + icalText(record.description).toUtf8());
        if (record.annual)
            appendFolded(out, "RRULE:FREQ=YEARLY");
        appendFolded(out, "END:VEVENT");
    }
    appendFolded(out, "END:VCALENDAR");
    return out;
}
