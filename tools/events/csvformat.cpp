// CSV: "Date,Description,Annual" rows, as Datebell writes them and spreadsheets save them.

#include "engine/dates.h"
#include "readers.h"

#include <array>

using namespace Qt::StringLiterals;

namespace EventReading {

QByteArray csvField(const QString &text)
{
    const bool quote = text.contains(u'"') || text.contains(u',') || text.contains(u'\n')
            || text.contains(u'\r') || text.startsWith(u' ') || text.endsWith(u' ');
    if (!quote)
        return text.toUtf8();
    return '"' + QString(text).replace(u'"', u"\"\""_s).toUtf8() + '"';
}

// The fields of one RFC 4180 row, its line breaks inside quotes kept; `error` says what is
// wrong with a row that is not well formed.
QStringList csvFields(const QString &text, QString *error)
{
    QStringList fields;
    QString field;
    bool quoted = false; // the field began with a quote
    bool closed = false; // its closing quote has been read
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted && !closed) {
            if (c != u'"')
                field += c;
            else if (i + 1 < text.size() && text.at(i + 1) == u'"')
                field += text.at(++i);
            else
                closed = true;
        } else if (c == u',') {
            fields << field;
            field.clear();
            quoted = closed = false;
        } else if (c == u'"' && field.isEmpty() && !quoted) {
            quoted = true;
        } else {
            if (error->isEmpty() && closed)
                *error = u"text follows the closing quote of a field"_s;
            else if (error->isEmpty() && c == u'"')
                *error = u"a quote inside a field that does not start with one"_s;
            field += c;
        }
    }
    if (quoted && !closed && error->isEmpty())
        *error = u"a quoted field is not closed"_s;
    fields << field;
    return fields;
}

std::optional<bool> yesNo(QString text)
{
    text = text.trimmed().toLower();
    if (text == u"yes" || text == u"true" || text == u"y")
        return true;
    if (text == u"no" || text == u"false" || text == u"n")
        return false;
    return std::nullopt;
}

void readCsv(LineReader &lines, Collector &out)
{
    const QStringList columns = { u"date"_s, u"description"_s, u"annual"_s };
    std::array<int, 3> column = { 0, 1, 2 }; // date, description, annual
    bool first = true;
    QByteArray line;
    while (lines.next(line)) {
        const int number = lines.number();
        if (lines.tooLong()) {
            out.unreadable(number, QString::fromUtf8(line), longLine);
            continue;
        }
        // A quoted field may hold line breaks: the row goes on until its quotes pair up.
        QByteArray row = line;
        while (row.count('"') % 2 != 0 && row.size() <= maxLineBytes) {
            const QByteArray lineEnd = lines.crlf() ? "\r\n" : "\n";
            if (!lines.next(line))
                break;
            row += lineEnd + line;
        }
        const auto text = utf8(row);
        if (!text) {
            out.unreadable(number, shownBytes(row), notUtf8);
            first = false;
            continue;
        }
        if (text->trimmed().isEmpty())
            continue; // a blank line
        QString error;
        const QStringList fields = csvFields(*text, &error);
        if (first) {
            first = false;
            QStringList names;
            for (const QString &field : fields)
                names << field.trimmed().toLower();
            if (names.size() == 3 && names.contains(columns[0]) && names.contains(columns[1])
                && names.contains(columns[2])) {
                for (int c = 0; c < 3; ++c)
                    column[c] = int(names.indexOf(columns[c]));
                continue;
            }
        }
        if (!error.isEmpty()) {
            out.unreadable(number, *text, error);
            continue;
        }
        if (fields.size() != 3) {
            out.unreadable(number, *text,
                           u"%1 fields where 3 (Date, Description, Annual) were expected"_s.arg(
                                   fields.size()));
            continue;
        }
        QString why;
        const auto date = isoDateTime(fields.at(column[0]), &why);
        if (!date) {
            out.unreadable(number, *text, why);
            continue;
        }
        const auto annual = yesNo(fields.at(column[2]));
        if (!annual) {
            out.unreadable(number, *text, u"Annual is neither yes nor no"_s);
            continue;
        }
        out.add(number, EventRecord{ date->value, date->hasTime, fields.at(column[1]), *annual });
    }
}

} // namespace EventReading
