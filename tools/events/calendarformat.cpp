// The files of BSD calendar(1).

#include "engine/dates.h"
#include "readers.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace EventReading {

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

} // namespace EventReading
