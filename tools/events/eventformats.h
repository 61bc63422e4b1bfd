#pragma once

// Event files that datebell-events writes and reads: CSV and iCalendar both ways, and the
// simple forms of the files of remind, BSD calendar and birthday one way. Nothing here touches
// the database: readers turn a file's bytes into records and per-line problems, writers turn
// records into a file's bytes.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTimeZone>

#include <optional>

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

// A line of a file that gave no event: its number (1-based), why, and its text.
struct LineIssue
{
    int line = 0;
    QString reason;
    QString text;
};

struct ReadResult
{
    QList<EventRecord> records;
    QList<int> recordLines; // the line each record starts on
    // Lines that could not be read: an import stops on any of them unless told to skip them.
    QList<LineIssue> bad;
    // Entries that were read but hold nothing Datebell can keep (another recurrence, an
    // included file): reported and passed over, without stopping the import.
    QList<LineIssue> skipped;
};

struct ReadOptions
{
    // Annual events given without a year are dated on their next day on or after this one,
    // as the reminder keeps them.
    QDate today;
    // The zone that UTC and zoned iCalendar times are converted into.
    QTimeZone localZone = QTimeZone::systemTimeZone();
};

ReadResult ReadEvents(EventFormat format, const QByteArray &content, const ReadOptions &options);

// The format a file's content shows, the file name's extension settling a tie; nothing when
// neither tells.
std::optional<EventFormat> GuessFormat(const QByteArray &content, const QString &fileName);

// RFC 4180: a header line "Date,Description,Annual", CRLF line ends.
QByteArray WriteCsv(const QList<EventRecord> &records);
// RFC 5545: one VEVENT per record; `stamp` is the DTSTAMP of every event.
QByteArray WriteICalendar(const QList<EventRecord> &records, const QDateTime &stamp);

// The date as the files show it: "2026-12-06", or "2026-12-06 10:30:00" with a time of day.
QString RecordDateText(const EventRecord &record);
// The next `month`/`day` on or after `from`; 29 February falls in the next leap year.
QDate NextOccurrence(int month, int day, QDate from);
