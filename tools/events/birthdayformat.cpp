// The files of birthday(1).

#include "engine/dates.h"
#include "readers.h"

using namespace Qt::StringLiterals;

namespace EventReading {

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
