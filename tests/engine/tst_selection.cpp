#include "engine/globals.h"
#include "fixtures.h"

#include <QTest>

class tst_Selection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { resetEngineState(); }
    void queryText();
    void dueEvents_data();
    void dueEvents();
};

void tst_Selection::queryText()
{
    MemorySettings settings;
    FixedClock clock(QDate(2026, 12, 6));
    gdtLastRemind = QDate(2026, 12, 1);
    BuildReminderQuery(settings, clock);
    QCOMPARE(giDaysAhead, 3);
    QCOMPARE(gdtRemindUntil, QDate(2026, 12, 9));
    QCOMPARE(gsSQL,
             u"SELECT * From Events WHERE EventDate<=#2026-12-09# AND NOT "
             "(EventDate<#2026-12-06# AND EventDate=#2026-12-01#)");
}

void tst_Selection::dueEvents_data()
{
    QTest::addColumn<QString>("daysAhead");
    QTest::addColumn<QDate>("lastRemind");
    QTest::addColumn<QStringList>("dates"); // each event's description is its date
    QTest::addColumn<QStringList>("due");

    // Today is 2026-03-10 in every row.
    const QStringList around = { "1990-01-01 00:00:00", "2026-03-01 00:00:00",
                                 "2026-03-09 00:00:00", "2026-03-09 10:00:00",
                                 "2026-03-10 00:00:00", "2026-03-13 00:00:00",
                                 "2026-03-13 08:00:00", "2026-03-14 00:00:00" };
    QTest::newRow("first run, 3 days")
            << "2" << QDate(1990, 1, 1) << around << QStringList{ around.mid(1, 5) };
    QTest::newRow("ran yesterday")
            << "2" << QDate(2026, 3, 9) << around
            << QStringList{ around[0], around[1], around[3], around[4], around[5] };
    QTest::newRow("ran today already")
            << "2" << QDate(2026, 3, 10) << around << QStringList{ around.mid(0, 6) };
    QTest::newRow("last date ahead of today")
            << "2" << QDate(2026, 3, 11) << around << QStringList{ around.mid(0, 6) };
    QTest::newRow("horizon today") << "-1" << QDate(2026, 3, 9) << around
                                   << QStringList{ around[0], around[1], around[3], around[4] };
    QTest::newRow("horizon two days back")
            << "-3" << QDate(2026, 3, 9) << around << QStringList{ around[0], around[1] };
    QTest::newRow("30 days") << "6" << QDate(2026, 3, 9) << around
                             << QStringList{ around[0], around[1], around[3], around[4],
                                             around[5], around[6], around[7] };
    QTest::newRow("empty table") << "2" << QDate(2026, 3, 9) << QStringList() << QStringList();
}

void tst_Selection::dueEvents()
{
    QFETCH(QString, daysAhead);
    QFETCH(QDate, lastRemind);
    QFETCH(QStringList, dates);
    QFETCH(QStringList, due);

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
    QStringList selected;
    for (; !rs->EOF_(); rs->MoveNext())
        selected << rs->Fields(u"Description"_qs).Value().toString();
    selected.sort();
    QCOMPARE(selected, due);
}

QTEST_GUILESS_MAIN(tst_Selection)
#include "tst_selection.moc"
