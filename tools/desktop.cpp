// datebell-desktop: adds the program in this folder to the current user's desktop (a
// launcher, its icon and, if wanted, a start at login), or takes it away again.

#include "engine/platform.h"
#include "tools/desktopentry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>

namespace {

int usage()
{
    std::fprintf(stderr,
                 "Usage: datebell-desktop install [--autostart]\n"
                 "       datebell-desktop remove\n"
                 "Adds Datebell, as installed in this folder, to your desktop's "
                 "applications\n(and with --autostart starts it at login with /S), or "
                 "removes those entries.\n");
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
    if (!QFile::exists(path))
        return true;
    if (!QFile::remove(path))
        return fail(QStringLiteral("cannot remove '%1'").arg(path));
    std::printf("Removed %s\n", qPrintable(path));
    return true;
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
                && remove(IconPath(QStringLiteral("scalable"), QStringLiteral("svg")));
        return removed ? 0 : 1;
    }
    if (arguments.value(0) != QLatin1String("install") || arguments.size() > 2
        || (arguments.size() == 2 && arguments[1] != QLatin1String("--autostart")))
        return usage();

    const bool autostart = arguments.size() == 2;
    const bool installed = copy(folder + QStringLiteral("/datebell-48.png"),
                                IconPath(QStringLiteral("48x48"), QStringLiteral("png")))
            && copy(folder + QStringLiteral("/datebell.svg"),
                    IconPath(QStringLiteral("scalable"), QStringLiteral("svg")))
            && write(LauncherPath(), Launcher(folder).toUtf8())
            && (autostart ? write(AutostartPath(), Autostart(folder).toUtf8())
                          : remove(AutostartPath()));
    return installed ? 0 : 1;
}
