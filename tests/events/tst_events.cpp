#include "engine/dao.h"
#include "engine/dates.h"
#include "engine/errors.h"
#include "eventformats.h"
#include "eventstore.h"
#include "fixtures.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QStringDecoder>
#include <QTest>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

const QDate today(2026, 3, 10);

ReadOptions fixedOptions()
{
    ReadOptions options;
    options.today = today;
    options.localZone = QTimeZone(3600); // +01:00 all year
    return options;
}

EventRecord record(const QString &stored, const QString &description, bool annual)
{
    const QDateTime date = StoredDateValue(stored).value();
    return EventRecord{ date, date.time() != QTime(0, 0), description, annual };
}

QStringList recordTexts(const QList<EventRecord> &records)
{
    QStringList out;
    for (const EventRecord &r : records)
        out << RecordDateText(r) + (r.annual ? u"|annual|"_s : u"|one-off|"_s) + r.description;
    return out;
}

// Each issue against "line:part of the reason".
bool issuesMatch(const QList<LineIssue> &issues, const QStringList &expected, QString *seen)
{
    for (const LineIssue &issue : issues)
        *seen += u"%1:%2; "_s.arg(issue.line).arg(issue.reason);
    if (issues.size() != expected.size())
        return false;
    for (qsizetype i = 0; i < issues.size(); ++i) {
        const qsizetype colon = expected.at(i).indexOf(u':');
        if (QString::number(issues.at(i).line) != expected.at(i).left(colon)
            || !issues.at(i).reason.contains(expected.at(i).mid(colon + 1)))
            return false;
    }
    return true;
}

QByteArray calendar(const QByteArray &body)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n" + body + "END:VCALENDAR\r\n";
}

QByteArray vevent(const QByteArray &lines)
{
    return "BEGIN:VEVENT\r\nUID:1@test\r\nDTSTAMP:20260101T000000Z\r\n" + lines + "END:VEVENT\r\n";
}

QByteArray unfold(QByteArray ics)
{
    return ics.replace("\r\n ", "");
}

} // namespace

class tst_Events : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void icsWriting_data();
    void icsWriting();
    void icsFolding_data();
    void icsFolding();
    void icsUidsAreStable();
    void reading_data();
    void reading();
    void guessing_data();
    void guessing();
    void exportSkipsForeignRows_data();
    void exportSkipsForeignRows();
    void duplicatesAndDryRun_data();
    void duplicatesAndDryRun();
    void failedImportChangesNothing_data();
    void failedImportChangesNothing();
    void command_data();
    void command();
};

// Export, then import into an empty database: the same rows.
void tst_Events::roundTrip_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("description");
    const QList<std::pair<const char *, const char *>> cases = {
        { "29 February", "2028-02-29 00:00:00" },
        { "time of day", "2026-12-06 10:30:00" },
        { "last second", "2026-12-31 23:59:59" },
        { "quotes", "2026-12-06 00:00:00" },
        { "commas and semicolons", "2026-12-06 00:00:00" },
        { "line breaks", "2026-12-06 00:00:00" },
        { "non-ASCII", "2026-12-06 00:00:00" },
        { "backslashes", "2026-12-06 00:00:00" },
        { "long", "2026-12-06 00:00:00" },
    };
    const QStringList descriptions = {
        u"Leo's birthday"_s,
        u"Dentist, Dr Novak"_s,
        u"New year"_s,
        u"She said \"hi\" and 'bye'"_s,
        u"a, b; c,,;;"_s,
        u"first\nsecond\n\nfourth"_s,
        u"Žluťoučký kůň 🎂 日本語 ﻿"_s,
        u"C:\\path\\n not a break \\"_s,
        QString(u"Žluťoučký kůň, "_s).repeated(12),
    };
    for (const char *format : { "csv", "ics" }) {
        for (qsizetype i = 0; i < cases.size(); ++i)
            QTest::addRow("%s: %s", format, cases.at(i).first)
                    << format << cases.at(i).second << descriptions.at(i);
    }
}

void tst_Events::roundTrip()
{
    QFETCH(QString, format);
    QFETCH(QString, date);
    QFETCH(QString, description);

    ProgramFolder source;
    source.add(date, description, -1);
    source.add(date, description, 0);
    source.add(u"2026-01-01 00:00:00"_s, u"plain"_s, 0);
    source.add(u"2026-01-01 00:00:00"_s, u"plain"_s, 0); // identical rows stay two
    const auto db = DBEngine::OpenDatabase(source.database());
    const StoredEvents stored = ReadStoredEvents(*db);
    QCOMPARE(stored.skipped.size(), 0);
    const EventFormat kind = FormatFromName(format).value();
    const QByteArray file = kind == EventFormat::Csv
            ? WriteCsv(stored.records)
            : WriteICalendar(stored.records, QDateTime::currentDateTimeUtc());

    const ReadResult read = ReadEvents(kind, file, fixedOptions());
    QVERIFY(read.bad.isEmpty());
    QVERIFY(read.skipped.isEmpty());
    ProgramFolder target;
    const auto targetDb = DBEngine::OpenDatabase(target.database());
    const ImportOutcome outcome = ImportEvents(*targetDb, read.records, false);
    QCOMPARE(outcome.added.size(), 3);
    QCOMPARE(outcome.duplicates, 1);
    QStringList expected = source.rows();
    expected.removeOne(u"2026-01-01 00:00:00|plain|0"_s);
    QCOMPARE(target.rows(), expected);
}

void tst_Events::icsWriting_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("annual");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("all-day one-off")
            << "2026-12-06 00:00:00"
            << "Party" << false << QStringList{ "DTSTART;VALUE=DATE:20261206", "SUMMARY:Party" };
    QTest::newRow("time of day, local")
            << "2026-12-06 10:30:05"
            << "Dentist" << false << QStringList{ "DTSTART:20261206T103005" };
    QTest::newRow("annual 29 February")
            << "2028-02-29 00:00:00"
            << "Leo" << true << QStringList{ "DTSTART;VALUE=DATE:20280229", "RRULE:FREQ=YEARLY" };
    QTest::newRow("escaped text, CRLF is one line break")
            << "2026-12-06 00:00:00"
            << "a\\b;c,d\ne\r\nf" << false << QStringList{ "SUMMARY:a\\\\b\\;c\\,d\\ne\\nf" };
}

void tst_Events::icsWriting()
{
    QFETCH(QString, date);
    QFETCH(QString, description);
    QFETCH(bool, annual);
    QFETCH(QStringList, lines);

    const QByteArray ics = WriteICalendar({ record(date, description, annual) },
                                          QDateTime(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC));
    QVERIFY(!ics.contains("\n\n") && ics.count('\n') == ics.count("\r\n"));
    const QList<QByteArray> unfolded = unfold(ics).split('\n');
    QStringList seen;
    for (const QByteArray &line : unfolded)
        seen << QString::fromUtf8(line).chopped(line.isEmpty() ? 0 : 1);
    for (const QString &line : lines
                 + QStringList{ "BEGIN:VCALENDAR", "VERSION:2.0", "BEGIN:VEVENT",
                                "DTSTAMP:20261206T120000Z", "END:VEVENT", "END:VCALENDAR" })
        QVERIFY2(seen.contains(line), qPrintable(line + u" not in\n"_s + seen.join(u'\n')));
    QVERIFY(seen.constFirst() == u"BEGIN:VCALENDAR");
    QVERIFY(seen.filter(u"PRODID:"_s).size() == 1);
    QCOMPARE(seen.filter(u"UID:"_s).size(), 1);
    QCOMPARE(seen.contains(u"RRULE:FREQ=YEARLY"_s), annual);
}

// No line longer than 75 octets, no character cut in two, and the text unfolds as it was.
void tst_Events::icsFolding_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("physicalLines"); // of the SUMMARY property; 0: not checked
    QTest::newRow("75 octets exactly") << QString(67, u'x') << 1;
    QTest::newRow("76 octets") << QString(68, u'x') << 2;
    QTest::newRow("long ASCII") << QString(300, u'x') << 5;
    for (int shift = 0; shift < 4; ++shift) {
        QTest::addRow("two-byte, shifted %d", shift)
                << QString(shift, u'a') + QString(90, u'é') << 0;
        QTest::addRow("three-byte, shifted %d", shift)
                << QString(shift, u'a') + QString(70, u'€') << 0;
        QTest::addRow("four-byte, shifted %d", shift)
                << QString(shift, u'a') + u"🎂"_s.repeated(50) << 0;
    }
}

void tst_Events::icsFolding()
{
    QFETCH(QString, description);
    QFETCH(int, physicalLines);

    const QByteArray ics = WriteICalendar({ record(u"2026-12-06 00:00:00"_s, description, false) },
                                          QDateTime::currentDateTimeUtc());
    const QList<QByteArray> lines = ics.split('\n');
    int summaryLines = 0;
    for (const QByteArray &line : lines) {
        QVERIFY2(line.size() <= 76, line.constData()); // 75 and the CR
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString text = decoder.decode(line);
        QVERIFY2(!decoder.hasError() && !text.contains(QChar::ReplacementCharacter),
                 line.constData());
        if (line.startsWith("SUMMARY:") || (summaryLines > 0 && line.startsWith(' ')))
            ++summaryLines;
        else if (summaryLines > 0)
            break;
    }
    if (physicalLines > 0)
        QCOMPARE(summaryLines, physicalLines);
    QVERIFY(unfold(ics).contains(QByteArray("\r\nSUMMARY:" + description.toUtf8() + "\r\n")));
}

void tst_Events::icsUidsAreStable()
{
    const QList<EventRecord> records = { record(u"2026-12-06 00:00:00"_s, u"same"_s, true),
                                         record(u"2026-12-06 00:00:00"_s, u"same"_s, true),
                                         record(u"2026-12-06 00:00:00"_s, u"same"_s, false),
                                         record(u"2026-12-07 00:00:00"_s, u"same"_s, true) };
    const auto uids = [&](const QDateTime &stamp) {
        QStringList out;
        for (const QByteArray &line : unfold(WriteICalendar(records, stamp)).split('\n')) {
            if (line.startsWith("UID:"))
                out << QString::fromUtf8(line.trimmed());
        }
        return out;
    };
    const QStringList first = uids(QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC));
    QCOMPARE(first.size(), 4);
    QCOMPARE(uids(QDateTime(QDate(2027, 6, 1), QTime(8, 0), Qt::UTC)), first);
    QCOMPARE(QSet<QString>(first.begin(), first.end()).size(), 4);
    for (const QString &uid : first)
        QVERIFY(uid.endsWith(u"@datebell"_s));
}

void tst_Events::reading_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("bad"); // "line:part of the reason"
    QTest::addColumn<QStringList>("skipped");
    using L = QStringList;

    QTest::newRow("csv: header, CRLF, time of day")
            << "csv"
            << QByteArray("Date,Description,Annual\r\n2026-12-06,Party,no\r\n"
                          "2026-12-06 10:30:00,Dentist,YES\r\n2026-12-07 08:15,Bus,no")
            << L{ "2026-12-06|one-off|Party", "2026-12-06 10:30:00|annual|Dentist",
                  "2026-12-07 08:15:00|one-off|Bus" }
            << L{} << L{};
    QTest::newRow("csv: columns by the header, BOM")
            << "csv"
            << QByteArray("\xEF\xBB\xBF"
                          "annual,DATE,description\nyes,2028-02-29,Leap\n")
            << L{ "2028-02-29|annual|Leap" } << L{} << L{};
    QTest::newRow("csv: quoted field over lines, numbers go on")
            << "csv"
            << QByteArray("Date,Description,Annual\r\n2026-12-06,\"a, \"\"b\"\"\r\nc\",no\r\n"
                          "\r\n2026-12-07,x,maybe\r\n")
            << L{ "2026-12-06|one-off|a, \"b\"\r\nc" } << L{ "5:neither yes nor no" } << L{};
    QTest::newRow("csv: quote not closed")
            << "csv" << QByteArray("2026-12-06,\"open,no\n2026-12-07,x,no\n") << L{}
            << L{ "1:not closed" } << L{};
    QTest::newRow("csv: bad fields")
            << "csv"
            << QByteArray("2026-12-06,x\n2026-02-30,x,no\n06/12/2026,y,no\n2026-12-06 25:00,z,no\n"
                          "2026-12-06,,no\n2026-12-06,\"a\"b,no\n2026-12-06,a\"b,no\n")
            << L{} << L{ "1:2 fields",           "2:no such date",         "3:YYYY-MM-DD",
                         "4:no such time",       "5:description is empty", "6:closing quote",
                         "7:does not start with" }
            << L{};
    QTest::newRow("csv: not UTF-8")
            << "csv" << QByteArray("2026-12-06,caf\xe9,no\n2026-12-07,ok,no\n")
            << L{ "2026-12-07|one-off|ok" } << L{ "1:UTF-8" } << L{};

    QTest::newRow("ics: dates, times, zones")
            << "ics"
            << calendar(vevent("DTSTART;VALUE=DATE:20280229\r\nSUMMARY:Leap\r\nRRULE:FREQ="
                               "YEARLY\r\n")
                        + vevent("DTSTART:20261206T103000\r\nSUMMARY:Floating\r\n")
                        + vevent("DTSTART:20261231T233000Z\r\nSUMMARY:UTC\r\n")
                        + vevent("DTSTART;TZID=\"America/New_York\":20260701T120000\r\n"
                                 "SUMMARY:New York\r\n")
                        + vevent("DTSTART:20261206\r\nSUMMARY:Bare date\r\nRRULE:FREQ=YEARLY;"
                                 "INTERVAL=1;BYMONTH=12;BYMONTHDAY=6\r\n"))
            << L{ "2028-02-29|annual|Leap", "2026-12-06 10:30:00|one-off|Floating",
                  "2027-01-01 00:30:00|one-off|UTC", "2026-07-01 17:00:00|one-off|New York",
                  "2026-12-06|annual|Bare date" }
            << L{} << L{};
    QTest::newRow("ics: escapes, folding inside a character, LF ends")
            << "ics"
            << calendar(
                       vevent("DTSTART;VALUE=DATE:20261206\r\nSUMMARY:a\\, b\\; c\\\\n\\nd \xC5\r\n"
                              " \xBD\r\n\tx\r\n"))
                       .replace("\r\n", "\n")
            << L{ "2026-12-06|one-off|a, b; c\\n\nd Žx" } << L{} << L{};
    QTest::newRow("ics: only the event's own properties")
            << "ics"
            << calendar(
                       "BEGIN:VTIMEZONE\r\nTZID:X\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\n"
                       "END:STANDARD\r\nEND:VTIMEZONE\r\n"
                       + vevent("SUMMARY:Event\r\nBEGIN:VALARM\r\nACTION:EMAIL\r\nSUMMARY:Alarm\r\n"
                                "END:VALARM\r\nDTSTART;VALUE=DATE:20261206\r\n"))
            << L{ "2026-12-06|one-off|Event" } << L{} << L{};
    QTest::newRow("ics: other recurrences and no date are skipped")
            << "ics"
            << calendar(vevent("DTSTART;VALUE=DATE:20261206\r\nSUMMARY:Weekly\r\n"
                               "RRULE:FREQ=WEEKLY\r\n")
                        + vevent("DTSTART;VALUE=DATE:20261206\r\nSUMMARY:Thrice\r\n"
                                 "RRULE:FREQ=YEARLY;COUNT=3\r\n")
                        + vevent("SUMMARY:Undated\r\n"))
            << L{} << L{}
            << L{ "9:otherwise than once a year", "16:otherwise than once a year", "18:no date" };
    QTest::newRow("ics: bad events")
            << "ics"
            << calendar(vevent("DTSTART:2026-12-06\r\nSUMMARY:Dashes\r\n")
                        + vevent("DTSTART;VALUE=DATE:20261206\r\n")
                        + vevent("DTSTART;TZID=Nowhere/Else:20261206T100000\r\nSUMMARY:Zone\r\n")
                        + vevent("DTSTART;VALUE=DATE:20261206\r\nno colon here\r\nSUMMARY:x\r\n"))
            << L{} << L{ "7:not a date", "10:no SUMMARY", "18:not known here", "25:content line" }
            << L{};
    QTest::newRow("ics: not iCalendar") << "ics" << QByteArray("hello\n") << L{}
                                        << L{ "1:content line", "1:does not start" } << L{};

    QTest::newRow("remind: plain dates")
            << "remind"
            << QByteArray("# comment\n  ; comment\n\nREM 7 Dec 2026 MSG one\nREM Dec 7 MSG two\n"
                          "rem 2026-12-08 at 10:30 msg three 50%% off\nREM 29 Feb MSG leap\n"
                          "REM Jan 5 MSG next year\nREM 2026 December 9 MSG any order\n"
                          "REM Dec 7 \\\n  MSG joined\nREM Mar 10 MSG today\n")
            << L{ "2026-12-07|one-off|one",
                  "2026-12-07|annual|two",
                  "2026-12-08 10:30:00|one-off|three 50% off",
                  "2028-02-29|annual|leap",
                  "2027-01-05|annual|next year",
                  "2026-12-09|one-off|any order",
                  "2026-12-07|annual|joined",
                  "2026-03-10|annual|today" }
            << L{} << L{};
    QTest::newRow("remind: other syntax")
            << "remind"
            << QByteArray(
                       "REM Mon MSG weekly\nREM 7 MSG monthly\nSET x 1\nREM Dec 7 +3 MSG soon\n"
                       "REM Dec 7\nREM 31 Feb MSG never\nREM Dec 7 MSG\nREM 7 Dec AT 25:00 MSG x\n")
            << L{} << L{ "1:\"Mon\"", "2:day and a month", "3:only REM", "4:\"+3\"",
                         "5:MSG",     "6:no such date",    "7:no text",  "8:time of day" }
            << L{};

    QTest::newRow("calendar: fixed days")
            << "calendar"
            << QByteArray("/* head\n   comment */\nLANG=C\n#ifndef _x_\n12/07\tnumeric\n"
                          "Dec. 7\tnamed\n\tsecond line\n7 December\tday first\n"
                          "#include <calendar.usholiday>\n1/5\tJanuary\n")
            << L{ "2026-12-07|annual|numeric", "2026-12-07|annual|named\nsecond line",
                  "2026-12-07|annual|day first", "2027-01-05|annual|January" }
            << L{} << L{ "9:included file" };
    QTest::newRow("calendar: moving and bad days")
            << "calendar"
            << QByteArray("Thursday\tEvery Thursday\nEaster\tEaster\n12/07 no tab\n02/30\tno\n"
                          "\tgoes on\n12/07\t\n")
            << L{} << L{ "1:fixed month and day", "2:fixed month and day", "3:no tab",
                         "4:no such date",        "5:could not be read",   "6:empty" }
            << L{};

    QTest::newRow("birthday: bd, ann, ev")
            << "birthday"
            << QByteArray("# comment\nJoe Blow=25/04/1974\nErin=07/12/1970 bd\nEaster=5/4/2026 ev\n"
                          "Pen exploded=12/09/93 ann\nXmas=25/12 ev w30\nLeap=29/02/1996\n"
                          "&include /etc/birthdays\n")
            << L{ "2026-04-25|annual|Joe Blow", "2026-12-07|annual|Erin",
                  "2026-04-05|one-off|Easter",  "2026-09-12|annual|Pen exploded",
                  "2026-12-25|annual|Xmas",     "2028-02-29|annual|Leap" }
            << L{} << L{ "8:included file" };
    QTest::newRow("birthday: bad lines")
            << "birthday"
            << QByteArray("no date here\nX=31/04/1970\nY=07/12/1970 for3\nZ=07/12/1970 bd ev\n"
                          "W=12/1970\n=07/12\nV=07/12 party\n")
            << L{} << L{ "1:name=DD/MM/YYYY", "2:no such date",  "3:several days", "4:both",
                         "5:DD/MM",           "6:name is empty", "7:\"party\"" }
            << L{};
}

void tst_Events::reading()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, records);
    QFETCH(QStringList, bad);
    QFETCH(QStringList, skipped);

    if (content.contains("America/New_York")
        && !QTimeZone::isTimeZoneIdAvailable(QByteArrayLiteral("America/New_York")))
        QSKIP("the time zone database is not installed");
    const ReadResult read = ReadEvents(FormatFromName(format).value(), content, fixedOptions());
    QCOMPARE(recordTexts(read.records), records);
    QCOMPARE(read.recordLines.size(), read.records.size());
    QString seen;
    QVERIFY2(issuesMatch(read.bad, bad, &seen), qPrintable(seen));
    seen.clear();
    QVERIFY2(issuesMatch(read.skipped, skipped, &seen), qPrintable(seen));
}

void tst_Events::guessing_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("format"); // empty: no guess
    QTest::newRow("iCalendar, any name") << calendar("") << "events.txt"
                                         << "ics";
    QTest::newRow("CSV") << QByteArray("Date,Description,Annual\r\n2026-12-06,x,no\r\n") << "x"
                         << "csv";
    QTest::newRow("remind named .csv") << QByteArray("# x\nREM Dec 7 MSG x\n") << "a.csv"
                                       << "remind";
    QTest::newRow("birthday") << QByteArray("Erin=07/12/1970\n") << ".birthdays"
                              << "birthday";
    QTest::newRow("calendar") << QByteArray("#include <calendar.x>\n12/07\tx\n") << ""
                              << "calendar";
    QTest::newRow("a line of each: the name decides")
            << QByteArray("REM Dec 7 MSG x\nErin=07/12/1970\n") << "people.birthdays"
            << "birthday";
    QTest::newRow("nothing readable") << QByteArray("hello world\n") << "notes"
                                      << "";
}

void tst_Events::guessing()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, fileName);
    QFETCH(QString, format);

    const auto guess = GuessFormat(content, fileName);
    QCOMPARE(guess ? FormatName(*guess) : QString(), format);
}

void tst_Events::exportSkipsForeignRows_data()
{
    QTest::addColumn<QString>("values"); // as SQL
    QTest::addColumn<QString>("exported"); // as the CSV line; empty: skipped
    QTest::newRow("stored form") << "'2026-12-06 10:30:00', 'x', 0"
                                 << "2026-12-06 10:30:00,x,no";
    QTest::newRow("no annual flag is annual") << "'2026-12-06 00:00:00', 'x', NULL"
                                              << "2026-12-06,x,yes";
    QTest::newRow("date alone") << "'2026-12-06', 'x', 0"
                                << "";
    QTest::newRow("no date") << "NULL, 'x', 0"
                             << "";
    QTest::newRow("flag 1") << "'2026-12-06 00:00:00', 'x', 1"
                            << "";
}

void tst_Events::exportSkipsForeignRows()
{
    QFETCH(QString, values);
    QFETCH(QString, exported);

    ProgramFolder folder(false);
    folder.exec(u"INSERT INTO Events VALUES (%1)"_s.arg(values));
    folder.add(u"2027-01-01 00:00:00"_s, u"good"_s, 0);
    const auto db = DBEngine::OpenDatabase(folder.database());
    const StoredEvents stored = ReadStoredEvents(*db);
    QStringList expected;
    if (!exported.isEmpty())
        expected << exported;
    expected << u"2027-01-01,good,no"_s;
    QCOMPARE(QString::fromUtf8(WriteCsv(stored.records)).split(u"\r\n"_s, Qt::SkipEmptyParts),
             QStringList(u"Date,Description,Annual"_s) + expected);
    QCOMPARE(stored.skipped.size(), exported.isEmpty() ? 1 : 0);
}

void tst_Events::duplicatesAndDryRun_data()
{
    QTest::addColumn<QString>("csv");
    QTest::addColumn<bool>("dryRun");
    QTest::addColumn<int>("added");
    QTest::addColumn<int>("duplicates");
    // The table holds "2026-12-06 00:00:00|Party|0" and "2026-12-06 10:00:00|Dentist|-1".
    for (const bool dryRun : { false, true }) {
        const char *run = dryRun ? "dry run" : "import";
        QTest::addRow("%s: already there", run)
                << "2026-12-06,Party,no\n2026-12-06 10:00:00,Dentist,yes\n"
                << dryRun << 0 << 2;
        QTest::addRow("%s: other flag", run) << "2026-12-06,Party,yes\n" << dryRun << 1 << 0;
        QTest::addRow("%s: other time", run) << "2026-12-06 00:00:01,Party,no\n"
                                             << dryRun << 1 << 0;
        QTest::addRow("%s: other case", run) << "2026-12-06,party,no\n" << dryRun << 1 << 0;
        QTest::addRow("%s: twice in the file", run) << "2026-12-07,New,no\n2026-12-07,New,no\n"
                                                    << dryRun << 1 << 1;
    }
}

void tst_Events::duplicatesAndDryRun()
{
    QFETCH(QString, csv);
    QFETCH(bool, dryRun);
    QFETCH(int, added);
    QFETCH(int, duplicates);

    ProgramFolder folder;
    folder.add(u"2026-12-06 00:00:00"_s, u"Party"_s, 0);
    folder.add(u"2026-12-06 10:00:00"_s, u"Dentist"_s, -1);
    const QStringList before = folder.rows();
    const ReadResult read = ReadEvents(EventFormat::Csv, csv.toUtf8(), fixedOptions());
    QVERIFY(read.bad.isEmpty());

    const auto db = DBEngine::OpenDatabase(folder.database());
    const ImportOutcome outcome = ImportEvents(*db, read.records, dryRun);
    db->Close();
    QCOMPARE(outcome.added.size(), added);
    QCOMPARE(outcome.duplicates, duplicates);
    QStringList after = before;
    if (!dryRun) {
        for (const EventRecord &r : outcome.added)
            after << StoredDateText(r.date) + u'|' + r.description
                            + (r.annual ? u"|-1"_s : u"|0"_s);
        after.sort();
    }
    QCOMPARE(folder.rows(), after);
}

// A failure part of the way through leaves the table as it was.
void tst_Events::failedImportChangesNothing_data()
{
    QTest::addColumn<int>("failingInsert");
    QTest::newRow("first") << 1;
    QTest::newRow("second") << 2;
    QTest::newRow("last") << 3;
}

void tst_Events::failedImportChangesNothing()
{
    QFETCH(int, failingInsert);

    ProgramFolder folder;
    folder.add(u"2026-01-01 00:00:00"_s, u"there before"_s, 0);
    folder.exec(u"CREATE TRIGGER fail BEFORE INSERT ON Events WHEN (SELECT count(*) FROM Events) "
                "= %1 BEGIN SELECT RAISE(ABORT, 'disk on fire'); END"_s.arg(failingInsert));
    const QStringList before = folder.rows();
    const QList<EventRecord> records = { record(u"2026-12-06 00:00:00"_s, u"a"_s, false),
                                         record(u"2026-12-07 00:00:00"_s, u"b"_s, true),
                                         record(u"2026-12-08 00:00:00"_s, u"c"_s, false) };
    const auto db = DBEngine::OpenDatabase(folder.database());
    try {
        ImportEvents(*db, records, false);
        QFAIL("the import went through");
    } catch (const DatebellError &error) {
        QVERIFY2(error.text().contains(u"disk on fire"_s), qPrintable(error.text()));
    }
    db->Close();
    QCOMPARE(folder.rows(), before);
}

// The command as a user runs it. The folder holds "2026-12-06 00:00:00|Party|0"; "%folder"
// and "%file" in the arguments stand for it and for the file written from `content`.
void tst_Events::command_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("errors"); // part of standard error
    QTest::addColumn<QString>("output"); // part of standard output
    QTest::addColumn<int>("rows"); // afterwards; -1: not checked
    using L = QStringList;
    const QByteArray csv =
            "Date,Description,Annual\r\n2026-12-07,New,no\r\n2026-12-06,Party,no\r\n";

    QTest::newRow("no arguments") << "" << L{} << csv << 2 << "Usage:"
                                  << "" << 1;
    QTest::newRow("unknown command") << "" << L{ "list" } << csv << 2 << "unknown command"
                                     << "" << 1;
    QTest::newRow("export writes no remind")
            << "" << L{ "export", "--format", "remind" } << csv << 2 << "csv or ics"
            << "" << 1;
    QTest::newRow("import without a file")
            << "" << L{ "import", "--folder", "%folder" } << csv << 2 << "needs a file"
            << "" << 1;
    QTest::newRow("unknown format")
            << "" << L{ "import", "--format=xml", "%file" } << csv << 2 << "unknown format"
            << "" << 1;

    QTest::newRow("export CSV") << "" << L{ "--folder", "%folder", "export" } << csv << 0
                                << "Exported 1 event"
                                << "\r\n2026-12-06,Party,no\r\n"
                                << 1;
    QTest::newRow("export ICS to a file")
            << "" << L{ "export", "--folder=%folder", "--format", "ics", "%folder/out.ics" } << csv
            << 0 << "Exported 1 event as ics"
            << "" << 1;
    QTest::newRow("export of a foreign row")
            << "foreign" << L{ "--folder", "%folder", "export" } << csv << 0 << "skipped 1 row "
            << "Party" << 2;
    QTest::newRow("the command's own folder") << "copy" << L{ "export" } << csv << 0 << ""
                                              << "Party" << 1;

    QTest::newRow("import, guessed")
            << "" << L{ "--folder", "%folder", "import", "%file" } << csv << 0
            << "Format: csv (guessed)\nAdded 1, duplicates 1, "
               "rejected 0\n"
            << "" << 2;
    QTest::newRow("bad last line") << "" << L{ "--folder", "%folder", "import", "%file" }
                                   << csv + "2026-12-08,Bad,maybe\r\n"
                                   << 1 << "events.csv:4: Annual is neither"
                                   << "" << 1;
    QTest::newRow("bad line skipped")
            << "" << L{ "--folder", "%folder", "import", "--skip-bad", "%file" }
            << csv + "2026-12-08,Bad,maybe\r\n"
            << 0 << "Added 1, duplicates 1, rejected 1"
            << "" << 2;
    QTest::newRow("dry run") << "" << L{ "--folder", "%folder", "import", "--dry-run", "%file" }
                             << csv << 0 << "would add 1, duplicates 1"
                             << "2026-12-07\tone-off\tNew" << 1;
    QTest::newRow("format not told") << "notes" << L{ "--folder", "%folder", "import", "%file" }
                                     << QByteArray("hello\n") << 1 << "cannot tell the format"
                                     << "" << 1;
    QTest::newRow("file missing") << "" << L{ "--folder", "%folder", "import", "%folder/none.csv" }
                                  << csv << 1 << "cannot read"
                                  << "" << 1;
    QTest::newRow("no database") << "nodb" << L{ "--folder", "%folder", "import", "%file" } << csv
                                 << 1 << "datebell-newdb"
                                 << "" << -1;
    QTest::newRow("damaged database") << "damaged" << L{ "--folder", "%folder", "import", "%file" }
                                      << csv << 1 << "is damaged"
                                      << "" << -1;
    QTest::newRow("locked database") << "locked" << L{ "--folder", "%folder", "import", "%file" }
                                     << csv << 1 << "in use by another program"
                                     << "" << 1;
}

void tst_Events::command()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, content);
    QFETCH(int, status);
    QFETCH(QString, errors);
    QFETCH(QString, output);
    QFETCH(int, rows);

    ProgramFolder folder;
    folder.add(u"2026-12-06 00:00:00"_s, u"Party"_s, 0);
    const QString file = folder.path() + (setup == u"notes" ? u"/notes"_s : u"/events.csv"_s);
    QFile input(file);
    QVERIFY(input.open(QIODevice::WriteOnly) && input.write(content) == content.size());
    input.close();
    QString exe = QStringLiteral(DATEBELL_EVENTS_EXE);

    sqlite3 *lock = nullptr;
    QByteArray damagedBytes;
    if (setup == u"nodb") {
        QVERIFY(QFile::remove(folder.database()));
    } else if (setup == u"foreign") {
        folder.exec(u"DROP TABLE Events; CREATE TABLE Events (EventDate TEXT, Description TEXT, "
                    "RepeatFlag INTEGER); INSERT INTO Events VALUES ('2026-12-06 00:00:00', "
                    "'Party', 0), ('06/12/2026', 'Foreign', 0)"_s);
    } else if (setup == u"copy") {
        exe = folder.path() + u"/datebell-events"_s;
        QVERIFY(QFile::copy(QStringLiteral(DATEBELL_EVENTS_EXE), exe));
    } else if (setup == u"locked") {
        sqlite3_open(folder.database().toUtf8().constData(), &lock);
        QCOMPARE(sqlite3_exec(lock, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    } else if (setup == u"damaged") {
        // Enough pages that noise over four of them leaves the first, the schema, readable.
        folder.exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                    "2000) INSERT INTO Events SELECT '2026-12-06 00:00:00', 'event ' || i, 0 "
                    "FROM n"_s);
        QFile db(folder.database());
        QVERIFY(db.open(QIODevice::ReadWrite) && db.size() >= 8 * 4096);
        QByteArray noise(4 * 4096, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
        QVERIFY(db.seek(3 * 4096) && db.write(noise) == noise.size());
        db.close();
        QVERIFY(db.open(QIODevice::ReadOnly));
        damagedBytes = db.readAll();
    }

    for (QString &argument : arguments)
        argument.replace(u"%folder"_s, folder.path()).replace(u"%file"_s, file);
    QProcess process;
    process.start(exe, arguments);
    process.closeWriteChannel();
    QVERIFY(process.waitForFinished(30000));
    if (lock)
        sqlite3_close(lock);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == status, qPrintable(err));
    QVERIFY2(err.contains(errors), qPrintable(err));
    QVERIFY2(out.contains(output), qPrintable(out));
    if (status == 2)
        QVERIFY2(err.contains(u"Usage: datebell-events"_s), qPrintable(err));
    if (rows >= 0)
        QCOMPARE(folder.rows().size(), rows);
    if (!damagedBytes.isEmpty()) {
        QFile db(folder.database());
        QVERIFY(db.open(QIODevice::ReadOnly));
        QVERIFY2(db.readAll() == damagedBytes, "the damaged file was written to");
    }
}

QTEST_GUILESS_MAIN(tst_Events)
#include "tst_events.moc"
