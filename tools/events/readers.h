#pragma once

// What the readers of the file formats share: the line reader (linereader.h), the decoder of
// named encodings (textdecoder.h), the collector of records and of what was not imported
// (collector.h), and small readers of month names, numbers and ISO dates. Each format's reader
// has a file of its own, and so do the include lines the line formats share.

#include "collector.h"
#include "engine/dates.h"
#include "eventformats.h"
#include "linereader.h"
#include "textdecoder.h"

#include <QDateTime>

#include <array>
#include <optional>

namespace EventReading {

inline constexpr std::array<const char *, 12> monthNames = { "january", "february", "march",
                                                             "april",   "may",      "june",
                                                             "july",    "august",   "september",
                                                             "october", "november", "december" };

// A month by its English name or three-letter abbreviation, a trailing dot allowed; 0 for none.
int monthFromName(QString word);

// A number of 1 to `maxDigits` ASCII digits, or -1.
int smallNumber(QStringView text, int maxDigits);

// Whether `month`/`day` names a day of some year (29 February included).
bool isDayOfYear(int month, int day);

// The longest description the grid takes.
inline constexpr qsizetype maxDescription = 255;

// The text of UTF-8 bytes; nothing when they are not UTF-8.
std::optional<QString> utf8(const QByteArray &bytes);

inline const QString notUtf8 = QStringLiteral("the line is not UTF-8 text");

inline const QString longLine = QStringLiteral("the line is longer than 1 MiB");

// A line as a report shows it: one line, not too long, invalid bytes replaced.
QString shown(const QString &text);

QString shownBytes(const QByteArray &bytes);

// Why a description cannot be held, or nothing: control characters other than tab and line
// breaks, which SQLite and CSV do not keep as text, and more than the grid's 255 characters.
std::optional<QString> descriptionFault(const QString &text);

// The text of a line: in the encoding the file was named to be in, else UTF-8, else (a file
// that is not UTF-8) in the 8-bit encoding usual for the user's language, for files of
// spreadsheets (`spreadsheet`) Windows' and for others the ISO one, which a warning names.
// Nothing, and `why` says so, when the line is not text of the encoding named.
std::optional<QString> lineText(const QByteArray &bytes, const LineReader &lines, Collector &out,
                                QString *why, bool spreadsheet = false);

struct DateAndTime
{
    QDateTime value;
    bool hasTime = false;
};

// Entries of one kind that a file's warning counts, the first of them named.
struct Tally
{
    int count = 0;
    QString first; // "\"Trip\" (line 4)"
    void note(const QString &event, int line)
    {
        if (count++ == 0)
            first = QStringLiteral("\"%1\" (line %2)").arg(shown(event)).arg(line);
    }
};

// The warning for events lasting several days, which every reader imports on their first day.
QString severalDaysWarning(const Tally &tally);

// "2026-12-06", "2026-12-06 10:30", "2026-12-06 10:30:00" (or with a "T"); `why` says what is
// wrong with anything else.
std::optional<DateAndTime> isoDateTime(QStringView text, QString *why);

// One CSV field, quoted when it holds a quote, a comma, a line break or an outer blank.
QByteArray csvField(const QString &text);

void readCsv(LineReader &lines, Collector &out);
void readICalendar(LineReader &lines, Collector &out);
// `depth` counts the include lines that led to this file.
void readRemind(LineReader &lines, Collector &out, int depth);
void readCalendar(LineReader &lines, Collector &out, int depth);
void readBirthday(LineReader &lines, Collector &out, int depth);

// Include lines, which remind, calendar and birthday follow alike, up to this depth.
inline constexpr int maxIncludeDepth = 8;

// The file an include line names: "<file>", "\"file\"" or the bare name.
QString includeName(QString text);

// Reads the file that an include line (`text`, on `line`) names into `out`. The file is looked
// for in `folders`, after the folder of the file including it when `besideFirst` is set. A
// file that includes itself, through any chain, and a nesting deeper than the limit are
// reported as unreadable.
void readIncluded(EventFormat format, const QString &name, int line, const QString &text,
                  Collector &out, int depth, const QStringList &folders, bool besideFirst);

} // namespace EventReading
