#include "eventformats.h"

#include "engine/dates.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QRegularExpression>
#include <QStringDecoder>

#include <array>
#include <cstring>
#include <libical/ical.h>

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
    return month >= 1 && month <= 12 && QDate(2000, month, day).isValid();
}

// The longest line read; the rest of a longer one is passed over and the line reported.
constexpr qsizetype maxLineBytes = 1 << 20;
// The longest description the grid takes.
constexpr qsizetype maxDescription = 255;

// Lines of a file, read a block at a time. A UTF-8 byte order mark is dropped; a file that
// starts with a UTF-16 one (or shows UTF-16 by the zero bytes of its first character) is read
// as UTF-16 and handed on as UTF-8.
class LineReader
{
public:
    explicit LineReader(QIODevice &input) : m_input(input)
    {
        const QByteArray head = m_input.peek(4);
        const auto utf16 = [&](QStringDecoder::Encoding encoding, int bom) {
            m_decoder = QStringDecoder(encoding);
            m_input.skip(bom);
            m_utf16 = true;
        };
        if (head.startsWith("\xEF\xBB\xBF"))
            m_input.skip(3);
        else if (head.startsWith("\xFF\xFE"))
            utf16(QStringDecoder::Utf16LE, 2);
        else if (head.startsWith("\xFE\xFF"))
            utf16(QStringDecoder::Utf16BE, 2);
        else if (head.size() >= 2 && head.at(0) != 0 && head.at(1) == 0)
            utf16(QStringDecoder::Utf16LE, 0);
        else if (head.size() >= 2 && head.at(0) == 0 && head.at(1) != 0)
            utf16(QStringDecoder::Utf16BE, 0);
    }

    // The next line without its line end; false at the end of the input.
    bool next(QByteArray &line)
    {
        m_tooLong = false;
        for (;;) {
            const char *start = m_buffer.constData() + m_pos;
            const auto *end = static_cast<const char *>(
                    std::memchr(start, '\n', size_t(m_buffer.size() - m_pos)));
            if (end || m_atEnd || m_buffer.size() - m_pos > maxLineBytes) {
                const qsizetype length = end ? end - start : m_buffer.size() - m_pos;
                if (!end && length == 0)
                    return false;
                const bool cut = !end && !m_atEnd;
                line = QByteArray(start, std::min(length, maxLineBytes));
                m_crlf = line.endsWith('\r');
                if (m_crlf)
                    line.chop(1);
                m_pos += length + (end ? 1 : 0);
                ++m_number;
                if (cut) {
                    m_tooLong = true;
                    skipRestOfLine();
                }
                return true;
            }
            fill();
        }
    }

    int number() const { return m_number; }
    bool crlf() const { return m_crlf; } // the last line ended with CRLF
    bool tooLong() const { return m_tooLong; }
    bool utf16() const { return m_utf16; }
    bool readError() const
    {
        const auto *file = qobject_cast<const QFileDevice *>(&m_input);
        return file && file->error() != QFileDevice::NoError;
    }

private:
    void fill()
    {
        if (m_pos > 0) {
            m_buffer.remove(0, m_pos);
            m_pos = 0;
        }
        const QByteArray chunk = m_input.read(1 << 16);
        if (chunk.isEmpty()) {
            m_atEnd = true;
            return;
        }
        m_buffer += m_utf16 ? QString(m_decoder.decode(chunk)).toUtf8() : chunk;
    }

    void skipRestOfLine()
    {
        for (;;) {
            const qsizetype end = m_buffer.indexOf('\n', m_pos);
            if (end >= 0) {
                m_pos = end + 1;
                return;
            }
            m_pos = m_buffer.size();
            fill();
            if (m_atEnd)
                return;
        }
    }

    QIODevice &m_input;
    QStringDecoder m_decoder;
    bool m_utf16 = false;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_atEnd = false;
    int m_number = 0;
    bool m_crlf = false;
    bool m_tooLong = false;
};

// The text of UTF-8 bytes; nothing when they are not UTF-8.
std::optional<QString> utf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

const QString notUtf8 = u"the line is not UTF-8 text"_s;
const QString longLine = u"the line is longer than 1 MiB"_s;

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

// Where readers put what they find: records go on to the sink once checked, and annual
// events dated before today move to their next occurrence, as the reminder keeps them (it
// moves an annual event on one year a pass, so a birth year would show it missed for decades).
class Collector
{
public:
    Collector(const ReadOptions &options, const RecordSink &sink) : options(options), sink(sink) { }

    void add(int line, EventRecord record)
    {
        if (const auto fault = descriptionFault(record.description))
            return unreadable(line, record.description, *fault);
        if (record.annual && record.date.date() < options.today) {
            const QDate date = record.date.date();
            record.date = EventDateTime(NextOccurrence(date.month(), date.day(), options.today),
                                        record.date.time());
        }
        ++report.events;
        sink(record);
    }
    void unreadable(int line, const QString &event, const QString &reason)
    {
        if (report.unreadableCount++ < ReadReport::listed)
            report.unreadable << NotImported{ file, line, shown(event), reason };
    }
    void skip(int line, const QString &event, const QString &reason)
    {
        if (report.skippedCount++ < ReadReport::listed)
            report.skipped << NotImported{ file, line, shown(event), reason };
    }
    void warn(const QString &text)
    {
        const QString line = file.isEmpty() ? text : file + u": "_s + text;
        if (!report.warnings.contains(line))
            report.warnings << line;
    }
    // What an included file's reading found, in this report.
    void merge(const ReadReport &other)
    {
        report.unreadable << other.unreadable.mid(0, ReadReport::listed - report.unreadable.size());
        report.skipped << other.skipped.mid(0, ReadReport::listed - report.skipped.size());
        report.unreadableCount += other.unreadableCount;
        report.skippedCount += other.skippedCount;
        report.warnings << other.warnings;
        report.events += other.events;
    }

    const ReadOptions &options;
    const RecordSink &sink;
    QString file; // empty for the file named on the command line
    QStringList including; // the files whose include lines led here
    ReadReport report;
};

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

// ---- CSV

QByteArray csvField(const QString &text)
{
    const bool quote = text.contains(u'"') || text.contains(u',') || text.contains(u'\n')
            || text.contains(u'\r') || text.startsWith(u' ') || text.endsWith(u' ');
    if (!quote)
        return text.toUtf8();
    return '"' + QString(text).replace(u'"', u"\"\""_s).toUtf8() + '"';
}

// The fields of one RFC 4180 row, its line breaks inside quotes kept; `error` says what is
// wrong with a row that is not well formed.
QStringList csvFields(const QString &text, QString *error)
{
    QStringList fields;
    QString field;
    bool quoted = false; // the field began with a quote
    bool closed = false; // its closing quote has been read
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted && !closed) {
            if (c != u'"')
                field += c;
            else if (i + 1 < text.size() && text.at(i + 1) == u'"')
                field += text.at(++i);
            else
                closed = true;
        } else if (c == u',') {
            fields << field;
            field.clear();
            quoted = closed = false;
        } else if (c == u'"' && field.isEmpty() && !quoted) {
            quoted = true;
        } else {
            if (error->isEmpty() && closed)
                *error = u"text follows the closing quote of a field"_s;
            else if (error->isEmpty() && c == u'"')
                *error = u"a quote inside a field that does not start with one"_s;
            field += c;
        }
    }
    if (quoted && !closed && error->isEmpty())
        *error = u"a quoted field is not closed"_s;
    fields << field;
    return fields;
}

std::optional<bool> yesNo(QString text)
{
    text = text.trimmed().toLower();
    if (text == u"yes" || text == u"true" || text == u"y")
        return true;
    if (text == u"no" || text == u"false" || text == u"n")
        return false;
    return std::nullopt;
}

void readCsv(LineReader &lines, Collector &out)
{
    const QStringList columns = { u"date"_s, u"description"_s, u"annual"_s };
    std::array<int, 3> column = { 0, 1, 2 }; // date, description, annual
    bool first = true;
    QByteArray line;
    while (lines.next(line)) {
        const int number = lines.number();
        if (lines.tooLong()) {
            out.unreadable(number, QString::fromUtf8(line), longLine);
            continue;
        }
        // A quoted field may hold line breaks: the row goes on until its quotes pair up.
        QByteArray row = line;
        while (row.count('"') % 2 != 0 && row.size() <= maxLineBytes) {
            const QByteArray lineEnd = lines.crlf() ? "\r\n" : "\n";
            if (!lines.next(line))
                break;
            row += lineEnd + line;
        }
        const auto text = utf8(row);
        if (!text) {
            out.unreadable(number, shownBytes(row), notUtf8);
            first = false;
            continue;
        }
        if (text->trimmed().isEmpty())
            continue; // a blank line
        QString error;
        const QStringList fields = csvFields(*text, &error);
        if (first) {
            first = false;
            QStringList names;
            for (const QString &field : fields)
                names << field.trimmed().toLower();
            if (names.size() == 3 && names.contains(columns[0]) && names.contains(columns[1])
                && names.contains(columns[2])) {
                for (int c = 0; c < 3; ++c)
                    column[c] = int(names.indexOf(columns[c]));
                continue;
            }
        }
        if (!error.isEmpty()) {
            out.unreadable(number, *text, error);
            continue;
        }
        if (fields.size() != 3) {
            out.unreadable(number, *text,
                           u"%1 fields where 3 (Date, Description, Annual) were expected"_s.arg(
                                   fields.size()));
            continue;
        }
        QString why;
        const auto date = isoDateTime(fields.at(column[0]), &why);
        if (!date) {
            out.unreadable(number, *text, why);
            continue;
        }
        const auto annual = yesNo(fields.at(column[2]));
        if (!annual) {
            out.unreadable(number, *text, u"Annual is neither yes nor no"_s);
            continue;
        }
        out.add(number, EventRecord{ date->value, date->hasTime, fields.at(column[1]), *annual });
    }
}

// ---- iCalendar, through libical

// A time zone's offset from UTC at an instant, whichever kind of zone it is.
class Zone
{
public:
    virtual ~Zone() = default;
    virtual int offsetAt(qint64 utcSeconds) const = 0;

    // The instant of a wall-clock time in this zone, as RFC 5545 reads one: a time in a gap
    // takes the offset from before the gap, an ambiguous one its first occurrence.
    qint64 instantOf(const QDateTime &wall) const
    {
        const qint64 local = wall.toSecsSinceEpoch(); // the wall time read as UTC
        const int before = offsetAt(local - 86400);
        const int after = offsetAt(local + 86400);
        const qint64 first = local - before;
        const qint64 second = local - after;
        const bool firstHolds = offsetAt(first) == before;
        const bool secondHolds = offsetAt(second) == after;
        if (firstHolds && secondHolds)
            return std::min(first, second);
        if (secondHolds)
            return second;
        return first; // holds, or the time is in a gap
    }
};

class QtZone : public Zone
{
public:
    explicit QtZone(QTimeZone zone) : m_zone(std::move(zone)) { }
    int offsetAt(qint64 utcSeconds) const override
    {
        return m_zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(utcSeconds, QTimeZone::utc()));
    }

private:
    QTimeZone m_zone;
};

// A zone that a VTIMEZONE of the file defines.
class FileZone : public Zone
{
public:
    explicit FileZone(icalcomponent *vtimezone) : m_zone(icaltimezone_new())
    {
        icaltimezone_set_component(m_zone, vtimezone); // takes the component
    }
    ~FileZone() override { icaltimezone_free(m_zone, 1); }
    FileZone(const FileZone &) = delete;
    FileZone &operator=(const FileZone &) = delete;
    int offsetAt(qint64 utcSeconds) const override
    {
        icaltimetype time = icaltime_from_timet_with_zone(time_t(utcSeconds), 0,
                                                          icaltimezone_get_utc_timezone());
        int daylight = 0;
        return icaltimezone_get_utc_offset_of_utc_time(m_zone, &time, &daylight);
    }

private:
    icaltimezone *m_zone;
};

// A zone of the system's tz database by its name, links ("US/Pacific", "Etc/UTC") included.
// Qt takes a name it does not know for a POSIX rule and makes UTC of it, so the name must be
// a file of the database.
std::optional<QTimeZone> systemZone(const QString &name)
{
    static const QRegularExpression form(u"^[A-Za-z][A-Za-z0-9_+\\-]*(/[A-Za-z0-9_+\\-]+)*$"_s);
    if (!form.match(name).hasMatch())
        return std::nullopt;
    const QByteArray id = name.toUtf8();
    if (QTimeZone::isTimeZoneIdAvailable(id))
        return QTimeZone(id);
    QStringList folders = { u"/usr/share/zoneinfo"_s };
    if (const QString tzdir = qEnvironmentVariable("TZDIR"); !tzdir.isEmpty())
        folders.prepend(tzdir);
    for (const QString &folder : folders) {
        QFile file(folder + u'/' + name);
        if (file.open(QIODevice::ReadOnly) && file.read(4) == "TZif") {
            const QTimeZone zone(id);
            if (zone.isValid())
                return zone;
        }
    }
    return std::nullopt;
}

struct ICalFile
{
    QHash<QString, std::shared_ptr<Zone>> zones; // by TZID: the file's, then those found
    bool vcalendar1 = false; // a vCalendar 1.0 file
    int unusedErrors = 0; // unreadable lines of properties Datebell does not use
    QString firstUnusedError;
};

// The zone a TZID names: the file's VTIMEZONE of that id, the system zone of that name (a
// prefix such as "/mozilla.org/20050126_1/" dropped), or the zone that CLDR gives for a
// Windows name.
std::shared_ptr<Zone> zoneFor(const QString &tzid, ICalFile &file)
{
    if (const auto known = file.zones.find(tzid); known != file.zones.end())
        return *known;
    std::shared_ptr<Zone> zone;
    QStringList parts = tzid.split(u'/', Qt::SkipEmptyParts);
    while (!zone && !parts.isEmpty()) {
        if (const auto found = systemZone(parts.join(u'/')))
            zone = std::make_shared<QtZone>(*found);
        parts.removeFirst();
    }
    if (!zone) {
        const QByteArray iana = QTimeZone::windowsIdToDefaultIanaId(tzid.toUtf8());
        if (!iana.isEmpty() && QTimeZone(iana).isValid())
            zone = std::make_shared<QtZone>(QTimeZone(iana));
    }
    file.zones.insert(tzid, zone);
    return zone;
}

QString icalString(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

QString propertyText(icalcomponent *event, icalproperty_kind kind)
{
    icalproperty *property = icalcomponent_get_first_property(event, kind);
    return property ? icalString(icalvalue_get_text(icalproperty_get_value(property))) : QString();
}

// Whether a recurrence says "every year on the day it starts" and nothing more.
bool plainYearly(const icalrecurrencetype &rule, QDate start)
{
    const auto only = [](const short *values, int value) {
        return values[0] == ICAL_RECURRENCE_ARRAY_MAX
                || (values[0] == value && values[1] == ICAL_RECURRENCE_ARRAY_MAX);
    };
    const auto none = [](const short *values) { return values[0] == ICAL_RECURRENCE_ARRAY_MAX; };
    return rule.freq == ICAL_YEARLY_RECURRENCE && rule.interval == 1
            && only(rule.by_month, start.month()) && only(rule.by_month_day, start.day())
            && none(rule.by_second) && none(rule.by_minute) && none(rule.by_hour)
            && none(rule.by_day) && none(rule.by_year_day) && none(rule.by_week_no)
            && none(rule.by_set_pos);
}

// Maps one VEVENT to a record, or says why it gives none.
void readEvent(icalcomponent *event, int line, ICalFile &file, Collector &out)
{
    QString summary = propertyText(event, ICAL_SUMMARY_PROPERTY);
    const bool hasSummary = icalcomponent_get_first_property(event, ICAL_SUMMARY_PROPERTY);
    const QString name = hasSummary ? summary : u"(an event without SUMMARY)"_s;

    // libical drops a property it cannot read and leaves an X-LIC-ERROR in its place. One of
    // the properties read here makes the event unreadable; another (an ATTENDEE) means nothing
    // to Datebell: the event goes on, and the file's report says how many such lines were left.
    bool emptySummary = false;
    bool broken = false;
    static const QRegularExpression named(u"\\b(?:in|for) ([A-Z-]+) property"_s);
    for (icalproperty *error = icalcomponent_get_first_property(event, ICAL_XLICERROR_PROPERTY);
         error; error = icalcomponent_get_next_property(event, ICAL_XLICERROR_PROPERTY)) {
        const QString text = icalString(icalproperty_get_xlicerror(error));
        const QString property = named.match(text).captured(1);
        if (text.startsWith(u"No value for"_s)) {
            emptySummary = emptySummary || property == u"SUMMARY";
            if (property != u"DTSTART")
                continue; // an empty text is a text
        }
        static const QStringList used = { u"DTSTART"_s, u"SUMMARY"_s, u"DESCRIPTION"_s,  u"RRULE"_s,
                                          u"RDATE"_s,   u"STATUS"_s,  u"RECURRENCE-ID"_s };
        if (used.contains(property)) {
            out.unreadable(line, name, text.simplified());
            broken = true;
        } else if (file.unusedErrors++ == 0) {
            file.firstUnusedError =
                    u"\"%1\" (line %2): %3"_s.arg(shown(name)).arg(line).arg(text.simplified());
        }
    }
    if (broken)
        return;
    if (!hasSummary && !emptySummary) {
        out.unreadable(line, name, u"the event has no SUMMARY"_s);
        return;
    }
    // A multi-line description is written with its first line as SUMMARY and the whole text
    // as DESCRIPTION.
    const QString description = propertyText(event, ICAL_DESCRIPTION_PROPERTY);
    if (!summary.isEmpty() && description.startsWith(summary + u'\n'))
        summary = description;

    if (icalproperty *status = icalcomponent_get_first_property(event, ICAL_STATUS_PROPERTY);
        status && icalproperty_get_status(status) == ICAL_STATUS_CANCELLED)
        return out.skip(line, name, u"the event is cancelled"_s);
    if (icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY))
        return out.skip(line, name, u"a change to one occurrence of a repeating event"_s);
    icalproperty *start = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
    if (!start)
        return out.unreadable(line, name, u"the event has no date (no DTSTART)"_s);
    const icaltimetype time = icalproperty_get_dtstart(start);
    const QDate date(time.year, time.month, time.day);
    const QTime clock =
            time.is_date ? QTime(0, 0) : QTime(time.hour, time.minute, std::min(time.second, 59));
    if (!date.isValid() || !clock.isValid())
        return out.unreadable(line, name, u"DTSTART is no such date"_s);

    // The recurrence: none, or once a year.
    bool annual = false;
    QDate until;
    int count = 0;
    const int rules = icalcomponent_count_properties(event, ICAL_RRULE_PROPERTY);
    QString vcalRule;
    for (icalproperty *x = icalcomponent_get_first_property(event, ICAL_X_PROPERTY); x;
         x = icalcomponent_get_next_property(event, ICAL_X_PROPERTY)) {
        if (file.vcalendar1 && qstrcmp(icalproperty_get_x_name(x), "X-VCALENDAR-RRULE") == 0)
            vcalRule = icalString(icalproperty_get_x(x));
    }
    const auto otherwise = [&] {
        out.skip(line, name, u"the event repeats otherwise than once a year"_s);
    };
    if (icalcomponent_get_first_property(event, ICAL_RDATE_PROPERTY) || rules > 1)
        return otherwise();
    if (rules == 1) {
        const icalrecurrencetype rule = icalproperty_get_rrule(
                icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY));
        if (!plainYearly(rule, date))
            return otherwise();
        annual = true;
        if (!icaltime_is_null_time(rule.until))
            until = QDate(rule.until.year, rule.until.month, rule.until.day);
        count = rule.count;
    } else if (!vcalRule.isEmpty()) {
        // vCalendar 1.0: "YD1" and "YM1" (each year on its day), "#0" or an end after them.
        static const QRegularExpression yearly(u"^Y[DM]1( #0)?$"_s);
        if (!yearly.match(vcalRule.trimmed()).hasMatch())
            return otherwise();
        annual = true;
    }

    // The wall time in its zone; an annual event first moves to its next occurrence, whose
    // daylight-saving offset is the one that counts.
    QDate day = date;
    if (annual) {
        day = NextOccurrence(date.month(), date.day(), std::max(date, out.options.today));
        if ((until.isValid() && day > until) || (count > 0 && day.year() > date.year() + count - 1))
            return out.skip(line, name, u"the event's last year (UNTIL or COUNT) is past"_s);
    }
    QDateTime local = EventDateTime(day, clock);
    if (!time.is_date) {
        std::shared_ptr<Zone> zone;
        const char *tzid = nullptr;
        if (icalparameter *parameter = icalproperty_get_first_parameter(start, ICAL_TZID_PARAMETER))
            tzid = icalparameter_get_tzid(parameter);
        if (icaltime_is_utc(time)) {
            zone = std::make_shared<QtZone>(QTimeZone::utc());
        } else if (tzid) {
            zone = zoneFor(icalString(tzid), file);
            if (!zone)
                return out.unreadable(
                        line, name,
                        u"DTSTART names a time zone that is not known here (%1)"_s.arg(
                                icalString(tzid)));
        }
        if (zone) { // else floating: the local time as it stands
            const QDateTime here =
                    QDateTime::fromSecsSinceEpoch(zone->instantOf(local), QTimeZone::utc())
                            .toTimeZone(out.options.localZone);
            local = EventDateTime(here.date(), here.time());
        }
    }
    out.add(line, EventRecord{ local, !time.is_date, summary, annual });
}

void readICalendar(LineReader &lines, Collector &out)
{
    icalerror_set_errors_are_fatal(0);
    ICalFile file;
    // The file is cut into its top-level components (VEVENT, VTIMEZONE...), each handed to
    // libical whole: a VCALENDAR is never held at once. Their lines are physical ones, folds
    // and all; a BEGIN or END line is never a continuation.
    QByteArray block;
    QByteArray blockKind;
    int blockLine = 0;
    int depth = 0; // 1 inside VCALENDAR, more inside a component of it
    bool calendar = false; // a BEGIN:VCALENDAR has been read
    bool bare = false; // the component being read stands outside any VCALENDAR
    QByteArray line;
    const auto keyword = [](const QByteArray &text, const char *word) {
        const qsizetype size = qsizetype(std::strlen(word));
        return text.size() > size && text.left(size).toUpper() == word;
    };
    const auto finishBlock = [&] {
        icalcomponent *component = icalparser_parse_string(block.constData());
        if (!component) {
            out.unreadable(blockLine, QString::fromUtf8(blockKind),
                           u"libical cannot read the component"_s);
        } else if (icalcomponent_isa(component) == ICAL_VTIMEZONE_COMPONENT) {
            const QString tzid = icalString(icalproperty_get_tzid(
                    icalcomponent_get_first_property(component, ICAL_TZID_PROPERTY)));
            file.zones.insert(tzid, std::make_shared<FileZone>(component));
            component = nullptr;
        } else if (icalcomponent_isa(component) == ICAL_VEVENT_COMPONENT) {
            readEvent(component, blockLine, file, out);
        }
        if (component)
            icalcomponent_free(component);
        block.clear();
    };
    while (lines.next(line)) {
        const int number = lines.number();
        if (lines.tooLong() || !utf8(line)) {
            out.unreadable(number, shownBytes(line), lines.tooLong() ? longLine : notUtf8);
            continue;
        }
        if (!line.startsWith(' ') && !line.startsWith('\t')) {
            const QByteArray name = line.left(line.indexOf(':')).split(';').constFirst();
            if (name != name.toUpper())
                out.warn(u"names written in lower case; read as upper case"_s);
        }
        const bool begins = keyword(line, "BEGIN:");
        const bool ends = keyword(line, "END:");
        const QByteArray kind = line.mid(begins ? 6 : 4).trimmed().toUpper();
        if (depth == 0) {
            if (line.trimmed().isEmpty())
                continue;
            if (begins && kind == "VCALENDAR") {
                calendar = true;
                depth = 1;
                continue;
            }
            if (!begins) {
                out.unreadable(number, QString::fromUtf8(line),
                               u"a line outside BEGIN:VCALENDAR and END:VCALENDAR"_s);
                continue;
            }
            bare = true;
            out.warn(u"%1 stands outside BEGIN:VCALENDAR; read as if inside"_s.arg(
                    QString::fromUtf8(kind)));
            depth = 1;
        }
        if (depth == 1) {
            if (ends && kind == "VCALENDAR") {
                depth = 0;
                continue;
            }
            if (!begins) {
                if (keyword(line, "VERSION:") && line.mid(8).trimmed() == "1.0") {
                    file.vcalendar1 = true;
                    out.warn(u"a vCalendar 1.0 file; read as iCalendar"_s);
                }
                continue; // a property of the calendar
            }
            blockKind = kind;
            blockLine = number;
        }
        // libical reads such a DTSTART as the date and time it holds.
        static const QRegularExpression dateHoldingTime(
                u"^DTSTART[^:]*;VALUE=DATE(;[^:]*)?:\\d{8}T"_s,
                QRegularExpression::CaseInsensitiveOption);
        if (keyword(line, "DTSTART") && dateHoldingTime.match(QString::fromUtf8(line)).hasMatch())
            out.warn(u"DTSTART;VALUE=DATE holds a date and time; read as a date and time"_s);
        // vCalendar's RRULE ("YM1") is not iCalendar's: kept aside under another name.
        if (file.vcalendar1 && keyword(line, "RRULE:"))
            line = "X-VCALENDAR-RRULE:" + line.mid(6);
        block += line + "\r\n";
        if (begins)
            ++depth;
        else if (ends && --depth == 1)
            finishBlock();
        if (bare && depth == 1) {
            bare = false;
            depth = 0;
        }
    }
    if (file.unusedErrors > 0)
        out.warn(u"left out %1 that libical could not read and Datebell does not use; the "
                 "first: %2"_s.arg(file.unusedErrors == 1 ? u"1 line"_s
                                                          : u"%1 lines"_s.arg(file.unusedErrors),
                                   file.firstUnusedError));
    if (depth > 1 || bare)
        out.unreadable(blockLine, QString::fromUtf8(blockKind),
                       u"the file ends before END:%1"_s.arg(QString::fromUtf8(blockKind)));
    else if (depth == 1)
        out.unreadable(lines.number(), QString(), u"the file ends before END:VCALENDAR"_s);
    else if (!calendar && blockLine == 0 && out.report.unreadableCount == 0)
        out.unreadable(1, QString(), u"the file holds no BEGIN:VCALENDAR"_s);
}

// ---- Line-based formats

// The text of a line in the file's encoding: UTF-8, or Latin-1 where the format's own tool
// reads it so (`latin1`).
std::optional<QString> lineText(const QByteArray &bytes, bool latin1)
{
    if (latin1)
        return QString::fromLatin1(bytes);
    return utf8(bytes);
}

// remind's substitutions in a MSG body: "%"" marks the part shown in a calendar, "%%" is a
// percent sign, and the others ("%b": "in 2 days") mean nothing once the date is fixed.
QString remindBody(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != u'%') {
            out += text.at(i);
        } else if (i + 1 < text.size()) {
            if (text.at(++i) == u'%')
                out += u'%';
        }
    }
    return out.simplified();
}

// A time of day as remind writes it after AT: "17:00", "5:00pm", "10.30", "5pm".
std::optional<QTime> remindTime(const QString &word)
{
    static const QRegularExpression form(u"^(\\d{1,2})(?:[:.](\\d{2}))?([ap]m)?$"_s,
                                         QRegularExpression::CaseInsensitiveOption);
    const auto match = form.match(word);
    if (!match.hasMatch() || (match.captured(2).isEmpty() && match.captured(3).isEmpty()))
        return std::nullopt;
    int hour = match.captured(1).toInt();
    const QString half = match.captured(3).toLower();
    if (!half.isEmpty()) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + (half == u"pm" ? 12 : 0);
    }
    const QTime time(hour, match.captured(2).toInt());
    return time.isValid() ? std::optional(time) : std::nullopt;
}

// remind: "REM 7 Dec 2026 MSG text" (the date's parts in any order), "REM 2026-12-07 MSG
// text", "OMIT 25 Dec MSG text", each optionally with "AT 10:30"; without a year the event is
// annual. A line ended by a backslash goes on on the next one. Reminders on other days than a
// fixed one (weekdays, expressions) are valid but cannot be held.
void readRemind(LineReader &lines, Collector &out)
{
    static const QStringList ignoredWords = { u"ONCE"_s, u"ADDOMIT"_s };
    static const QStringList ignoredWithValue = { u"SCANFROM"_s, u"DURATION"_s, u"PRIORITY"_s,
                                                  u"TAG"_s,      u"FROM"_s,     u"SCHED"_s,
                                                  u"WARN"_s };
    static const QStringList commands = { u"SET"_s,
                                          u"FSET"_s,
                                          u"UNSET"_s,
                                          u"IF"_s,
                                          u"IFTRIG"_s,
                                          u"ELSE"_s,
                                          u"ENDIF"_s,
                                          u"BANNER"_s,
                                          u"ERRMSG"_s,
                                          u"EXIT"_s,
                                          u"DEBUG"_s,
                                          u"PRESERVE"_s,
                                          u"DUMPVARS"_s,
                                          u"RUN"_s,
                                          u"PUSH-OMIT-CONTEXT"_s,
                                          u"PUSH"_s,
                                          u"POP"_s,
                                          u"CLEAR"_s,
                                          u"POP-OMIT-CONTEXT"_s,
                                          u"CLEAR-OMIT-CONTEXT"_s,
                                          u"TRANSLATE"_s,
                                          u"EXPR"_s,
                                          u"MSG"_s };
    QString pending;
    int pendingLine = 0;
    QByteArray bytes;
    while (lines.next(bytes)) {
        int number = lines.number();
        const auto decoded = lineText(bytes, false);
        if (!decoded || lines.tooLong()) {
            out.unreadable(number, shownBytes(bytes), decoded ? longLine : notUtf8);
            continue;
        }
        QString text = *decoded;
        if (!pending.isEmpty()) {
            text = pending + text;
            number = pendingLine;
            pending.clear();
        }
        if (text.endsWith(u'\\')) {
            pending = text.chopped(1);
            pendingLine = number;
            continue;
        }
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#') || trimmed.startsWith(u';'))
            continue;
        QStringList words = trimmed.simplified().split(u' ');
        QString command = words.constFirst().toUpper();
        if (command == u"INCLUDE" || command == u"INCLUDECMD" || command == u"SYSINCLUDE") {
            out.skip(number, text, u"an included file is not read"_s);
            continue;
        }
        if (commands.contains(command))
            continue;
        if (command != u"REM" && command != u"OMIT") {
            // remind takes a line that starts with no command for a REM.
            words.prepend(u"REM"_s);
            command = u"REM"_s;
        }
        qsizetype msg = -1;
        for (qsizetype w = 1; w < words.size() && msg < 0; ++w) {
            if (words.at(w).compare(u"MSG"_s, Qt::CaseInsensitive) == 0)
                msg = w;
        }
        if (msg < 0) {
            if (command == u"REM")
                out.skip(number, text, u"not a MSG reminder"_s);
            continue; // an OMIT without MSG is a holiday for remind's reckoning, no event
        }
        int year = 0, month = 0, day = 0;
        std::optional<QTime> time;
        QString other; // a word that makes the reminder other than a fixed date
        for (qsizetype w = 1; w < msg && other.isEmpty(); ++w) {
            QString word = words.at(w);
            const QString upper = word.toUpper();
            if (upper == u"AT" && w + 1 < msg && !time) {
                time = remindTime(words.at(++w));
                if (!time)
                    other = word + u' ' + words.at(w);
                continue;
            }
            if (ignoredWords.contains(upper) || word.startsWith(u'+') || word.startsWith(u'*'))
                continue;
            if (ignoredWithValue.contains(upper)) {
                ++w;
                continue;
            }
            if (upper == u"UNTIL") {
                // Its date: one ISO word, or a day, a month and a year.
                for (int part = 0; part < 3 && w + 1 < msg; ++part) {
                    const QString next = words.at(w + 1);
                    if (part == 0 && next.size() == 10 && next.at(4) == u'-') {
                        ++w;
                        break;
                    }
                    if (!monthFromName(next) && smallNumber(next, 4) < 0)
                        break;
                    ++w;
                }
                continue;
            }
            if (const qsizetype at = word.indexOf(u'@'); at > 0 && !time) {
                time = remindTime(word.mid(at + 1));
                if (!time)
                    other = word;
                word.truncate(at);
            }
            if (word.size() == 10 && (word.at(4) == u'-' || word.at(4) == u'/')
                && word.at(7) == word.at(4) && !year && !month && !day) {
                year = smallNumber(QStringView(word).mid(0, 4), 4);
                month = smallNumber(QStringView(word).mid(5, 2), 2);
                day = smallNumber(QStringView(word).mid(8, 2), 2);
                if (year < 0 || month < 0 || day < 0)
                    other = word;
            } else if (const int named = monthFromName(word); named && !month) {
                month = named;
            } else if (const int n = smallNumber(word, 2); n >= 1 && n <= 31 && !day) {
                day = n;
            } else if (const int y = smallNumber(word, 4); word.size() == 4 && y > 0 && !year) {
                year = y;
            } else {
                other = word;
            }
        }
        QStringList rest = words.mid(msg + 1);
        const QString body = remindBody(rest.join(u' '));
        if (!other.isEmpty() || !month || !day) {
            out.skip(number, body.isEmpty() ? text : body,
                     other.isEmpty() ? u"not on a fixed day of the year"_s
                                     : u"not on a fixed day of the year (\"%1\")"_s.arg(other));
            continue;
        }
        if (year ? !QDate(year, month, day).isValid() : !isDayOfYear(month, day)) {
            out.unreadable(number, text, u"there is no such date"_s);
            continue;
        }
        if (body.isEmpty()) {
            out.unreadable(number, text, u"the reminder has no text after MSG"_s);
            continue;
        }
        const QTime clock = time.value_or(QTime(0, 0));
        out.add(number,
                year ? EventRecord{ EventDateTime(QDate(year, month, day), clock), bool(time), body,
                                    false }
                     : EventRecord{ EventDateTime(QDate(2000, month, day), clock), bool(time), body,
                                    true });
    }
}

// An included file as calendar(1) and birthday find it: beside the file including it, then in
// `folders`.
QString includedFile(const QString &name, const ReadOptions &options, const QStringList &folders)
{
    QStringList places;
    if (!options.fileName.isEmpty())
        places << QFileInfo(options.fileName).absolutePath();
    places << folders;
    for (const QString &folder : places) {
        const QString path = QDir(folder).filePath(name);
        if (QFileInfo(path).isFile())
            return path;
    }
    return QString();
}

constexpr int maxIncludeDepth = 8;

void readCalendar(LineReader &lines, Collector &out, int depth);
void readBirthday(LineReader &lines, Collector &out, int depth);

// Reads the file that an include line names into `out`.
void readIncluded(EventFormat format, const QString &name, int line, const QString &text,
                  Collector &out, int depth, const QStringList &folders)
{
    if (!out.options.followIncludes)
        return;
    if (depth >= maxIncludeDepth)
        return out.unreadable(line, text,
                              u"included files nest deeper than %1"_s.arg(maxIncludeDepth));
    const QString path = includedFile(name, out.options, folders);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return out.unreadable(line, text, u"the included file %1 is not found"_s.arg(name));
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (out.including.contains(canonical)
        || QFileInfo(out.options.fileName).canonicalFilePath() == canonical)
        return out.unreadable(line, text, u"%1 includes itself"_s.arg(name));
    ReadOptions options = out.options;
    options.fileName = path;
    Collector inner(options, out.sink);
    inner.file = path;
    inner.including = out.including;
    if (!out.options.fileName.isEmpty())
        inner.including << QFileInfo(out.options.fileName).canonicalFilePath();
    LineReader reader(file);
    if (format == EventFormat::Calendar)
        readCalendar(reader, inner, depth + 1);
    else
        readBirthday(reader, inner, depth + 1);
    out.merge(inner.report);
}

// The file an include line names: "<file>", "\"file\"" or the bare name.
QString includeName(QString text)
{
    text = text.trimmed();
    if (text.startsWith(u'(') && text.endsWith(u')'))
        text = text.mid(1).chopped(1).trimmed();
    if (text.size() >= 2
        && ((text.startsWith(u'<') && text.endsWith(u'>'))
            || (text.startsWith(u'"') && text.endsWith(u'"'))))
        text = text.mid(1).chopped(1);
    return text;
}

// BSD calendar: "12/07<TAB>text" or "Dec 7<TAB>text" ("7 Dec", "December 7", "Dec. 7"), each
// an annual event; a line starting with a tab goes on with the text of the one before. C
// comments and settings hold no events; "#include" reads another file; "LANG=" names the
// encoding of the lines after it. "//" is not taken for a comment: descriptions hold web
// addresses. Days that move (Easter, "05/SunSecond", "*15") are valid but cannot be held.
void readCalendar(LineReader &lines, Collector &out, int depth)
{
    bool inComment = false;
    bool latin1 = false;
    std::optional<std::pair<int, EventRecord>> last; // the record a tab-led line continues
    bool lastWasBad = false;
    const auto flush = [&] {
        if (last)
            out.add(last->first, last->second);
        last.reset();
    };
    QByteArray bytes;
    while (lines.next(bytes)) {
        const int number = lines.number();
        const auto decoded = lineText(bytes, latin1);
        if (!decoded || lines.tooLong()) {
            out.unreadable(number, shownBytes(bytes), decoded ? longLine : notUtf8);
            continue;
        }
        const QString &text = *decoded;
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
            continue;
        if (kept.startsWith(u'\t')) {
            if (last)
                last->second.description += u'\n' + kept.trimmed();
            else
                out.unreadable(number, text,
                               lastWasBad
                                       ? u"goes on with a line that could not be read"_s
                                       : u"a line starting with a tab, with no event before it"_s);
            continue;
        }
        flush();
        lastWasBad = false;
        const QString trimmed = kept.trimmed();
        if (trimmed.startsWith(u'#')) {
            const QString directive = trimmed.mid(1).trimmed();
            if (directive.startsWith(u"include"_s))
                readIncluded(EventFormat::Calendar, includeName(directive.mid(7)), number, text,
                             out, depth, out.options.calendarFolders);
            continue;
        }
        const qsizetype tab = kept.indexOf(u'\t');
        if (tab < 0) {
            static const QRegularExpression setting(u"^([A-Za-z_]+)=(.*)$"_s);
            if (const auto match = setting.match(trimmed); match.hasMatch()) {
                // calendar(1) reads the lines after "LANG=xx_XX.ENCODING" in that encoding.
                const QString value = match.captured(2).toLower();
                if (match.captured(1) == u"LANG") {
                    if (value.contains(u"utf-8"_s) || value.contains(u"utf8"_s))
                        latin1 = false;
                    else if (value.contains(u"8859-1"_s) || value.contains(u"88591"_s)
                             || value.contains(u"8859-15"_s) || value.contains(u"latin1"_s))
                        latin1 = true;
                }
                continue;
            }
            lastWasBad = true;
            out.unreadable(number, text, u"no tab between the date and the text"_s);
            continue;
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
        if (month < 1 || day < 1) {
            lastWasBad = true;
            static const QRegularExpression moving(u"[A-Za-z*+\\-]"_s);
            if (moving.match(date).hasMatch())
                out.skip(number, body, u"\"%1\" is not a fixed day of the year"_s.arg(date));
            else
                out.unreadable(number, text,
                               u"\"%1\" is not a month and day (12/07 or Dec 7)"_s.arg(date));
            continue;
        }
        if (!isDayOfYear(month, day)) {
            lastWasBad = true;
            out.unreadable(number, text, u"there is no such date"_s);
            continue;
        }
        if (body.isEmpty()) {
            lastWasBad = true;
            out.unreadable(number, text, u"the description is empty"_s);
            continue;
        }
        last = { number, EventRecord{ EventDateTime(QDate(2000, month, day)), false, body, true } };
    }
    flush();
}

// birthday: "name=DD/MM[/YYYY] [flags]". A birthday (bd, the default) or an anniversary (ann)
// is annual; an event (ev) is one-off when it has a year, annual when not. "wN" (how many
// days ahead to warn) means nothing here; multi-day events ("to", "for") cannot be held.
// birthday reads its files in the locale's 8-bit encoding: lines that are not UTF-8 are read
// as Latin-1. "&include file" reads another file.
void readBirthday(LineReader &lines, Collector &out, int depth)
{
    QByteArray bytes;
    while (lines.next(bytes)) {
        const int number = lines.number();
        auto decoded = utf8(bytes);
        if (!decoded) {
            decoded = QString::fromLatin1(bytes);
            out.warn(u"lines that are not UTF-8 are read as Latin-1"_s);
        }
        const QString &text = *decoded;
        if (lines.tooLong()) {
            out.unreadable(number, text, longLine);
            continue;
        }
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#'))
            continue;
        const auto fail = [&](const QString &reason) { out.unreadable(number, text, reason); };
        if (trimmed.startsWith(u'&')) {
            if (trimmed.startsWith(u"&include"_s))
                readIncluded(EventFormat::Birthday, includeName(trimmed.mid(8)), number, text, out,
                             depth, {});
            else
                fail(u"an unknown directive"_s);
            continue;
        }
        const qsizetype equals = trimmed.lastIndexOf(u'=');
        if (equals < 0) {
            fail(u"not a \"name=DD/MM/YYYY\" line"_s);
            continue;
        }
        const QString name = trimmed.left(equals).trimmed();
        const QStringList words =
                trimmed.mid(equals + 1).simplified().split(u' ', Qt::SkipEmptyParts);
        if (name.isEmpty() || words.isEmpty()) {
            fail(name.isEmpty() ? u"the name is empty"_s : u"there is no date after '='"_s);
            continue;
        }
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
        if (day < 1 || month < 1 || month > 12 || year < 0 || date.size() > 3) {
            fail(u"\"%1\" is not a date written DD/MM or DD/MM/YYYY"_s.arg(words.at(0)));
            continue;
        }
        if (year ? !QDate(year, month, day).isValid() : !isDayOfYear(month, day)) {
            fail(u"there is no such date"_s);
            continue;
        }
        QString kind;
        QString problem;
        bool lasting = false;
        for (qsizetype w = 1; w < words.size() && problem.isEmpty(); ++w) {
            const QString &flag = words.at(w);
            if (flag == u"bd" || flag == u"ann" || flag == u"ev") {
                if (!kind.isEmpty())
                    problem = u"both %1 and %2 are given"_s.arg(kind, flag);
                kind = flag;
            } else if (flag.startsWith(u"to"_s) || flag.startsWith(u"for"_s)) {
                lasting = true;
                break; // the rest tells when it ends
            } else if (!flag.startsWith(u'w') || smallNumber(flag.mid(1), 3) < 0) {
                problem = u"\"%1\" is not a flag of birthday files"_s.arg(flag);
            }
        }
        if (!problem.isEmpty()) {
            fail(problem);
        } else if (lasting) {
            out.skip(number, name, u"an event lasting several days"_s);
        } else if (kind == u"ev" && year) {
            out.add(number,
                    EventRecord{ EventDateTime(QDate(year, month, day)), false, name, false });
        } else {
            out.add(number,
                    EventRecord{ EventDateTime(QDate(2000, month, day)), false, name, true });
        }
    }
}

std::optional<EventFormat> formatFromFileName(const QString &fileName)
{
    const QFileInfo info(fileName);
    const QString name = info.fileName().toLower();
    const QString suffix = info.suffix().toLower();
    if (suffix == u"csv")
        return EventFormat::Csv;
    if (suffix == u"ics" || suffix == u"ical" || suffix == u"icalendar" || suffix == u"ifb"
        || suffix == u"vcs")
        return EventFormat::ICalendar;
    if (suffix == u"rem" || suffix == u"remind" || name == u".reminders")
        return EventFormat::Remind;
    if (name == u"calendar" || name.startsWith(u"calendar."_s))
        return EventFormat::Calendar;
    if (name == u".birthdays" || suffix == u"birthdays")
        return EventFormat::Birthday;
    return std::nullopt;
}

// RFC 5545 text for a date and a time.
QByteArray icalDateText(QDate date, std::optional<QTime> time)
{
    QString out = QString::asprintf("%04d%02d%02d", date.year(), date.month(), date.day());
    if (time)
        out += QString::asprintf("T%02d%02d%02d", time->hour(), time->minute(), time->second());
    return out.toLatin1();
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

ReadReport ReadEvents(EventFormat format, QIODevice &input, const ReadOptions &options,
                      const RecordSink &sink)
{
    Collector out(options, sink);
    LineReader lines(input);
    if (lines.utf16())
        out.warn(u"the file is UTF-16 text"_s);
    switch (format) {
    case EventFormat::Csv:
        readCsv(lines, out);
        break;
    case EventFormat::ICalendar:
        readICalendar(lines, out);
        break;
    case EventFormat::Remind:
        readRemind(lines, out);
        break;
    case EventFormat::Calendar:
        readCalendar(lines, out, 0);
        break;
    case EventFormat::Birthday:
        readBirthday(lines, out, 0);
        break;
    }
    if (lines.readError())
        out.unreadable(lines.number(), QString(), input.errorString());
    return out.report;
}

ReadReport ReadEvents(EventFormat format, const QByteArray &content, const ReadOptions &options,
                      const RecordSink &sink)
{
    QBuffer buffer;
    buffer.setData(content);
    buffer.open(QIODevice::ReadOnly);
    return ReadEvents(format, buffer, options, sink);
}

std::optional<EventFormat> GuessFormat(const QByteArray &head, const QString &fileName)
{
    const std::optional<EventFormat> hint = formatFromFileName(fileName);
    QByteArray text = head;
    if (text.size() >= 2
        && (text.at(0) == 0 || text.at(1) == 0 || text.startsWith("\xFF\xFE")
            || text.startsWith("\xFE\xFF"))) {
        QBuffer buffer(&text);
        buffer.open(QIODevice::ReadOnly);
        LineReader lines(buffer);
        QByteArray decoded, line;
        while (lines.next(line))
            decoded += line + '\n';
        text = decoded;
    }
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    const QByteArray start = text.trimmed().left(15).toUpper();
    if (start == "BEGIN:VCALENDAR" || start.startsWith("BEGIN:VEVENT"))
        return EventFormat::ICalendar;
    if (text.size() == 64 * 1024 && text.lastIndexOf('\n') > 0)
        text.truncate(text.lastIndexOf('\n') + 1); // whole lines only

    // The line-based formats hardly ever read each other's lines: the one that reads the most
    // events from the head of the file is the one.
    ReadOptions options;
    options.today = QDate(2000, 1, 1);
    options.localZone = QTimeZone::utc();
    options.followIncludes = false;
    std::optional<EventFormat> best;
    qint64 bestCount = 0;
    for (const auto format :
         { EventFormat::Csv, EventFormat::Remind, EventFormat::Birthday, EventFormat::Calendar }) {
        const qint64 count = ReadEvents(format, text, options, [](const EventRecord &) {}).events;
        if (count > bestCount || (count == bestCount && count > 0 && format == hint)) {
            best = format;
            bestCount = count;
        }
    }
    if (best)
        return best;
    // A CSV file of no events still shows its header.
    if (text.left(text.indexOf('\n')).trimmed().toLower() == "date,description,annual")
        return EventFormat::Csv;
    return hint;
}

EventWriter::EventWriter(EventFormat format, QIODevice &output, const QDateTime &stamp)
    : m_format(format), m_output(output)
{
    if (m_format == EventFormat::Csv) {
        put("Date,Description,Annual\r\n");
        return;
    }
    const QDateTime utc = stamp.toUTC();
    m_stamp = icalDateText(utc.date(), utc.time()) + 'Z';
    // The calendar's own lines as libical writes them: what stands before its END goes first,
    // the END after the events.
    icalcomponent *calendar = icalcomponent_vanew(
            ICAL_VCALENDAR_COMPONENT, icalproperty_new_version("2.0"),
            icalproperty_new_prodid("-//Datebell//datebell-events " DATEBELL_EVENTS_VERSION "//EN"),
            icalproperty_new_calscale("GREGORIAN"), nullptr);
    char *text = icalcomponent_as_ical_string_r(calendar);
    const QByteArray whole(text);
    icalmemory_free_buffer(text);
    icalcomponent_free(calendar);
    const qsizetype end = whole.indexOf("END:VCALENDAR");
    put(whole.left(end));
    m_tail = whole.mid(end);
}

EventWriter::~EventWriter() = default;

bool EventWriter::put(const QByteArray &bytes)
{
    m_ok = m_ok && m_output.write(bytes) == bytes.size();
    return m_ok;
}

bool EventWriter::write(const EventRecord &record)
{
    if (m_format == EventFormat::Csv) {
        return put(RecordDateText(record).toLatin1() + ',' + csvField(record.description)
                   + (record.annual ? ",yes\r\n" : ",no\r\n"));
    }
    // The same event always gets the same UID, so that a calendar that imports a later export
    // updates what it has; identical rows are told apart by their count.
    const QString stored = StoredDateText(record.date);
    const QByteArray hash =
            QCryptographicHash::hash((stored + u'\x1f' + record.description + u'\x1f'
                                      + (record.annual ? u"-1"_s : u"0"_s))
                                             .toUtf8(),
                                     QCryptographicHash::Sha1)
                    .toHex();
    m_lastCount = hash == m_lastHash ? m_lastCount + 1 : 1;
    m_lastHash = hash;
    const QDate date = record.date.date();
    const QTime time = record.date.time();
    const QByteArray uid = hash + '-' + QByteArray::number(m_lastCount) + "@datebell";
    icalcomponent *event = icalcomponent_vanew(
            ICAL_VEVENT_COMPONENT, icalproperty_new_uid(uid.constData()),
            icalproperty_new_dtstamp(icaltime_from_string(m_stamp.constData())), nullptr);
    icaltimetype start = icaltime_from_string(
            icalDateText(date, time == QTime(0, 0) ? std::nullopt : std::optional(time))
                    .constData());
    icalcomponent_add_property(event, icalproperty_new_dtstart(start));
    // SUMMARY is one line: the first; a longer text goes whole into DESCRIPTION.
    const qsizetype lineEnd = record.description.indexOf(QRegularExpression(u"[\r\n]"_s));
    icalcomponent_add_property(
            event, icalproperty_new_summary(record.description.left(lineEnd).toUtf8().constData()));
    if (lineEnd >= 0)
        icalcomponent_add_property(
                event, icalproperty_new_description(record.description.toUtf8().constData()));
    if (record.annual) {
        icalrecurrencetype rule;
        icalrecurrencetype_clear(&rule);
        rule.freq = ICAL_YEARLY_RECURRENCE;
        icalcomponent_add_property(event, icalproperty_new_rrule(rule));
    }
    char *text = icalcomponent_as_ical_string_r(event);
    const bool ok = put(QByteArray(text));
    icalmemory_free_buffer(text);
    icalcomponent_free(event);
    return ok;
}

bool EventWriter::finish()
{
    put(m_tail);
    return m_ok;
}
