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
    void commandSwitch_data();
    void commandSwitch();
    void shapes_data();
    void shapes();
    void lastRemindDate_data();
    void lastRemindDate();
    void nothingRecordedWhenTheRunFails_data();
    void nothingRecordedWhenTheRunFails();
    void countsBeyond16Bits();
    void remindersShownWhenTheDateCannotBeSaved();

private:
    RunEnd run(const QString &command);

    std::unique_ptr<ProgramFolder> m_folder;
    MemorySettings m_settings;
    FakeDesktop m_desktop;
    FixedClock m_clock{ QDate(2026, 3, 10) };
};

void tst_Main::init()
{
    resetEngineState();
    m_folder = std::make_unique<ProgramFolder>();
    m_settings = MemorySettings();
    m_desktop = FakeDesktop();
}

RunEnd tst_Main::run(const QString &command)
{
    return Main(Runtime{ command, m_folder->path(), m_clock, m_settings, m_desktop });
}

void tst_Main::commandSwitch_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << ""
                           << "  ";
    QTest::newRow("one character") << "/"
                                   << "/ ";
    QTest::newRow("/e") << "/e"
                        << "/E";
    QTest::newRow("/Edit") << "/Edit"
                           << "/E";
    QTest::newRow("/Sxyz") << "/Sxyz"
                           << "/S";
    QTest::newRow("-E") << "-E"
                        << "-E";
    QTest::newRow("leading space") << " /E"
                                   << " /";
}

void tst_Main::commandSwitch()
{
    QFETCH(QString, command);
    QFETCH(QString, expected);
    QCOMPARE(CommandSwitch(command), expected);
}

void tst_Main::shapes_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("dueEvent");
    QTest::addColumn<int>("reminderShown");
    QTest::addColumn<int>("maintShown");
    QTest::addColumn<bool>("rolled"); // the past one-off event is gone and the db closed

    QTest::newRow("plain") << "" << true << 1 << 0 << false;
    QTest::newRow("plain, nothing due") << "" << false << 1 << 0 << false;
    QTest::newRow("/S with a due event") << "/S" << true << 1 << 0 << false;
    QTest::newRow("/s, nothing due") << "/s" << false << 0 << 0 << true;
    QTest::newRow("/E") << "/E" << true << 0 << 1 << false;
    QTest::newRow("E is no switch") << "E" << false << 1 << 0 << false;
}

void tst_Main::shapes()
{
    QFETCH(QString, command);
    QFETCH(bool, dueEvent);
    QFETCH(int, reminderShown);
    QFETCH(int, maintShown);
    QFETCH(bool, rolled);

    // A one-off event shown on the last run two days ago: past, and not due again.
    m_settings.values.insert(u"Settings/LastRemindDate"_qs, u"2026-03-08"_qs);
    m_folder->add(u"2026-03-08 00:00:00"_qs, u"past"_qs, 0);
    if (dueEvent)
        m_folder->add(u"2026-03-11 00:00:00"_qs, u"due"_qs, 0);

    const RunEnd end = run(command);
    QCOMPARE(m_desktop.reminderShown, reminderShown);
    QCOMPARE(m_desktop.maintShown, maintShown);
    QCOMPARE(end, reminderShown ? RunEnd::WindowOpen : RunEnd::Returned);
    QCOMPARE(m_folder->rows().contains(u"2026-03-08 00:00:00|past|0"_qs), !rolled);
    QCOMPARE(bool(gdbEvents), reminderShown == 1);
    QCOMPARE(ScreenPointer::code(), ScreenPointer::Default);
    if (maintShown) {
        QCOMPARE(m_settings.values.value(u"Settings/LastRemindDate"_qs), u"2026-03-08");
    } else {
        QCOMPARE(m_settings.values.value(u"Settings/LastRemindDate"_qs), u"2026-03-10");
        QCOMPARE(gdtLastRemind, QDate(2026, 3, 8));
        QCOMPARE(giReminderCount, dueEvent ? 1 : 0);
        if (!rolled)
            QVERIFY(gsSQL.startsWith(u"SELECT * From Events WHERE EventDate<=#2026-03-13#"));
    }
}

void tst_Main::lastRemindDate_data()
{
    QTest::addColumn<QString>("stored"); // empty: none stored
    QTest::addColumn<QDate>("read");
    QTest::addColumn<bool>("warns");
    QTest::newRow("first run") << "" << QDate(1990, 1, 1) << false;
    QTest::newRow("ran today already") << "2026-03-10" << QDate(2026, 3, 10) << false;
    QTest::newRow("not a date") << "13/45/2026" << QDate(1990, 1, 1) << true;
}

void tst_Main::lastRemindDate()
{
    QFETCH(QString, stored);
    QFETCH(QDate, read);
    QFETCH(bool, warns);
    if (!stored.isEmpty())
        m_settings.values.insert(u"Settings/LastRemindDate"_qs, stored);
    if (warns)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"LastRemindDate \"13/45/2026\""_qs));
    run(QString());
    QCOMPARE(gdtLastRemind, read);
    QCOMPARE(m_settings.values.value(u"Settings/LastRemindDate"_qs), u"2026-03-10");
}

// A run that cannot show its reminders records nothing, so the next run shows them.
void tst_Main::nothingRecordedWhenTheRunFails_data()
{
    QTest::addColumn<QString>("problem");
    QTest::addColumn<int>("number");
    QTest::newRow("no database") << "missing" << int(ErrorNumber::FileNotFound);
    QTest::newRow("no display") << "display" << int(ErrorNumber::NoDisplay);
}

void tst_Main::nothingRecordedWhenTheRunFails()
{
    QFETCH(QString, problem);
    QFETCH(int, number);
    m_settings.values.insert(u"Settings/LastRemindDate"_qs, u"2026-03-01"_qs);
    m_folder->add(u"2026-03-05 00:00:00"_qs, u"missed"_qs, 0);
    if (problem == u"missing")
        QVERIFY(QFile::remove(m_folder->database()));
    m_desktop.display = problem != u"display";
    try {
        run(u"/S"_qs);
        QFAIL("the run succeeded");
    } catch (const DatebellError &error) {
        QCOMPARE(error.number(), number);
    }
    QCOMPARE(m_settings.values.value(u"Settings/LastRemindDate"_qs), u"2026-03-01");
    QCOMPARE(m_desktop.reminderShown, 0);
    QCOMPARE(ScreenPointer::code(), ScreenPointer::Default);
    QCOMPARE(QFile::exists(m_folder->database()), problem != u"missing");
    if (problem != u"missing")
        QCOMPARE(m_folder->rows(), QStringList{ u"2026-03-05 00:00:00|missed|0"_qs });
}

void tst_Main::countsBeyond16Bits()
{
    m_folder->exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                   "WHERE i < 40000) INSERT INTO Events SELECT '2026-03-11 00:00:00', i, 0 "
                   "FROM n"_qs);
    run(u"/S"_qs);
    QCOMPARE(giReminderCount, 40000);
}

void tst_Main::remindersShownWhenTheDateCannotBeSaved()
{
    m_folder->add(u"2026-03-11 00:00:00"_qs, u"due"_qs, 0);
    m_settings.failSaves = true;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"shown again next time"_qs));
    QCOMPARE(run(u"/S"_qs), RunEnd::WindowOpen);
    QCOMPARE(m_desktop.reminderShown, 1);
}

QTEST_GUILESS_MAIN(tst_Main)
#include "tst_main.moc"
