#include "engine/globals.h"
#include "fixtures.h"

#include <QTest>

class tst_Selection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { resetEngineState(); }
    void dueEvents_data();
    void dueEvents();
};

void tst_Selection::dueEvents_data()
{
    QTest::addColumn<QString>("daysAhead");
    QTest::addColumn<QDate>("lastRemind");
    QTest::addColumn<QStringList>("dates"); // each event's description is its date
    QTest::addColumn<QString>("due"); // the positions in `dates` of the events selected

    // Today is 2026-03-10 in every row. An event is due by its day, whatever its time: on the
    // horizon's last day, and again after the day of the last pass.
    const QStringList around = { "1990-01-01 00:00:00", "2026-03-01 00:00:00",
                                 "2026-03-09 00:00:00", "2026-03-09 10:00:00",
                                 "2026-03-10 00:00:00", "2026-03-10 18:00:00",
                                 "2026-03-13 00:00:00", "2026-03-13 08:00:00",
                                 "2026-03-14 00:00:00" };
    QTest::newRow("first run, 3 days") << "2" << QDate(1990, 1, 1) << around << "1234567";
    QTest::newRow("ran yesterday") << "2" << QDate(2026, 3, 9) << around << "014567";
    QTest::newRow("ran today already") << "2" << QDate(2026, 3, 10) << around << "01234567";
    QTest::newRow("last date ahead of today") << "2" << QDate(2026, 3, 11) << around << "01234567";
    QTest::newRow("horizon today") << "-1" << QDate(2026, 3, 9) << around << "0145";
    QTest::newRow("horizon two days back") << "-3" << QDate(2026, 3, 9) << around << "01";
    QTest::newRow("30 days") << "6" << QDate(2026, 3, 9) << around << "0145678";
}

void tst_Selection::dueEvents()
{
    QFETCH(QString, daysAhead);
    QFETCH(QDate, lastRemind);
    QFETCH(QStringList, dates);
    QFETCH(QString, due);

    ProgramFolder folder;
    for (const QString &date : dates)
        folder.add(date, date, -1);
    MemorySettings settings;
    settings.values.insert(u"Settings/DaysAhead"_qs, daysAhead);
    FixedClock clock(QDate(2026, 3, 10));
    gdtLastRemind = lastRemind;
    BuildReminderQuery(settings, clock);

    const auto db = DBEngine::OpenDatabase(folder.database());
    const auto rs = db->OpenRecordset(gsSQL);
    QStringList selected, expected;
    for (; !rs->EOF_(); rs->MoveNext())
        selected << rs->Fields(u"Description"_qs).Value().toString();
    selected.sort();
    for (const QChar position : due)
        expected << dates.at(position.digitValue());
    QCOMPARE(selected, expected);
}

QTEST_GUILESS_MAIN(tst_Selection)
#include "tst_selection.moc"
