#include "engine/platform.h"

#include "engine/errors.h"

#include <QDebug>
#include <QFileInfo>
#include <QProcess>

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

void End(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

void WriteErrorReport(const DatebellError &error)
{
    std::fprintf(stderr, "Datebell: %s\n", qPrintable(ErrorReportText(error)));
    if (!error.details().isEmpty())
        std::fprintf(stderr, "Details:\n%s\n", qPrintable(error.details()));
    std::fflush(stderr);
}

void Warn(const QString &text)
{
    qWarning().noquote() << "Datebell:" << text;
}

bool StartCommandLine(const QString &commandLine)
{
    QStringList arguments = QProcess::splitCommand(commandLine);
    if (arguments.isEmpty())
        return false;
    const QString program = arguments.takeFirst();
    return QProcess::startDetached(program, arguments);
}
