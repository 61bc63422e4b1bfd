#include "engine/errors.h"
#include "engine/globals.h"
#include "fixtures.h"

#include <QFile>
#include <QTest>

class tst_Roll : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        resetEngineState();
        QTest::failOnWarning(QRegularExpression(u".*"_qs));
    }
    void rollsOneEvent_data();
    void rollsOneEvent();
    void backupOnlyWhenChanging_data();
    void backupOnlyWhenChanging();
};

void tst_Roll::rollsOneEvent_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("flag");
    QTest::addColumn<QString>("after"); // empty: deleted
    QTest::addColumn<QDate>("shownUntil"); // the horizon of the list last shown; none: silent

    const auto row = [](const char *tag, const char *stored, int flag, const char *after,
                        QDate today = QDate(2026, 3, 10)) {
        QTest::newRow(tag) << today << QString::fromLatin1(stored) << flag
                           << QString::fromLatin1(after) << QDate();
    };
    row("one-off yesterday", "2026-03-09 23:59:59", 0, "");
    row("one-off today", "2026-03-10 00:00:00", 0, "2026-03-10 00:00:00");
    row("one-off later today", "2026-03-10 10:30:00", 0, "2026-03-10 10:30:00");
    row("annual last year", "2025-03-10 00:00:00", -1, "2026-03-10 00:00:00");
    row("annual years ago, to this year", "2023-03-10 08:00:00", -1, "2026-03-10 08:00:00");
    row("annual decades ago, to next year", "1950-03-02 00:00:00", -1, "2027-03-02 00:00:00");
    row("annual keeps time of day", "2025-12-31 23:30:00", -1, "2026-12-31 23:30:00");
    row("28 February", "2025-02-28 00:00:00", -1, "2027-02-28 00:00:00");
    row("29 February", "2020-02-29 00:00:00", -1, "2028-02-29 00:00:00");
    row("29 February 2096, past 2100", "2096-02-29 00:00:00", -1, "2104-02-29 00:00:00",
        QDate(2097, 1, 1));
    row("annual today stays", "2026-03-10 00:00:00", -1, "2026-03-10 00:00:00");

    // A list shown on 10 March with a horizon of 0, 3 or 30 days, in a window closed one to
    // five days later: what lies past the list's horizon was never shown and stays.
    for (const int horizon : { 0, 3, 30 }) {
        const QDate shownUntil = QDate(2026, 3, 10).addDays(horizon);
        for (int open = 1; open <= 5; ++open) {
            const QDate closed(2026, 3, 10 + open);
            for (int day = 10; day <= closed.day(); ++day) {
                const QString stored = u"2026-03-%1 09:00:00"_qs.arg(day);
                const bool tidied = QDate(2026, 3, day) < qMin(closed, shownUntil);
                for (const int flag : { 0, -1 }) {
                    const QString after = !tidied ? stored
                            : flag                ? u"2027-03-%1 09:00:00"_qs.arg(day)
                                                  : QString();
                    QTest::addRow("horizon %d, closed on the %d, %s on the %d", horizon,
                                  closed.day(), flag ? "annual" : "one-off", day)
                            << closed << stored << flag << after << shownUntil;
                }
            }
        }
    }
}

void tst_Roll::rollsOneEvent()
{
    QFETCH(QDate, today);
    QFETCH(QString, stored);
    QFETCH(int, flag);
    QFETCH(QString, after);
    QFETCH(QDate, shownUntil);

    ProgramFolder folder;
    folder.add(stored, u"event"_qs, flag);
    folder.add(u"2099-01-01 00:00:00"_qs, u"future"_qs, 0);
    const auto db = DBEngine::OpenDatabase(folder.database());
    RollPastEvents(*db, FixedClock(today), shownUntil);

    QStringList expected{ u"2099-01-01 00:00:00|future|0"_qs };
    if (!after.isEmpty())
        expected << after + u"|event|" + QString::number(flag);
    expected.sort();
    QCOMPARE(folder.rows(), expected);
}

// The file as it was before the roll-forward is kept beside it, one copy with the file's
// permissions, written only when a row changes: other runs leave the last copy as it is. So
// does a roll-forward whose write fails half-way, which leaves the table as it was.
void tst_Roll::backupOnlyWhenChanging_data()
{
    QTest::addColumn<QString>("date"); // of the one row besides today's
    QTest::addColumn<bool>("fails"); // a row changed after that one cannot be written
    QTest::addColumn<bool>("written");
    QTest::newRow("nothing past") << "2026-03-11 00:00:00" << false << false;
    QTest::newRow("past, in another form") << "2026-03-01" << false << false;
    QTest::newRow("past one-off") << "2026-03-09 00:00:00" << false << true;
    QTest::newRow("a write fails half-way") << "2026-03-09 00:00:00" << true << false;
}

void tst_Roll::backupOnlyWhenChanging()
{
    QFETCH(QString, date);
    QFETCH(bool, fails);
    QFETCH(bool, written);
    ProgramFolder folder(false);
    folder.add(u"2026-03-10 00:00:00"_qs, u"today"_qs, 0);
    folder.add(date, u"other"_qs, 0);
    if (fails) {
        folder.add(u"2026-03-09 12:00:00"_qs, u"boom"_qs, -1);
        folder.exec(u"CREATE TRIGGER fail BEFORE UPDATE ON Events WHEN OLD.Description = 'boom' "
                    "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END"_qs);
    }
    const QStringList before = folder.rows();
    const QString backup = folder.database() + u".bak";
    QVERIFY(writeFile(backup, "the last copy"));
    QVERIFY(QFile::setPermissions(folder.database(), QFile::ReadOwner | QFile::WriteOwner));
    const auto db = DBEngine::OpenDatabase(folder.database());
    if (fails)
        QVERIFY_THROWS_EXCEPTION(DatebellError,
                                 RollPastEvents(*db, FixedClock(QDate(2026, 3, 10))));
    else
        RollPastEvents(*db, FixedClock(QDate(2026, 3, 10)));
    db->Close();
    QCOMPARE(folder.rows(), written ? before.filter(u"|today|"_qs) : before);
    QCOMPARE(readFile(backup) == "the last copy", !written);
    if (written) {
        QCOMPARE(QFile(backup).permissions(), QFile(folder.database()).permissions());
        QVERIFY(QFile::remove(folder.database()) && QFile::copy(backup, folder.database()));
        QCOMPARE(folder.rows(), before);
    }
    QVERIFY(!QFile::exists(backup + u".next"));
}

QTEST_GUILESS_MAIN(tst_Roll)
#include "tst_roll.moc"
