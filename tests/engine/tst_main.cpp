#include "engine/clsHourglass.h"
#include "engine/errors.h"
#include "engine/globals.h"
#include "fixtures.h"

#include <QFile>
#include <QTest>

// Runs of Main over a temporary program folder, with today 2026-03-10.
class tst_Main : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void shapes_data();
    void shapes();
    void lastRemindDate_data();
    void lastRemindDate();
    void foreignRows();

private:
    RunEnd run(const QString &command);

    std::unique_ptr<ProgramFolder> m_folder;
    MemorySettings m_settings;
    FakeDesktop m_desktop;
    FixedClock m_clock{ QDate(2026, 3, 10) };
};

void tst_Main::init()
{
    QTest::failOnWarning(QRegularExpression(u".*"_qs));
    resetEngineState();
    m_folder = std::make_unique<ProgramFolder>();
    m_settings = MemorySettings();
    m_desktop = FakeDesktop();
}

RunEnd tst_Main::run(const QString &command)
{
    return Main(Runtime{ command, m_folder->path(), m_clock, m_settings, m_desktop });
}

void tst_Main::shapes_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("due"); // events due tomorrow
    QTest::addColumn<bool>("exposed"); // the display puts the window on the screen
    QTest::addColumn<int>("reminderShown");
    QTest::addColumn<int>("maintShown");
    QTest::addColumn<bool>("rolled"); // the past one-off event is gone and the db closed
    QTest::addColumn<bool>("recorded"); // today saved as LastRemindDate

    QTest::newRow("plain") << "" << 1 << true << 1 << 0 << false << true;
    QTest::newRow("plain, nothing due") << "" << 0 << true << 1 << 0 << false << true;
    QTest::newRow("/S, more than 16 bits count")
            << "/S" << 40000 << true << 1 << 0 << false << true;
    QTest::newRow("/S, never on the screen") << "/S" << 1 << false << 1 << 0 << false << false;
    QTest::newRow("/silent, nothing due") << "/silent" << 0 << false << 0 << 0 << true << true;
    QTest::newRow("/e") << "/e" << 1 << true << 0 << 1 << false << false;
    QTest::newRow("E, or a space first, is no switch")
            << " /E" << 0 << true << 1 << 0 << false << true;
}

void tst_Main::shapes()
{
    QFETCH(QString, command);
    QFETCH(int, due);
    QFETCH(bool, exposed);
    QFETCH(int, reminderShown);
    QFETCH(int, maintShown);
    QFETCH(bool, rolled);
    QFETCH(bool, recorded);

    // A one-off event shown on the last run two days ago: past, and not due again.
    m_settings.values.insert(u"Settings/LastRemindDate"_qs, u"2026-03-08"_qs);
    m_folder->add(u"2026-03-08 00:00:00"_qs, u"past"_qs, 0);
    const QString dueTomorrow = u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                "WHERE i < %1) INSERT INTO Events SELECT '2026-03-11 00:00:00', "
                                "i, 0 FROM n WHERE i <= %1"_qs;
    m_folder->exec(dueTomorrow.arg(due));
    m_desktop.exposes = exposed;

    const RunEnd end = run(command);
    QCOMPARE(m_desktop.reminderShown, reminderShown);
    QCOMPARE(m_desktop.maintShown, maintShown);
    QCOMPARE(end, reminderShown ? RunEnd::WindowOpen : RunEnd::Returned);
    QCOMPARE(m_folder->rows().contains(u"2026-03-08 00:00:00|past|0"_qs), !rolled);
    QCOMPARE(bool(gdbEvents), reminderShown == 1);
    QCOMPARE(ScreenPointer::code(), ScreenPointer::Default);
    QCOMPARE(m_settings.values.value(u"Settings/LastRemindDate"_qs),
             recorded ? u"2026-03-10" : u"2026-03-08");
    if (!maintShown) {
        QCOMPARE(gdtLastRemind, QDate(2026, 3, 8));
        QCOMPARE(giReminderCount, due);
    }
}

// The date of the last pass is read (the first run, a text that is no date and a date of
// another program folder's database count from 1990), and today is stored, with the database,
// once the window is shown. A save that fails is reported by the
// desktop, and the reminders are shown all the
// same.
void tst_Main::lastRemindDate_data()
{
    QTest::addColumn<QString>("stored"); // empty: none stored
    QTest::addColumn<QString>("storedFor"); // the database named with it: "this", a path, none
    QTest::addColumn<bool>("saveFails");
    QTest::addColumn<QDate>("read");
    QTest::addColumn<QString>("warning"); // empty: none
    QTest::addColumn<bool>("window"); // a silent pass with nothing due shows its window
    QTest::newRow("first run") << ""
                               << "" << false << QDate(1990, 1, 1) << "" << false;
    QTest::newRow("not a date") << "13/45/2026"
                                << "" << false << QDate(1990, 1, 1)
                                << "LastRemindDate \"13/45/2026\"" << false;
    QTest::newRow("of this database") << "2026-03-08"
                                      << "this" << false << QDate(2026, 3, 8) << "" << false;
    QTest::newRow("of another folder's database")
            << "2026-03-08"
            << "/opt/datebell/Datebell.mdb" << false << QDate(1990, 1, 1)
            << "2026-03-08 is of the events in '/opt/datebell/Datebell.mdb'" << false;
    QTest::newRow("cannot be saved") << "2026-03-08"
                                     << "" << true << QDate(2026, 3, 8) << "" << false;
    // The clock was wrong then or is now: events may have gone at a tidy; said, with the copy.
    QTest::newRow("after today") << "2026-04-01"
                                 << "" << false << QDate(2026, 4, 1)
                                 << "after today.*clock was wrong.*\n.*are in '.*Datebell.mdb.bak'"
                                 << true;
}

void tst_Main::lastRemindDate()
{
    QFETCH(QString, stored);
    QFETCH(QString, storedFor);
    QFETCH(bool, saveFails);
    QFETCH(QDate, read);
    QFETCH(QString, warning);
    QFETCH(bool, window);
    const QString database = m_folder->database(), databaseKey = u"Settings/LastRemindDatabase"_qs;
    if (!stored.isEmpty())
        m_settings.values.insert(u"Settings/LastRemindDate"_qs, stored);
    if (!storedFor.isEmpty())
        m_settings.values.insert(databaseKey, storedFor == u"this" ? database : storedFor);
    m_settings.failSaves = saveFails;
    QVERIFY(writeFile(m_folder->database() + u".bak"_qs, "a copy"));
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
    QCOMPARE(run(u"/S"_qs), window ? RunEnd::WindowOpen : RunEnd::Returned);
    QCOMPARE(m_desktop.reminderShown, int(window));
    QCOMPARE(gdtLastRemind, read);
    QCOMPARE(m_settings.values.value(u"Settings/LastRemindDate"_qs),
             saveFails ? stored : u"2026-03-10"_qs);
    // Said where it is seen (in a box at login), with its number.
    QCOMPARE(m_desktop.reports,
             saveFails ? QStringList{ u"disk full\nToday's reminders will be shown again next "
                                      "time. (Error 3400)"_qs }
                       : QStringList());
    QCOMPARE(m_settings.values.value(databaseKey), saveFails ? QString() : database);
}

// Rows another tool wrote without the table's checks: each date not in the stored form is
// named once per pass, wherever it sorts, and the row left alone; any flag but 0, no value
// included, counts as annual.
void tst_Main::foreignRows()
{
    m_folder = std::make_unique<ProgramFolder>(false);
    m_folder->exec(
            u"INSERT INTO Events VALUES ('2025-03-01 00:00:00', 'no flag', NULL), "
            "('2025-03-01', 'short date', 0), ('3/1/2026', 'other form', -1), "
            "('2025-03-01 00:00:00', 'flag 1', 1), ('2025-03-01 00:00:00', 'text flag', 'x')"_qs);
    for (const char *row : { "\"short date\" has the date \"2025-03-01\"",
                             "\"other form\" has the date \"3/1/2026\"" })
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QString::fromLatin1(row)));
    // The short date is due; the window's closing rolls past events forward.
    QCOMPARE(run(u"/S"_qs), RunEnd::WindowOpen);
    RollPastEvents(*gdbEvents, m_clock);
    QCOMPARE(m_folder->rows(),
             QStringList({ "2025-03-01|short date|0", "2027-03-01 00:00:00|flag 1|1",
                           "2027-03-01 00:00:00|no flag|", "2027-03-01 00:00:00|text flag|x",
                           "3/1/2026|other form|-1" }));
}

QTEST_GUILESS_MAIN(tst_Main)
#include "tst_main.moc"
