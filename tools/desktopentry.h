#pragma once

#include <QString>
#include <QStringList>

// The desktop entries of an installed program folder: a launcher and, if wanted, a start at
// login, for the current user.
namespace DesktopEntry {

inline const QString ApplicationId = QStringLiteral("org.datebell.Datebell");

// One command line for an Exec key: each argument quoted where it has a reserved character,
// then the percent and backslash escapes of a desktop entry's values.
QString ExecLine(const QStringList &arguments);

// The launcher entry for the program in `folder`, with an "Edit Events" action that opens only
// the editing window; and the entry that runs a silent pass at login. Both name the windows'
// class, the application id, so that docks and switchers show them as Datebell's.
QString Launcher(const QString &folder);
QString Autostart(const QString &folder);

// Where the entries and icons go: $XDG_DATA_HOME and $XDG_CONFIG_HOME, or their defaults.
QString LauncherPath();
QString AutostartPath();
QString IconPath(const QString &size, const QString &extension);

// The systemd user service that runs a silent pass of the program in `folder`, and the timer
// that starts it every day at `time` ("HH:MM"), catching up at the next start or resume a time
// missed while the machine was off or asleep.
inline const QString DailyTimerName = ApplicationId + QStringLiteral(".timer");
QString DailyService(const QString &folder);
QString DailyTimer(const QString &time);
// The time of a --daily value, as "HH:MM"; empty when it is not a time of day.
QString DailyTime(const QString &text);
// A command line for ExecStart: each argument quoted, with systemd's escapes.
QString SystemdExecLine(const QStringList &arguments);
// In $XDG_CONFIG_HOME/systemd/user.
QString ServicePath();
QString TimerPath();

} // namespace DesktopEntry
