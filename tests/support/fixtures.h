#pragma once

#include "engine/basDatBel.h"
#include "engine/platform.h"
#include "engine/settings.h"

#include <QHash>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// A clock that answers the same day and time, at noon unless set to another one.
class FixedClock final : public Clock
{
public:
    explicit FixedClock(QDate day) : m_day(day) { }
    QDateTime now() const override { return QDateTime(m_day, m_time); }
    void setTime(QTime time) { m_time = time; }
    void setNow(const QDateTime &now) { m_day = now.date(), m_time = now.time(); }

private:
    QDate m_day;
    QTime m_time{ 12, 0 };
};

// Settings held in memory; `failSaves` makes every save fail as a full disk would.
class MemorySettings final : public SettingsStore
{
public:
    QString GetSetting(const QString &, const QString &section, const QString &key,
                       const QString &defaultText) const override
    {
        return values.value(section + u'/' + key, defaultText);
    }
    void SaveSetting(const QString &, const QString &section, const QString &key,
                     const QString &text) override;

    QHash<QString, QString> values; // "section/key" -> text
    bool failSaves = false;
};

// A desktop that records what it was asked to show.
class FakeDesktop final : public Desktop
{
public:
    bool canShowWindows(QString *) override { return true; }
    void showEventMaintModal(const Runtime &) override { ++maintShown; }
    // The window reaches the screen unless `exposes` is false.
    void showReminderWindow(const Runtime &, std::function<void()> shown) override
    {
        ++reminderShown;
        if (exposes)
            shown();
    }

    void reportError(const DatebellError &error) override;

    bool exposes = true;
    QStringList reports; // of errors, as they would be shown
    int maintShown = 0;
    int reminderShown = 0;
};

// Runs SQL on the database at `path` through a connection of its own; each row it yields goes to
// `rows`, its fields joined with '|' (NULL as empty). A failure fails the test.
bool execSql(const QString &path, const QString &sql, QStringList *rows = nullptr);

// A program folder in a temporary directory, holding a new event database.
class ProgramFolder
{
public:
    // `withChecks` false makes the table as another tool might, without the date checks.
    explicit ProgramFolder(bool withChecks = true);
    QString path() const { return m_dir.path(); }
    QString database() const { return EventDatabasePath(m_dir.path()); }

    // Runs SQL on the file through a connection of its own.
    void exec(const QString &sql) const { execSql(database(), sql); }
    // Adds an event; `date` in the stored form, or any text for a table without checks.
    void add(const QString &date, const QString &description, int repeatFlag) const;
    // Every row as "date|description|flag", in date and description order.
    QStringList rows() const;

private:
    QTemporaryDir m_dir;
};

// Resets the engine's shared state, as a new run starts with it.
void resetEngineState();

QByteArray readFile(const QString &path); // empty if it cannot be read
bool writeFile(const QString &path, const QByteArray &bytes);

// How a program run from a test ended.
struct Run
{
    QProcess::ExitStatus status;
    int code;
    QString output; // standard output
    QString errors; // standard error
    qint64 ms;
};
// "exit 1 after 20 ms, stderr: ...", for the message of a failed check.
QString describe(const Run &run);
// Runs `program` with `env` and no input, killed with SIGKILL `killAfter` ms after the start if
// still running, or as soon as `done` says so.
Run runProgram(const QString &program, const QStringList &arguments,
               const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
               qint64 killAfter = 60000, const std::function<bool()> &done = {});
