// iCalendar and vCalendar, read through libical: components are mapped to events here.

#include "engine/dates.h"
#include "readers.h"

#include <QFile>
#include <QHash>
#include <QIODevice>
#include <QRegularExpression>

#include <libical/ical.h>

using namespace Qt::StringLiterals;

namespace EventReading {

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
    // Events imported without the DESCRIPTION they have, and events lasting several days,
    // imported on their first day.
    Tally longerDescriptions;
    Tally severalDays;
};

// Whether an event lasts several days: an all-day event more than one, a timed one 24 hours
// or more, by its DTEND or DURATION.
bool lastsSeveralDays(icalcomponent *event, const icaltimetype &start)
{
    qint64 seconds = 0;
    if (icalproperty *end = icalcomponent_get_first_property(event, ICAL_DTEND_PROPERTY)) {
        const icaltimetype until = icalproperty_get_dtend(end);
        const auto wall = [](const icaltimetype &t) {
            return QDateTime(QDate(t.year, t.month, t.day),
                             t.is_date ? QTime(0, 0) : QTime(t.hour, t.minute), QTimeZone::utc());
        };
        seconds = wall(start).secsTo(wall(until));
    } else if (icalproperty *duration =
                       icalcomponent_get_first_property(event, ICAL_DURATION_PROPERTY)) {
        seconds = icaldurationtype_as_int(icalproperty_get_duration(duration));
    }
    return start.is_date ? seconds > 86400 : seconds >= 86400;
}

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
    const bool longer =
            !description.trimmed().isEmpty() && description.trimmed() != summary.trimmed();

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
    const qint64 before = out.report.events;
    out.add(line, EventRecord{ local, !time.is_date, summary, annual });
    if (out.report.events > before && longer)
        file.longerDescriptions.note(name, line);
    if (out.report.events > before && lastsSeveralDays(event, time))
        file.severalDays.note(name, line);
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
    if (const Tally &longer = file.longerDescriptions; longer.count > 0)
        out.warn(u"%1 a longer description that Datebell does not keep; the first: %2"_s.arg(
                longer.count == 1 ? u"1 event has"_s : u"%1 events have"_s.arg(longer.count),
                longer.first));
    if (file.severalDays.count > 0)
        out.warn(severalDaysWarning(file.severalDays));
    if (depth > 1 || bare)
        out.unreadable(blockLine, QString::fromUtf8(blockKind),
                       u"the file ends before END:%1"_s.arg(QString::fromUtf8(blockKind)));
    else if (depth == 1)
        out.unreadable(lines.number(), QString(), u"the file ends before END:VCALENDAR"_s);
    else if (!calendar && blockLine == 0 && out.report.unreadableCount == 0)
        out.unreadable(1, QString(), u"the file holds no BEGIN:VCALENDAR"_s);
}

} // namespace EventReading
