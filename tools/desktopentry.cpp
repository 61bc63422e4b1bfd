#include "tools/desktopentry.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>

namespace {

QString baseDirectory(const char *variable, const QString &fallback)
{
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? value : QDir::homePath() + fallback;
}

// A string value's own escapes: a backslash is written twice.
QString escapedValue(QString text)
{
    return text.replace(u'\\', QStringLiteral("\\\\"))
            .replace(u'\n', QStringLiteral("\\n"))
            .replace(u'\t', QStringLiteral("\\t"));
}

QString entry(const QString &comment, const QString &exec, const QString &folder,
              const QString &extra)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Version=1.4\n"
                          "Name=Datebell\n"
                          "GenericName=Reminder\n"
                          "Comment=%1\n"
                          "Exec=%2\n"
                          "TryExec=%3\n"
                          "Icon=%4\n"
                          "Terminal=false\n"
                          "StartupWMClass=%4\n"
                          "%5")
            .arg(comment, exec, escapedValue(folder + QStringLiteral("/datebell")),
                 DesktopEntry::ApplicationId, extra);
}

} // namespace

QString DesktopEntry::ExecLine(const QStringList &arguments)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QStringList quoted;
    for (QString argument : arguments) {
        const bool needsQuotes = std::any_of(argument.cbegin(), argument.cend(),
                                             [](QChar c) { return reserved.contains(c); });
        if (needsQuotes) {
            QString inner;
            for (const QChar c : argument) {
                if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
                    inner += u'\\';
                inner += c;
            }
            argument = u'"' + inner + u'"';
        }
        quoted << argument.replace(u'%', QStringLiteral("%%"));
    }
    return escapedValue(quoted.join(u' '));
}

QString DesktopEntry::Launcher(const QString &folder)
{
    const QString program = folder + QStringLiteral("/datebell");
    return entry(QStringLiteral("Shows the events due in the next few days"), ExecLine({ program }),
                 folder,
                 QStringLiteral("Categories=Office;Calendar;\n"
                                "Keywords=reminder;birthday;anniversary;calendar;\n"
                                "Actions=edit-events;\n"
                                "\n"
                                "[Desktop Action edit-events]\n"
                                "Name=Edit Events\n"
                                "Exec=%1\n")
                         .arg(ExecLine({ program, QStringLiteral("/E") })));
}

// Listed, not hidden, so that the desktop's start-up settings (GNOME's Startup Applications,
// KDE's Autostart) show it and the user can turn it off there. Menus never read this folder.
QString DesktopEntry::Autostart(const QString &folder)
{
    return entry(QStringLiteral("Reminds you at login of the events due"),
                 ExecLine({ folder + QStringLiteral("/datebell"), QStringLiteral("/S") }), folder,
                 QStringLiteral("X-GNOME-Autostart-enabled=true\n"));
}

QString DesktopEntry::SystemdExecLine(const QStringList &arguments)
{
    QStringList quoted;
    for (QString argument : arguments)
        quoted << u'"'
                        + argument.replace(u'\\', QStringLiteral("\\\\"))
                                  .replace(u'"', QStringLiteral("\\\""))
                                  .replace(u'%', QStringLiteral("%%"))
                        + u'"';
    return quoted.join(u' ');
}

QString DesktopEntry::DailyService(const QString &folder)
{
    // Started by the timer, never at login: the autostart entry does that. A pass that finds no
    // display records nothing, so the reminders wait for the next pass with one.
    return QStringLiteral("[Unit]\n"
                          "Description=Datebell reminder pass\n"
                          "\n"
                          "[Service]\n"
                          "Type=exec\n"
                          "ExecStart=%1\n")
            .arg(SystemdExecLine({ folder + QStringLiteral("/datebell"), QStringLiteral("/S") }));
}

QString DesktopEntry::DailyTimer(const QString &time)
{
    return QStringLiteral("[Unit]\n"
                          "Description=Daily Datebell reminder pass\n"
                          "\n"
                          "[Timer]\n"
                          "OnCalendar=*-*-* %1:00\n"
                          "Persistent=true\n"
                          "\n"
                          "[Install]\n"
                          "WantedBy=timers.target\n")
            .arg(time);
}

QString DesktopEntry::DailyTime(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([01]?[0-9]|2[0-3]):([0-5][0-9])$"));
    const auto match = form.match(text);
    if (!match.hasMatch())
        return QString();
    return match.captured(1).rightJustified(2, u'0') + u':' + match.captured(2);
}

QString DesktopEntry::ServicePath()
{
    return baseDirectory("XDG_CONFIG_HOME", QStringLiteral("/.config"))
            + QStringLiteral("/systemd/user/") + ApplicationId + QStringLiteral(".service");
}

QString DesktopEntry::TimerPath()
{
    return baseDirectory("XDG_CONFIG_HOME", QStringLiteral("/.config"))
            + QStringLiteral("/systemd/user/") + DailyTimerName;
}

QString DesktopEntry::LauncherPath()
{
    return baseDirectory("XDG_DATA_HOME", QStringLiteral("/.local/share"))
            + QStringLiteral("/applications/") + ApplicationId + QStringLiteral(".desktop");
}

QString DesktopEntry::AutostartPath()
{
    return baseDirectory("XDG_CONFIG_HOME", QStringLiteral("/.config"))
            + QStringLiteral("/autostart/") + ApplicationId + QStringLiteral(".desktop");
}

QString DesktopEntry::IconPath(const QString &size, const QString &extension)
{
    return baseDirectory("XDG_DATA_HOME", QStringLiteral("/.local/share"))
            + QStringLiteral("/icons/hicolor/%1/apps/").arg(size) + ApplicationId + u'.'
            + extension;
}
