#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

// The local date and time. Only SystemClock reads the system time; everything else is
// handed a Clock.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    QDate today() const { return now().date(); }
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override;
};

// The application title: message box captions, the settings folder, the About window.
inline const QString AppTitle = QStringLiteral("Datebell");

// The program's arguments as one text, joined by single spaces; empty when there are none.
QString Command(const QStringList &arguments);

// The folder that holds the running executable, symlinks resolved, without a trailing slash.
// Read from /proc/self/exe because it is needed before any Qt application object exists.
QString ProgramDirectory();

// Starts a program from a command line without waiting for it: the program and its arguments,
// split as QProcess::splitCommand does (double quotes group words, three stand for one quote).
// False when the line names no program or it cannot be started.
bool StartCommandLine(const QString &commandLine);

// Ends the process at once with the given status: nothing further runs or is written.
[[noreturn]] void End(int status = 0);

class DatebellError;
// Writes the report of an error to standard error, its details after it.
void WriteErrorReport(const DatebellError &error);

// Reports something the user should know on standard error, and goes on.
void Warn(const QString &text);
