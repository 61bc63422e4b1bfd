#pragma once

// What the readers of the file formats share: lines of a file read a block at a time in its
// encoding, the collector of records and of what was not imported, and small readers of month
// names, numbers and ISO dates. Each format's reader has a file of its own.

#include "engine/dates.h"
#include "eventformats.h"

#include <QDateTime>
#include <QFileDevice>
#include <QIODevice>
#include <QStringDecoder>

#include <array>
#include <cstring>
#include <memory>
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

// The longest line read; the rest of a longer one is passed over and the line reported.
inline constexpr qsizetype maxLineBytes = 1 << 20;

// The longest description the grid takes.
inline constexpr qsizetype maxDescription = 255;

// Text in an encoding that iconv knows, converted a line at a time.
class TextDecoder
{
public:
    explicit TextDecoder(const QString &name);
    ~TextDecoder();
    TextDecoder(const TextDecoder &) = delete;
    TextDecoder &operator=(const TextDecoder &) = delete;
    bool isValid() const;
    const QString &name() const { return m_name; }
    // The text of the bytes; nothing when they are not text of this encoding.
    std::optional<QString> decode(const QByteArray &bytes);

private:
    QString m_name;
    void *m_iconv;
};

// Whether `name` is an encoding that files can be read in.
bool knownEncoding(const QString &name);

// Lines of a file, read a block at a time. A UTF-8 byte order mark is dropped; a file that
// starts with a UTF-16 one (or shows UTF-16 by the zero bytes of its first character) is read
// as UTF-16 and handed on as UTF-8. A file in an encoding named by `encoding` is read in it:
// UTF-16 and UTF-32 as a whole, others a line at a time through `text`.
class LineReader
{
public:
    explicit LineReader(QIODevice &input, const QString &encoding = QString()) : m_input(input)
    {
        if (!encoding.isEmpty()) {
            const auto known = QStringConverter::encodingForName(encoding.toLatin1().constData());
            if (known && *known != QStringConverter::Utf8 && *known != QStringConverter::Latin1
                && *known != QStringConverter::System) {
                m_decoder = QStringDecoder(*known);
                m_utf16 = m_wideNamed = true;
            } else if (!known || *known != QStringConverter::Utf8) {
                m_named = std::make_shared<TextDecoder>(encoding);
            }
            m_start = m_input.pos();
            return;
        }
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
        m_start = m_input.pos();
    }

    // Goes back to the first line, for a second reading; false when the input cannot seek.
    bool rewind()
    {
        if (m_input.isSequential() || !m_input.seek(m_start))
            return false;
        if (m_utf16)
            m_decoder.resetState();
        m_buffer.clear();
        m_pos = 0;
        m_atEnd = false;
        m_number = 0;
        return true;
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

    // The text of a line in the encoding named; UTF-8 when none was. Nothing when the line is
    // not text of that encoding.
    std::optional<QString> text(const QByteArray &line) const;
    // The encoding named, or nothing.
    std::shared_ptr<TextDecoder> named() const { return m_named; }

    int number() const { return m_number; }
    bool crlf() const { return m_crlf; } // the last line ended with CRLF
    bool tooLong() const { return m_tooLong; }
    bool utf16() const { return m_utf16 && !m_wideNamed; } // found, not named
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
    qint64 m_start = 0; // where the first line starts
    std::shared_ptr<TextDecoder> m_named;
    QStringDecoder m_decoder;
    bool m_utf16 = false; // decoded as a whole, from UTF-16 or UTF-32
    bool m_wideNamed = false;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_atEnd = false;
    int m_number = 0;
    bool m_crlf = false;
    bool m_tooLong = false;
};

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

// Where readers put what they find: records go on to the sink once checked, and annual
// events dated before today move to their next occurrence, as the reminder keeps them (it
// moves an annual event on one year a pass, so a birth year would show it missed for decades).
// One-off events dated before today are skipped: the reminder would show them once as missed
// and delete them.
class Collector
{
public:
    Collector(const ReadOptions &options, const RecordSink &sink) : options(options), sink(sink) { }

    void add(int line, EventRecord record)
    {
        if (const auto fault = descriptionFault(record.description))
            return unreadable(line, record.description, *fault);
        if (!record.annual && record.date.date() < options.today && !options.includePast)
            return skip(line, record.description, QStringLiteral("already past"));
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
        const QString line = file.isEmpty() ? text : file + QStringLiteral(": ") + text;
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
        report.refused = report.refused || other.refused;
    }

    const ReadOptions &options;
    const RecordSink &sink;
    QString file; // empty for the file named on the command line
    QStringList including; // the files whose include lines led here
    ReadReport report;
    std::shared_ptr<TextDecoder> fallback; // for lines that are not UTF-8
};

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
