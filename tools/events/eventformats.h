#pragma once

// Event files that datebell-events writes and reads: CSV and iCalendar both ways, and the
// files of remind, BSD calendar and birthday one way. Nothing here touches the database:
// readers turn a file into records, handed on one at a time, and a report of what was not
// imported; writers turn records into a file, one at a time. Neither holds a whole file.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <functional>
#include <memory>
#include <optional>

class QIODevice;

// One event as it moves between the database and a file. `date` is a local calendar date and
// time held the engine's way (EventDateTime: a UTC QDateTime, no time zone meant); `hasTime`
// says whether the file gave a time of day, which a writer shows only when it is not midnight.
struct EventRecord
{
    QDateTime date;
    bool hasTime = false;
    QString description;
    bool annual = false;

    friend bool operator==(const EventRecord &a, const EventRecord &b)
    {
        return a.date == b.date && a.description == b.description && a.annual == b.annual;
    }
};

enum class EventFormat { Csv, ICalendar, Remind, Calendar, Birthday };

// "csv", "ics", "remind", "calendar", "birthday".
QString FormatName(EventFormat format);
std::optional<EventFormat> FormatFromName(const QString &name);

// An entry of a file that was not imported: the file (empty: the one named on the command
// line, else an included one), the line it starts on, the event (its summary or its text)
// and why.
struct NotImported
{
    QString file;
    int line = 0;
    QString event;
    QString reason;
};

struct ReadReport
{
    // Each list holds its first `listed` entries and its count all of them, so that a file of
    // nothing but bad lines does not fill the memory.
    static constexpr qsizetype listed = 10000;
    // Malformed text or an impossible date: an import stops on any of them unless told to
    // skip them.
    QList<NotImported> unreadable;
    qint64 unreadableCount = 0;
    // Valid entries that Datebell cannot hold (other recurrences, floating holidays,
    // cancelled events): passed over without stopping the import.
    QList<NotImported> skipped;
    qint64 skippedCount = 0;
    // What was read leniently, once per kind and file.
    QStringList warnings;
    qint64 events = 0; // records handed on
    // The file as a whole cannot be read as it stands (a CSV file's dates that either order
    // reads): nothing of it is imported, even when unreadable entries are passed over.
    bool refused = false;
};

// The order of a date's numbers in a CSV file: "24.12.2027", "12/24/2027", "2027/12/24".
enum class DateOrder { DayMonthYear, MonthDayYear, YearMonthDay };

// "dmy", "mdy", "ymd".
std::optional<DateOrder> DateOrderFromName(const QString &name);

struct ReadOptions
{
    // Annual events are dated on their next occurrence on or after this day.
    QDate today;
    // The zone that UTC and zoned iCalendar times are converted into.
    QTimeZone localZone = QTimeZone::systemTimeZone();
    // The file read, for the folder that included files are looked for in; empty for
    // standard input.
    QString fileName;
    // Where calendar(1) looks for an included file that is not beside the one including it.
    QStringList calendarFolders = { QStringLiteral("/usr/share/calendar") };
    bool followIncludes = true;
    // One-off events dated before `today` are skipped as past unless this is set.
    bool includePast = false;
    // The order of a CSV file's dates; when unset it is found from the file, or from the short
    // date form of `locale` when the file's dates could be read either way.
    std::optional<DateOrder> dateOrder;
    QLocale locale;
    // The encoding of a CSV, remind, calendar or birthday file, as iconv names it; when empty,
    // UTF-8, and a line that is not is read in the encoding usual for the locale's language.
    QString encoding;
};

// Whether files can be read in the encoding `name` ("ISO-8859-2", "windows-1252").
bool EncodingKnown(const QString &name);

using RecordSink = std::function<void(const EventRecord &)>;

ReadReport ReadEvents(EventFormat format, QIODevice &input, const ReadOptions &options,
                      const RecordSink &sink);
ReadReport ReadEvents(EventFormat format, const QByteArray &content, const ReadOptions &options,
                      const RecordSink &sink);

// The format that the head of a file shows, the file name's extension settling a tie;
// nothing when neither tells.
std::optional<EventFormat> GuessFormat(const QByteArray &head, const QString &fileName);

// Writes records one at a time: CSV (RFC 4180, a header "Date,Description,Annual", CRLF line
// ends) or iCalendar (one VEVENT per record, `stamp` the DTSTAMP of each).
class EventWriter
{
public:
    EventWriter(EventFormat format, QIODevice &output, const QDateTime &stamp);
    ~EventWriter();
    EventWriter(const EventWriter &) = delete;
    EventWriter &operator=(const EventWriter &) = delete;
    // False once a write has failed.
    bool write(const EventRecord &record);
    bool finish();

private:
    bool put(const QByteArray &bytes);

    EventFormat m_format;
    QIODevice &m_output;
    QByteArray m_stamp;
    QByteArray m_tail;
    // Identical records, which come one after another, are told apart by their count.
    QByteArray m_lastHash;
    int m_lastCount = 0;
    bool m_ok = true;
};

// The date as the files show it: "2026-12-06", or "2026-12-06 10:30:00" with a time of day.
QString RecordDateText(const EventRecord &record);
// The next `month`/`day` on or after `from`; 29 February falls in the next leap year.
QDate NextOccurrence(int month, int day, QDate from);
