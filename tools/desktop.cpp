// datebell-desktop: adds the program in this folder to the current user's desktop (a
// launcher, its icon and, if wanted, a start at login and a daily pass), or takes it away
// again.

#include "engine/platform.h"
#include "tools/desktopentry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>

#include <cstdio>

namespace {

int usage()
{
    std::fprintf(stderr,
                 "Usage: datebell-desktop install [--autostart] [--daily HH:MM]\n"
                 "       datebell-desktop remove\n"
                 "Adds Datebell, as installed in this folder, to your desktop's "
                 "applications\n(with --autostart it starts at login with /S, with --daily "
                 "every day at HH:MM\nthrough a systemd user timer), or removes all of "
                 "them.\n");
    return 2;
}

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

} // namespace

int main(int argc, char **argv)
{
    const QStringList arguments = [&] {
        QStringList list;
        for (int i = 1; i < argc; ++i)
            list << QString::fromLocal8Bit(argv[i]);
        return list;
    }();
    const QString folder = ProgramDirectory();
    using namespace DesktopEntry;
    if (arguments == QStringList{ QStringLiteral("remove") }) {
        const bool removed = remove(LauncherPath()) && remove(AutostartPath())
                && remove(IconPath(QStringLiteral("48x48"), QStringLiteral("png")))
                && remove(IconPath(QStringLiteral("scalable"), QStringLiteral("svg")))
                && removeDaily();
        return removed ? 0 : 1;
    }
    if (arguments.value(0) != QLatin1String("install"))
        return usage();
    bool autostart = false;
    QString daily;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--autostart") && !autostart) {
            autostart = true;
        } else if (arguments[i] == QLatin1String("--daily") && daily.isEmpty()) {
            daily = DailyTime(arguments.value(++i));
            if (daily.isEmpty()) {
                std::fprintf(stderr,
                             "datebell-desktop: --daily needs a time of day as HH:MM "
                             "(00:00 to 23:59), not '%s'\n",
                             qPrintable(arguments.value(i)));
                return 2;
            }
        } else {
            return usage();
        }
    }

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
