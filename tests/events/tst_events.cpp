#include "engine/dates.h"
#include "eventformats.h"
#include "fixtures.h"

#include <QBuffer>
#include <QStringEncoder>
#include <QTest>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

// The report as "W: warning", "S<line> <event>: reason" (skipped) and "U<line> <event>:
// reason" (unreadable), each reason cut to the part an expected entry of the same head names.
QStringList reportTexts(const ReadReport &report, const QStringList &expected)
{
    QStringList out;
    for (const QString &warning : report.warnings)
        out << u"W: "_s + warning;
    for (const NotImported &e : report.skipped)
        out << u"S%1 %2: %3"_s.arg(e.line).arg(e.event, e.reason);
    for (const NotImported &e : report.unreadable)
        out << u"U%1 %2: %3"_s.arg(e.line).arg(e.event, e.reason);
    for (QString &entry : out) {
        for (const QString &want : expected) {
            const qsizetype head = want.indexOf(u": "_s) + 2;
            if (entry.startsWith(want.left(head)) && entry.mid(head).contains(want.mid(head)))
                entry = want;
        }
    }
    return out;
}

QByteArray calendar(const QByteArray &body)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n" + body + "END:VCALENDAR\r\n";
}

QByteArray vevent(const QByteArray &lines)
{
    return "BEGIN:VEVENT\r\nUID:1@test\r\nDTSTAMP:20260101T000000Z\r\n" + lines + "END:VEVENT\r\n";
}

// The records "date|annual|text" (or "one-off") as datebell-events writes them.
QByteArray written(EventFormat format, const QStringList &records)
{
    QBuffer file;
    file.open(QIODevice::WriteOnly);
    EventWriter writer(format, file, QDateTime::currentDateTimeUtc());
    for (const QString &record : records) {
        const QStringList part = record.split(u'|');
        const QString date = part[0].size() == 10 ? part[0] + u" 00:00:00"_s : part[0];
        writer.write({ StoredDateValue(date).value(), false, part[2], part[1] == u"annual" });
    }
    writer.finish();
    return file.data();
}

} // namespace

class tst_Events : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reading_data();
    void reading();
    void command_data();
    void command();
};

// A file in, the records and the report out. Beside it stand "other.cal", "other.bd" and
// "other.rem" (which includes itself) for its include lines.
void tst_Events::reading_data()
{
    QTest::addColumn<QString>("format"); // and the user's locale after an '@'
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("out"); // the records, then the report
    using L = QStringList;

    // What datebell-events writes, it reads back.
    const L written = { "2028-02-29|annual|Leo's",
                        "2026-12-06 10:30:00|one-off|She said \"hi\", a; b,, C:\\n \\",
                        "2026-12-06|annual|", "2026-12-06|one-off|first\nsecond\n\nfourth",
                        "2026-12-06|annual|" + u"Žluťoučký kůň 🎂 日本語,"_s.repeated(3) };
    QTest::newRow("csv written") << "csv" << ::written(EventFormat::Csv, written) << written;
    QTest::newRow("ics written") << "ics" << ::written(EventFormat::ICalendar, written) << written;
    QTest::newRow("csv: columns in any order, quoted breaks, yearly dates move on")
            << "csv"
            << QByteArray("\xEF\xBB\xBF"
                          "annual,DATE,description\r\nno,2026-12-06,Party\r\n"
                          "YES,1980-05-10 10:30,Born\r\nno,2026-12-07,\"a, \"\"b\"\"\r\nc\"\r\n"
                          "no,2026-12-08,\r\nmaybe,2026-12-08,x\r\nno,2026-12-09,a\x01z\r\n"
                          "no,2026-12-09,\"a")
                    + QByteArray(1, '\0') + "z\"\r\nno,2026-12-09," + QByteArray(256, 'x') + "\r\n"
            << L{ "2026-12-06|one-off|Party",
                  "2026-05-10 10:30:00|annual|Born",
                  "2026-12-07|one-off|a, \"b\"\r\nc",
                  "2026-12-08|one-off|",
                  "U7 maybe,2026-12-08,x: neither yes nor no",
                  "U8 a\uFFFDz: control character U+0001",
                  "U9 a\uFFFDz: control character U+0000",
                  QString(u"U10 " + QString(117, u'x') + u"...: longer than 255") };
    QTest::newRow("csv: a German spreadsheet, dates that either order reads")
            << "csv@de_DE"
            << QByteArray("Datum;Text;J\xC3\xA4hrlich\r\n01.05.2027;Maifeiertag, frei;ja\r\n"
                          "03.10.27 18:00;Einheit;nein\r\n")
            << L{ "2027-05-01|annual|Maifeiertag, frei", "2027-10-03 18:00:00|one-off|Einheit",
                  "W: read day first, as the locale de_DE writes dates (--date-order mdy" };
    QTest::newRow("csv: American, a day over 12 settles the order")
            << "csv@de_DE"
            << QByteArray("01/02/2028 6:30 PM,Party,-1\r\n12/25/2027,Xmas,yes\r\n"
                          "25/12/2027,Noel,oui\r\n")
            << L{ "2028-01-02 18:30:00|annual|Party", "2027-12-25|annual|Xmas",
                  "U3 25/12/2027,Noel,oui: no such date, read month first" };
    QTest::newRow("csv: tabs, the header names the form")
            << "csv@en_US"
            << QByteArray("Date (DD/MM/YYYY)\tDescription\tAnnual\r\n03/04/2027\tA, b\tfalse\r\n")
            << L{ "2027-04-03|one-off|A, b" };
    QTest::newRow("csv: either order, the locale writes dates otherwise")
            << "csv@de_DE" << QByteArray("03/04/2027;A;oui\r\n05/06/2027;B;non\r\n")
            << L{ "U1 03/04/2027: --date-order dmy reads them day first, --date-order mdy" };
    QTest::newRow("csv: UTF-16") << "csv"
                                 << QByteArray(QStringEncoder(QStringEncoder::Utf16LE,
                                                              QStringEncoder::Flag::WriteBom)(
                                            u"Date,Description,Annual\r\n2026-12-06,Žal,no\r\n"_s))
                                 << L{ "2026-12-06|one-off|Žal", "W: UTF-16" };
    QTest::newRow("ics: birthdays of Google and Apple, empty SUMMARY, multi-line text")
            << "ics"
            << calendar(vevent("DTSTART;VALUE=DATE:19800510\r\nRRULE:FREQ=YEARLY\r\nSUMMARY:"
                               "Google\r\n")
                        + vevent("DTSTART;X-APPLE-OMIT-YEAR=1604;VALUE=DATE:16040514\r\nRRULE:FREQ="
                                 "YEARLY;BYMONTH=5;BYMONTHDAY=14\r\nSUMMARY:Apple\r\n")
                        + vevent("DTSTART:20261206T103000\r\nSUMMARY:\r\n")
                        + vevent("DTSTART:20261206T103000\r\nSUMMARY:one\r\nDESCRIPTION:"
                                 "one\\ntwo\r\n")
                        + vevent("DTSTART;VALUE=DATE:19900101\r\nRRULE:FREQ=YEARLY;COUNT=3\r\n"
                                 "SUMMARY:Over\r\n")
                        + vevent("DTSTART;VALUE=DATE:20260101\r\nRRULE:FREQ=WEEKLY\r\nSUMMARY:"
                                 "Wk\r\n")
                        + vevent("DTSTART;VALUE=DATE:20260801\r\nDTEND;VALUE=DATE:20260805\r\n"
                                 "SUMMARY:Trip\r\n")
                        + vevent("DTSTART:20261207T090000\r\nDTEND:20261207T100000\r\nSUMMARY:"
                                 "Pick up the new glasses\r\nDESCRIPTION:Optician M\xC3\xBCller\\, "
                                 "Hauptstra\xC3\x9F"
                                 "e 5\r\n")
                        + vevent("DTSTART:20261207T230000\r\nDURATION:PT3H\r\nSUMMARY:Late\r\n"
                                 "DESCRIPTION:Late\r\n"))
            << L{ "2026-05-10|annual|Google",
                  "2026-05-14|annual|Apple",
                  "2026-12-06 10:30:00|one-off|",
                  "2026-12-06 10:30:00|one-off|one\ntwo",
                  "2026-08-01|one-off|Trip",
                  "2026-12-07 09:00:00|one-off|Pick up the new glasses",
                  "2026-12-07 23:00:00|one-off|Late",
                  "W: 1 event has a longer description that Datebell does not keep; the first: "
                  "\"Pick up the new glasses\" (line 52)",
                  "W: 1 event lasts several days, imported on its first day only; the first: "
                  "\"Trip\" (line 45)",
                  "S31 Over: is past",
                  "S38 Wk: otherwise than once a year" };
    QTest::newRow("ics: zones of the file, links, Windows names, DST gap and overlap")
            << "ics"
            << calendar(
                       "BEGIN:VTIMEZONE\r\nTZID:(UTC+07:00) Bangkok, Hanoi, Jakarta\r\n"
                       "BEGIN:STANDARD\r\nDTSTART:16010101T000000\r\nTZOFFSETFROM:+0700\r\n"
                       "TZOFFSETTO:+0700\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"
                       + vevent("DTSTART;TZID=\"(UTC+07:00) Bangkok, Hanoi, Jakarta\":20260701T"
                                "090000\r\nSUMMARY:Bangkok\r\nATTENDEE;CN=a\r\nATTENDEE;CN:x\r\n")
                       + vevent("DTSTART;TZID=US/Pacific:20260701T090000\r\nSUMMARY:Link\r\n")
                       + vevent("DTSTART;TZID=Etc/UTC:20260701T090000\r\nSUMMARY:UTC\r\n")
                       + vevent("DTSTART;TZID=Tokyo Standard Time:20260701T090000\r\nSUMMARY:W\r\n")
                       + vevent("DTSTART;TZID=America/New_York:20260308T023000\r\nSUMMARY:Gap\r\n")
                       + vevent("DTSTART;TZID=America/New_York:20261101T013000\r\nSUMMARY:Ov\r\n")
                       + vevent("DTSTART;TZID=Mars/Base:20261101T013000\r\nSUMMARY:Mars\r\n"))
            << L{ "2026-07-01 03:00:00|one-off|Bangkok",
                  "2026-07-01 17:00:00|one-off|Link",
                  "2026-07-01 10:00:00|one-off|UTC",
                  "2026-07-01 01:00:00|one-off|W",
                  "2026-03-08 08:30:00|one-off|Gap",
                  "2026-11-01 06:30:00|one-off|Ov",
                  "W: left out 1 line that libical could not read",
                  "U50 Mars: not known here" };
    QTest::newRow("ics: cancelled, override, no DTSTART, bare VEVENT, DATE with a time")
            << "ics"
            << vevent("DTSTART;VALUE=DATE:20261206T120000\r\nSUMMARY:Bare\r\n")
                    + vevent("DTSTART:20261206\r\nSTATUS:CANCELLED\r\nSUMMARY:Off\r\n")
                    + vevent("DTSTART:20261206\r\nRECURRENCE-ID:20261206\r\nSUMMARY:Moved\r\n")
                    + vevent("SUMMARY:Dateless\r\n")
            << L{ "2026-12-06 12:00:00|one-off|Bare",    "W: VEVENT stands outside",
                  "W: VALUE=DATE holds a date and time", "S7 Off: cancelled",
                  "S14 Moved: one occurrence",           "U21 Dateless: no DTSTART" };
    QTest::newRow("vcs") << "ics"
                         << QByteArray("BEGIN:VCALENDAR\r\nVERSION:1.0\r\nBEGIN:VEVENT\r\nDTSTART:"
                                       "19800510T000000\r\nRRULE:YM1 #0\r\nsummary:Born\r\n"
                                       "END:VEVENT\r\nEND:VCALENDAR\r\n")
                         << L{ "2026-05-10|annual|Born", "W: vCalendar 1.0", "W: lower case" };
    QTest::newRow("remind")
            << "remind"
            << QByteArray(
                       "REM 25 Dec MSG %\"No\xC3\xABl%\" is %b\nREM Dec 7 +3 AT 5:00pm *10 MSG a\n"
                       "REM 2026-12-08 AT 10.30 SCANFROM -7 DURATION 1:00 PRIORITY 9 TAG x ONCE "
                       "MSG b\nREM 1 May UNTIL 2030-01-01 MSG c\nOMIT 14 Jul MSG F\xC3\xAAte\n"
                       "OMIT 1 Nov\nREM Sun 8 May MSG Mothers\nREM 31 Apr MSG no\nSET x 1\n"
                       "REM 2 Mar 1950 MSG Old\n"
                       "REM 20 Mar 2027 *7 UNTIL 20 Apr 2027 MSG Weekly course\n"
                       "REM 10 May MSG Born [year(today())-1950] years ago\n"
                       "REM Mon SATISFY [day(trigdate())<=7] MSG First\n"
                       "REM 1 Jun AFTER MSG Moved\nREM Wed MSG Weekly\nDO other.rem\n"
                       "INCLUDECMD list\nREM 1 Jun UNTIL 1 Jan 2026 MSG Ended\n"
                       "REM Third Monday in Jan MSG MLK\n")
            << L{ "2026-12-25|annual|Noël is",
                  "2026-12-07 17:00:00|annual|a",
                  "2026-12-08 10:30:00|one-off|b",
                  "2026-05-01|annual|c",
                  "2026-07-14|annual|Fête",
                  "2026-06-01|annual|included",
                  "S7 Mothers: first Sunday on or after",
                  "S10 Old: already past",
                  "S11 Weekly course: repeats every 7 days",
                  "S12 Born [year(today())-1950] years ago: expression that only remind",
                  "S13 First: SATISFY",
                  "S14 Moved: OMIT leaves out (AFTER)",
                  "S15 Weekly: repeats every Wednesday",
                  "S17 INCLUDECMD list: commands are not run",
                  "S18 Ended: last year (UNTIL) is past",
                  "S19 MLK: a weekday counted in the month (\"Third\")",
                  "U8 REM 31 Apr MSG no: no such date",
                  "U2 DO other.rem: includes itself" };
    QTest::newRow("calendar, with an include and a Latin-1 part")
            << "calendar"
            << QByteArray(
                       "/* head */\n12/07\tnumeric\nDec. 7\tnamed\n\tsecond line\n#include "
                       "<other.cal>\nLANG=fr_FR.ISO8859-1\n1/5\tJ\xE9r\xF4me\nEaster\tEaster\n12/"
                       "45\tx\n")
            << L{ "2026-12-07|annual|numeric",  "2026-12-07|annual|named\nsecond line",
                  "2026-12-07|annual|included", "2027-01-05|annual|Jérôme",
                  "S8 Easter: not a fixed day", "U9 12/45 x: no such date" };
    QTest::newRow("birthday, ISO-8859-2 for a Hungarian")
            << "birthday@hu_HU"
            << QByteArray("# c\nJoe=25/04/1974\nErzs\xE9"
                          "bet Ern\xF5=19/11\nEaster=5/4/2026 ev\n"
                          "Trip=1/8/2026 ev to 5/8/2026\n&include \"other.bd\"\nX=31/04/1970\n"
                          "Old event=01/01/2020 ev\n")
            << L{ "2026-04-25|annual|Joe",
                  "2026-11-19|annual|Erzsébet Ernő",
                  "2026-04-05|one-off|Easter",
                  "2026-08-01|one-off|Trip",
                  "2026-09-12|annual|Pen exploded",
                  "W: read as ISO-8859-2, usual for Hungarian",
                  "W: 1 event lasts several days, imported on its first day only; the first: "
                  "\"Trip\" (line 5)",
                  "S8 Old event: already past",
                  "U7 X=31/04/1970: no such date" };
}

void tst_Events::reading()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, out);

    QTemporaryDir dir;
    ReadOptions options;
    options.today = QDate(2026, 3, 1);
    options.localZone = QTimeZone(3600); // +01:00 all year
    options.fileName = dir.filePath(u"main"_s);
    options.locale = QLocale(format.section(u'@', 1)); // "csv@de_DE": read by a German user
    QVERIFY(writeFile(dir.filePath(u"other.cal"_s), "7 December\tincluded\n")
            && writeFile(dir.filePath(u"other.bd"_s), "Pen exploded=12/09/93 ann\n")
            && writeFile(dir.filePath(u"other.rem"_s), "REM 1 Jun MSG included\nDO other.rem\n"));
    QStringList read;
    const ReadReport got =
            ReadEvents(FormatFromName(format.section(u'@', 0, 0)).value(), content, options,
                       [&](const EventRecord &r) {
                           read << RecordDateText(r) + (r.annual ? u"|annual|"_s : u"|one-off|"_s)
                                           + r.description;
                       });
    QCOMPARE(read + reportTexts(got, out), out);
}

// The command as a user runs it. The folder holds "2036-12-06 00:00:00|Party|0" and the file
// events.csv with `content`; "%folder" and "%file" in the arguments stand for them.
void tst_Events::command_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("output"); // parts of standard error or standard output
    using L = QStringList;
    const QByteArray csv =
            "Date,Description,Annual\r\n2036-12-07,New,no\r\n2036-12-06,Party,no\r\n";
    const QByteArray bad = csv + "2036-12-08,Bad,maybe\r\n";
    const QByteArray ics =
            calendar(vevent("DTSTART:20361207\r\nSUMMARY:New\r\n")
                     + vevent("DTSTART:20361207\r\nRRULE:FREQ=DAILY\r\nSUMMARY:D\r\n"));
    const L import = { "--folder", "%folder", "import" };

    QTest::newRow("export, a foreign row")
            << "foreign" << L{ "--folder", "%folder", "export", "--format", "ics" } << csv << 0
            << L{ "Exported 2 events as ics; skipped 1 row", "RRULE:FREQ=YEARLY\r\n",
                  "SUMMARY:first\r\nDESCRIPTION:first\\nsecond\r\n", "SUMMARY:Party\r\n" };
    QTest::newRow("an unreadable line")
            << "" << import + L{ "%file" } << bad << 1
            << L{ "events.csv:4: cannot read \"2036-12-08,Bad,maybe\": Annual is neither yes nor "
                  "no\ndatebell-events: nothing was imported: 1 entry" };
    QTest::newRow("--skip-bad, a past event")
            << "" << import + L{ "--skip-bad", "%file" } << bad + "2020-01-01,Old,no\r\n"
            << 0
            << L{ "events.csv:5: skipped \"Old\": already past",
                  "Added 1, duplicates 1, skipped 1, unreadable 1" };
    QTest::newRow("--include-past")
            << "" << import + L{ "--include-past", "%file" } << csv + "2020-01-01,Old,no\r\n"
            << 0 << L{ "Added 2, duplicates 1, skipped 0, unreadable 0" };
    QTest::newRow("a recurrence is skipped, not a failure")
            << "" << import + L{ "--format", "ics", "%file" } << ics << 0
            << L{ "events.csv:10: skipped \"D\": the event repeats otherwise than once a year\n"
                  "Added 1, duplicates 0, skipped 1, unreadable 0" };
    QTest::newRow("annual duplicates of any year, dry run")
            << "annual" << import + L{ "--dry-run", "%file" }
            << QByteArray("2037-12-06 10:00,Birthday,yes\n2036-12-06,Party,yes\n2036-12-06,party,"
                          "no\n2036-12-07,Birthday,yes\n2036-12-07,New,no\n2036-12-07,New,no\n")
            << 0
            << L{ "Dry run: would add 4, duplicates 2",
                  "2036-12-06\tannual\tParty\n2036-12-06\tone-off\tparty\n"
                  "2036-12-07\tannual\tBirthday\n2036-12-07\tone-off\tNew\n" };
    QTest::newRow("dates that either order reads, --skip-bad")
            << "" << import + L{ "--skip-bad", "%file" }
            << QByteArray("03.04.2037,A,yes\n2037-05-01,B,no\n") << 1
            << L{ "--date-order dmy reads them day first",
                  "datebell-events: nothing was imported from" };
    QTest::newRow("--date-order") << "" << import + L{ "--date-order", "dmy", "--dry-run", "%file" }
                                  << QByteArray("03.04.2037,A,yes\n") << 0
                                  << L{ "2037-04-03\tannual\tA\n" };
    QTest::newRow("--encoding")
            << ""
            << import + L{ "--encoding", "Shift_JIS", "--format", "remind", "--dry-run", "%file" }
            << QByteArray("REM 1 Jan 2037 MSG \x93\xFA\x96\x7B\nREM 2 Jan 2037 MSG \x82\n") << 1
            << L{ "events.csv:2: cannot read \"REM 2 Jan 2037 MSG \uFFFD\": the line is not "
                  "Shift_JIS text" };
    QTest::newRow("an insert fails half-way")
            << "failing" << import + L{ "%file" } << csv + "2036-12-08,Other,no\r\n"
            << 1 << L{ "disk on fire" };
    QTest::newRow("locked database")
            << "locked" << import + L{ "%file" } << csv << 1 << L{ "in use by another program" };
}

void tst_Events::command()
{
    QFETCH(QString, setup);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, content);
    QFETCH(int, status);
    QFETCH(QStringList, output);

    ProgramFolder folder(setup != u"foreign"); // no date checks in another tool's table
    folder.add(u"2036-12-06 00:00:00"_s, u"Party"_s, 0);
    if (setup == u"foreign")
        folder.exec(u"INSERT INTO Events VALUES ('06/12/2026', 'Foreign', 0), "
                    "('2036-12-07 00:00:00', 'first' || char(10) || 'second', -1)"_s);
    if (setup == u"annual")
        folder.add(u"2020-12-06 10:00:00"_s, u"Birthday"_s, -1);
    if (setup == u"failing") // the second insert fails
        folder.exec(u"CREATE TRIGGER fail BEFORE INSERT ON Events WHEN (SELECT count(*) FROM "
                    "Events) = 2 BEGIN SELECT RAISE(ABORT, 'disk on fire'); END"_s);
    const QStringList before = folder.rows();
    const QString file = folder.path() + u"/events.csv"_s;
    QVERIFY(writeFile(file, content));
    sqlite3 *lock = nullptr;
    if (setup == u"locked") {
        QCOMPARE(sqlite3_open(folder.database().toUtf8().constData(), &lock), SQLITE_OK);
        QCOMPARE(sqlite3_exec(lock, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    }

    for (QString &argument : arguments)
        argument.replace(u"%folder"_s, folder.path()).replace(u"%file"_s, file);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LC_ALL"_s, u"en_US.UTF-8"_s); // short dates as 12/24/27
    const Run run = runProgram(QStringLiteral(DATEBELL_EVENTS_EXE), arguments, environment);
    sqlite3_close(lock);
    QVERIFY2(run.status == QProcess::NormalExit && run.code == status, qPrintable(describe(run)));
    for (const QString &part : output)
        QVERIFY2(run.errors.contains(part) || run.output.contains(part),
                 qPrintable(run.errors + run.output));
    // Nothing changes on a failure or a dry run; what an import adds, its output says.
    if (status != 0 || arguments.contains(u"--dry-run"_s))
        QCOMPARE(folder.rows(), before);
}

QTEST_GUILESS_MAIN(tst_Events)
#include "tst_events.moc"
