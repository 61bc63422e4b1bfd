#pragma once

// engine/: the reminder pass and everything under it that needs no widget: start-up, the
// command line, selection, roll-forward, the event database, settings, dates, the busy
// cursor's pointer code and the registry lookup.

#include <QDate>
#include <QString>

#include <functional>

class Clock;
class Database;
class DatebellError;
class SettingsStore;

struct Runtime;

// What a run needs of the desktop. It is handed in so that the reminder pass itself never
// touches a widget and a pass with nothing to show needs no display.
class Desktop
{
public:
    virtual ~Desktop() = default;
    // False when no window can be shown at all; `why` then says what is missing.
    virtual bool canShowWindows(QString *why) = 0;
    // Shows the event maintenance window and returns when it has closed.
    virtual void showEventMaintModal(const Runtime &runtime) = 0;
    // Shows the reminder window and returns at once; the program lives as long as it.
    // `shown` runs once the window is on the screen (the display has exposed it), and never
    // when it does not get there.
    virtual void showReminderWindow(const Runtime &runtime, std::function<void()> shown) = 0;
    // Reports an error on standard error and, where a display can be used, in a box (nobody
    // reads standard error after a start at login); the run goes on.
    virtual void reportError(const DatebellError &error) = 0;
};

// Everything Main takes from the platform.
struct Runtime
{
    QString command; // the arguments as one text
    QString programDirectory;
    const Clock &clock;
    SettingsStore &settings;
    Desktop &desktop;
};

// How Main left the run.
enum class RunEnd {
    Returned, // nothing is left open: the program ends
    WindowOpen, // the reminder window is showing: run the event loop until it closes
};

// The two characters of the command line that choose the run: upper-cased, cut or padded.
QString CommandSwitch(const QString &command);

// The database file of a program folder.
QString EventDatabasePath(const QString &programDirectory);

// Starts a run: "/E" shows the maintenance window alone; otherwise a reminder pass counts the
// due events, records today as the last reminder date, and shows the reminder window or, for
// a silent "/S" pass with nothing due, tidies past events and ends.
RunEnd Main(const Runtime &runtime);

// What the date of the last pass says about today's date: one after today means the clock was
// wrong then or is now; one more than a year back may mean a clock set ahead by mistake. The
// date of no pass at all (1 January 1990) says nothing.
enum class ClockCheck { Plausible, LastAfterToday, LongAgo };
ClockCheck CheckClock(QDate lastRemind, QDate today);
// For a last pass after today, what the user must know, naming the backup copies of `database`;
// empty otherwise.
QString ClockNotice(const QString &database, QDate lastRemind, QDate today);
// Asked at the closing of the reminder window before a tidy after a pass more than a year back.
QString ClockQuestion(QDate lastRemind, QDate today);
// Records `day` as the date of the last reminder pass over the event database at `database`.
// A save that fails goes to `report`, with a word that the reminders are shown again next time,
// and the run goes on.
void RecordPass(SettingsStore &settings, QDate day, const QString &database,
                const std::function<void(const DatebellError &)> &report);

// Reads the horizon and writes giDaysAhead, gdtRemindUntil and the reminder query gsSQL.
void BuildReminderQuery(const SettingsStore &settings, const Clock &clock);

// Deletes one-off events dated before today and moves annual ones to their next occurrence on
// or after today (29 February to the next 29 February), in one transaction. `shownUntil` is the
// horizon date of the list last on the screen: rows dated on or after it, when it is before
// today, were never shown and are left as they are. Only when a row is to change does it take
// the exclusive lock and copy the file; once the rows are done, before the commit, the copy
// becomes the newest of the BackupGenerations copies (BackupPath, then ".bak.1" on) and the
// oldest is dropped. A failed tidy leaves every copy as it was; a half-made copy a killed run
// left is removed. Rows whose date is not in the stored form are left alone.
// After a pass whose last reminder date (gdtLastRemind) is more than a year before today, it
// calls `confirm` (when given) before it changes a row, and leaves the table as it is when
// that says no; after one whose date is after today it drops no copy.
void RollPastEvents(Database &db, const Clock &clock, QDate shownUntil = QDate(),
                    const std::function<bool()> &confirm = {});
QString BackupPath(const Database &db);
