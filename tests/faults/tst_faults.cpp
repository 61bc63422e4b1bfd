#include "fixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// The built program run from outside, as a login session or a cron job would, with faults it
// cannot get past (kill -9, a lock, a full disk, a read-only folder, damaged files, displays
// that cannot be used), each on a program folder of its own with today set by libfaketime.

namespace {

// Today for every run. Every past row stands on the date of the last pass, so nothing is due
// and a silent pass goes on to the roll-forward.
const auto fakeNow = u"@2026-03-10 12:00:00"_s;
const auto pastDate = u"2026-01-01 00:00:00"_s;
const auto rolledDate = u"2027-01-01 00:00:00"_s;
const QByteArray lastPassSettings = "[Settings]\nLastRemindDate=2026-01-01\n";
const QByteArray todayRecorded = "LastRemindDate=2026-03-10";
const auto selectAll = u"SELECT EventDate, Description, RepeatFlag FROM Events"_s;
const auto untouched = u"none rolled"_s;
const auto rolled = u"all rolled"_s;

constexpr int pastRows = 100000;
constexpr int kills = 20;
constexpr quint32 defaultKillStart = 20260310; // first value of the kill delays' generator
constexpr uint nobody = 65534;
constexpr qint64 page = 4096;

enum Fault { Lock, DiskFull, ReadOnly, Damaged, Display, Running };

QString libfaketime;

// A database by datebell-newdb in `folder`, `past` rows on pastDate, one-off and annual in turn.
bool makeDatabase(const QString &folder, int past, QString *error)
{
    const Run newdb = runProgram(QStringLiteral(NEWDB_EXE), { folder });
    if (newdb.status != QProcess::NormalExit || newdb.code != 0)
        *error = u"datebell-newdb: "_s + describe(newdb);
    return error->isEmpty()
            && execSql(
                    folder + u"/Datebell.mdb"_s,
                    u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                    "INSERT INTO Events SELECT '%2', printf('event %06d', i), "
                    "CASE WHEN i % 2 THEN 0 ELSE -1 END FROM n"_s.arg(past)
                            .arg(pastDate));
}

// In place of the database, a database of 2000 rows with the same noise over pages 4 to 7
// ("noise") or over the table's last page, which the pass reads only to check the file
// ("table page"), or cut to half ("half"); an empty, Access (Jet) or text file; or none
// ("missing"), with a backup copy beside it ("missing, copy").
bool makeDamagedFile(const QString &folder, const QString &kind, QString *error)
{
    const QString path = folder + u"/Datebell.mdb"_s;
    if (kind == u"noise" || kind == u"half" || kind == u"table page") {
        QStringList last{ u"3"_s };
        if (!makeDatabase(folder, 2000, error)
            || (kind == u"table page"
                && !execSql(path, u"SELECT max(pageno) - 1 FROM dbstat WHERE name = 'Events'"_s,
                            &last)))
            return false;
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite) || file.size() < 12 * page) {
            *error = u"a database of %1 bytes"_s.arg(file.size());
            return false;
        }
        if (kind == u"half")
            return file.resize(file.size() / 2);
        QByteArray noise((kind == u"noise" ? 4 : 1) * page, Qt::Uninitialized);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
        return file.seek(last.value(0).toInt() * page) && file.write(noise) == noise.size();
    }
    if (kind == u"missing, copy")
        return writeFile(path + u".bak"_s, "a copy");
    const QByteArray jet = QByteArray("\0\1\0\0Standard Jet DB", 19).leftJustified(2 * page, '\0');
    const QByteArray text = "EventDate,Description,RepeatFlag\n2026-03-11 00:00:00,Dentist,0\n";
    return kind == u"missing"
            || writeFile(path,
                         kind == u"jet"            ? jet
                                 : kind == u"text" ? text
                                                   : "");
}

// A program folder with copies of the program and its window module, and a settings folder.
class Installation
{
public:
    // The program resolves its folder through /proc/self/exe: the canonical path.
    QString folder() const { return QFileInfo(m_program.path()).canonicalFilePath(); }
    QString exe() const { return folder() + u"/datebell"_s; }
    QString database() const { return folder() + u"/Datebell.mdb"_s; }
    QString journal() const { return database() + u"-journal"_s; }
    QString configHome() const { return m_config.path(); }
    QString settingsFolder() const { return configHome() + u"/Datebell"_s; }
    QString settingsFile() const { return settingsFolder() + u"/Datebell.conf"_s; }
    QByteArray settings() const { return readFile(settingsFile()); }

    bool setUp(const QString &source = QString())
    {
        const QString module = QFileInfo(QStringLiteral(WINDOWS_MODULE)).fileName();
        return m_program.isValid() && m_config.isValid()
                && QFile::copy(QStringLiteral(DATEBELL_EXE), exe())
                && QFile::copy(QStringLiteral(WINDOWS_MODULE), folder() + u'/' + module)
                && reset(source);
    }

    // A copy of `source` (if any) with no journal, and only the settings the last pass left.
    bool reset(const QString &source)
    {
        QFile::remove(journal());
        QFile::remove(database());
        QDir(settingsFolder()).removeRecursively();
        return (source.isEmpty() || QFile::copy(source, database()))
                && QDir().mkpath(settingsFolder()) && writeFile(settingsFile(), lastPassSettings);
    }

    // No display, these settings, and today faked through LD_PRELOAD (not the faketime wrapper,
    // whose own process would take the kill meant for the program).
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name :
             { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE",
               "DATEBELL_FAIL_WRITES_AFTER", "DATEBELL_FAIL_WRITES_FILE" })
            env.remove(QString::fromLatin1(name));
        env.insert(u"XDG_CONFIG_HOME"_s, configHome());
        env.insert(u"XDG_RUNTIME_DIR"_s, configHome()); // the one-at-a-time lock and socket
        env.insert(u"FAKETIME"_s, fakeNow);
        env.insert(u"LD_PRELOAD"_s, libfaketime);
        return env;
    }

private:
    QTemporaryDir m_program{ QDir::tempPath() + u"/datebell-faults-XXXXXX"_s };
    QTemporaryDir m_config{ QDir::tempPath() + u"/datebell-faults-config-XXXXXX"_s };
};

} // namespace

class tst_Faults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void killDuringRollForward();
    void stoppedPass_data();
    void stoppedPass();
    void typedUnderAWindowManager_data();
    void typedUnderAWindowManager();

private:
    QString tableState(const QString &path) const;

    QTemporaryDir m_pristine;
    QString m_pristineDatabase;
    QStringList m_original; // the table before any pass
    QStringList m_rolled; // the table after a complete roll-forward
};

void tst_Faults::initTestCase()
{
    // Under /usr/lib, /usr/lib/<multiarch> or /usr/local/lib.
    const QStringList folders = QDir(u"/usr/lib"_s).entryList(QDir::Dirs | QDir::NoDotDot)
            << u"../local/lib"_s;
    for (const QString &folder : folders) {
        const QString candidate = u"/usr/lib/%1/faketime/libfaketime.so.1"_s.arg(folder);
        if (libfaketime.isEmpty() && QFileInfo::exists(candidate))
            libfaketime = QDir::cleanPath(candidate);
    }
    if (libfaketime.isEmpty())
        QSKIP("libfaketime is not installed (Debian package libfaketime)");

    QString error;
    m_pristineDatabase = m_pristine.path() + u"/Datebell.mdb"_s;
    QVERIFY2(makeDatabase(m_pristine.path(), pastRows, &error), qPrintable(error));
    QVERIFY(execSql(m_pristineDatabase,
                    u"INSERT INTO Events VALUES ('2026-03-20 09:00:00', 'dentist', 0), "
                    "('2026-12-25 00:00:00', 'Christmas', -1), "
                    "('2028-02-29 00:00:00', 'leap day', -1)"_s)
            && execSql(m_pristineDatabase, selectAll, &m_original));
    std::sort(m_original.begin(), m_original.end());
    // One-offs go, annual events move to their next day; the future rows stay as they are.
    for (const QString &row : std::as_const(m_original)) {
        if (!row.startsWith(pastDate))
            m_rolled << row;
        else if (row.endsWith(u"|-1"_s))
            m_rolled << rolledDate + row.mid(pastDate.size());
    }
    std::sort(m_rolled.begin(), m_rolled.end());
    QCOMPARE(m_rolled.size(), pastRows / 2 + 3);
}

// `untouched` or `rolled` if PRAGMA integrity_check says just "ok" and the table is one of those;
// else what is wrong. Opening rolls back a journal left by a killed write, as any reader would.
QString tst_Faults::tableState(const QString &path) const
{
    QStringList check, rows;
    if (!execSql(path, u"PRAGMA integrity_check"_s, &check) || !execSql(path, selectAll, &rows))
        return u"not readable"_s;
    if (check != QStringList{ u"ok"_s })
        return u"integrity_check: "_s + check.join(u'\n');
    std::sort(rows.begin(), rows.end());
    if (rows == m_original || rows == m_rolled)
        return rows == m_original ? untouched : rolled;
    return u"half rolled: %1 of %2 rows on %3"_s.arg(
            QString::number(rows.filter(rolledDate).size()), QString::number(rows.size()),
            rolledDate);
}

// kill -9 at random moments of the pass: the table holds either every change or none.
void tst_Faults::killDuringRollForward()
{
    Installation installation;
    QVERIFY2(installation.setUp(m_pristineDatabase), qPrintable(installation.folder()));
    const QProcessEnvironment env = installation.environment();

    // One whole pass, to learn how long it takes.
    const Run whole = runProgram(installation.exe(), { u"/S"_s }, env);
    QVERIFY2(whole.status == QProcess::NormalExit && whole.code == 0 && whole.errors.isEmpty()
                     && installation.settings().contains(todayRecorded),
             qPrintable(describe(whole)));
    QCOMPARE(tableState(installation.database()), rolled);
    const qint64 duration = std::max<qint64>(whole.ms, 1);

    // The same starting value gives the same delays: a failing run can be repeated.
    bool given = false;
    const auto start = quint32(qEnvironmentVariableIntValue("DATEBELL_KILL_RANDOM_START", &given));
    QRandomGenerator random(given ? start : defaultKillStart);
    int none = 0, all = 0, midWrite = 0;
    for (int i = 1; i <= kills; ++i) {
        QVERIFY(installation.reset(m_pristineDatabase));
        const qint64 delay = qint64(random.bounded(quint32(duration)));
        const Run result = runProgram(installation.exe(), { u"/S"_s }, env, delay);
        QVERIFY2(result.status == QProcess::CrashExit
                         || (result.code == 0 && result.errors.isEmpty()),
                 qPrintable(u"run %1: "_s.arg(i) + describe(result)));
        midWrite += QFileInfo(installation.journal()).size() > 0;
        const QString state = tableState(installation.database());
        QVERIFY2(state == untouched || state == rolled,
                 qPrintable(u"run %1, killed after %2 ms: %3"_s.arg(i).arg(delay).arg(state)));
        ++(state == untouched ? none : all);
    }
    qInfo("%d kills (random start %u, pass %lld ms): %d all rolled, %d none rolled, %d kills "
          "left a journal",
          kills, given ? start : defaultKillStart, qlonglong(duration), all, none, midWrite);
    // Kills that all fell before or after the writes would prove nothing.
    QVERIFY2(midWrite > 0,
             "no kill fell while the roll-forward was writing; try another "
             "DATEBELL_KILL_RANDOM_START");
}

void tst_Faults::stoppedPass_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>(
            "detail"); // the lock, the file the shim fails, the damage, the display
    QTest::addColumn<int>("failAfter"); // writes the shim lets through
    QTest::addColumn<QString>("says"); // empty: the window is shown and the program stopped
    QTest::addColumn<bool>("dateRecorded");
    const auto row = [](const char *tag, Fault fault, const QString &detail, int failAfter,
                        const QString &says, bool dateRecorded) {
        QTest::newRow(tag) << int(fault) << detail << failAfter << says << dateRecorded;
    };
    // Another connection holds a lock through the run. EXCLUSIVE keeps readers out too, so the
    // pass cannot count the due events; IMMEDIATE lets it count and record today, not write.
    row("lock: exclusive", Lock, u"BEGIN EXCLUSIVE"_s, 0, u"in use"_s, false);
    row("lock: immediate", Lock, u"BEGIN IMMEDIATE"_s, 0, u"in use"_s, true);
    // The settings are on another disk here: the pass was recorded before the roll-forward.
    const QString full = u"disk is full"_s;
    row("disk full: first journal write", DiskFull, QString(), 0, full, true);
    row("disk full: journal, midway", DiskFull, u"Datebell.mdb-journal"_s, 300, full, true);
    row("disk full: first database write", DiskFull, u"Datebell.mdb"_s, 0, full, true);
    row("disk full: database, midway", DiskFull, u"Datebell.mdb"_s, 100, full, true);
    row("disk full: backup copy", DiskFull, u"Datebell.mdb.bak.next.new"_s, 0, full, true);
    row("read-only", ReadOnly, QString(), 0, u"read-only"_s, true);
    // Not a sound event database: the pass stops before it records anything.
    row("damaged pages", Damaged, u"noise"_s, 0, u"damaged"_s, false);
    row("damaged page, found by the check", Damaged, u"table page"_s, 0, u"the details list them"_s,
        true);
    row("truncated to half", Damaged, u"half"_s, 0, QString(u"Error"_s), false);
    row("zero bytes", Damaged, u"empty"_s, 0, u"not a SQLite"_s, false);
    row("Access (Jet) file", Damaged, u"jet"_s, 0, u"Access (Jet)"_s, false);
    row("text file", Damaged, u"text"_s, 0, u"not a SQLite"_s, false);
    row("no database", Damaged, u"missing"_s, 0, u"datebell-newdb"_s, false);
    row("no database, a copy beside it", Damaged, u"missing, copy"_s, 0,
        u"copy the backup '%1.bak' to '%1'"_s, false);
    // A pass with its window (no /S): a display that cannot be used stops it before Qt would
    // abort, with nothing recorded; one that can records today once the window is exposed.
    row("display: none named", Display, u"none"_s, 0, u"DISPLAY names no X display"_s, false);
    row("display: none, editing", Display, u"none /E"_s, 0, u"edits the events cannot open"_s,
        false);
    row("display: X refuses", Display, u"X refuses"_s, 0, u"refused the connection"_s, false);
    row("display: X, no server", Display, u"X absent"_s, 0, u"cannot be reached"_s, false);
    // With only WAYLAND_DISPLAY set, Wayland alone is tried: the problem names no DISPLAY.
    row("display: stale Wayland socket, no DISPLAY", Display, u"Wayland alone"_s, 0,
        u"display \"wayland-0\" cannot be reached)"_s, false);
    row("display: Wayland never answers", Display, u"Wayland hung"_s, 0, u"did not answer"_s,
        false);
    row("display: X accepts", Display, u"X"_s, 0, QString(), true);
    row("display: offscreen", Display, u"offscreen"_s, 0, QString(), true);
    // Another Datebell of the folder runs: a silent pass started while its window is open asks
    // for that window and ends with status 0, recording and tidying nothing. Of two passes
    // started together one shows its window; a first one killed does not block the next.
    const QString running = u"already running"_s;
    row("running: window open, /S", Running, u"window open"_s, 0, running, false);
    row("running: two together", Running, u"together"_s, 0, running, true);
    row("running: first killed", Running, u"first killed"_s, 0, QString(), true);
}

// A fault the pass cannot get past: it stops with status 1 and an error naming the database (or
// the display), and leaves the table (or the damaged file) as it was, with no backup copy.
void tst_Faults::stoppedPass()
{
    QFETCH(int, fault);
    QFETCH(QString, detail);
    QFETCH(int, failAfter);
    QFETCH(QString, says);
    QFETCH(bool, dateRecorded);

    Installation installation;
    QVERIFY2(installation.setUp(fault == Damaged ? QString() : m_pristineDatabase),
             qPrintable(installation.folder()));
    const QString database = installation.database();
    QProcessEnvironment env = installation.environment();
    QString program = installation.exe(), error;
    QStringList arguments{ u"/S"_s };
    sqlite3 *holder = nullptr; // a connection of the test's own
    QByteArray before;
    QProcess server, first;
    QTemporaryDir sockets;
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fault == Lock) {
        QCOMPARE(sqlite3_open(QFile::encodeName(database).constData(), &holder), SQLITE_OK);
        QCOMPARE(sqlite3_exec(holder, detail.toUtf8().constData(), nullptr, nullptr, nullptr),
                 SQLITE_OK);
    } else if (fault == DiskFull) {
        QVERIFY2(QFileInfo::exists(QStringLiteral(ENOSPC_SHIM)), ENOSPC_SHIM);
        env.insert(u"LD_PRELOAD"_s, QStringLiteral(ENOSPC_SHIM) + u':' + libfaketime);
        env.insert(u"DATEBELL_FAIL_WRITES_AFTER"_s, QString::number(failAfter));
        if (!detail.isEmpty())
            env.insert(u"DATEBELL_FAIL_WRITES_FILE"_s, detail);
    } else if (fault == Damaged) {
        QVERIFY2(makeDamagedFile(installation.folder(), detail, &error), qPrintable(error));
        before = readFile(database); // not for a lock: closing any handle on the file drops it
    } else if (fault == Display && detail.startsWith(u'X')) {
        arguments.clear();
        const QString xvfb = QStandardPaths::findExecutable(u"Xvfb"_s);
        const QString xauth = QStandardPaths::findExecutable(u"xauth"_s);
        if (xvfb.isEmpty() || xauth.isEmpty())
            QSKIP("Xvfb and xauth are not installed (Debian packages xvfb, xauth)");
        const int number = 100 + int(QCoreApplication::applicationPid() % 400);
        const QString name = u":%1"_s.arg(number), cookies = sockets.filePath(u"Xauthority"_s);
        QCOMPARE(QProcess::execute(xauth,
                                   { u"-q"_s, u"-f"_s, cookies, u"add"_s, name, u"."_s,
                                     u"0123456789abcdef0123456789abcdef"_s }),
                 0);
        if (detail != u"X absent") {
            server.start(xvfb, { name, u"-auth"_s, cookies, u"-nolisten"_s, u"tcp"_s });
            QTRY_VERIFY(QFileInfo::exists(u"/tmp/.X11-unix/X%1"_s.arg(number)));
        }
        env.insert(u"DISPLAY"_s, name);
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        env.insert(u"XAUTHORITY"_s, detail == u"X" ? cookies : u"/nonexistent"_s);
    } else if (fault == Display) {
        arguments.clear();
        // A socket file nobody listens on, or one listened on but never answered.
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(sockets.filePath(u"wayland-0"_s));
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        QVERIFY(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
        QVERIFY(detail != u"Wayland hung" || ::listen(listener, 4) == 0);
        env.insert(u"XDG_RUNTIME_DIR"_s, sockets.path());
        if (detail.startsWith(u"Wayland"))
            env.insert(u"WAYLAND_DISPLAY"_s, u"wayland-0"_s);
        if (detail.endsWith(u"/E"))
            arguments = QStringList{ u"/E"_s };
        env.insert(u"QT_QPA_PLATFORM"_s,
                   detail.startsWith(u"none") || detail == u"Wayland alone" ? u""_s
                           : detail.startsWith(u"W")                        ? u"wayland"_s
                                                                            : detail);
    } else if (fault == Running) {
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        first.setProcessEnvironment(env);
        first.start(program, {});
        if (detail != u"together") {
            // Once the first has recorded its pass whole: the date, then its database.
            QTRY_VERIFY_WITH_TIMEOUT(installation.settings().contains(todayRecorded)
                                             && installation.settings().contains("Database="),
                                     20000);
            if (detail == u"first killed") {
                first.kill();
                first.waitForFinished();
            }
            QVERIFY(writeFile(installation.settingsFile(), lastPassSettings));
        }
        if (detail != u"window open")
            arguments.clear();
    } else {
        // Read-only for the user who runs the program; root would write through the file modes,
        // so the program runs as nobody, and every folder above has to let nobody through.
        program = QStandardPaths::findExecutable(u"setpriv"_s);
        const QString envTool = QStandardPaths::findExecutable(u"env"_s);
        if (program.isEmpty() || envTool.isEmpty() || ::geteuid() != 0)
            QSKIP("changing to another user needs root, setpriv and env");
        for (QDir dir(QDir::tempPath()); !dir.isRoot(); dir.cdUp()) {
            if (!QFileInfo(dir.absolutePath()).permission(QFileDevice::ExeOther))
                QSKIP(qPrintable(dir.absolutePath() + u" is closed to other users"_s));
        }
        const std::pair<QString, mode_t> modes[] = { { database, 0444 },
                                                     { installation.folder(), 0555 },
                                                     { installation.configHome(), 0755 },
                                                     { installation.settingsFolder(), 0777 },
                                                     { installation.settingsFile(), 0666 } };
        for (const auto &[path, mode] : modes)
            QVERIFY2(::chmod(QFile::encodeName(path).constData(), mode) == 0, qPrintable(path));
        // libfaketime is handed on by env(1) after the change of user: loaded into setpriv, it
        // would leave its shared memory to the program as root's, closed to nobody.
        env.insert(u"HOME"_s, installation.configHome());
        env.remove(u"LD_PRELOAD"_s);
        env.remove(u"FAKETIME"_s);
        const QString id = QString::number(nobody);
        arguments = QStringList({ u"--reuid="_s + id, u"--regid="_s + id, u"--clear-groups"_s,
                                  envTool, u"LD_PRELOAD="_s + libfaketime, u"FAKETIME="_s + fakeNow,
                                  installation.exe(), u"/S"_s });
    }

    // A window that comes up keeps the program running: it is stopped once today is recorded.
    // Of two together, the one that shows the window is stopped after 5 s.
    const bool together = detail == u"together";
    qint64 killAfter = says.isEmpty() ? 20000 : 60000;
    if (together)
        killAfter = 5000;
    const Run result = runProgram(program, arguments, env, killAfter, [&] {
        return says.isEmpty() && installation.settings().contains(todayRecorded);
    });
    // The other one: the window that stays, or the start that asked for it and ended.
    const bool firstStayed = fault == Running && detail != u"first killed"
            && !first.waitForFinished(together ? 3000 : 0);
    const QString firstErrors = QString::fromLocal8Bit(first.readAllStandardError());
    first.kill();
    first.waitForFinished();
    sqlite3_close(holder); // which rolls back and lets go of the lock
    ::close(listener);
    server.kill();
    server.waitForFinished();
    // Back to writable, so that the checks below and the clean-up can do their work.
    QVERIFY(::chmod(QFile::encodeName(installation.folder()).constData(), 0755) == 0);
    qInfo("%s", qPrintable(describe(result)));

    // The shim reports the write it failed: without that line the fault never happened.
    const QString shim = fault == DiskFull ? u"enospc-shim: "_s : QString();
    const QString named = fault == Display ? u"No display can be used"_s : database;
    bool stopped = says.isEmpty() ? result.status == QProcess::CrashExit
                                  : result.status == QProcess::NormalExit && result.code == 1;
    for (const QString &word : { named, QString(says).replace(u"%1"_s, database), shim })
        stopped = stopped && (says.isEmpty() || result.errors.contains(word));
    // The report says in a few lines what happened and what to do, its number at the end; what
    // the checker found comes after it, as its details.
    static const QRegularExpression report(
            u"Datebell: [^\\n]+(\\n[^\\n]+){0,2} \\(Error \\d+\\)\\n"
            "(Details:\\n\\*\\*\\* in database main \\*\\*\\*\\n)?"_s);
    const auto match = report.match(result.errors);
    stopped = stopped
            && (says.isEmpty()
                || (match.hasMatch() && match.hasCaptured(2) == (detail == u"table page")));
    if (fault == Running) {
        // Exactly one window: this run's (stopped) while the first one ended with the line, or
        // the first one's while this run ended with it.
        const bool shown = result.status == QProcess::CrashExit;
        const bool asked = result.status == QProcess::NormalExit && result.code == 0
                && result.errors.contains(says) && firstStayed;
        const bool firstAsked = !firstStayed && first.exitCode() == 0 && firstErrors.contains(says);
        if (says.isEmpty())
            stopped = shown;
        else
            stopped = asked || (together && shown && firstAsked);
    }
    QVERIFY2(stopped, qPrintable(describe(result) + u"\nfirst: "_s + firstErrors));
    // Nor is a backup copy made: none was, or the one of a sound file would be overwritten.
    QVERIFY(fault == DiskFull || !QFileInfo::exists(installation.journal()));
    QCOMPARE(readFile(database + u".bak"_s), detail == u"missing, copy" ? "a copy" : "");
    if (fault == Damaged)
        QVERIFY2(readFile(database) == before
                         && QFileInfo::exists(database) == !detail.startsWith(u"missing"),
                 "the file was changed");
    else
        QCOMPARE(tableState(database), untouched);
    QVERIFY(!QFileInfo::exists(database + u".bak.next"_s));
    const QByteArray settings = installation.settings();
    QVERIFY2(dateRecorded ? settings.contains(todayRecorded) : settings == lastPassSettings,
             settings.constData());
}

void tst_Faults::typedUnderAWindowManager_data()
{
    QTest::addColumn<QString>("each"); // xdotool commands for each event, ';': %1 date, %2 text
    QTest::newRow("Return, then Down") << u"type %1; key Tab; type %2; key Return; key Down"_s;
    // The box closes, the window manager gives the focus back, and the correction is typed.
    QTest::newRow("a refused date corrected at once")
            << u"type 3/32/2026; key Return; key Return; type %1; key Tab; type %2; key Down"_s;
}

// The editing window as a person uses it, under a window manager, which moves the focus when
// a box closes: three events typed one after another are in the file as typed.
void tst_Faults::typedUnderAWindowManager()
{
    QFETCH(QString, each);
    const QString xvfb = QStandardPaths::findExecutable(u"Xvfb"_s);
    const QString openbox = QStandardPaths::findExecutable(u"openbox"_s);
    const QString xdotool = QStandardPaths::findExecutable(u"xdotool"_s);
    if (xvfb.isEmpty() || openbox.isEmpty() || xdotool.isEmpty())
        QSKIP("Xvfb, openbox and xdotool are not installed (Debian packages xvfb, openbox, "
              "xdotool)");
    Installation installation;
    QVERIFY(installation.setUp()
            && runProgram(QStringLiteral(NEWDB_EXE), { installation.folder() }).code == 0);
    // A display of each row's own: a server just stopped may still hold its number.
    static int displays = 0;
    const int number = 500 + int(QCoreApplication::applicationPid() % 300) + 10 * displays++;
    QProcessEnvironment env = installation.environment();
    env.insert(u"DISPLAY"_s, u":%1"_s.arg(number));
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    env.insert(u"LANG"_s, u"en_US.UTF-8"_s);
    QProcess server, manager, program;
    server.start(xvfb, { env.value(u"DISPLAY"_s), u"-nolisten"_s, u"tcp"_s });
    QTRY_VERIFY(QFileInfo::exists(u"/tmp/.X11-unix/X%1"_s.arg(number)));
    for (QProcess *process : { &manager, &program })
        process->setProcessEnvironment(env);
    manager.start(openbox, {});
    program.start(installation.exe(), { u"/E"_s });
    const auto stop = qScopeGuard([&] {
        for (QProcess *process : { &program, &manager, &server }) {
            process->terminate(); // Xvfb removes its socket and lock file on SIGTERM
            if (!process->waitForFinished(3000)) {
                process->kill();
                process->waitForFinished();
            }
        }
    });
    const auto xdo = [&](const QStringList &arguments) {
        QProcess run;
        run.setProcessEnvironment(env);
        run.start(xdotool, arguments);
        run.waitForFinished();
        QTest::qWait(300);
        return QString::fromUtf8(run.readAllStandardOutput()).trimmed();
    };
    const QString window = xdo({ u"search"_s, u"--sync"_s, u"--name"_s, u"^Datebell Settings$"_s });
    QVERIFY(!window.isEmpty());
    xdo({ u"windowactivate"_s, u"--sync"_s, window.section(u'\n', 0, 0) });
    const QStringList dates{ u"3/13/2026"_s, u"3/14/2026 9:30 AM"_s, u"3/15"_s };
    const QStringList texts{ u"Dentist"_s, u"Barber"_s, u"Cinema"_s };
    QStringList commands{ u"key alt+a"_s };
    for (int i = 0; i < 3; ++i)
        commands << each.arg(dates[i], texts[i]).split(u"; "_s);
    commands << u"key alt+c"_s;
    for (const QString &command : std::as_const(commands)) {
        const QString verb = command.section(u' ', 0, 0), rest = command.section(u' ', 1);
        xdo(verb == u"type"_s ? QStringList{ verb, u"--delay"_s, u"40"_s, rest }
                              : QStringList{ verb, u"--delay"_s, u"60"_s } + rest.split(u' '));
    }
    // The program may have ended while xdotool ran.
    const bool ended = program.state() == QProcess::NotRunning || program.waitForFinished(10000);
    QVERIFY2(ended && program.exitCode() == 0, program.readAllStandardError().constData());
    QStringList rows;
    QVERIFY(execSql(installation.database(), selectAll + u" ORDER BY EventDate"_s, &rows));
    QCOMPARE(rows,
             QStringList({ u"2026-03-13 00:00:00|Dentist|0"_s, u"2026-03-14 09:30:00|Barber|0"_s,
                           u"2026-03-15 00:00:00|Cinema|0"_s }));
}

QTEST_GUILESS_MAIN(tst_Faults)
#include "tst_faults.moc"
