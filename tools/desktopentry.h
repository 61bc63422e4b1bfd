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

// The launcher entry for the program in `folder`; with `autostart`, the entry that runs a
// silent pass at login.
QString Launcher(const QString &folder);
QString Autostart(const QString &folder);

// Where the entries and icons go: $XDG_DATA_HOME and $XDG_CONFIG_HOME, or their defaults.
QString LauncherPath();
QString AutostartPath();
QString IconPath(const QString &size, const QString &extension);

} // namespace DesktopEntry
