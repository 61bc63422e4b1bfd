#include "engine/errors.h"
#include "engine/globals.h"
#include "fixtures.h"

#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// What goes wrong during a roll-forward, or (Watched) who looks at the file meanwhile.
enum Fault { None, WriteFails, Reader, SaysNo, Watched };

// Whether another process would find `file` locked against reading now: SQLite's shared lock
// bytes held by a write lock of this process.
bool lockedForOthers(const QString &file)
{
    const QByteArray name = QFile::encodeName(file);
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(name.constData(), O_RDONLY);
        struct flock lock = {};
        lock.l_type = F_RDLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = 0x40000002; // SQLite's shared range, after the pending and reserved bytes
        lock.l_len = 510;
        ::_exit(fd >= 0 && ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK ? 1 : 0);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)
            && WEXITSTATUS(status) == 1;
}

// A fixed day whose every reading notes whether another process would find the file locked.
class WatchingClock final : public Clock
{
public:
    WatchingClock(QDate day, const QString &file) : m_day(day), m_file(file) { }
    QDateTime now() const override
    {
        locked << lockedForOthers(m_file);
        return QDateTime(m_day, QTime());
    }
    mutable QList<bool> locked;

private:
    QDate m_day;
    QString m_file;
};
} // namespace

class tst_Roll : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        resetEngineState();
        QTest::failOnWarning(QRegularExpression(u".*"_qs));
    }
    void rollsOneEvent_data();
    void rollsOneEvent();
    void backupOnlyWhenChanging_data();
    void backupOnlyWhenChanging();
};

void tst_Roll::rollsOneEvent_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("flag");
    QTest::addColumn<QString>("after"); // empty: deleted
    QTest::addColumn<QDate>("shownUntil"); // the horizon of the list last shown; none: silent

    const auto row = [](const char *tag, const char *stored, int flag, const char *after,
                        QDate today = QDate(2026, 3, 10)) {
        QTest::newRow(tag) << today << QString::fromLatin1(stored) << flag
                           << QString::fromLatin1(after) << QDate();
    };
    row("one-off yesterday", "2026-03-09 23:59:59", 0, "");
    row("one-off today", "2026-03-10 00:00:00", 0, "2026-03-10 00:00:00");
    row("one-off later today", "2026-03-10 10:30:00", 0, "2026-03-10 10:30:00");
    row("annual last year", "2025-03-10 00:00:00", -1, "2026-03-10 00:00:00");
    row("annual years ago, to this year", "2023-03-10 08:00:00", -1, "2026-03-10 08:00:00");
    row("annual decades ago, to next year", "1950-03-02 00:00:00", -1, "2027-03-02 00:00:00");
    row("annual keeps time of day", "2025-12-31 23:30:00", -1, "2026-12-31 23:30:00");
    row("28 February", "2025-02-28 00:00:00", -1, "2027-02-28 00:00:00");
    row("29 February", "2020-02-29 00:00:00", -1, "2028-02-29 00:00:00");
    row("29 February 2096, past 2100", "2096-02-29 00:00:00", -1, "2104-02-29 00:00:00",
        QDate(2097, 1, 1));
    row("annual today stays", "2026-03-10 00:00:00", -1, "2026-03-10 00:00:00");

    // A list shown on 10 March with a horizon of 0, 3 or 30 days, in a window closed one to
    // five days later: what lies past the list's horizon was never shown and stays.
    for (const int horizon : { 0, 3, 30 }) {
        const QDate shownUntil = QDate(2026, 3, 10).addDays(horizon);
        for (int open = 1; open <= 5; ++open) {
            const QDate closed(2026, 3, 10 + open);
            for (int day = 10; day <= closed.day(); ++day) {
                const QString stored = u"2026-03-%1 09:00:00"_qs.arg(day);
                const bool tidied = QDate(2026, 3, day) < qMin(closed, shownUntil);
                for (const int flag : { 0, -1 }) {
                    const QString after = !tidied ? stored
                            : flag                ? u"2027-03-%1 09:00:00"_qs.arg(day)
                                                  : QString();
                    QTest::addRow("horizon %d, closed on the %d, %s on the %d", horizon,
                                  closed.day(), flag ? "annual" : "one-off", day)
                            << closed << stored << flag << after << shownUntil;
                }
            }
        }
    }
}

void tst_Roll::rollsOneEvent()
{
    QFETCH(QDate, today);
    QFETCH(QString, stored);
    QFETCH(int, flag);
    QFETCH(QString, after);
    QFETCH(QDate, shownUntil);

    ProgramFolder folder;
    folder.add(stored, u"event"_qs, flag);
    folder.add(u"2099-01-01 00:00:00"_qs, u"future"_qs, 0);
    const auto db = DBEngine::OpenDatabase(folder.database());
    RollPastEvents(*db, FixedClock(today), shownUntil);

    QStringList expected{ u"2099-01-01 00:00:00|future|0"_qs };
    if (!after.isEmpty())
        expected << after + u"|event|" + QString::number(flag);
    expected.sort();
    QCOMPARE(folder.rows(), expected);
}

// The file as it was before the roll-forward is kept beside it, the newest of five copies
// with the file's permissions, written only when a row changes: other runs leave the copies
// as they are. So does a roll-forward that fails (a write half-way, a reader that keeps the
// lock the commit needs), which leaves the table as it was. A copy a killed run left half-made
// is gone after the next run.
void tst_Roll::backupOnlyWhenChanging_data()
{
    QTest::addColumn<QString>("date"); // of the one row besides today's
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("before"); // copy i holds "copy <before[i]>"; '-': none there
    QTest::addColumn<QString>("after"); // the same, 'N' for the file as it was before the run
    QTest::addColumn<QDate>("lastRemind");
    QTest::addColumn<bool>("asks"); // whether today's date is right
    const auto row = [](const char *tag, const char *date, Fault fault, const char *before,
                        const char *after, QDate lastRemind = QDate(2026, 3, 9),
                        bool asks = false) {
        QTest::newRow(tag) << QString::fromLatin1(date) << int(fault) << QString::fromLatin1(before)
                           << QString::fromLatin1(after) << lastRemind << asks;
    };
    const char *past = "2026-03-09 00:00:00";
    row("nothing past", "2026-03-11 00:00:00", None, "0", "0");
    row("past, in another form", "2026-03-01", None, "0", "0");
    row("past one-off", past, None, "0", "N0");
    row("five copies, the oldest goes", past, None, "01234", "N0123");
    row("a write fails half-way", past, WriteFails, "01234", "01234");
    row("a reader holds the file", past, Reader, "01234", "01234");
    // The write lock holds from the copy to the commit: no other program reads a half-changed
    // file.
    row("another program looks in while the rows change", past, Watched, "0", "N0");
    // The clock was wrong at the last pass or is now: the oldest copy may be the only one from
    // before a tidy at a wrong date. A year gone, the user says whether today is right.
    row("last pass after today, five copies", past, None, "01234", "01234", QDate(2026, 3, 20));
    row("last pass after today, a place free", past, None, "0", "N0", QDate(2026, 3, 20));
    row("last pass over a year ago, not today", past, SaysNo, "0", "0", QDate(2025, 3, 9), true);
    row("last pass a year ago to the day", past, None, "0", "N0", QDate(2025, 3, 10));
}

void tst_Roll::backupOnlyWhenChanging()
{
    QFETCH(QString, date);
    QFETCH(int, fault);
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QDate, lastRemind);
    QFETCH(bool, asks);
    ProgramFolder folder(false);
    folder.add(u"2026-03-10 00:00:00"_qs, u"today"_qs, 0);
    folder.add(date, u"other"_qs, 0);
    if (fault == Watched) // its move reads the clock after the copy is made
        folder.add(u"2026-03-09 12:00:00"_qs, u"watched"_qs, -1);
    if (fault == WriteFails) {
        folder.add(u"2026-03-09 12:00:00"_qs, u"boom"_qs, -1);
        folder.exec(u"CREATE TRIGGER fail BEFORE UPDATE ON Events WHEN OLD.Description = 'boom' "
                    "BEGIN SELECT RAISE(ABORT, 'disk I/O error'); END"_qs);
    }
    const QStringList rows = folder.rows();
    const auto copy = [&folder](int generation) -> QString {
        return folder.database() + u".bak"_qs
                + (generation ? u'.' + QString::number(generation) : QString());
    };
    for (int i = 0; i < before.size(); ++i) {
        if (before[i] != u'-')
            QVERIFY(writeFile(copy(i), "copy " + before.mid(i, 1).toLatin1()));
    }
    QVERIFY(writeFile(copy(0) + u".next"_qs, "half a copy"));
    QVERIFY(QFile::setPermissions(folder.database(), QFile::ReadOwner | QFile::WriteOwner));
    sqlite3 *reader = nullptr;
    if (fault == Reader) {
        QCOMPARE(sqlite3_open(QFile::encodeName(folder.database()).constData(), &reader),
                 SQLITE_OK);
        QCOMPARE(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM Events;", nullptr, nullptr,
                              nullptr),
                 SQLITE_OK);
    }
    gdtLastRemind = lastRemind;
    const auto db = DBEngine::OpenDatabase(folder.database());
    int asked = 0;
    const auto confirm = [&asked, fault] { return ++asked && fault != SaysNo; };
    const FixedClock fixed(QDate(2026, 3, 10));
    const WatchingClock watching(QDate(2026, 3, 10), folder.database());
    const Clock &clock = fault == Watched ? static_cast<const Clock &>(watching) : fixed;
    if (fault == WriteFails || fault == Reader)
        QVERIFY_THROWS_EXCEPTION(DatebellError, RollPastEvents(*db, clock, QDate(), confirm));
    else
        RollPastEvents(*db, clock, QDate(), confirm);
    if (fault == Watched)
        QCOMPARE(watching.locked.last(), true);
    db->Close();
    sqlite3_close(reader);
    QCOMPARE(asked, int(asks));
    const bool written = after.startsWith(u'N');
    const bool tidied = (fault == None || fault == Watched) && date == u"2026-03-09 00:00:00";
    QStringList expected = tidied ? rows.filter(u"|today|"_qs) : rows;
    if (fault == Watched)
        expected << u"2027-03-09 12:00:00|watched|-1"_qs;
    QCOMPARE(folder.rows(), expected);
    for (int i = 0; i < 5; ++i) {
        const QChar holds = i < after.size() ? after[i] : u'-';
        QCOMPARE(QFile::exists(copy(i)), holds != u'-');
        if (holds.isDigit())
            QCOMPARE(readFile(copy(i)), "copy " + QByteArray(1, char(holds.unicode())));
        if (holds != u'-' && written)
            QCOMPARE(QFile(copy(i)).permissions(), QFile(folder.database()).permissions());
    }
    if (written) {
        QVERIFY(QFile::remove(folder.database()) && QFile::copy(copy(0), folder.database()));
        QCOMPARE(folder.rows(), rows);
    }
    QVERIFY(!QFile::exists(copy(0) + u".next"_qs));
}

QTEST_GUILESS_MAIN(tst_Roll)
#include "tst_roll.moc"
