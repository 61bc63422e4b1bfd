#include "engine/basDatBel.h"

#include "common/clsHourglass.h"
#include "engine/dates.h"
#include "engine/errors.h"
#include "engine/globals.h"
#include "engine/platform.h"
#include "engine/settings.h"

namespace {

const QDate firstLastRemind(1990, 1, 1);

// The stored date of the previous pass. An unreadable text would otherwise stop every start
// until someone edited the settings; it is reported and read as no date at all.
QDate readLastRemindDate(const SettingsStore &settings)
{
    const QString text =
            settings.GetSetting(SettingKeys::App, SettingKeys::Section, SettingKeys::LastRemindDate,
                                DateText(firstLastRemind));
    if (const auto date = DateFromText(text))
        return *date;
    Warn(QStringLiteral("the setting LastRemindDate \"%1\" is not a date; using %2.")
                 .arg(text, DateText(firstLastRemind)));
    return firstLastRemind;
}

// 0 is a one-off event; -1, or no value, an annual one.
bool isOneOff(const QVariant &repeatFlag)
{
    if (repeatFlag.isNull())
        return false;
    bool ok = false;
    const double value = repeatFlag.toDouble(&ok);
    return ok && value == 0;
}

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
    if (commandSwitch == QLatin1String("/E")) {
        runtime.desktop.showEventMaintModal(runtime);
        return RunEnd::Returned;
    }

    clsHourglass hourglass;
    hourglass.DisplayCursor();

    gdbEvents = DBEngine::OpenDatabase(EventDatabasePath(runtime.programDirectory));
    gdtLastRemind = readLastRemindDate(runtime.settings);
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

    // Without a display the due events would count as shown once today is recorded, and
    // tomorrow's pass would skip them: stop before that.
    const bool silent = commandSwitch == QLatin1String("/S") && giReminderCount == 0;
    QString why;
    if (!silent && !runtime.desktop.canShowWindows(&why))
        throw DatebellError(ErrorNumber::NoDisplay, why);

    runtime.settings.SaveSetting(SettingKeys::App, SettingKeys::Section,
                                 SettingKeys::LastRemindDate, DateText(runtime.clock.today()));

    if (silent) {
        RollPastEvents(*gdbEvents, runtime.clock);
        gdbEvents->Close();
        gdbEvents.reset();
        return RunEnd::Returned;
    }
    runtime.desktop.showReminderWindow(runtime);
    return RunEnd::WindowOpen;
}

void BuildReminderQuery(const SettingsStore &settings, const Clock &clock)
{
    clsHourglass hourglass;
    hourglass.DisplayCursor();

    giDaysAhead = qint16(DaysAhead(settings));
    gdtRemindUntil = clock.today().addDays(giDaysAhead);
    gsSQL = QStringLiteral("SELECT * From Events WHERE EventDate<=#") + DateText(gdtRemindUntil)
            + u'#';
    gsSQL = gsSQL + QStringLiteral(" AND NOT (EventDate<#") + DateText(clock.today())
            + QStringLiteral("# AND EventDate=#") + DateText(gdtLastRemind) + QStringLiteral("#)");
}

void RollPastEvents(Database &db, const Clock &clock)
{
    clsHourglass hourglass;
    hourglass.DisplayCursor();

    gsSQL = QStringLiteral("SELECT * From Events WHERE Events.EventDate<#")
            + DateText(clock.today()) + u'#';

    // One transaction: an interrupted roll-forward leaves the table as it was.
    Transaction transaction(db);
    const auto past = db.OpenRecordset(gsSQL);
    if (!past->EOF_()) {
        past->MoveFirst();
        while (!past->EOF_()) {
            const QVariant stored = past->Fields(QStringLiteral("EventDate")).Value();
            const auto date = StoredDateValue(stored.toString());
            if (!date) {
                // Such a text compares wrongly with dates, so it may not be past at all.
                Warn(QStringLiteral("the event \"%1\" has the date \"%2\", which is not a date "
                                    "in the form YYYY-MM-DD HH:MM:SS; it is left as it is.")
                             .arg(past->Fields(QStringLiteral("Description")).Value().toString(),
                                  stored.toString()));
            } else if (isOneOff(past->Fields(QStringLiteral("RepeatFlag")).Value())) {
                past->Delete();
            } else {
                past->Edit();
                const bool leapDay = date->date().month() == 2 && date->date().day() == 29;
                past->Fields(QStringLiteral("EventDate"))
                        .setValue(AddYears(*date, leapDay ? 4 : 1));
                past->Update(1, false);
            }
            past->MoveNext();
        }
    }
    past->Close();
    transaction.commit();
}
