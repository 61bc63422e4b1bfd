#include "engine/dates.h"
#include "engine/errors.h"
#include "engine/globals.h"
#include "fixtures.h"

#include <QFile>
#include <QTest>

class tst_Roll : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { resetEngineState(); }
    void rollsOneEvent_data();
    void rollsOneEvent();
    void foreignRows();
    void backupBeforeChanging();
    void failureLeavesTableAsItWas();
};

void tst_Roll::rollsOneEvent_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("flag");
    QTest::addColumn<QString>("after"); // empty: deleted

    const QDate today(2026, 3, 10);
    QTest::newRow("one-off yesterday") << today << "2026-03-09 23:59:59" << 0 << "";
    QTest::newRow("one-off today") << today << "2026-03-10 00:00:00" << 0 << "2026-03-10 00:00:00";
    QTest::newRow("one-off later today")
            << today << "2026-03-10 10:30:00" << 0 << "2026-03-10 10:30:00";
    QTest::newRow("annual last year")
            << today << "2025-03-10 00:00:00" << -1 << "2026-03-10 00:00:00";
    QTest::newRow("annual years ago moves one step")
            << today << "2023-03-10 00:00:00" << -1 << "2024-03-10 00:00:00";
    QTest::newRow("annual keeps time of day")
            << today << "2025-12-31 23:30:00" << -1 << "2026-12-31 23:30:00";
    QTest::newRow("28 February") << today << "2025-02-28 00:00:00" << -1 << "2026-02-28 00:00:00";
    QTest::newRow("29 February") << today << "2024-02-29 00:00:00" << -1 << "2028-02-29 00:00:00";
    QTest::newRow("29 February 2096")
            << QDate(2097, 1, 1) << "2096-02-29 00:00:00" << -1 << "2100-02-28 00:00:00";
    QTest::newRow("annual today stays")
            << today << "2026-03-10 00:00:00" << -1 << "2026-03-10 00:00:00";
}

void tst_Roll::rollsOneEvent()
{
    QFETCH(QDate, today);
    QFETCH(QString, stored);
    QFETCH(int, flag);
    QFETCH(QString, after);

    ProgramFolder folder;
    folder.add(stored, u"event"_qs, flag);
    folder.add(u"2099-01-01 00:00:00"_qs, u"future"_qs, 0);
    const auto db = DBEngine::OpenDatabase(folder.database());
    RollPastEvents(*db, FixedClock(today));

    QStringList expected{ u"2099-01-01 00:00:00|future|0"_qs };
    if (!after.isEmpty())
        expected << after + u"|event|" + QString::number(flag);
    expected.sort();
    QCOMPARE(folder.rows(), expected);
    QCOMPARE(gsSQL, u"SELECT * From Events WHERE Events.EventDate<#" + DateText(today) + u'#');
}

// Rows written by another tool without the table's checks: any flag but 0, no value included,
// counts as annual; a date text in another form is reported and the row never deleted or moved.
void tst_Roll::foreignRows()
{
    ProgramFolder folder(false);
    folder.exec(
            u"INSERT INTO Events VALUES ('2025-03-01 00:00:00', 'no flag', NULL), "
            "('2025-03-01', 'short date', 0), ('01/03/2025', 'other form', -1), "
            "('2025-03-01 00:00:00', 'flag 1', 1), ('2025-03-01 00:00:00', 'text flag', 'x')"_qs);
    const auto db = DBEngine::OpenDatabase(folder.database());
    for (const char *row :
         { "\"short date\" \\(date \"2025-03-01\"", "\"other form\" \\(date \"01/03/2025\"" })
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QString::fromLatin1(row)));
    RollPastEvents(*db, FixedClock(QDate(2026, 3, 10)));
    QCOMPARE(folder.rows(),
             QStringList({ "01/03/2025|other form|-1", "2025-03-01|short date|0",
                           "2026-03-01 00:00:00|flag 1|1", "2026-03-01 00:00:00|no flag|",
                           "2026-03-01 00:00:00|text flag|x" }));
}

// The file as it was before the roll-forward is kept beside it, one copy; a run with nothing
// past writes none.
void tst_Roll::backupBeforeChanging()
{
    ProgramFolder folder;
    const auto db = DBEngine::OpenDatabase(folder.database());
    const QString backup = folder.database() + u".bak";
    folder.add(u"2026-03-10 00:00:00"_qs, u"today"_qs, 0);
    RollPastEvents(*db, FixedClock(QDate(2026, 3, 10)));
    QVERIFY(!QFile::exists(backup));

    folder.add(u"2026-03-09 00:00:00"_qs, u"yesterday"_qs, 0);
    const QStringList before = folder.rows();
    RollPastEvents(*db, FixedClock(QDate(2026, 3, 10)));
    QCOMPARE(folder.rows(), QStringList{ u"2026-03-10 00:00:00|today|0"_qs });
    QVERIFY(QFile::remove(folder.database()));
    QVERIFY(QFile::copy(backup, folder.database()));
    QCOMPARE(folder.rows(), before);
    QVERIFY(!QFile::exists(backup + u".new"));
}

// A write that fails half-way undoes the whole roll-forward.
void tst_Roll::failureLeavesTableAsItWas()
{
    ProgramFolder folder;
    folder.add(u"2025-01-01 00:00:00"_qs, u"one-off"_qs, 0);
    folder.add(u"2025-06-01 00:00:00"_qs, u"annual"_qs, -1);
    folder.add(u"2025-09-01 00:00:00"_qs, u"boom"_qs, -1);
    folder.exec(u"CREATE TRIGGER fail BEFORE UPDATE ON Events WHEN OLD.Description = 'boom' "
                "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END"_qs);
    const QStringList before = folder.rows();
    const auto db = DBEngine::OpenDatabase(folder.database());
    QVERIFY_THROWS_EXCEPTION(DatebellError, RollPastEvents(*db, FixedClock(QDate(2026, 3, 10))));
    QCOMPARE(folder.rows(), before);
}

QTEST_GUILESS_MAIN(tst_Roll)
#include "tst_roll.moc"
