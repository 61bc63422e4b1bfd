#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// Faults from outside the program during a silent pass: a kill in the middle of the roll-forward,
// a database locked by another program, a full disk, a read-only file, damaged files. Each case
// runs the built program on a program folder of its own, with today set by libfaketime, and then
// looks at the database through a connection of the test's own.

namespace {

// Today for every run, and the dates the rows are built around. Every past row stands on the
// date of the last pass, so nothing is due and the pass goes on to the roll-forward.
const auto fakeNow = u"@2026-03-10 12:00:00"_s;
const auto pastDate = u"2026-01-01 00:00:00"_s;
const auto rolledDate = u"2027-01-01 00:00:00"_s;
const QByteArray lastPassSettings = "[Settings]\nLastRemindDate=2026-01-01\n";
const QByteArray todayRecorded = "LastRemindDate=2026-03-10";

constexpr int pastRows = 100000;
constexpr int kills = 20;
constexpr quint32 defaultKillStart = 20260310; // first value of the kill delays' generator
constexpr int runTimeoutMs = 60000;
constexpr uint nobody = 65534;

struct Run
{
    QProcess::ExitStatus status = QProcess::NormalExit;
    int code = -1;
    QString errors;
    qint64 ms = 0;
};

QString describe(const Run &run)
{
    return u"exit %1%2 after %3 ms, stderr: %4"_s.arg(run.code)
            .arg(run.status == QProcess::CrashExit ? u" (killed)"_s : QString())
            .arg(run.ms)
            .arg(run.errors.isEmpty() ? u"(nothing)"_s : run.errors.trimmed());
}

struct CloseConnection
{
    void operator()(sqlite3 *db) const { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, CloseConnection>;

// A connection of the test's own; never creates the file.
Connection openConnection(const QString &path, QString *error)
{
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, SQLITE_OPEN_READWRITE,
                                   nullptr);
    Connection db(raw);
    if (rc != SQLITE_OK) {
        *error = QString::fromUtf8(sqlite3_errmsg(raw));
        return nullptr;
    }
    return db;
}

bool execute(sqlite3 *db, const QString &sql, QString *error)
{
    char *message = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK)
        *error = sql + u": "_s + QString::fromUtf8(message);
    sqlite3_free(message);
    return rc == SQLITE_OK;
}

bool execute(const QString &path, const QString &sql, QString *error)
{
    const Connection db = openConnection(path, error);
    return db && execute(db.get(), sql, error);
}

// Every row of `sql`, its fields joined with '|'.
bool select(const QString &path, const QString &sql, QStringList *rows, QString *error)
{
    const Connection db = openConnection(path, error);
    if (!db)
        return false;
    sqlite3_stmt *stmt = nullptr;
    int rc = sqlite3_prepare_v2(db.get(), sql.toUtf8().constData(), -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            QStringList fields;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                fields << QString::fromUtf8(
                        reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)));
            rows->append(fields.join(u'|'));
        }
    }
    if (rc != SQLITE_DONE)
        *error = sql + u": "_s + QString::fromUtf8(sqlite3_errmsg(db.get()));
    sqlite3_finalize(stmt);
    return rc == SQLITE_DONE;
}

// Empty when PRAGMA integrity_check answers exactly "ok"; otherwise what it answered. Opening the
// file first rolls back a journal left by an interrupted write, as any later reader would.
QString integrityProblem(const QString &path)
{
    QStringList rows;
    QString error;
    if (!select(path, u"PRAGMA integrity_check"_s, &rows, &error))
        return error;
    return rows == QStringList{ u"ok"_s } ? QString() : rows.join(u'\n');
}

// The table as sorted "date|description|flag" lines.
QStringList tableRows(const QString &path, QString *error)
{
    QStringList rows;
    select(path, u"SELECT EventDate, Description, RepeatFlag FROM Events"_s, &rows, error);
    std::sort(rows.begin(), rows.end());
    return rows;
}

QByteArray fileBytes(const QString &path)
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

// A short account of a table that is neither of the expected ones.
QString summary(const QStringList &rows)
{
    qsizetype past = 0, rolled = 0, other = 0;
    for (const QString &row : rows) {
        if (row.startsWith(pastDate))
            ++past;
        else if (row.startsWith(rolledDate))
            ++rolled;
        else
            ++other;
    }
    return u"%1 rows: %2 on %3, %4 on %5, %6 others"_s.arg(rows.size())
            .arg(past)
            .arg(pastDate)
            .arg(rolled)
            .arg(rolledDate)
            .arg(other);
}

// A program folder with copies of the program and its window module, and a settings folder
// beside it.
class Installation
{
public:
    Installation()
        : m_program(QDir::tempPath() + u"/datebell-faults-XXXXXX"_s),
          m_config(QDir::tempPath() + u"/datebell-faults-config-XXXXXX"_s)
    {
    }

    // The program resolves its folder through /proc/self/exe: the canonical path.
    QString folder() const { return QFileInfo(m_program.path()).canonicalFilePath(); }
    QString exe() const { return folder() + u"/datebell"_s; }
    QString database() const { return folder() + u"/Datebell.mdb"_s; }
    QString journal() const { return database() + u"-journal"_s; }
    QString configHome() const { return m_config.path(); }
    QString settingsFile() const { return configHome() + u"/Datebell/Datebell.conf"_s; }

    bool install(QString *error)
    {
        if (!m_program.isValid() || !m_config.isValid()) {
            *error = u"no temporary folder"_s;
            return false;
        }
        const QString module = QFileInfo(QStringLiteral(WINDOWS_MODULE)).fileName();
        if (!QFile::copy(QStringLiteral(DATEBELL_EXE), exe())
            || !QFile::copy(QStringLiteral(WINDOWS_MODULE), folder() + u'/' + module)) {
            *error = u"cannot copy the program into "_s + folder();
            return false;
        }
        return true;
    }

    // Puts a copy of `source` in place of the database, and drops any journal beside it.
    bool restoreDatabase(const QString &source)
    {
        QFile::remove(journal());
        QFile::remove(database());
        return QFile::copy(source, database());
    }

    // Settings as the last pass left them, with nothing else in their folder.
    bool writeSettings(const QByteArray &text = lastPassSettings)
    {
        QDir(configHome() + u"/Datebell"_s).removeRecursively();
        return QDir().mkpath(configHome() + u"/Datebell"_s) && writeFile(settingsFile(), text);
    }

    QByteArray settings() const { return fileBytes(settingsFile()); }

private:
    QTemporaryDir m_program;
    QTemporaryDir m_config;
};

} // namespace

class tst_Faults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void killDuringRollForward();
    void lockedDatabase_data();
    void lockedDatabase();
    void diskFull_data();
    void diskFull();
    void readOnly();
    void damagedFiles_data();
    void damagedFiles();

private:
    QProcessEnvironment environment(const Installation &installation,
                                    const QString &preload = QString()) const;
    Run run(const QString &program, const QStringList &arguments,
            const QProcessEnvironment &environment) const;
    bool makeDatabase(const QString &folder, int past, QString *error) const;

    QString m_libfaketime;
    QTemporaryDir m_pristine;
    QString m_pristineDatabase;
    QStringList m_original; // the table before any pass
    QStringList m_rolled; // the table after a complete roll-forward
};

void tst_Faults::initTestCase()
{
    const QStringList libraryFolders =
            QDir(u"/usr/lib"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QStringList candidates;
    for (const QString &folder : libraryFolders)
        candidates << u"/usr/lib/"_s + folder + u"/faketime/libfaketime.so.1"_s;
    candidates << u"/usr/lib/faketime/libfaketime.so.1"_s
               << u"/usr/local/lib/faketime/libfaketime.so.1"_s;
    for (const QString &candidate : std::as_const(candidates)) {
        if (QFileInfo::exists(candidate)) {
            m_libfaketime = candidate;
            break;
        }
    }
    if (m_libfaketime.isEmpty())
        QSKIP("libfaketime is not installed (Debian package libfaketime)");
    qInfo("libfaketime: %s", qPrintable(m_libfaketime));

    QElapsedTimer timer;
    timer.start();
    QString error;
    QVERIFY(m_pristine.isValid());
    QVERIFY2(makeDatabase(m_pristine.path(), pastRows, &error), qPrintable(error));
    m_pristineDatabase = m_pristine.path() + u"/Datebell.mdb"_s;
    QVERIFY2(execute(m_pristineDatabase,
                     u"INSERT INTO Events VALUES ('2026-03-20 09:00:00', 'dentist', 0), "
                     "('2026-12-25 00:00:00', 'Christmas', -1), "
                     "('2027-01-01 00:00:00', 'new year', -1), "
                     "('2028-02-29 00:00:00', 'leap day', -1)"_s,
                     &error),
             qPrintable(error));
    m_original = tableRows(m_pristineDatabase, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(m_original.size(), pastRows + 4);

    // One-offs go, annual events move a year on; the future rows stay as they are.
    for (const QString &row : std::as_const(m_original)) {
        if (!row.startsWith(pastDate))
            m_rolled << row;
        else if (row.endsWith(u"|-1"_s))
            m_rolled << rolledDate + row.mid(pastDate.size());
    }
    std::sort(m_rolled.begin(), m_rolled.end());
    QCOMPARE(m_rolled.size(), pastRows / 2 + 4);
    qInfo("database of %lld past and 4 future rows (%lld bytes) made in %lld ms",
          qlonglong(pastRows), qlonglong(QFileInfo(m_pristineDatabase).size()),
          qlonglong(timer.elapsed()));
}

// A new database made by datebell-newdb in `folder`, with `past` rows on the date of the last
// pass, one-off and annual in turn.
bool tst_Faults::makeDatabase(const QString &folder, int past, QString *error) const
{
    QProcess newdb;
    newdb.start(QStringLiteral(NEWDB_EXE), { folder });
    if (!newdb.waitForFinished(runTimeoutMs) || newdb.exitStatus() != QProcess::NormalExit
        || newdb.exitCode() != 0) {
        *error = u"datebell-newdb failed: "_s + QString::fromLocal8Bit(newdb.readAllStandardError())
                + newdb.errorString();
        return false;
    }
    return execute(folder + u"/Datebell.mdb"_s,
                   u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                   "INSERT INTO Events SELECT '%2', printf('event %06d', i), "
                   "CASE WHEN i % 2 THEN 0 ELSE -1 END FROM n"_s.arg(past)
                           .arg(pastDate),
                   error);
}

// No display, the settings folder of `installation`, and today faked through LD_PRELOAD (not the
// faketime wrapper, whose own process would take the kill meant for the program).
QProcessEnvironment tst_Faults::environment(const Installation &installation,
                                            const QString &preload) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM",
                              "DATEBELL_FAIL_WRITES_AFTER", "DATEBELL_FAIL_WRITES_FILE" })
        env.remove(QString::fromLatin1(name));
    env.insert(u"XDG_CONFIG_HOME"_s, installation.configHome());
    env.insert(u"FAKETIME"_s, fakeNow);
    env.insert(u"LD_PRELOAD"_s, preload.isEmpty() ? m_libfaketime : preload + u':' + m_libfaketime);
    return env;
}

Run tst_Faults::run(const QString &program, const QStringList &arguments,
                    const QProcessEnvironment &environment) const
{
    Run result;
    QProcess process;
    process.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(runTimeoutMs)) {
        result.errors = u"did not end within %1 ms: "_s.arg(runTimeoutMs) + process.errorString();
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.ms = timer.elapsed();
    result.status = process.exitStatus();
    result.code = process.exitCode();
    result.errors = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

// kill -9 at random moments of the pass: the table holds either every change or none.
void tst_Faults::killDuringRollForward()
{
    Installation installation;
    QString error;
    QVERIFY2(installation.install(&error), qPrintable(error));
    QVERIFY(installation.restoreDatabase(m_pristineDatabase));
    QVERIFY(installation.writeSettings());
    const QProcessEnvironment env = environment(installation);

    // One whole pass, to learn how long it takes.
    const Run whole = run(installation.exe(), { u"/S"_s }, env);
    QVERIFY2(whole.status == QProcess::NormalExit && whole.code == 0 && whole.errors.isEmpty(),
             qPrintable(describe(whole)));
    QVERIFY2(installation.settings().contains(todayRecorded), installation.settings().constData());
    QCOMPARE(integrityProblem(installation.database()), QString());
    QVERIFY(tableRows(installation.database(), &error) == m_rolled);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const qint64 duration = std::max<qint64>(whole.ms, 1);
    qInfo("uninterrupted pass over %lld rows: %lld ms", qlonglong(m_original.size()),
          qlonglong(duration));

    // The same starting value gives the same delays: a failing run can be repeated.
    bool given = false;
    const quint32 givenStart =
            quint32(qEnvironmentVariableIntValue("DATEBELL_KILL_RANDOM_START", &given));
    const quint32 start = given ? givenStart : defaultKillStart;
    QRandomGenerator random(start);
    qInfo("kill delays from random start value %u (set DATEBELL_KILL_RANDOM_START to repeat or "
          "vary)",
          start);

    int none = 0, all = 0, finished = 0, midWrite = 0;
    QElapsedTimer total;
    total.start();
    for (int i = 1; i <= kills; ++i) {
        QVERIFY(installation.restoreDatabase(m_pristineDatabase));
        QVERIFY(installation.writeSettings());
        const qint64 delay = qint64(random.bounded(quint32(duration)));

        QProcess process;
        process.setProcessEnvironment(env);
        QElapsedTimer timer;
        timer.start();
        process.start(installation.exe(), { u"/S"_s });
        QVERIFY2(process.waitForStarted(runTimeoutMs), qPrintable(process.errorString()));
        const qint64 pid = process.processId();
        const bool ended =
                process.waitForFinished(int(std::max<qint64>(0, delay - timer.elapsed())));
        if (!ended) {
            process.kill();
            QVERIFY(process.waitForFinished(runTimeoutMs));
        }
        const qint64 endedAfter = timer.elapsed();
        // libfaketime removes its shared memory at exit; a killed program leaves it behind.
        QFile::remove(u"/dev/shm/faketime_shm_%1"_s.arg(pid));
        QFile::remove(u"/dev/shm/sem.faketime_sem_%1"_s.arg(pid));
        const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
        if (process.exitStatus() == QProcess::NormalExit) {
            // The pass was quicker than the delay.
            ++finished;
            QVERIFY2(process.exitCode() == 0 && errors.isEmpty(),
                     qPrintable(
                             u"run %1: exit %2: %3"_s.arg(i).arg(process.exitCode()).arg(errors)));
        }
        const bool hotJournal = QFileInfo(installation.journal()).size() > 0;
        if (hotJournal)
            ++midWrite;

        const QString problem = integrityProblem(installation.database());
        QVERIFY2(problem.isEmpty(), qPrintable(u"run %1: %2"_s.arg(i).arg(problem)));
        const QStringList rows = tableRows(installation.database(), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QString outcome;
        if (rows == m_original) {
            ++none;
            outcome = u"none rolled"_s;
        } else if (rows == m_rolled) {
            ++all;
            outcome = u"all rolled"_s;
        } else {
            QFAIL(qPrintable(u"run %1, killed after %2 ms: the table is half rolled: %3"_s.arg(i)
                                     .arg(delay)
                                     .arg(summary(rows))));
        }
        qInfo("run %2d: kill at %4lld ms, ended at %4lld ms%s%s: %s", i, qlonglong(delay),
              qlonglong(endedAfter), ended ? " (had finished)" : "",
              hotJournal ? " (journal left)" : "", qPrintable(outcome));
    }
    qInfo("%d kills in %lld ms: %d all rolled, %d none rolled; %d passes had finished, %d kills "
          "left a journal",
          kills, qlonglong(total.elapsed()), all, none, finished, midWrite);
    // Kills that all fell before or after the writes would prove nothing.
    QVERIFY2(midWrite > 0,
             "no kill fell while the roll-forward was writing; try another "
             "DATEBELL_KILL_RANDOM_START");
}

void tst_Faults::lockedDatabase_data()
{
    QTest::addColumn<QString>("lock");
    QTest::addColumn<bool>("dateRecorded");
    // Readers are kept out too: the pass cannot count the due events.
    QTest::newRow("exclusive") << u"BEGIN EXCLUSIVE"_s << false;
    // Readers are let in: the pass counts, records today, then cannot write.
    QTest::newRow("immediate") << u"BEGIN IMMEDIATE"_s << true;
}

void tst_Faults::lockedDatabase()
{
    QFETCH(QString, lock);
    QFETCH(bool, dateRecorded);

    Installation installation;
    QString error;
    QVERIFY2(installation.install(&error), qPrintable(error));
    QVERIFY(installation.restoreDatabase(m_pristineDatabase));
    QVERIFY(installation.writeSettings());

    Run result;
    {
        // Another program's connection, holding its lock through the whole run.
        const Connection holder = openConnection(installation.database(), &error);
        QVERIFY2(holder, qPrintable(error));
        QVERIFY2(execute(holder.get(), lock, &error), qPrintable(error));
        result = run(installation.exe(), { u"/S"_s }, environment(installation));
        QVERIFY2(execute(holder.get(), u"ROLLBACK"_s, &error), qPrintable(error));
    }
    qInfo("%s held: %s", qPrintable(lock), qPrintable(describe(result)));

    QVERIFY2(result.status == QProcess::NormalExit && result.code == 1,
             qPrintable(describe(result)));
    QVERIFY2(result.errors.contains(u"Datebell: Error "_s), qPrintable(result.errors));
    QVERIFY2(result.errors.contains(u"in use"_s), qPrintable(result.errors));
    QCOMPARE(integrityProblem(installation.database()), QString());
    QVERIFY(tableRows(installation.database(), &error) == m_original);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    if (dateRecorded)
        QVERIFY2(installation.settings().contains(todayRecorded),
                 installation.settings().constData());
    else
        QCOMPARE(installation.settings(), lastPassSettings);
}

void tst_Faults::diskFull_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("after");
    QTest::newRow("first journal write") << QString() << 0;
    QTest::newRow("journal, midway") << u"Datebell.mdb-journal"_s << 300;
    QTest::newRow("first database write") << u"Datebell.mdb"_s << 0;
    QTest::newRow("database, midway") << u"Datebell.mdb"_s << 100;
}

void tst_Faults::diskFull()
{
    QFETCH(QString, file);
    QFETCH(int, after);
    QVERIFY2(QFileInfo::exists(QStringLiteral(ENOSPC_SHIM)), ENOSPC_SHIM);

    Installation installation;
    QString error;
    QVERIFY2(installation.install(&error), qPrintable(error));
    QVERIFY(installation.restoreDatabase(m_pristineDatabase));
    QVERIFY(installation.writeSettings());
    QProcessEnvironment env = environment(installation, QStringLiteral(ENOSPC_SHIM));
    env.insert(u"DATEBELL_FAIL_WRITES_AFTER"_s, QString::number(after));
    if (!file.isEmpty())
        env.insert(u"DATEBELL_FAIL_WRITES_FILE"_s, file);

    const Run result = run(installation.exe(), { u"/S"_s }, env);
    const bool journalLeft = QFileInfo(installation.journal()).size() > 0;
    qInfo("writes to %s fail after %d: %s%s",
          file.isEmpty() ? "the database and its journal" : qPrintable(file), after,
          qPrintable(describe(result)), journalLeft ? "; a journal was left" : "");

    // The shim reports the write it failed: without that line the fault never happened.
    QVERIFY2(result.errors.contains(u"enospc-shim: "_s), qPrintable(describe(result)));
    QVERIFY2(result.status == QProcess::NormalExit && result.code == 1,
             qPrintable(describe(result)));
    QVERIFY2(result.errors.contains(u"Datebell: Error "_s), qPrintable(result.errors));
    QVERIFY2(result.errors.contains(u"disk is full"_s), qPrintable(result.errors));
    QCOMPARE(integrityProblem(installation.database()), QString());
    QVERIFY(tableRows(installation.database(), &error) == m_original);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    // The settings are on another disk here: the pass was recorded before the roll-forward.
    QVERIFY2(installation.settings().contains(todayRecorded), installation.settings().constData());
}

// The database and its folder are read-only for the user who runs the program; root would write
// through the file modes, so the program runs as nobody.
void tst_Faults::readOnly()
{
    const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_s);
    if (setpriv.isEmpty())
        QSKIP("setpriv is not installed (Debian package util-linux)");
    const QString envTool = QStandardPaths::findExecutable(u"env"_s);
    QVERIFY2(!envTool.isEmpty(), "env(1) is not on the PATH");
    if (::geteuid() != 0)
        QSKIP("changing to another user needs root");

    Installation installation;
    QString error;
    QVERIFY2(installation.install(&error), qPrintable(error));
    QVERIFY(installation.restoreDatabase(m_pristineDatabase));
    QVERIFY(installation.writeSettings());

    // Every folder above the temporary ones has to let nobody through.
    for (QDir dir(QDir::tempPath()); !dir.isRoot(); dir.cdUp()) {
        if (!QFileInfo(dir.absolutePath()).permission(QFileDevice::ExeOther))
            QSKIP(qPrintable(dir.absolutePath() + u" is closed to other users"_s));
    }
    const QString settingsFolder = installation.configHome() + u"/Datebell"_s;
    QVERIFY(::chmod(QFile::encodeName(installation.database()).constData(), 0444) == 0);
    QVERIFY(::chmod(QFile::encodeName(installation.folder()).constData(), 0555) == 0);
    QVERIFY(::chmod(QFile::encodeName(installation.configHome()).constData(), 0755) == 0);
    QVERIFY(::chmod(QFile::encodeName(settingsFolder).constData(), 0777) == 0);
    QVERIFY(::chmod(QFile::encodeName(installation.settingsFile()).constData(), 0666) == 0);

    // libfaketime is handed on by env(1) after the change of user: loaded into setpriv, it would
    // leave its shared memory to the program as root's, closed to nobody.
    QProcessEnvironment env = environment(installation);
    env.insert(u"HOME"_s, installation.configHome());
    const QString preload = env.value(u"LD_PRELOAD"_s);
    env.remove(u"LD_PRELOAD"_s);
    env.remove(u"FAKETIME"_s);
    const QString id = QString::number(nobody);
    const Run result = run(setpriv,
                           { u"--reuid="_s + id, u"--regid="_s + id, u"--clear-groups"_s, envTool,
                             u"LD_PRELOAD="_s + preload, u"FAKETIME="_s + fakeNow,
                             installation.exe(), u"/S"_s },
                           env);
    struct stat settingsStat
    {
    };
    ::stat(QFile::encodeName(installation.settingsFile()).constData(), &settingsStat);
    qInfo("as uid %u: %s; settings file now owned by uid %u", nobody, qPrintable(describe(result)),
          uint(settingsStat.st_uid));
    // Back to writable, so that the checks below and the clean-up can do their work.
    ::chmod(QFile::encodeName(installation.folder()).constData(), 0755);

    QVERIFY2(result.status == QProcess::NormalExit && result.code == 1,
             qPrintable(describe(result)));
    QVERIFY2(result.errors.contains(u"Datebell: Error "_s), qPrintable(result.errors));
    QVERIFY2(result.errors.contains(installation.database()), qPrintable(result.errors));
    QVERIFY2(result.errors.contains(u"read-only"_s), qPrintable(result.errors));
    QVERIFY(!QFileInfo::exists(installation.journal()));
    QCOMPARE(integrityProblem(installation.database()), QString());
    QVERIFY(tableRows(installation.database(), &error) == m_original);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY2(installation.settings().contains(todayRecorded), installation.settings().constData());
}

void tst_Faults::damagedFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("says");
    QTest::newRow("damaged pages") << u"pages"_s << u"damaged"_s;
    QTest::newRow("truncated to half") << u"truncated"_s << QString();
    QTest::newRow("zero bytes") << u"empty"_s << QString();
    QTest::newRow("Access (Jet) file") << u"jet"_s << QString();
    QTest::newRow("text file") << u"text"_s << QString();
}

// A file that is not a sound event database stops the pass before it records anything or
// writes to the file.
void tst_Faults::damagedFiles()
{
    QFETCH(QString, kind);
    QFETCH(QString, says);

    Installation installation;
    QString error;
    QVERIFY2(installation.install(&error), qPrintable(error));
    QVERIFY(installation.writeSettings());
    const QString database = installation.database();
    constexpr qint64 page = 4096;

    if (kind == u"pages" || kind == u"truncated") {
        QVERIFY2(makeDatabase(installation.folder(), 2000, &error), qPrintable(error));
        QVERIFY2(execute(database,
                         u"INSERT INTO Events VALUES ('2026-06-01 00:00:00', 'later', 0)"_s,
                         &error),
                 qPrintable(error));
        QFile file(database);
        QVERIFY(file.open(QIODevice::ReadWrite));
        const qint64 size = file.size();
        QVERIFY2(size >= 12 * page, qPrintable(QString::number(size)));
        if (kind == u"pages") {
            // Noise over four pages from the fourth on, the same noise every time.
            QRandomGenerator noise(7);
            QByteArray garbage(4 * page, Qt::Uninitialized);
            noise.fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
            QVERIFY(file.seek(3 * page));
            QCOMPARE(file.write(garbage), garbage.size());
        } else {
            QVERIFY(file.resize(size / 2));
        }
        qInfo("%lld-byte database of 2001 rows, %s", qlonglong(size),
              kind == u"pages" ? "pages 4 to 7 overwritten with noise" : "cut to half");
    } else if (kind == u"empty") {
        QVERIFY(writeFile(database, QByteArray()));
    } else if (kind == u"jet") {
        QByteArray jet("\0\1\0\0Standard Jet DB", 19);
        jet.resize(2 * page, '\0');
        QVERIFY(writeFile(database, jet));
    } else {
        QVERIFY(writeFile(database,
                          "EventDate,Description,RepeatFlag\n"
                          "2026-03-11 00:00:00,Dentist,0\n2026-01-01 00:00:00,Birthday,-1\n"));
    }
    const QByteArray before = fileBytes(database);

    const Run result = run(installation.exe(), { u"/S"_s }, environment(installation));
    qInfo("%s: %s", qPrintable(kind), qPrintable(describe(result)));

    QVERIFY2(result.status == QProcess::NormalExit && result.code == 1,
             qPrintable(describe(result)));
    QVERIFY2(result.errors.contains(u"Datebell: Error "_s), qPrintable(result.errors));
    QVERIFY2(result.errors.contains(database), qPrintable(result.errors));
    if (!says.isEmpty())
        QVERIFY2(result.errors.contains(says), qPrintable(result.errors));
    QVERIFY2(fileBytes(database) == before, "the file was changed");
    QVERIFY(!QFileInfo::exists(installation.journal()));
    QCOMPARE(installation.settings(), lastPassSettings);
}

QTEST_GUILESS_MAIN(tst_Faults)
#include "tst_faults.moc"
