#include "engine/platform.h"

#include "engine/errors.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

QString Command(const QStringList &arguments)
{
    return arguments.join(u' ');
}

QString ProgramDirectory()
{
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return QString();
    return QFileInfo(QString::fromStdString(exe.string())).canonicalPath();
}

bool DisplayAvailable()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    // Qt aborts the process when it cannot reach the display it is given, so a local display
    // counts only when its socket is there. A remote one (host:0) is taken on trust.
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (!wayland.isEmpty()) {
        const QString socket = QDir::isAbsolutePath(wayland)
                ? wayland
                : qEnvironmentVariable("XDG_RUNTIME_DIR") + u'/' + wayland;
        if (QFileInfo::exists(socket))
            return true;
    }
    static const QRegularExpression localX11(QStringLiteral("^(?:unix)?:([0-9]+)(?:\\.[0-9]+)?$"));
    const QString x11 = qEnvironmentVariable("DISPLAY");
    if (x11.isEmpty())
        return false;
    const auto local = localX11.match(x11);
    return !local.hasMatch()
            || QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X") + local.captured(1));
}

void End(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

void WriteErrorReport(const DatebellError &error)
{
    std::fprintf(stderr, "Datebell: %s\n", qPrintable(ErrorReportText(error)));
    std::fflush(stderr);
}

void Warn(const QString &text)
{
    qWarning().noquote() << "Datebell:" << text;
}
