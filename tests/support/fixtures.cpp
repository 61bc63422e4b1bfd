#include "fixtures.h"

#include "engine/errors.h"
#include "engine/globals.h"
#include "engine/schema.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <sqlite3.h>

void MemorySettings::SaveSetting(const QString &, const QString &section, const QString &key,
                                 const QString &text)
{
    if (failSaves)
        throw DatebellError(ErrorNumber::SettingsNotSaved, QStringLiteral("disk full"));
    values.insert(section + u'/' + key, text);
}

void FakeDesktop::reportError(const DatebellError &error)
{
    reports << ErrorReportText(error);
}

ProgramFolder::ProgramFolder(bool withChecks)
{
    if (withChecks) {
        CreateEventDatabase(database());
    } else {
        exec(QStringLiteral("CREATE TABLE Events (EventDate TEXT, Description TEXT, "
                            "RepeatFlag INTEGER)"));
    }
}

void ProgramFolder::add(const QString &date, const QString &description, int repeatFlag) const
{
    exec(QStringLiteral("INSERT INTO Events VALUES ('%1', '%2', %3)")
                 .arg(date, QString(description).replace(u'\'', QStringLiteral("''")))
                 .arg(repeatFlag));
}

QStringList ProgramFolder::rows() const
{
    QStringList result;
    execSql(database(),
            QStringLiteral("SELECT EventDate, Description, RepeatFlag FROM Events "
                           "ORDER BY EventDate, Description, RepeatFlag"),
            &result);
    return result;
}

void resetEngineState()
{
    gdbEvents.reset();
    gdtLastRemind = QDate(1899, 12, 30);
    gdtRemindUntil = QDate();
    giReminderCount = 0;
    giDaysAhead = 0;
    gsSQL.clear();
}

bool execSql(const QString &path, const QString &sql, QStringList *rows)
{
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    const auto collect = [](void *out, int count, char **values, char **) {
        QStringList fields;
        for (int c = 0; c < count; ++c)
            fields << QString::fromUtf8(values[c]);
        static_cast<QStringList *>(out)->append(fields.join(u'|'));
        return 0;
    };
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, sql.toUtf8().constData(), rows ? +collect : nullptr, rows, nullptr);
    if (rc != SQLITE_OK)
        QTest::qFail(qPrintable(sql + u": " + QString::fromUtf8(sqlite3_errmsg(db))), __FILE__,
                     __LINE__);
    sqlite3_close(db);
    return rc == SQLITE_OK;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            && file.write(bytes) == bytes.size();
}

QString describe(const Run &run)
{
    return QStringLiteral("exit %1%2 after %3 ms, stderr: %4")
            .arg(QString::number(run.code),
                 run.status == QProcess::CrashExit ? QStringLiteral(" (killed)") : QString(),
                 QString::number(run.ms),
                 run.errors.isEmpty() ? QStringLiteral("(nothing)") : run.errors.trimmed());
}

Run runProgram(const QString &program, const QStringList &arguments, const QProcessEnvironment &env,
               qint64 killAfter, const std::function<bool()> &done)
{
    constexpr int timeoutMs = 60000;
    QProcess process;
    process.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    process.closeWriteChannel();
    if (!process.waitForStarted(timeoutMs))
        return { QProcess::NormalExit, -1, {}, process.errorString(), timer.elapsed() };
    const qint64 pid = process.processId();
    bool finished = false;
    while (!finished && timer.elapsed() < killAfter && !(done && done()))
        finished = process.waitForFinished(int(std::min<qint64>(100, killAfter - timer.elapsed())));
    if (!finished) {
        process.kill();
        finished = process.waitForFinished(timeoutMs);
        // libfaketime removes its shared memory at exit; a killed program leaves it behind.
        QFile::remove(QStringLiteral("/dev/shm/faketime_shm_%1").arg(pid));
        QFile::remove(QStringLiteral("/dev/shm/sem.faketime_sem_%1").arg(pid));
    }
    return { process.exitStatus(), finished ? process.exitCode() : -1,
             QString::fromLocal8Bit(process.readAllStandardOutput()),
             finished ? QString::fromLocal8Bit(process.readAllStandardError())
                      : QStringLiteral("did not end when killed"),
             timer.elapsed() };
}
