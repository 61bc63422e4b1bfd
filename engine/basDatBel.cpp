#include "engine/basDatBel.h"

#include "engine/clsHourglass.h"
#include "engine/conversions.h"
#include "engine/dates.h"
#include "engine/errors.h"
#include "engine/eventdb.h"
#include "engine/globals.h"
#include "engine/platform.h"
#include "engine/settings.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <optional>
#include <sqlite3.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const QDate firstLastRemind(1990, 1, 1);

// The stored date of the previous pass over `database`. An unreadable text would otherwise
// stop every start until someone edited the settings; it is reported and read as no date at
// all. So is a date recorded for another database (another program folder shares these
// settings): taken for this one's, it would hide this one's events of that day unseen. A date
// recorded with no database named is taken as this one's.
QDate readLastRemindDate(const SettingsStore &settings, const QString &database)
{
    const QString text = settings.GetSetting(
            AppTitle, SettingKeys::Section, SettingKeys::LastRemindDate, DateText(firstLastRemind));
    const auto date = DateFromText(text);
    if (!date) {
        Warn(QStringLiteral("the setting LastRemindDate \"%1\" is not a date; using %2.")
                     .arg(text, DateText(firstLastRemind)));
        return firstLastRemind;
    }
    const QString recordedFor = settings.GetSetting(AppTitle, SettingKeys::Section,
                                                    SettingKeys::LastRemindDatabase, QString());
    if (!recordedFor.isEmpty() && recordedFor != database) {
        Warn(QStringLiteral("the last reminder date %1 is of the events in '%2', not of '%3'; "
                            "using %4, so every event of this folder before today is shown.")
                     .arg(text, recordedFor, database, DateText(firstLastRemind)));
        return firstLastRemind;
    }
    return *date;
}

// Rows another tool wrote with a date in another form sort apart from the stored dates, so
// no query of the pass finds them and they would never be reminded: each is named once. A
// table with the schema's date check cannot hold such rows and is not read.
void reportUnreadableDates(Database &db)
{
    if (db.HasDateCheck())
        return;
    const auto rows = db.OpenRecordset(
            QStringLiteral("SELECT Description, EventDate FROM Events WHERE EventDate IS NOT NULL "
                           "AND datetime(EventDate) IS NOT EventDate"));
    for (; !rows->EOF_(); rows->MoveNext())
        Warn(QStringLiteral("the event \"%1\" has the date \"%2\", which is not in the form "
                            "Datebell reads (YYYY-MM-DD HH:MM:SS): it is sorted by its text, so "
                            "it may be reminded on the wrong day or never, and it is never moved "
                            "or deleted. Type its date again in the editing window (Edit, Edit "
                            "Events).")
                     .arg(rows->Fields(0).Value().toString(), rows->Fields(1).Value().toString()));
    rows->Close();
}

// A file that is removed when the scope ends, however it ends.
struct RemovedOnExit
{
    QString path;
    ~RemovedOnExit() { QFile::remove(path); }
};

// The copy a tidy writes before it puts it in place, the file that copy is written to first,
// and the oldest copy while it waits to be dropped. A run killed mid-tidy leaves them.
QString unfinishedCopy(const QString &database)
{
    return BackupFile(database) + QStringLiteral(".next");
}
QString setAsideCopy(const QString &database)
{
    return BackupFile(database) + QStringLiteral(".old");
}
QStringList leftoverCopies(const QString &database)
{
    const QString next = unfinishedCopy(database);
    return { next, next + QStringLiteral(".new"), setAsideCopy(database) };
}

// Puts a new copy in place as the newest backup, each older one a place on, the oldest set
// aside; undo() puts every name back (for a commit that fails after that), finish() drops the
// oldest and gives every copy the database's permission bits.
class BackupRotation
{
public:
    explicit BackupRotation(const QString &database) : m_database(database) { }
    ~BackupRotation() { undo(); }

    void rotate(const QString &fresh)
    {
        const QString oldest = BackupFile(m_database, BackupGenerations - 1);
        move(oldest, setAsideCopy(m_database));
        for (int generation = BackupGenerations - 2; generation >= 0; --generation)
            move(BackupFile(m_database, generation), BackupFile(m_database, generation + 1));
        move(fresh, BackupFile(m_database));
    }
    void undo()
    {
        for (auto it = m_moved.rbegin(); it != m_moved.rend(); ++it)
            ::rename(QFile::encodeName(it->second).constData(),
                     QFile::encodeName(it->first).constData());
        m_moved.clear();
    }
    void finish()
    {
        m_moved.clear();
        QFile::remove(setAsideCopy(m_database));
        struct stat database = {};
        if (::stat(QFile::encodeName(m_database).constData(), &database) != 0)
            return;
        for (int generation = 0; generation < BackupGenerations; ++generation)
            ::chmod(QFile::encodeName(BackupFile(m_database, generation)).constData(),
                    database.st_mode & 07777);
    }

private:
    void move(const QString &from, const QString &to)
    {
        if (!QFileInfo::exists(from))
            return;
        if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
            throw CopyError(to, errno, m_database);
        m_moved.emplace_back(from, to);
    }

    QString m_database;
    std::vector<std::pair<QString, QString>> m_moved; // from, to
};

} // namespace

QString CommandSwitch(const QString &command)
{
    return command.toUpper().left(2).leftJustified(2, u' ');
}

QString EventDatabasePath(const QString &programDirectory)
{
    return programDirectory + QStringLiteral("/Datebell.mdb");
}

RunEnd Main(const Runtime &runtime)
{
    const QString commandSwitch = CommandSwitch(runtime.command);
    // The events live beside the program: a folder installed for all users (owned by root)
    // can be read but not tidied or edited. Say so now, not at the first write.
    if (::access(QFile::encodeName(runtime.programDirectory).constData(), W_OK) != 0)
        Warn(QStringLiteral("the program folder '%1' cannot be written by you, so past events "
                            "cannot be tidied and events cannot be edited. Install Datebell into "
                            "a folder of your own (see the README).")
                     .arg(runtime.programDirectory));
    if (commandSwitch == QLatin1String("/E")) {
        runtime.desktop.showEventMaintModal(runtime);
        return RunEnd::Returned;
    }

    clsHourglass hourglass;
    hourglass.DisplayCursor();

    const QString database = EventDatabasePath(runtime.programDirectory);
    gdbEvents = DBEngine::OpenDatabase(database);
    gdtLastRemind = readLastRemindDate(runtime.settings, database);
    BuildReminderQuery(runtime.settings, runtime.clock);

    {
        const auto due = gdbEvents->OpenRecordset(gsSQL);
        if (due->EOF_()) {
            giReminderCount = 0;
        } else {
            due->MoveLast(0);
            giReminderCount = qint32(due->RecordCount());
        }
        due->Close();
    }

    bool silent = commandSwitch == QLatin1String("/S") && giReminderCount == 0;
    QString why;
    if (const QString notice = ClockNotice(gdbEvents->Name(), gdtLastRemind, runtime.clock.today());
        !notice.isEmpty()) {
        Warn(notice);
        // Events a tidy at a wrong date removed are due no more: a silent pass would hide the
        // one thing that says so. Its window says it, where a display can be used.
        silent = silent && !runtime.desktop.canShowWindows(&why);
    }
    // Without a display the due events would count as shown once today is recorded, and
    // tomorrow's pass would skip them: stop before that.
    if (!silent && !runtime.desktop.canShowWindows(&why))
        throw DatebellError(ErrorNumber::NoDisplay, why);

    reportUnreadableDates(*gdbEvents);

    // Today counts as a pass once its reminders are on the screen, or at once when there is
    // nothing to show.
    SettingsStore &settings = runtime.settings;
    const QDate today = runtime.clock.today();
    Desktop &desktop = runtime.desktop;
    const auto recordPass = [&settings, &desktop, today, database] {
        RecordPass(settings, today, database,
                   [&desktop](const DatebellError &error) { desktop.reportError(error); });
    };
    if (silent) {
        recordPass();
        RollPastEvents(*gdbEvents, runtime.clock);
        gdbEvents->Close();
        gdbEvents.reset();
        return RunEnd::Returned;
    }
    runtime.desktop.showReminderWindow(runtime, recordPass);
    return RunEnd::WindowOpen;
}

void RecordPass(SettingsStore &settings, QDate day, const QString &database,
                const std::function<void(const DatebellError &)> &report)
{
    try {
        // The date first: a date left named for another database reads as none, never the
        // other way round. The database is written only when it changes: each save is a write
        // of the whole file.
        settings.SaveSetting(AppTitle, SettingKeys::Section, SettingKeys::LastRemindDate,
                             DateText(day));
        if (settings.GetSetting(AppTitle, SettingKeys::Section, SettingKeys::LastRemindDatabase,
                                QString())
            != database)
            settings.SaveSetting(AppTitle, SettingKeys::Section, SettingKeys::LastRemindDatabase,
                                 database);
    } catch (const DatebellError &error) {
        // The reminders are worth more than the record of them: show them all the same.
        report(DatebellError(
                error.number(),
                error.text()
                        + QStringLiteral("\nToday's reminders will be shown again next time.")));
    }
}

void BuildReminderQuery(const SettingsStore &settings, const Clock &clock)
{
    clsHourglass hourglass;
    hourglass.DisplayCursor();

    giDaysAhead = qint16(DaysAhead(settings));
    gdtRemindUntil = clock.today().addDays(giDaysAhead);
    // Whole days: an event is due on its date whatever its time, so the horizon compares with
    // the day after it, and the exclusion with the day each event falls on.
    gsSQL = QStringLiteral("SELECT * From Events WHERE EventDate<#")
            + DateText(gdtRemindUntil.addDays(1)) + u'#';
    gsSQL = gsSQL + QStringLiteral(" AND NOT (EventDate<#") + DateText(clock.today())
            + QStringLiteral("# AND datetime(EventDate,'start of day')=#") + DateText(gdtLastRemind)
            + QStringLiteral("#)");
}

ClockCheck CheckClock(QDate lastRemind, QDate today)
{
    if (lastRemind == firstLastRemind)
        return ClockCheck::Plausible;
    if (lastRemind > today)
        return ClockCheck::LastAfterToday;
    return lastRemind < today.addYears(-1) ? ClockCheck::LongAgo : ClockCheck::Plausible;
}

QString ClockNotice(const QString &database, QDate lastRemind, QDate today)
{
    if (CheckClock(lastRemind, today) != ClockCheck::LastAfterToday)
        return QString();
    QStringList copies;
    for (const QString &copy : ExistingBackups(database))
        copies << u'\'' + copy + u'\'';
    return QStringLiteral("The last reminder was on %1, after today (%2): the system clock was "
                          "wrong then, or is wrong now. A tidy on a wrong date may have removed "
                          "events.\n%3")
            .arg(ShortDateText(lastRemind), ShortDateText(today),
                 copies.isEmpty()
                         ? QStringLiteral("There is no backup copy beside '%1'.").arg(database)
                         : QStringLiteral("The events as they were before each of the last "
                                          "tidies are in %1, newest first: to get them back, "
                                          "close Datebell and copy one to '%2' (the guide's "
                                          "\"Backup and restore\" says how).\nThis "
                                          "pass drops none of them; each later tidy that changes "
                                          "events drops the oldest.")
                                   .arg(copies.join(QStringLiteral(", ")), database));
}

QString ClockQuestion(QDate lastRemind, QDate today)
{
    return QStringLiteral("The last reminder was on %1: is today's date, %2, right?\nIf it is, "
                          "past events are tidied now: one-off events before today are deleted "
                          "and annual ones move on. If not, choose No: nothing is changed; set "
                          "the clock right and start Datebell again.")
            .arg(ShortDateText(lastRemind), ShortDateText(today));
}

QString BackupPath(const Database &db)
{
    return BackupFile(db.Name());
}

void RollPastEvents(Database &db, const Clock &clock, QDate shownUntil,
                    const std::function<bool()> &confirm)
{
    clsHourglass hourglass;
    hourglass.DisplayCursor();

    // A list shown on an earlier day reached only its own horizon: rows after it were never
    // on the screen, and stay until a list shows them.
    QDate before = clock.today();
    if (shownUntil.isValid() && shownUntil < before)
        before = shownUntil;
    gsSQL = QStringLiteral("SELECT * From Events WHERE Events.EventDate<#") + DateText(before)
            + u'#';

    for (const QString &leftover : leftoverCopies(db.Name()))
        QFile::remove(leftover);
    // Most runs have nothing past: then nothing is locked, checked, copied or written. Rows
    // whose date is not in the stored form are never changed (the pass names them).
    const QString changing = QStringLiteral("SELECT 1 FROM Events WHERE EventDate<#")
            + DateText(before) + QStringLiteral("# AND datetime(EventDate) = EventDate");
    const auto anyChange = [&db, &changing] { return !db.OpenRecordset(changing)->EOF_(); };
    if (!anyChange())
        return;
    const ClockCheck clockCheck = CheckClock(gdtLastRemind, clock.today());
    if (clockCheck == ClockCheck::LongAgo && confirm && !confirm())
        return;
    if (const QString reason = db.ReadOnlyReason(); !reason.isEmpty())
        throw DatebellError(ErrorNumber::ReadOnly,
                            QStringLiteral("Past events were not tidied: '%1' cannot be written, "
                                           "because %2.\nInstall Datebell into a folder of your "
                                           "own (the README says how), or make this one writable "
                                           "for you.")
                                    .arg(db.Name(), reason));
    // One transaction: an interrupted roll-forward leaves the table as it was. It holds the
    // lock its commit needs from here on (no other program reads or writes until it ends), so
    // the copy below is of exactly the table it changes, and once the copies have moved
    // nothing but a full disk or a failing one can stop the commit.
    Transaction transaction(db, Transaction::Exclusive);
    if (!anyChange())
        return;
    // A wrong clock set years ahead would delete every one-off event: the copies let the user
    // undo the last tidies. A damaged file is neither written to nor copied over a good copy,
    // even where the damage lies in pages the roll-forward never reads. The new copy takes its
    // place as the newest just before the commit, and a commit that fails returns every copy
    // to its place, so a crash at any point leaves one whole set of copies.
    // After a pass whose last reminder date is ahead of today, the oldest copy may be the only
    // one from before a tidy at a wrong date: then no copy is dropped, and none is made when
    // all the places are taken.
    const QString fresh = unfinishedCopy(db.Name());
    db.QuickCheck();
    const bool copied = clockCheck != ClockCheck::LastAfterToday
            || !QFileInfo::exists(BackupFile(db.Name(), BackupGenerations - 1));
    if (copied)
        db.BackupTo(fresh);
    const RemovedOnExit unused{ fresh };
    // Every past row is read first, as the query delivers it; the changes follow by
    // position, so that no row is looked up again only to be deleted.
    const auto past = db.OpenRecordset(gsSQL);
    std::vector<std::pair<qsizetype, std::optional<QDateTime>>> changes; // none: delete
    for (qsizetype position = 0; !past->EOF_(); past->MoveNext(), ++position) {
        const QVariant flag = past->Fields(QStringLiteral("RepeatFlag")).Value();
        const auto date =
                StoredDateValue(past->Fields(QStringLiteral("EventDate")).Value().toString());
        if (!date)
            continue;
        // An annual event lands on its next day from today on, however many years it lags.
        changes.emplace_back(position,
                             IsAnnualFlag(flag)
                                     ? std::optional(NextAnnualDate(*date, clock.today()))
                                     : std::nullopt);
    }
    qsizetype deleted = 0; // rows before the next change that are gone from the selection
    for (const auto &[position, moved] : changes) {
        past->setAbsolutePosition(position - deleted);
        if (!moved) {
            past->Delete();
            ++deleted;
        } else {
            past->Edit();
            past->Fields(QStringLiteral("EventDate")).setValue(*moved);
            past->Update(1, false);
        }
    }
    past->Close();
    BackupRotation rotation(db.Name());
    if (copied)
        rotation.rotate(fresh);
    transaction.commit();
    rotation.finish();
}
