// The line-based files of BSD calendar and birthday, and the include lines of every line format.

#include "engine/dates.h"
#include "readers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace EventReading {

// An included file as calendar(1), birthday and remind find it: in `folders` (for calendar
// and birthday the folder of the file including it comes first), the first that holds it.
QString includedFile(const QString &name, const ReadOptions &options, QStringList folders,
                     bool besideFirst)
{
    if (besideFirst && !options.fileName.isEmpty())
        folders.prepend(QFileInfo(options.fileName).absolutePath());
    for (const QString &folder : folders) {
        const QString path = QDir(folder).filePath(name);
        if (QFileInfo(path).isFile() || QFileInfo(path).isDir())
            return path;
    }
    return QString();
}

// Reads one included file into `out`, which the chain of files including it leads to.
void readOneIncluded(EventFormat format, const QString &path, int line, const QString &text,
                     Collector &out, int depth)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out.unreadable(line, text, u"cannot read %1: %2"_s.arg(path, file.errorString()));
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (out.including.contains(canonical)
        || QFileInfo(out.options.fileName).canonicalFilePath() == canonical)
        return out.unreadable(line, text, u"%1 includes itself"_s.arg(QFileInfo(path).fileName()));
    ReadOptions options = out.options;
    options.fileName = path;
    Collector inner(options, out.sink);
    inner.file = path;
    inner.including = out.including;
    if (!out.options.fileName.isEmpty())
        inner.including << QFileInfo(out.options.fileName).canonicalFilePath();
    LineReader reader(file, out.options.encoding);
    if (format == EventFormat::Calendar)
        readCalendar(reader, inner, depth + 1);
    else if (format == EventFormat::Birthday)
        readBirthday(reader, inner, depth + 1);
    else
        readRemind(reader, inner, depth + 1);
    out.merge(inner.report);
}

// Reads the file that an include line names into `out`; remind reads every "*.rem" file of a
// folder it names, in the order of their names.
void readIncluded(EventFormat format, const QString &name, int line, const QString &text,
                  Collector &out, int depth, const QStringList &folders, bool besideFirst)
{
    if (!out.options.followIncludes)
        return;
    if (depth >= maxIncludeDepth)
        return out.unreadable(line, text,
                              u"included files nest deeper than %1"_s.arg(maxIncludeDepth));
    const QString path = includedFile(name, out.options, folders, besideFirst);
    if (path.isEmpty())
        return out.unreadable(line, text, u"the included file %1 is not found"_s.arg(name));
    if (format != EventFormat::Remind || !QFileInfo(path).isDir())
        return readOneIncluded(format, path, line, text, out, depth);
    const QDir folder(path);
    for (const QString &entry : folder.entryList({ u"*.rem"_s }, QDir::Files, QDir::Name))
        readOneIncluded(format, folder.filePath(entry), line, text, out, depth);
}

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
    std::shared_ptr<TextDecoder> language; // the encoding a LANG= line names
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
        QString why;
        const auto decoded = language ? language->decode(bytes) : lineText(bytes, lines, out, &why);
        if (!decoded || lines.tooLong()) {
            if (language)
                why = u"the line is not %1 text, as LANG= says"_s.arg(language->name());
            out.unreadable(number, shownBytes(bytes), decoded ? longLine : why);
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
                             out, depth, out.options.calendarFolders, true);
            continue;
        }
        const qsizetype tab = kept.indexOf(u'\t');
        if (tab < 0) {
            static const QRegularExpression setting(u"^([A-Za-z_]+)=(.*)$"_s);
            if (const auto match = setting.match(trimmed); match.hasMatch()) {
                // calendar(1) reads the lines after "LANG=xx_XX.ENCODING" in that encoding.
                const QString value = match.captured(2).section(u'.', 1).section(u'@', 0, 0);
                if (match.captured(1) == u"LANG" && !value.isEmpty()) {
                    const QString lower = value.toLower();
                    if (lower == u"utf-8" || lower == u"utf8")
                        language.reset();
                    else if (auto named = std::make_shared<TextDecoder>(value); named->isValid())
                        language = named;
                    else
                        out.unreadable(number, text,
                                       u"LANG= names an encoding not known here (%1)"_s.arg(value));
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
// days ahead to warn) means nothing here; an event lasting several days ("to", "for") is
// imported on its first day.
// "&include file" reads another file.
void readBirthday(LineReader &lines, Collector &out, int depth)
{
    Tally severalDays;
    QByteArray bytes;
    while (lines.next(bytes)) {
        const int number = lines.number();
        QString why;
        const auto decoded = lineText(bytes, lines, out, &why);
        if (!decoded || lines.tooLong()) {
            out.unreadable(number, shownBytes(bytes), decoded ? longLine : why);
            continue;
        }
        const QString &text = *decoded;
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#'))
            continue;
        const auto fail = [&](const QString &reason) { out.unreadable(number, text, reason); };
        if (trimmed.startsWith(u'&')) {
            if (trimmed.startsWith(u"&include"_s))
                readIncluded(EventFormat::Birthday, includeName(trimmed.mid(8)), number, text, out,
                             depth, {}, true);
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
        const qint64 before = out.report.events;
        if (!problem.isEmpty()) {
            fail(problem);
        } else if (kind == u"ev" && year) {
            out.add(number,
                    EventRecord{ EventDateTime(QDate(year, month, day)), false, name, false });
        } else {
            out.add(number,
                    EventRecord{ EventDateTime(QDate(2000, month, day)), false, name, true });
        }
        if (lasting && out.report.events > before)
            severalDays.note(name, number);
    }
    if (severalDays.count > 0)
        out.warn(severalDaysWarning(severalDays));
}

} // namespace EventReading
