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

// Why no window can be shown, or empty when one can. The platforms Qt would start are tried
// in its order (QT_QPA_PLATFORM, else Wayland in a Wayland session, then X): X and Wayland
// count only when their server answers a connection within a few seconds, an X server only
// when it accepts this client's authorization. The first that does is set in QT_QPA_PLATFORM,
// so that Qt starts that one and never reaches its own abort.
QString DisplayProblem();

// Ends the process at once with the given status: nothing further runs or is written.
[[noreturn]] void End(int status = 0);

class DatebellError;
// Writes the report of an error that ends the program to standard error.
void WriteErrorReport(const DatebellError &error);

// Reports something the user should know on standard error, and goes on.
void Warn(const QString &text);
