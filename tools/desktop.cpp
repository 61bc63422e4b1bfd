// datebell-desktop: adds the program in this folder to the current user's desktop (a
// launcher, its icon and, if wanted, a start at login and a daily pass), or takes it away
// again.

#include "engine/platform.h"
#include "tools/commandline.h"
#include "tools/desktopentry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>

#include <cstdio>

namespace {

bool fail(const QString &what)
{
    std::fprintf(stderr, "datebell-desktop: %s\n", qPrintable(what));
    return false;
}

// Writes a file whole, or not at all.
bool write(const QString &path, const QByteArray &content)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return fail(QStringLiteral("cannot create the folder of '%1'").arg(path));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        return fail(QStringLiteral("cannot write '%1': %2").arg(path, file.errorString()));
    std::printf("Wrote %s\n", qPrintable(path));
    return true;
}

bool copy(const QString &from, const QString &to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot read '%1': %2").arg(from, source.errorString()));
    return write(to, source.readAll());
}

bool remove(const QString &path)
{
    if (!QFileInfo(path).isSymLink() && !QFile::exists(path))
        return true;
    if (!QFile::remove(path))
        return fail(QStringLiteral("cannot remove '%1'").arg(path));
    std::printf("Removed %s\n", qPrintable(path));
    return true;
}

// Runs systemctl --user; false when it fails or no user manager answers.
bool systemctl(const QStringList &arguments)
{
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice()); // what fails is said below
    process.start(QStringLiteral("systemctl"), QStringList{ QStringLiteral("--user") } + arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
}

bool installDaily(const QString &folder, const QString &time)
{
    using namespace DesktopEntry;
    if (!write(ServicePath(), DailyService(folder).toUtf8())
        || !write(TimerPath(), DailyTimer(time).toUtf8()))
        return false;
    if (systemctl({ QStringLiteral("daemon-reload") })
        && systemctl({ QStringLiteral("enable"), QStringLiteral("--now"), DailyTimerName })) {
        std::printf("Enabled %s: a silent pass every day at %s\n", qPrintable(DailyTimerName),
                    qPrintable(time));
        return true;
    }
    std::printf("No systemd user manager could be reached, so the timer is not enabled yet. "
                "Run:\n  systemctl --user daemon-reload && systemctl --user enable --now %s\n",
                qPrintable(DailyTimerName));
    return true;
}

// Stops and disables the daily timer if a user manager runs, and deletes both units.
bool removeDaily()
{
    using namespace DesktopEntry;
    if (!QFile::exists(TimerPath()) && !QFile::exists(ServicePath()))
        return true;
    systemctl({ QStringLiteral("disable"), QStringLiteral("--now"), DailyTimerName });
    const QString wants = QFileInfo(TimerPath()).absolutePath()
            + QStringLiteral("/timers.target.wants/") + DailyTimerName;
    const bool removed = remove(wants) && remove(TimerPath()) && remove(ServicePath());
    systemctl({ QStringLiteral("daemon-reload") });
    return removed;
}

// Everything `install` writes, the daily units included.
bool removeAll()
{
    using namespace DesktopEntry;
    return remove(LauncherPath()) && remove(AutostartPath())
            && remove(IconPath(QStringLiteral("48x48"), QStringLiteral("png")))
            && remove(IconPath(QStringLiteral("scalable"), QStringLiteral("svg"))) && removeDaily();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption autostartOption(
            QStringLiteral("autostart"),
            QStringLiteral("install: start Datebell at every login with /S. remove: remove only "
                           "that start at login."));
    const QCommandLineOption dailyOption(
            QStringLiteral("daily"),
            QStringLiteral("install: run Datebell with /S every day at HH:MM, through a systemd "
                           "user timer."),
            QStringLiteral("HH:MM"));
    parser.addOptions({ autostartOption, dailyOption });
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("install, or remove what install wrote."),
                                 QStringLiteral("install|remove"));
    if (const auto status = ParseToolArguments(
                parser, application, QStringLiteral("datebell-desktop"),
                QStringLiteral(
                        "Adds Datebell, as installed in this folder, to your desktop's\n"
                        "applications, or takes it away again:\n"
                        "  datebell-desktop install [--autostart] [--daily HH:MM]\n"
                        "  datebell-desktop remove [--autostart]\n"
                        "install writes the launcher, with an Edit Events action, and its icon,\n"
                        "and the start at login and the daily pass when asked for (removing\n"
                        "those not asked for); remove deletes all of them, or with --autostart\n"
                        "the start at login alone."),
                1, 1))
        return *status;
    const QString command = parser.positionalArguments().constFirst();
    const bool autostart = parser.isSet(autostartOption);
    using namespace DesktopEntry;
    if (command == QLatin1String("remove")) {
        if (parser.isSet(dailyOption))
            return UsageError(parser,
                              QStringLiteral("The remove command takes no --daily: it removes "
                                             "the daily pass with everything else."));
        return (autostart ? remove(AutostartPath()) : removeAll()) ? 0 : 1;
    }
    if (command != QLatin1String("install"))
        return UsageError(parser,
                          QStringLiteral("Unknown command '%1': install or remove.").arg(command));
    const QStringList dailyValues = parser.values(dailyOption);
    if (dailyValues.size() > 1)
        return UsageError(parser, QStringLiteral("--daily is given more than once."));
    QString daily;
    if (!dailyValues.isEmpty()) {
        daily = DailyTime(dailyValues.constFirst());
        if (daily.isEmpty())
            return UsageError(parser,
                              QStringLiteral("--daily needs a time of day as HH:MM (00:00 to "
                                             "23:59), not '%1'.")
                                      .arg(dailyValues.constFirst()));
    }

    const QString folder = ProgramDirectory();
    const bool installed = copy(folder + QStringLiteral("/datebell-48.png"),
                                IconPath(QStringLiteral("48x48"), QStringLiteral("png")))
            && copy(folder + QStringLiteral("/datebell.svg"),
                    IconPath(QStringLiteral("scalable"), QStringLiteral("svg")))
            && write(LauncherPath(), Launcher(folder).toUtf8())
            && (autostart ? write(AutostartPath(), Autostart(folder).toUtf8())
                          : remove(AutostartPath()))
            && (daily.isEmpty() ? removeDaily() : installDaily(folder, daily));
    return installed ? 0 : 1;
}
