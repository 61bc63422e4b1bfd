#include "engine/dates.h"
#include "engine/globals.h"
#include "fixtures.h"
#include "reminder/frmDatBel.h"
#include "uifakes.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

// The reminder window over a temporary database; today is Tuesday 2026-03-10 and the last
// pass ran yesterday.
class tst_frmDatBel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void listPanelsAndSize_data();
    void listPanelsAndSize();
    void foreignRowsUnderAGermanLocale();
    void timePanelShowsSeconds();
    void keysAndClicks_data();
    void keysAndClicks();
    void handlerErrorIsReported();

private:
    void open();
    QStringList lines() const;
    QString panel(int number) const { return m_window->panels[number - 1]->text(); }

    std::unique_ptr<ProgramFolder> m_folder;
    MemorySettings m_settings;
    FixedClock m_clock{ QDate(2026, 3, 10) };
    FakeMessages m_messages;
    FakeHelp m_help;
    std::function<void(QWidget *)> m_openEventMaint;
    std::unique_ptr<frmDatBel> m_window;
};

void tst_frmDatBel::init()
{
    resetEngineState();
    m_folder = std::make_unique<ProgramFolder>();
    m_settings = MemorySettings();
    m_messages = FakeMessages();
    m_help = FakeHelp();
    m_openEventMaint = nullptr;
    m_clock.setNow(QDateTime(QDate(2026, 3, 10), QTime(12, 0)));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    gdtLastRemind = QDate(2026, 3, 9);
    // Not due: past and shown on the last pass, and too far ahead.
    m_folder->add(u"2026-03-09 00:00:00"_qs, u"shown yesterday"_qs, 0);
    m_folder->add(u"2026-04-01 00:00:00"_qs, u"later"_qs, -1);
}

void tst_frmDatBel::cleanup()
{
    m_window.reset();
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void tst_frmDatBel::open()
{
    gdbEvents = DBEngine::OpenDatabase(m_folder->database());
    BuildReminderQuery(m_settings, m_clock);
    m_window = std::make_unique<frmDatBel>(WindowContext{
            m_folder->path(), m_settings, m_clock, m_messages, m_help, m_openEventMaint, {} });
}

QStringList tst_frmDatBel::lines() const
{
    QStringList result;
    for (int row = 0; row < m_window->lstEvents->count(); ++row)
        result << m_window->lstEvents->item(row)->text();
    return result;
}

void tst_frmDatBel::listPanelsAndSize_data()
{
    QTest::addColumn<int>("due");
    QTest::addColumn<int>("listHeight");
    QTest::addColumn<int>("outerHeight");
    QTest::addColumn<int>("exitTop");
    QTest::newRow("none") << 0 << 900 << 1875 << 90;
    QTest::newRow("3") << 3 << 900 << 1875 << 90;
    QTest::newRow("4") << 4 << 1200 << 2300 << 292;
    QTest::newRow("25, sized for 18") << 25 << 5400 << 6500 << 2392;
    QTest::newRow("10 000, counts cut short") << 10000 << 5400 << 6500 << 2392;
}

void tst_frmDatBel::listPanelsAndSize()
{
    QFETCH(int, due);
    QFETCH(int, listHeight);
    QFETCH(int, outerHeight);
    QFETCH(int, exitTop);
    // Each with a second line, as calendar files hold them: one list line per event all the
    // same, which a screen reader hears without the tab.
    m_folder->exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                   "INSERT INTO Events SELECT '2026-03-11 00:00:00', printf('Event %02d', i) || "
                   "char(10) || 'at home', -1 FROM n WHERE %1 > 0"_qs.arg(due));
    open();

    const QStringList list = lines();
    QCOMPARE(list.size(), qMax(due, 1));
    QCOMPARE(list.first(),
             due ? u"Wed Mar 11, 2026\tEvent 01 at home"_qs
                 : u"No current events for reminding!"_qs);
    if (due)
        QCOMPARE(m_window->lstEvents->item(0)->data(Qt::AccessibleTextRole),
                 u"Wed Mar 11, 2026, Event 01 at home"_qs);
    QCOMPARE(panel(1), u"Current Reminders = %1"_qs.arg(due));
    QCOMPARE(panel(2), u"Total Reminders = %1"_qs.arg(due + 2));
    QCOMPARE(panel(3), u"Days ahead = 3"_qs);
    QCOMPARE(panel(4), u"3/10/2026"_qs);

    // The table is in twips, fifteen to a pixel.
    QCOMPARE(m_window->lstEvents->height(), listHeight / 15);
    QCOMPARE(m_window->cmdExit->y(), qRound(exitTop / 15.0));
    QCOMPARE(m_window->centralWidget()->height(), qRound((outerHeight - 780) / 15.0));
    // The status bar covers the list where they overlap, and no panel runs into the next.
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QWidget *status = m_window->sbStatus;
    const QImage bar =
            m_window->grab(QRect(status->mapTo(m_window.get(), QPoint()), status->size()))
                    .toImage();
    int listColour = 0;
    for (int y = 0; y < 3; ++y) // above the panels' text
        for (int x = 0; x < bar.width(); ++x)
            listColour += bar.pixelColor(x, y) == QColor(192, 192, 192);
    QCOMPARE(listColour, 0);
    for (int panel = 1; panel < 5; ++panel)
        QVERIFY(m_window->panels[panel - 1]->geometry().right()
                < m_window->panels[panel]->geometry().left());
}

// Rows another tool wrote, under a German locale: a date in another form is listed as it
// stands, and an event without a flag is not counted in the total. Day and month names and date
// forms are German, dates are typed in the German form, and every other text stays as it stands.
void tst_frmDatBel::foreignRowsUnderAGermanLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    m_folder = std::make_unique<ProgramFolder>(false);
    m_folder->add(u"2026-03-10"_qs, u"short form"_qs, -1);
    m_folder->exec(u"INSERT INTO Events VALUES ('2026-03-11 00:00:00', 'no flag', NULL)"_qs);
    open();
    QCOMPARE(lines(), QStringList({ "2026-03-10\tshort form", "Mi. März 11, 2026\tno flag" }));
    QCOMPARE(panel(2), u"Total Reminders = 1"_qs);
    QCOMPARE(m_window->mnuDummy->text(), u"Reminders since: 09.03.2026"_qs);
    const auto typed = RecognizeDate(u"24.12.26 18:30"_qs);
    QVERIFY(typed && typed->date == QDate(2026, 12, 24) && typed->time == QTime(18, 30));
    QVERIFY(!RecognizeDate(u"12/24/2026"_qs));
}

// Where the short time form shows seconds, the time panel follows each second.
void tst_frmDatBel::timePanelShowsSeconds()
{
    QLocale::setDefault(QLocale::c());
    open();
    QCOMPARE(panel(5), u"12:00:00"_qs);
    m_clock.setTime(QTime(12, 0, 1));
    QTRY_COMPARE_WITH_TIMEOUT(panel(5), u"12:00:01"_qs, 2000);
}

// Each key and click of the window on its own. What closes the window tidies: the database is
// closed and past events are rolled forward. What edits opens the maintenance window (played
// here by a function that changes the horizon and the events), and the list is then reloaded
// from scratch. What asks for help asks for the guide beside the program, over this window.
// A new day on the clock while the window is open (at midnight, or three days on after a
// suspend) runs that day's pass: the list, its caption and the recorded date follow, and the
// events of the list's day are not due again; with the maintenance window open, it waits.
void tst_frmDatBel::keysAndClicks_data()
{
    QTest::addColumn<QString>("how"); // a key on the list, what is clicked, or the clock moved
    QTest::addColumn<QString>("does"); // "closes", "edits", "helps", "follows" the day, "stays"
    QTest::addColumn<QDateTime>("now"); // where the clock goes while the window is open
    QTest::addColumn<QStringList>("listed"); // after editing or a new day
    for (const char *how : { "Esc", "Return", "Ctrl+X", "File, Exit", "Exit button", "close box" })
        QTest::newRow(how) << QString::fromLatin1(how) << "closes" << QDateTime() << QStringList();
    const QStringList edited{ "Wed Mar 11, 2026\ttomorrow", "Thu Mar 12, 2026\tadded",
                              "Wed Apr 1, 2026\tlater" };
    for (const char *how : { "Ctrl+E", "double click" })
        QTest::newRow(how) << QString::fromLatin1(how) << "edits" << QDateTime() << edited;
    QTest::newRow("right double click") << "right double click"
                                        << "stays" << QDateTime() << QStringList();
    for (const char *how : { "F1", "Help, Help" })
        QTest::newRow(how) << QString::fromLatin1(how) << "helps" << QDateTime() << QStringList();
    // The last pass over a year back: a clock set ahead would lose the events; No keeps them.
    QTest::newRow("Esc, last pass a year gone, No")
            << "Esc"
            << "closes, not tidied" << QDateTime() << QStringList();
    const QDateTime midnight(QDate(2026, 3, 11), QTime(0, 0));
    QTest::newRow("midnight") << "clock"
                              << "follows" << midnight
                              << QStringList{ "Mon Mar 9, 2026\tshown yesterday",
                                              "Wed Mar 11, 2026\ttomorrow" };
    QTest::newRow("three days on")
            << "clock"
            << "follows" << QDateTime(QDate(2026, 3, 13), QTime(12, 0))
            << QStringList{ "Mon Mar 9, 2026\tshown yesterday", "Wed Mar 11, 2026\ttomorrow",
                            "Sun Mar 15, 2026\tin five days" };
    QTest::newRow("Ctrl+E over midnight")
            << "Ctrl+E"
            << "edits" << midnight
            << QStringList{ "Mon Mar 9, 2026\tshown yesterday", "Wed Mar 11, 2026\ttomorrow",
                            "Thu Mar 12, 2026\tadded", "Sun Mar 15, 2026\tin five days",
                            "Wed Apr 1, 2026\tlater" };
}

void tst_frmDatBel::keysAndClicks()
{
    QFETCH(QString, how);
    QFETCH(QString, does);
    QFETCH(QDateTime, now);
    QFETCH(QStringList, listed);
    m_folder->add(u"2026-03-11 00:00:00"_qs, u"tomorrow"_qs, 0);
    const bool newDay = now.isValid();
    if (newDay) {
        m_folder->add(u"2026-03-10 09:00:00"_qs, u"this morning"_qs, 0);
        m_folder->add(u"2026-03-15 00:00:00"_qs, u"in five days"_qs, 0);
        m_clock.setTime(QTime(23, 59, 59)); // the status bar's clock ticks in a second
    }
    const QString recorded = u"Settings/LastRemindDate"_qs;
    int edited = 0;
    m_openEventMaint = [&](QWidget *owner) {
        ++edited;
        QCOMPARE(owner, m_window.get());
        if (newDay) {
            const QStringList before = lines();
            m_clock.setNow(now);
            QTest::qWait(1500);
            QCOMPARE(lines(), before);
            QVERIFY(!m_settings.values.contains(recorded));
        }
        m_folder->add(u"2026-03-12 00:00:00"_qs, u"added"_qs, 0);
        m_settings.values.insert(u"Settings/DaysAhead"_qs, u"6"_qs);
        BuildReminderQuery(m_settings, m_clock);
    };
    const bool untidied = does.endsWith(u"not tidied");
    if (untidied) {
        gdtLastRemind = QDate(2025, 3, 9);
        m_messages.answer = MsgBoxResult::No;
    }
    open();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QCOMPARE(QApplication::focusWidget(), m_window->lstEvents);

    if (how == u"File, Exit")
        m_window->mnuFileExit->trigger();
    else if (how == u"Help, Help")
        m_window->mnuHelpHelp->trigger();
    else if (how == u"Exit button")
        QTest::mouseClick(m_window->cmdExit, Qt::LeftButton);
    else if (how == u"close box")
        m_window->close();
    else if (how.endsWith(u"double click"))
        QTest::mouseDClick(m_window->lstEvents->viewport(),
                           how.startsWith(u"right") ? Qt::RightButton : Qt::LeftButton, {},
                           QPoint(5, 40));
    else if (how == u"clock")
        m_clock.setNow(now);
    else
        QTest::keySequence(m_window->lstEvents, QKeySequence::fromString(how));

    const bool closes = does.startsWith(u"closes"), edits = does == u"edits";
    if (newDay)
        QTRY_COMPARE_WITH_TIMEOUT(m_settings.values.value(recorded), DateText(now.date()), 3000);
    else
        QVERIFY(!m_settings.values.contains(recorded));
    QCOMPARE(m_window->isVisible(), !closes);
    if (!closes)
        QCOMPARE(PoorlyNamedAccessibles(m_window.get()), QStringList());
    QCOMPARE(bool(gdbEvents), !closes);
    QCOMPARE(edited, int(edits));
    QList<std::pair<QWidget *, QString>> guide{ { m_window.get(),
                                                  m_folder->path() + u"/Datebell.html" } };
    QCOMPARE(m_help.requests, does == u"helps" ? guide : decltype(guide)());
    QVERIFY(m_messages.fatal.isEmpty());
    QCOMPARE(m_messages.prompts
                     .filter(u"The last reminder was on 3/9/2025: is today's date, "
                             "3/10/2026, right?"_qs)
                     .size(),
             int(untidied));
    const QStringList kept{ "2026-03-11 00:00:00|tomorrow|0", "2026-04-01 00:00:00|later|-1" };
    if (closes)
        QCOMPARE(m_folder->rows(),
                 untidied ? QStringList{ "2026-03-09 00:00:00|shown yesterday|0" } + kept : kept);
    if (!edits && !newDay)
        return;
    QCOMPARE(lines(), listed);
    QCOMPARE(panel(1), u"Current Reminders = %1"_qs.arg(listed.size()));
    QCOMPARE(panel(3), edits ? u"Days ahead = 30"_qs : u"Days ahead = 3"_qs);
    QCOMPARE(m_window->mnuDummy->text(),
             newDay ? u"Reminders since: 3/10/2026"_qs : u"Reminders since: 3/9/2026"_qs);
    QCOMPARE(m_messages.beeps, newDay ? 2 : 1);
}

void tst_frmDatBel::handlerErrorIsReported()
{
    open();
    gdbEvents->Close();
    m_window->mnuEditEdit->trigger();
    QCOMPARE(m_messages.fatal.size(), 1);
    QVERIFY2(m_messages.fatal.first().contains(u"closed"), qPrintable(m_messages.fatal.first()));
}

QTEST_MAIN(tst_frmDatBel)
#include "tst_frmdatbel.moc"
