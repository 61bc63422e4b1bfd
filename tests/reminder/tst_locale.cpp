#include "engine/dates.h"
#include "engine/globals.h"
#include "fixtures.h"
#include "reminder/frmDatBel.h"
#include "uifakes.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QTest>

// A run under a German locale, taken from the environment as a desktop session sets it: day
// and month names and date forms are German, every other text stays as it stands.
class tst_Locale : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void germanDatesEnglishTexts();
};

void tst_Locale::germanDatesEnglishTexts()
{
    ProgramFolder folder;
    folder.add(u"2026-03-11 00:00:00"_qs, u"Geburtstag"_qs, -1);
    MemorySettings settings;
    FixedClock clock(QDate(2026, 3, 10));
    FakeMessages messages;
    FakeHelp help;
    gdbEvents = DBEngine::OpenDatabase(folder.database());
    gdtLastRemind = QDate(2026, 3, 9);
    BuildReminderQuery(settings, clock);
    frmDatBel window(WindowContext{ folder.path(), settings, clock, messages, help, {}, {} });

    const QString line = window.lstEvents->item(0)->text();
    QVERIFY2(line.startsWith(u"Mi") && line.contains(u"März")
                     && line.endsWith(u"11, 2026\tGeburtstag"),
             qPrintable(line));
    QCOMPARE(window.mnuDummy->text(), u"Reminders since: 09.03.2026"_qs);
    QCOMPARE(window.panels[0]->text(), u"Current Reminders = 1"_qs);
    QCOMPARE(window.mnuFileExit->text(), u"E&xit"_qs);
    // Dates are typed in the German form too.
    const auto typed = RecognizeDate(u"24.12.26 18:30"_qs);
    QVERIFY(typed && typed->date == QDate(2026, 12, 24) && typed->time == QTime(18, 30));
    QVERIFY(!RecognizeDate(u"12/24/2026"_qs));
}

int main(int argc, char **argv)
{
    qputenv("LC_ALL", "de_DE.UTF-8");
    qputenv("LANG", "de_DE.UTF-8");
    QApplication application(argc, argv);
    tst_Locale test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_locale.moc"
