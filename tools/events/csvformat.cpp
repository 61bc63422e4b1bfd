// CSV: "Date,Description,Annual" rows, as Datebell writes them and spreadsheets save them: the
// delimiter (comma, semicolon or tab), the header's language and the order of the dates'
// numbers are found from the file.

#include "engine/dates.h"
#include "readers.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>

using namespace Qt::StringLiterals;

std::optional<DateOrder> DateOrderFromName(const QString &name)
{
    const QString lower = name.toLower();
    if (lower == u"dmy")
        return DateOrder::DayMonthYear;
    if (lower == u"mdy")
        return DateOrder::MonthDayYear;
    if (lower == u"ymd")
        return DateOrder::YearMonthDay;
    return std::nullopt;
}

namespace EventReading {

QByteArray csvField(const QString &text)
{
    const bool quote = text.contains(u'"') || text.contains(u',') || text.contains(u'\n')
            || text.contains(u'\r') || text.startsWith(u' ') || text.endsWith(u' ');
    if (!quote)
        return text.toUtf8();
    return '"' + QString(text).replace(u'"', u"\"\""_s).toUtf8() + '"';
}

namespace {

// The fields of one RFC 4180 row, its line breaks inside quotes kept; `error` says what is
// wrong with a row that is not well formed.
QStringList csvFields(const QString &text, QChar delimiter, QString *error)
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
        } else if (c == delimiter) {
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

// Yes and no as spreadsheets write them: in English, as numbers (Access writes yes as -1), and
// in the languages of Western, Northern and Central Europe.
std::optional<bool> yesNo(QString text)
{
    static const QStringList yes = { u"yes"_s, u"y"_s,    u"true"_s, u"1"_s,    u"-1"_s,
                                     u"ja"_s,  u"j"_s,    u"wahr"_s, u"oui"_s,  u"vrai"_s,
                                     u"sí"_s,  u"si"_s,   u"sì"_s,   u"vero"_s, u"verdadero"_s,
                                     u"sim"_s, u"waar"_s, u"tak"_s,  u"ano"_s,  u"kyllä"_s,
                                     u"igen"_s };
    static const QStringList no = { u"no"_s,     u"n"_s,      u"false"_s, u"0"_s,     u"nein"_s,
                                    u"falsch"_s, u"non"_s,    u"faux"_s,  u"falso"_s, u"não"_s,
                                    u"nee"_s,    u"onwaar"_s, u"nej"_s,   u"nei"_s,   u"nie"_s,
                                    u"ne"_s,     u"ei"_s,     u"nem"_s };
    text = text.trimmed().toLower();
    if (yes.contains(text))
        return true;
    if (no.contains(text))
        return false;
    return std::nullopt;
}

// A header's name of a column: 0 date, 1 description, 2 annual, -1 none. "Date (DD/MM/YYYY)"
// names the date; names are known in English and the languages yesNo knows.
int columnOfName(QString name)
{
    static const std::array<QStringList, 3> names = {
        QStringList{ u"date"_s, u"datum"_s, u"fecha"_s, u"data"_s, u"dato"_s, u"päivämäärä"_s,
                     u"dátum"_s },
        QStringList{ u"description"_s, u"beschreibung"_s, u"text"_s, u"title"_s, u"titel"_s,
                     u"event"_s, u"ereignis"_s, u"termin"_s, u"événement"_s, u"descripción"_s,
                     u"descrizione"_s, u"descrição"_s, u"omschrijving"_s, u"beskrivelse"_s,
                     u"beskrivning"_s, u"opis"_s, u"popis"_s, u"subject"_s, u"summary"_s },
        QStringList{ u"annual"_s, u"yearly"_s, u"jährlich"_s, u"annuel"_s, u"anual"_s, u"annuale"_s,
                     u"jaarlijks"_s, u"årlig"_s, u"årligen"_s, u"coroczne"_s, u"roční"_s,
                     u"vuosittain"_s, u"évente"_s }
    };
    name = name.left(name.indexOf(u'(')).trimmed().toLower();
    for (int c = 0; c < 3; ++c) {
        if (names[c].contains(name))
            return c;
    }
    return -1;
}

// The order that a form such as "DD/MM/YYYY", "MM-DD-YY", "TT.MM.JJJJ" or "JJ/MM/AAAA" names:
// the month is Ms, the year the field of four letters or of Y, A or (in German) J, the day the
// other one.
std::optional<DateOrder> orderOfForm(const QString &form)
{
    static const QRegularExpression pattern(
            u"\\b([A-Za-z])\\1{0,3}[./-]([A-Za-z])\\2{0,3}[./-]([A-Za-z])\\3{0,3}\\b"_s);
    const auto match = pattern.match(form);
    if (!match.hasMatch())
        return std::nullopt;
    int month = -1, year = -1;
    for (int f = 0; f < 3; ++f) {
        const QString field = match.captured(f + 1).toLower();
        if (field.startsWith(u'm'))
            month = f;
        else if (field.size() == 4 || field.startsWith(u'y') || field.startsWith(u'a'))
            year = f;
    }
    for (int f = 0; f < 3 && year < 0; ++f) {
        if (f != month && match.captured(f + 1).toLower().startsWith(u'j'))
            year = f;
    }
    if (month < 0 || year < 0 || month == year)
        return std::nullopt;
    if (year == 0)
        return DateOrder::YearMonthDay;
    if (year == 2)
        return month == 1 ? DateOrder::DayMonthYear : DateOrder::MonthDayYear;
    return std::nullopt;
}

// A date of three numbers, as the file writes it: the numbers, the separator between them and
// the time of day after them.
struct NumericDate
{
    std::array<QString, 3> parts;
    QChar separator;
    QString time;
};

std::optional<NumericDate> numericDate(const QString &text)
{
    static const QRegularExpression pattern(
            u"^(\\d{1,4})([./-])(\\d{1,2})\\2(\\d{1,4})\\.?(?:[ T]+(\\S.*))?$"_s);
    const auto match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    return NumericDate{ { match.captured(1), match.captured(3), match.captured(4) },
                        match.captured(2).at(0),
                        match.captured(5) };
}

// A year of four digits as it stands; of two with a fixed window, 00-29 as 20xx and 30-99 as
// 19xx; 0 for any other.
int yearOf(const QString &digits)
{
    if (digits.size() == 4)
        return digits.toInt();
    if (digits.size() == 2)
        return digits.toInt() < 30 ? 2000 + digits.toInt() : 1900 + digits.toInt();
    return 0;
}

// A time of day after a date: "18:00", "18:00:30", "6:00 PM".
std::optional<QTime> timeOfDay(const QString &text)
{
    static const QRegularExpression pattern(
            u"^(\\d{1,2}):(\\d{2})(?::(\\d{2}))?\\s*(?:([AaPp])\\.?[Mm]\\.?)?$"_s);
    const auto match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    int hour = match.captured(1).toInt();
    if (!match.captured(4).isEmpty()) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + (match.captured(4).toLower() == u"p" ? 12 : 0);
    }
    const QTime time(hour, match.captured(2).toInt(), match.captured(3).toInt());
    return time.isValid() ? std::optional(time) : std::nullopt;
}

QString orderName(DateOrder order)
{
    switch (order) {
    case DateOrder::DayMonthYear:
        return u"day first"_s;
    case DateOrder::MonthDayYear:
        return u"month first"_s;
    case DateOrder::YearMonthDay:
        return u"year first"_s;
    }
    return QString();
}

// What the numbers of a date say of the order: a year of four digits first is year first;
// else a first number over 12 is day first, a second one over 12 month first. Nothing when
// either order reads it, or when both read it as the same day.
enum class Evidence { None, Iso, DayFirst, MonthFirst, Either };

Evidence evidenceOf(const NumericDate &date)
{
    if (date.parts[0].size() == 4)
        return Evidence::Iso;
    const int a = date.parts[0].toInt();
    const int b = date.parts[1].toInt();
    if (a > 12 && b <= 12)
        return Evidence::DayFirst;
    if (b > 12 && a <= 12)
        return Evidence::MonthFirst;
    if (a <= 12 && b <= 12 && a != b)
        return Evidence::Either;
    return Evidence::None;
}

// The order of the user's short date form, and its separator.
std::pair<std::optional<DateOrder>, QChar> localeOrder(const QLocale &locale)
{
    const QString form = locale.dateFormat(QLocale::ShortFormat);
    const qsizetype d = form.indexOf(u'd'), m = form.indexOf(u'M'), y = form.indexOf(u'y');
    if (d < 0 || m < 0 || y < 0)
        return { std::nullopt, QChar() };
    QChar separator;
    for (const QChar c : form.mid(std::min({ d, m, y }))) {
        if (c == u'.' || c == u'/' || c == u'-') {
            separator = c;
            break;
        }
    }
    if (y < m && m < d)
        return { DateOrder::YearMonthDay, separator };
    if (d < m && m < y)
        return { DateOrder::DayMonthYear, separator };
    if (m < d && d < y)
        return { DateOrder::MonthDayYear, separator };
    return { std::nullopt, separator };
}

// The rows of a CSV file, a quoted field's line breaks kept.
struct Row
{
    int line = 0;
    std::optional<QString> text; // nothing when the row is not text, and `why` says why
    QString why;
    QByteArray bytes;
    bool tooLong = false;
};

bool nextRow(LineReader &lines, Collector &out, Row &row)
{
    QByteArray line;
    if (!lines.next(line))
        return false;
    row.line = lines.number();
    row.tooLong = lines.tooLong();
    row.bytes = line;
    // A quoted field may hold line breaks: the row goes on until its quotes pair up.
    while (!row.tooLong && row.bytes.count('"') % 2 != 0 && row.bytes.size() <= maxLineBytes) {
        const QByteArray lineEnd = lines.crlf() ? "\r\n" : "\n";
        if (!lines.next(line))
            break;
        row.bytes += lineEnd + line;
    }
    row.text = lineText(row.bytes, lines, out, &row.why, true);
    return true;
}

// How the file is laid out, found from its first rows and its dates.
struct Layout
{
    QChar delimiter = u',';
    std::array<int, 3> column = { 0, 1, 2 }; // date, description, annual
    bool header = false;
    std::optional<DateOrder> order;
    // A date that either order reads, and its line, when nothing settles the order.
    QString either;
    int eitherLine = 0;
};

constexpr int sampleRows = 20;

// The first rows settle the delimiter (the one that gives three fields holding a date in the
// most rows) and the header; then the dates settle the order, unless the options or the
// header name it. An ISO file is known by its first rows. The input is read again from its
// start afterwards, so it must be able to seek.
Layout findLayout(LineReader &lines, Collector &out)
{
    Layout layout;
    QList<QString> sample;
    Row row;
    while (sample.size() < sampleRows && nextRow(lines, out, row)) {
        if (row.text && !row.tooLong && !row.text->trimmed().isEmpty())
            sample << *row.text;
    }
    const auto isDate = [](const QString &field) {
        QString why;
        return numericDate(field) || isoDateTime(field, &why);
    };
    int best = -1;
    for (const QChar delimiter : { u',', u';', u'\t' }) {
        int score = 0;
        for (qsizetype r = 0; r < sample.size(); ++r) {
            QString error;
            const QStringList fields = csvFields(sample.at(r), delimiter, &error);
            if (fields.size() != 3 || !error.isEmpty())
                continue;
            score += 1;
            if (std::any_of(fields.cbegin(), fields.cend(), isDate))
                score += 2;
            if (r == 0 && std::all_of(fields.cbegin(), fields.cend(), [](const QString &name) {
                    return columnOfName(name) >= 0;
                }))
                score += 2;
        }
        if (score > best) {
            best = score;
            layout.delimiter = delimiter;
        }
    }
    if (!sample.isEmpty()) {
        QString error;
        const QStringList names = csvFields(sample.first(), layout.delimiter, &error);
        std::array<int, 3> column = { -1, -1, -1 };
        for (qsizetype f = 0; f < names.size() && names.size() == 3; ++f) {
            if (const int c = columnOfName(names.at(f)); c >= 0)
                column[c] = int(f);
        }
        if (std::none_of(column.cbegin(), column.cend(), [](int c) { return c < 0; })) {
            layout.header = true;
            layout.column = column;
            layout.order = orderOfForm(names.at(column[0]));
        }
    }
    if (out.options.dateOrder)
        layout.order = out.options.dateOrder;

    // The dates, until one settles the order.
    qsizetype isoRows = 0, rows = 0;
    QChar separator;
    lines.rewind();
    while (!layout.order && nextRow(lines, out, row)) {
        if (!row.text || row.tooLong || row.text->trimmed().isEmpty())
            continue;
        if (rows++ == 0 && layout.header)
            continue;
        QString error;
        const QStringList fields = csvFields(*row.text, layout.delimiter, &error);
        const auto date =
                fields.size() == 3 ? numericDate(fields.at(layout.column[0])) : std::nullopt;
        QString why;
        if (!date || date->parts[0].size() == 4) {
            if (date || (fields.size() == 3 && isoDateTime(fields.at(layout.column[0]), &why)))
                ++isoRows;
            if (rows >= sampleRows && isoRows == rows - (layout.header ? 1 : 0))
                break; // an ISO file
            continue;
        }
        const Evidence evidence = evidenceOf(*date);
        if (evidence == Evidence::DayFirst)
            layout.order = DateOrder::DayMonthYear;
        else if (evidence == Evidence::MonthFirst)
            layout.order = DateOrder::MonthDayYear;
        else if (evidence == Evidence::Either && layout.either.isEmpty()) {
            layout.either = fields.at(layout.column[0]).trimmed();
            layout.eitherLine = row.line;
            separator = date->separator;
        }
    }
    if (!layout.order && !layout.either.isEmpty()) {
        // Every date could be read either way: the user's own form settles it when the file
        // writes its dates with the same separator.
        const auto [order, localeSeparator] = localeOrder(out.options.locale);
        if (order && *order != DateOrder::YearMonthDay && localeSeparator == separator) {
            layout.order = order;
            out.warn(u"dates such as \"%1\" could be read day first or month first; read %2, as "
                     "the locale %3 writes dates (--date-order %4 reads them the other way)"_s.arg(
                             layout.either, orderName(*order), out.options.locale.name(),
                             *order == DateOrder::DayMonthYear ? u"mdy"_s : u"dmy"_s));
        }
    }
    lines.rewind();
    return layout;
}

// The date of a field, in the file's order; `why` says what is wrong with anything else.
std::optional<DateAndTime> csvDate(const QString &field, const Layout &layout, QString *why)
{
    if (auto iso = isoDateTime(field, why))
        return iso; // the form Datebell writes, read first
    const auto date = numericDate(field);
    if (!date || date->parts[0].size() == 4) {
        if (date) {
            // "2027/12/24" and "2027.12.24" as "2027-12-24".
            QString iso = field.trimmed();
            iso.replace(4, 1, u'-').replace(7, 1, u'-');
            if (iso.endsWith(u'.'))
                iso.chop(1);
            return isoDateTime(iso, why);
        }
        if (const auto iso = isoDateTime(field, why))
            return iso;
        *why = u"the date is not written as YYYY-MM-DD, DD.MM.YYYY or MM/DD/YYYY"_s;
        return std::nullopt;
    }
    std::optional<DateOrder> order = layout.order;
    const Evidence evidence = evidenceOf(*date);
    if (!order) {
        // Only lines the order was not looked for on come here.
        if (evidence == Evidence::Either) {
            *why = u"\"%1\" could be read day first or month first: --date-order dmy or "
                   "--date-order mdy says which"_s.arg(field.trimmed());
            return std::nullopt;
        }
        order = evidence == Evidence::MonthFirst ? DateOrder::MonthDayYear
                                                 : DateOrder::DayMonthYear;
    }
    const int a = date->parts[0].toInt(), b = date->parts[1].toInt();
    const int year = yearOf(*order == DateOrder::YearMonthDay ? date->parts[0] : date->parts[2]);
    const int month = *order == DateOrder::MonthDayYear ? a : b;
    const int day = *order == DateOrder::DayMonthYear ? a
            : *order == DateOrder::MonthDayYear       ? b
                                                      : date->parts[2].toInt();
    const QDate value(year, month, day);
    if (!year || !value.isValid()) {
        *why = u"there is no such date, read %1"_s.arg(orderName(*order));
        return std::nullopt;
    }
    if (date->time.isEmpty())
        return DateAndTime{ EventDateTime(value), false };
    const auto time = timeOfDay(date->time);
    if (!time) {
        *why = u"the time of day is not written as HH:MM or HH:MM:SS"_s;
        return std::nullopt;
    }
    return DateAndTime{ EventDateTime(value, *time), true };
}

} // namespace

void readCsv(LineReader &lines, Collector &out)
{
    const Layout layout = findLayout(lines, out);
    if (!layout.order && !layout.either.isEmpty()) {
        out.unreadable(layout.eitherLine, layout.either,
                       u"every date of the file could be read day first or month first; "
                       "--date-order dmy reads them day first, --date-order mdy month first"_s);
        out.report.refused = true;
        return;
    }
    bool first = true;
    Row row;
    while (nextRow(lines, out, row)) {
        if (row.tooLong) {
            out.unreadable(row.line, QString::fromUtf8(row.bytes), longLine);
            continue;
        }
        if (!row.text) {
            out.unreadable(row.line, shownBytes(row.bytes), row.why);
            first = false;
            continue;
        }
        const QString &text = *row.text;
        if (text.trimmed().isEmpty())
            continue; // a blank line
        if (std::exchange(first, false) && layout.header)
            continue;
        QString error;
        const QStringList fields = csvFields(text, layout.delimiter, &error);
        if (!error.isEmpty()) {
            out.unreadable(row.line, text, error);
            continue;
        }
        if (fields.size() != 3) {
            out.unreadable(row.line, text,
                           u"%1 fields where 3 (Date, Description, Annual) were expected"_s.arg(
                                   fields.size()));
            continue;
        }
        QString why;
        const auto date = csvDate(fields.at(layout.column[0]), layout, &why);
        if (!date) {
            out.unreadable(row.line, text, why);
            continue;
        }
        const auto annual = yesNo(fields.at(layout.column[2]));
        if (!annual) {
            out.unreadable(row.line, text, u"Annual is neither yes nor no"_s);
            continue;
        }
        out.add(row.line,
                EventRecord{ date->value, date->hasTime, fields.at(layout.column[1]), *annual });
    }
}

} // namespace EventReading
