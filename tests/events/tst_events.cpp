#include "engine/dates.h"
#include "engine/errors.h"
#include "engine/eventdb.h"
#include "eventformats.h"
#include "eventstore.h"
#include "fixtures.h"

#include <QFile>
#include <QProcess>
#include <QTest>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

ReadOptions fixedOptions()
{
    ReadOptions options;
    options.today = QDate(2026, 3, 10);
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

// Each issue as "line:reason", the reason cut to the part `expected` names when it holds it.
QStringList issueTexts(const QList<LineIssue> &issues, const QStringList &expected)
{
    QStringList out;
    for (qsizetype i = 0; i < issues.size(); ++i) {
        const QString part = expected.value(i).section(u':', 1);
        const QString &reason = issues.at(i).reason;
        out << u"%1:%2"_s.arg(QString::number(issues.at(i).line),
                              !part.isEmpty() && reason.contains(part) ? part : reason);
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

} // namespace

class tst_Events : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTrip_data();
    void roundTrip();
    void icsLines_data();
    void icsLines();
    void reading_data();
    void reading();
    void guessing_data();
    void guessing();
    void duplicatesAndDryRun();
    void failedImportChangesNothing();
    void command_data();
    void command();
};

// Export, then import into an empty database: the same rows, annual and one-off.
void tst_Events::roundTrip_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("description");
    for (const char *format : { "csv", "ics" }) {
        QTest::addRow("%s: 29 February", format) << format << "2028-02-29 00:00:00"
                                                 << "Leo's birthday";
        QTest::addRow("%s: time of day", format) << format << "2026-12-06 10:30:00"
                                                 << "Dentist";
        QTest::addRow("%s: quotes, commas, backslashes", format)
                << format << "2026-12-06 00:00:00"
                << "She said \"hi\", a; b,, C:\\n not a break \\";
        QTest::addRow("%s: line breaks", format) << format << "2026-12-06 00:00:00"
                                                 << "first\nsecond\n\nfourth";
        QTest::addRow("%s: non-ASCII, long", format)
                << format << "2026-12-06 00:00:00" << u"Žluťoučký kůň 🎂 日本語, "_s.repeated(5);
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
    const auto db = DBEngine::OpenDatabase(source.database());
    const StoredEvents stored = ReadStoredEvents(*db);
    QCOMPARE(stored.skipped.size(), 0);
    const EventFormat kind = FormatFromName(format).value();
    const QByteArray file = kind == EventFormat::Csv
            ? WriteCsv(stored.records)
            : WriteICalendar(stored.records, QDateTime::currentDateTimeUtc());

    const ReadResult read = ReadEvents(kind, file, fixedOptions());
    QVERIFY(read.bad.isEmpty() && read.skipped.isEmpty());
    ProgramFolder target;
    const auto targetDb = DBEngine::OpenDatabase(target.database());
    QCOMPARE(ImportEvents(*targetDb, read.records, false).added.size(), 2);
    QCOMPARE(target.rows(), source.rows());
}

// Escaped text, CRLF ends, no line over 75 octets, no character cut in two.
void tst_Events::icsLines_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<bool>("annual");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QStringList>("lines"); // unfolded, among the file's lines
    QTest::addColumn<int>("physical"); // lines the SUMMARY takes
    const QString day = u"2026-12-06 00:00:00"_s;
    const auto summary = [](const QString &text) { return QStringList{ u"SUMMARY:"_s + text }; };
    QTest::newRow("annual, all day")
            << "2028-02-29 00:00:00" << true << "x"
            << QStringList{ "DTSTART;VALUE=DATE:20280229", "RRULE:FREQ=YEARLY" } << 1;
    QTest::newRow("time of day") << "2026-12-06 10:30:05" << false << "x"
                                 << QStringList{ "DTSTART:20261206T103005" } << 1;
    QTest::newRow("escapes, CRLF is one break")
            << day << false << "a\\b;c,d\ne\r\nf" << summary(u"a\\\\b\\;c\\,d\\ne\\nf"_s) << 1;
    for (const auto &[text, physical] :
         { std::pair{ QString(67, u'x'), 1 }, // 75 octets
           std::pair{ QString(68, u'x'), 2 }, std::pair{ QString(90, u'é'), 3 },
           std::pair{ QString(70, u'€'), 3 }, std::pair{ u"🎂"_s.repeated(50), 3 } })
        QTest::addRow("%d octets", int(text.toUtf8().size() + 8))
                << day << false << text << summary(text) << physical;
}

void tst_Events::icsLines()
{
    QFETCH(QString, date);
    QFETCH(bool, annual);
    QFETCH(QString, description);
    QFETCH(QStringList, lines);
    QFETCH(int, physical);

    const QByteArray ics =
            WriteICalendar({ record(date, description, annual) }, QDateTime::currentDateTimeUtc());
    for (const QByteArray &line : ics.chopped(1).split('\n')) {
        QVERIFY2(line.size() <= 76 && line.endsWith('\r'), line.constData()); // 75 and the CR
        QVERIFY2(QString::fromUtf8(line).toUtf8() == line, line.constData());
    }
    QCOMPARE(ics.count("\r\n "), physical - 1);
    const QStringList unfolded =
            QString::fromUtf8(QByteArray(ics).replace("\r\n ", "")).split(u"\r\n"_s);
    for (const QString &line : lines)
        QVERIFY2(unfolded.contains(line), qPrintable(line + u" not in\n"_s + unfolded.join(u'\n')));
    QCOMPARE(unfolded.contains(u"RRULE:FREQ=YEARLY"_s), annual);
}

// Each format: the forms it is read in, a line that is passed over and a line that is bad.
void tst_Events::reading_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("bad"); // "line:part of the reason"
    QTest::addColumn<QStringList>("skipped");
    using L = QStringList;

    QTest::newRow("csv") << "csv"
                         << QByteArray("\xEF\xBB\xBF"
                                       "annual,DATE,description\r\nno,2026-12-06,Party\r\n"
                                       "YES,2026-12-06 10:30,Dentist\r\n"
                                       "no,2026-12-07,\"a, \"\"b\"\"\r\nc\"\r\n"
                                       "maybe,2026-12-08,x\r\n")
                         << L{ "2026-12-06|one-off|Party", "2026-12-06 10:30:00|annual|Dentist",
                               "2026-12-07|one-off|a, \"b\"\r\nc" }
                         << L{ "6:neither yes nor no" } << L{};
    QTest::newRow("ics")
            << "ics"
            << calendar(vevent("DTSTART;VALUE=DATE:20280229\r\nSUMMARY:Leap\r\nBEGIN:VALARM\r\n"
                               "SUMMARY:Alarm\r\nEND:VALARM\r\nRRULE:FREQ=YEARLY\r\n")
                        + vevent("DTSTART:20261231T233000Z\r\nSUMMARY:UTC\\, cut \xC5\r\n \xBD\r\n")
                        + vevent("DTSTART;TZID=\"America/New_York\":20260701T120000\r\n"
                                 "SUMMARY:New York\r\n")
                        + vevent("DTSTART:20261206T103000\r\nSUMMARY:Floating\r\n")
                        + vevent("DTSTART;VALUE=DATE:20261206\r\nSUMMARY:Weekly\r\n"
                                 "RRULE:FREQ=WEEKLY\r\n")
                        + vevent("DTSTART:2026-12-06\r\nSUMMARY:Dashes\r\n"))
            << L{ "2028-02-29|annual|Leap", "2027-01-01 00:30:00|one-off|UTC, cut Ž",
                  "2026-07-01 17:00:00|one-off|New York", "2026-12-06 10:30:00|one-off|Floating" }
            << L{ "43:not a date" } << L{ "38:otherwise than once a year" };
    QTest::newRow("remind")
            << "remind"
            << QByteArray("# comment\nREM 7 Dec 2026 MSG one\nREM Dec 7 MSG two\n"
                          "rem 2026-12-08 at 10:30 msg three 50%% off\nREM 29 Feb MSG leap\n"
                          "REM Jan 5 MSG next year\nREM Mar 10 MSG today\n"
                          "REM Dec 7 \\\n  MSG joined\nREM Mon MSG weekly\n")
            << L{ "2026-12-07|one-off|one",
                  "2026-12-07|annual|two",
                  "2026-12-08 10:30:00|one-off|three 50% off",
                  "2028-02-29|annual|leap",
                  "2027-01-05|annual|next year",
                  "2026-03-10|annual|today",
                  "2026-12-07|annual|joined" }
            << L{ "10:\"Mon\"" } << L{};
    QTest::newRow("calendar")
            << "calendar"
            << QByteArray("/* head\n   comment */\nLANG=C\n12/07\tnumeric\nDec. 7\tnamed\n"
                          "\tsecond line\n7 December\tday first\n#include <calendar.usholiday>\n"
                          "1/5\tJanuary\nEaster\tEaster\n")
            << L{ "2026-12-07|annual|numeric", "2026-12-07|annual|named\nsecond line",
                  "2026-12-07|annual|day first", "2027-01-05|annual|January" }
            << L{ "10:fixed month and day" } << L{ "8:included file" };
    QTest::newRow("birthday")
            << "birthday"
            << QByteArray("# comment\nJoe Blow=25/04/1974\nErin=07/12/1970 bd\nEaster=5/4/2026 ev\n"
                          "Pen exploded=12/09/93 ann\nXmas=25/12 ev w30\nX=31/04/1970\n")
            << L{ "2026-04-25|annual|Joe Blow", "2026-12-07|annual|Erin",
                  "2026-04-05|one-off|Easter", "2026-09-12|annual|Pen exploded",
                  "2026-12-25|annual|Xmas" }
            << L{ "7:no such date" } << L{};
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
    QCOMPARE(issueTexts(read.bad, bad), bad);
    QCOMPARE(issueTexts(read.skipped, skipped), skipped);
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

// Already in the table, or earlier in the file; a dry run finds what the import then adds.
void tst_Events::duplicatesAndDryRun()
{
    ProgramFolder folder;
    folder.add(u"2026-12-06 00:00:00"_s, u"Party"_s, 0);
    folder.add(u"2026-12-06 10:00:00"_s, u"Dentist"_s, -1);
    const QStringList before = folder.rows();
    const ReadResult read = ReadEvents(EventFormat::Csv,
                                       "2026-12-06,Party,no\n2026-12-06 10:00:00,Dentist,yes\n"
                                       "2026-12-06,Party,yes\n2026-12-06,party,no\n"
                                       "2026-12-06 10:00:01,Dentist,yes\n"
                                       "2026-12-07,New,no\n2026-12-07,New,no\n",
                                       fixedOptions());
    QVERIFY(read.bad.isEmpty());

    const auto db = DBEngine::OpenDatabase(folder.database());
    const ImportOutcome dry = ImportEvents(*db, read.records, true);
    QCOMPARE(folder.rows(), before);
    const ImportOutcome done = ImportEvents(*db, read.records, false);
    db->Close();
    QCOMPARE(dry.duplicates, 3);
    QCOMPARE(done.duplicates, 3);
    QCOMPARE(recordTexts(dry.added), recordTexts(done.added));
    QCOMPARE(folder.rows(),
             QStringList({ "2026-12-06 00:00:00|Party|-1", "2026-12-06 00:00:00|Party|0",
                           "2026-12-06 00:00:00|party|0", "2026-12-06 10:00:00|Dentist|-1",
                           "2026-12-06 10:00:01|Dentist|-1", "2026-12-07 00:00:00|New|0" }));
}

// An insert that fails half-way through leaves the table as it was.
void tst_Events::failedImportChangesNothing()
{
    ProgramFolder folder;
    folder.add(u"2026-01-01 00:00:00"_s, u"there before"_s, 0);
    folder.exec(u"CREATE TRIGGER fail BEFORE INSERT ON Events WHEN (SELECT count(*) FROM Events) "
                "= 2 BEGIN SELECT RAISE(ABORT, 'disk on fire'); END"_s); // the second insert
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

// The command as a user runs it. The folder holds "2026-12-06 00:00:00|Party|0" and the file
// events.csv with `content`; "%folder" and "%file" in the arguments stand for them.
void tst_Events::command_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("errors"); // part of standard error
    QTest::addColumn<QString>("output"); // part of standard output
    QTest::addColumn<int>("rows"); // afterwards
    using L = QStringList;
    const QByteArray csv =
            "Date,Description,Annual\r\n2026-12-07,New,no\r\n2026-12-06,Party,no\r\n";
    const QByteArray bad = csv + "2026-12-08,Bad,maybe\r\n";
    const L import = { "--folder", "%folder", "import" };

    QTest::newRow("no command") << "" << L{} << csv << 2 << "Usage: datebell-events"
                                << "" << 1;
    QTest::newRow("unknown format")
            << "" << import + L{ "--format=xml", "%file" } << csv << 2 << "unknown format 'xml'"
            << "" << 1;
    QTest::newRow("export, a foreign row") << "foreign" << L{ "--folder", "%folder", "export" }
                                           << csv << 0 << "Exported 1 event as csv; skipped 1 row"
                                           << "Date,Description,Annual\r\n2026-12-06,Party,no\r\n"
                                           << 2;
    QTest::newRow("import, guessed") << "" << import + L{ "%file" } << csv << 0
                                     << "Format: csv (guessed)\nAdded 1, duplicates 1, rejected 0\n"
                                     << "" << 2;
    QTest::newRow("a bad line") << "" << import + L{ "%file" } << bad << 1
                                << "events.csv:4: Annual is neither"
                                << "" << 1;
    QTest::newRow("--skip-bad") << "" << import + L{ "--skip-bad", "%file" } << bad << 0
                                << "Added 1, duplicates 1, rejected 1"
                                << "" << 2;
    QTest::newRow("dry run") << "" << import + L{ "--dry-run", "--format", "csv", "%file" } << csv
                             << 0 << "Format: csv\nDry run: would add 1, duplicates 1, rejected 0"
                             << "2026-12-07\tone-off\tNew\n"
                             << 1;
    QTest::newRow("locked database")
            << "locked" << import + L{ "%file" } << csv << 1 << "in use by another program"
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

    ProgramFolder folder(setup != u"foreign"); // no date checks in another tool's table
    folder.add(u"2026-12-06 00:00:00"_s, u"Party"_s, 0);
    if (setup == u"foreign")
        folder.exec(u"INSERT INTO Events VALUES ('06/12/2026', 'Foreign', 0)"_s);
    const QString file = folder.path() + u"/events.csv"_s;
    QFile input(file);
    QVERIFY(input.open(QIODevice::WriteOnly) && input.write(content) == content.size());
    input.close();
    sqlite3 *lock = nullptr;
    if (setup == u"locked") {
        QCOMPARE(sqlite3_open(folder.database().toUtf8().constData(), &lock), SQLITE_OK);
        QCOMPARE(sqlite3_exec(lock, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    }

    for (QString &argument : arguments)
        argument.replace(u"%folder"_s, folder.path()).replace(u"%file"_s, file);
    QProcess process;
    process.start(QStringLiteral(DATEBELL_EVENTS_EXE), arguments);
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(30000);
    sqlite3_close(lock);
    QVERIFY(finished);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == status, qPrintable(err));
    QVERIFY2(err.contains(errors), qPrintable(err));
    QVERIFY2(out.contains(output), qPrintable(out));
    QCOMPARE(folder.rows().size(), rows);
}

QTEST_GUILESS_MAIN(tst_Events)
#include "tst_events.moc"
