#include "engine/dates.h"
#include "readers.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QIODevice>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <libical/ical.h>

using namespace Qt::StringLiterals;

using namespace EventReading;

namespace {

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
    if (format == EventFormat::Csv && input.isSequential()) {
        // A CSV file is read twice, the first time for its layout: a pipe is kept in a file.
        QTemporaryFile copy;
        bool copied = copy.open();
        for (QByteArray chunk; copied && !(chunk = input.read(1 << 16)).isEmpty();)
            copied = copy.write(chunk) == chunk.size();
        if (!copied) {
            ReadReport failed;
            failed.unreadable << NotImported{ {}, 0, {}, copy.errorString() };
            failed.unreadableCount = 1;
            return failed;
        }
        copy.seek(0);
        return ReadEvents(format, copy, options, sink);
    }
    Collector out(options, sink);
    LineReader lines(input, format == EventFormat::ICalendar ? QString() : options.encoding);
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
        readRemind(lines, out, 0);
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

bool EncodingKnown(const QString &name)
{
    return knownEncoding(name);
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
    options.includePast = true;
    std::optional<EventFormat> best;
    qint64 bestCount = 0;
    for (const auto format :
         { EventFormat::Csv, EventFormat::Remind, EventFormat::Birthday, EventFormat::Calendar }) {
        qint64 count = ReadEvents(format, text, options, [](const EventRecord &) {}).events;
        // A CSV file whose dates either order reads is refused until the order is named.
        for (const auto order : { DateOrder::DayMonthYear, DateOrder::MonthDayYear }) {
            ReadOptions ordered = options;
            ordered.dateOrder = order;
            if (format == EventFormat::Csv && count == 0)
                count = ReadEvents(format, text, ordered, [](const EventRecord &) {}).events;
        }
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
