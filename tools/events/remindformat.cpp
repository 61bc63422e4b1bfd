// remind's reminder files.

#include "engine/dates.h"
#include "readers.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace EventReading {

namespace {

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

// A weekday by its English name or an abbreviation of three letters or more; 0 for none.
int weekdayFromName(const QString &word)
{
    static const QStringList names = { u"monday"_s, u"tuesday"_s,  u"wednesday"_s, u"thursday"_s,
                                       u"friday"_s, u"saturday"_s, u"sunday"_s };
    const QString lower = word.toLower();
    for (qsizetype d = 0; d < names.size(); ++d) {
        if (lower.size() >= 3 && names.at(d).startsWith(lower))
            return int(d) + 1;
    }
    return 0;
}

// The date after UNTIL, THROUGH, FROM or SCANFROM: one ISO word, or a day, a month and a
// year; `w` is left on its last word. An invalid date for anything else.
QDate remindDate(const QStringList &words, qsizetype &w, qsizetype end)
{
    if (w + 1 < end && words.at(w + 1).size() == 10 && words.at(w + 1).at(4) == u'-') {
        ++w;
        return QDate::fromString(words.at(w), Qt::ISODate);
    }
    int day = 0, month = 0, year = 0;
    for (int part = 0; part < 3 && w + 1 < end; ++part) {
        const QString &next = words.at(w + 1);
        if (const int named = monthFromName(next); named && !month)
            month = named;
        else if (const int n = smallNumber(next, 4); n > 31 && next.size() == 4 && !year)
            year = n;
        else if (n >= 1 && n <= 31 && next.size() <= 2 && !day)
            day = n;
        else
            break;
        ++w;
    }
    return QDate(year, month, day);
}

// Reads the file of an INCLUDE, DO or SYSINCLUDE line. INCLUDE looks in the working folder, as
// remind does, then beside the file including it; DO beside that file; SYSINCLUDE in remind's
// own folder. "[filedir()]" stands for the folder of the file including it.
void remindInclude(const QString &command, const QString &argument, int line, const QString &text,
                   Collector &out, int depth)
{
    QString name = includeName(argument);
    const QString here = out.options.fileName.isEmpty()
            ? QDir::currentPath()
            : QFileInfo(out.options.fileName).absolutePath();
    name.replace(u"[filedir()]"_s, here);
    if (name.contains(u'['))
        return out.skip(line, text, u"the file is named by an expression"_s);
    if (name == u"-")
        return out.skip(line, text, u"standard input is not read as an included file"_s);
    if (command == u"SYSINCLUDE")
        return readIncluded(EventFormat::Remind, name, line, text, out, depth,
                            { u"/usr/share/remind"_s }, false);
    readIncluded(EventFormat::Remind, name, line, text, out, depth,
                 command == u"DO" ? QStringList{ here } : QStringList{ QDir::currentPath(), here },
                 false);
}

} // namespace

// remind: "REM 7 Dec 2026 MSG text" (the date's parts in any order), "REM 2026-12-07 MSG
// text", "OMIT 25 Dec MSG text", each optionally with "AT 10:30"; without a year the event is
// annual, until the date UNTIL gives. A line ended by a backslash goes on on the next one.
// INCLUDE, DO and SYSINCLUDE read other files. Reminders on other days than a fixed one
// (weekdays, repetitions, days moved by OMIT, expressions) are valid but cannot be held; nor
// can a text holding an expression, which only remind can work out.
void readRemind(LineReader &lines, Collector &out, int depth)
{
    static const QStringList ignoredWords = { u"ONCE"_s, u"ADDOMIT"_s, u"NOQUEUE"_s };
    static const QStringList ignoredWithValue = { u"DURATION"_s, u"PRIORITY"_s, u"TAG"_s,
                                                  u"SCHED"_s,    u"WARN"_s,     u"INFO"_s };
    static const QStringList omitting = { u"SKIP"_s, u"BEFORE"_s, u"AFTER"_s, u"OMIT"_s,
                                          u"OMITFUNC"_s };
    static const QStringList ordinals = { u"FIRST"_s,  u"SECOND"_s, u"THIRD"_s,
                                          u"FOURTH"_s, u"FIFTH"_s,  u"LAST"_s };
    static const QStringList bodies = { u"MSG"_s, u"MSF"_s, u"CAL"_s };
    static const QStringList otherBodies = { u"RUN"_s, u"SPECIAL"_s, u"PS"_s, u"PSFILE"_s };
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
        QString fault;
        const auto decoded = lineText(bytes, lines, out, &fault);
        if (!decoded || lines.tooLong()) {
            out.unreadable(number, shownBytes(bytes), decoded ? longLine : fault);
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
        if (command == u"INCLUDE" || command == u"DO" || command == u"SYSINCLUDE") {
            remindInclude(command, trimmed.mid(words.constFirst().size()), number, text, out,
                          depth);
            continue;
        }
        if (command == u"INCLUDECMD") {
            out.skip(number, text, u"reads what a command writes; commands are not run"_s);
            continue;
        }
        if (commands.contains(command))
            continue;
        if (command != u"REM" && command != u"OMIT") {
            // remind takes a line that starts with no command for a REM.
            words.prepend(u"REM"_s);
            command = u"REM"_s;
        }
        qsizetype body = -1;
        for (qsizetype w = 1; w < words.size() && body < 0; ++w) {
            const QString upper = words.at(w).toUpper();
            if (bodies.contains(upper) || otherBodies.contains(upper))
                body = w;
        }
        if (body < 0 || otherBodies.contains(words.at(body).toUpper())) {
            if (command == u"REM")
                out.skip(number, text,
                         body < 0
                                 ? u"not a MSG reminder"_s
                                 : u"a %1 reminder, not a message"_s.arg(words.at(body).toUpper()));
            continue; // an OMIT without MSG is a holiday for remind's reckoning, no event
        }
        const QString message = remindBody(words.mid(body + 1).join(u' '));
        const QString name = message.isEmpty() ? text : message;
        const auto skip = [&](const QString &reason) { out.skip(number, name, reason); };
        static const QRegularExpression expression(u"\\[[^\\]]*\\]?"_s);
        if (const auto found = expression.match(message); found.hasMatch()) {
            skip(u"the text holds an expression that only remind can work out (%1)"_s.arg(
                    found.captured()));
            continue;
        }
        int year = 0, month = 0, day = 0, weekday = 0;
        QDate until;
        std::optional<QTime> time;
        QString why; // what makes the reminder other than a fixed date
        for (qsizetype w = 1; w < body && why.isEmpty(); ++w) {
            QString word = words.at(w);
            const QString upper = word.toUpper();
            if (upper == u"AT" && w + 1 < body && !time) {
                time = remindTime(words.at(++w));
                if (!time)
                    why = u"no time of day after AT (\"%1\")"_s.arg(words.at(w));
                // A delta and a repetition after the time concern the time of day.
                while (w + 1 < body
                       && (words.at(w + 1).startsWith(u'+') || words.at(w + 1).startsWith(u'*')))
                    ++w;
                continue;
            }
            if (ignoredWords.contains(upper) || word.startsWith(u'+'))
                continue; // "+3": how many days ahead to warn
            if (ignoredWithValue.contains(upper)) {
                ++w;
                continue;
            }
            if (word.contains(u'[')) {
                why = u"the day is worked out by an expression"_s;
            } else if (ordinals.contains(upper)) {
                why = u"on a weekday counted in the month (\"%1\")"_s.arg(word);
            } else if (upper == u"SATISFY") {
                why = u"the day is found by a SATISFY expression"_s;
            } else if (omitting.contains(upper)) {
                why = u"moves with the days that OMIT leaves out (%1)"_s.arg(upper);
            } else if (word.startsWith(u'-')) {
                why = u"counted back from the day given (\"%1\")"_s.arg(word);
            } else if (word.startsWith(u'*')) {
                why = u"repeats every %1 days"_s.arg(word.mid(1));
            } else if (upper == u"THROUGH") {
                why = u"repeats every day up to THROUGH"_s;
            } else if (upper == u"UNTIL") {
                until = remindDate(words, w, body);
                if (!until.isValid())
                    why = u"no date after UNTIL"_s;
            } else if (upper == u"FROM" || upper == u"SCANFROM") {
                const qsizetype at = w;
                if (!remindDate(words, w, body).isValid() && w == at && w + 1 < body)
                    ++w; // "SCANFROM -7": a number of days back
            } else {
                if (const qsizetype at = word.indexOf(u'@'); at > 0 && !time) {
                    time = remindTime(word.mid(at + 1));
                    if (!time)
                        why = u"not a date and time (\"%1\")"_s.arg(word);
                    word.truncate(at);
                }
                if (word.size() == 10 && (word.at(4) == u'-' || word.at(4) == u'/')
                    && word.at(7) == word.at(4) && !year && !month && !day) {
                    year = smallNumber(QStringView(word).mid(0, 4), 4);
                    month = smallNumber(QStringView(word).mid(5, 2), 2);
                    day = smallNumber(QStringView(word).mid(8, 2), 2);
                    if (year < 0 || month < 0 || day < 0)
                        why = u"not a date (\"%1\")"_s.arg(word);
                } else if (const int named = monthFromName(word); named && !month) {
                    month = named;
                } else if (const int n = smallNumber(word, 2); n >= 1 && n <= 31 && !day) {
                    day = n;
                } else if (const int y = smallNumber(word, 4); word.size() == 4 && y > 0 && !year) {
                    year = y;
                } else if (const int d = weekdayFromName(word); d && !weekday) {
                    weekday = d;
                } else if (why.isEmpty()) {
                    why = u"not on a fixed day of the year (\"%1\")"_s.arg(word);
                }
            }
        }
        if (why.isEmpty() && weekday) {
            why = month || day || year ? u"on the first %1 on or after the day given"_s
                                       : u"repeats every %1"_s;
            why = why.arg(QLocale(QLocale::English).dayName(weekday));
        }
        if (why.isEmpty() && (!month || !day))
            why = day ? u"repeats every month"_s : u"not on a fixed day of the year"_s;
        if (!why.isEmpty()) {
            skip(why);
            continue;
        }
        if (year ? !QDate(year, month, day).isValid() : !isDayOfYear(month, day)) {
            out.unreadable(number, text, u"there is no such date"_s);
            continue;
        }
        if (message.isEmpty()) {
            out.unreadable(number, text, u"the reminder has no text after MSG"_s);
            continue;
        }
        const QTime clock = time.value_or(QTime(0, 0));
        if (year) {
            out.add(number,
                    EventRecord{ EventDateTime(QDate(year, month, day), clock), bool(time), message,
                                 false });
            continue;
        }
        if (until.isValid() && NextOccurrence(month, day, out.options.today) > until) {
            skip(u"the reminder's last year (UNTIL) is past"_s);
            continue;
        }
        out.add(number,
                EventRecord{ EventDateTime(QDate(2000, month, day), clock), bool(time), message,
                             true });
    }
}

} // namespace EventReading
