// In-process figures for the engine at 1 000 to 1 000 000 events (60% annual, 40% one-off,
// dates spread over ten years): the reminder selection, the roll-forward against the same
// work done set-based by SQLite alone, and the first page of a record set in date order.

#include "engine/basDatBel.h"
#include "engine/dates.h"
#include "engine/eventdb.h"
#include "engine/globals.h"
#include "engine/platform.h"
#include "engine/schema.h"
#include "engine/settings.h"
#include "fixtures.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <functional>
#include <sqlite3.h>

namespace {

const QDate today(2026, 12, 6);

QTemporaryDir &scratch()
{
    static QTemporaryDir dir;
    return dir;
}

void exec(sqlite3 *db, const QString &sql)
{
    char *message = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK) {
        const QByteArray text(message);
        sqlite3_free(message);
        throw std::runtime_error(text.toStdString());
    }
}

// Which events are annual: 60% of them, or all, or none.
enum class Kind { Mixed, Annual, OneOff };

// A database of `count` events whose dates run over ten years from `daysBeforeToday` days
// before today, made once per size and kind and kept for the whole run.
QString database(qint64 count, int daysBeforeToday, Kind kind = Kind::Mixed)
{
    static QHash<QString, QString> made;
    const QString key = QStringLiteral("%1-%2-%3").arg(count).arg(daysBeforeToday).arg(int(kind));
    if (made.contains(key))
        return made.value(key);
    const QString path = scratch().filePath(key + QStringLiteral(".mdb"));
    CreateEventDatabase(path);
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    exec(db,
         QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
                        "WHERE i < %1 - 1) INSERT INTO Events SELECT "
                        "date(julianday('%2') - %3 + i * 3652 / %1) || ' 00:00:00', "
                        "'Event ' || i, %4 FROM n")
                 .arg(count)
                 .arg(DateText(today))
                 .arg(daysBeforeToday)
                 .arg(kind == Kind::Mixed ? QStringLiteral("CASE WHEN i % 5 < 3 THEN -1 ELSE 0 END")
                              : kind == Kind::Annual ? QStringLiteral("-1")
                                                     : QStringLiteral("0")));
    sqlite3_close(db);
    made.insert(key, path);
    return path;
}

// A fresh copy of a database, for a run that changes it.
QString copyOf(const QString &path)
{
    const QString copy = scratch().filePath(QStringLiteral("work.mdb"));
    QFile::remove(copy);
    QFile::copy(path, copy);
    return copy;
}

void sizes(benchmark::internal::Benchmark *b)
{
    b->Arg(1000)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
}

// The daily pass over a table with nothing past: build the query, count what is due.
void BM_SelectionCount(benchmark::State &state)
{
    const auto db = DBEngine::OpenDatabase(database(state.range(0), 0));
    MemorySettings settings;
    gdtLastRemind = today.addDays(-1);
    qint64 due = 0;
    for (auto _ : state) {
        BuildReminderQuery(settings, FixedClock(today));
        const auto rs = db->OpenRecordset(gsSQL);
        if (!rs->EOF_()) {
            rs->MoveLast(0);
            due = rs->RecordCount();
        }
        benchmark::DoNotOptimize(due);
    }
    state.counters["due"] = double(due);
}
BENCHMARK(BM_SelectionCount)->Apply(sizes);

// Times `work` on a fresh copy, each iteration, of the database with 10% of its rows past
// (one year of the ten).
void onPastRows(benchmark::State &state, const std::function<void(Database &db)> &work,
                Kind kind = Kind::Mixed)
{
    const QString base = database(state.range(0), 365, kind);
    for (auto _ : state) {
        state.PauseTiming();
        const QString path = copyOf(base);
        state.ResumeTiming();
        const auto db = DBEngine::OpenDatabase(path);
        work(*db);
        db->Close();
    }
}

void BM_RollForward(benchmark::State &state, Kind kind)
{
    onPastRows(
            state, [](Database &db) { RollPastEvents(db, FixedClock(today)); }, kind);
}
BENCHMARK_CAPTURE(BM_RollForward, Mixed, Kind::Mixed)->Apply(sizes)->Iterations(3);

// What the roll-forward does besides the rows: the backup copy, under the write lock. The
// roll-forward figures above include it.
void BM_Backup(benchmark::State &state)
{
    onPastRows(state, [](Database &db) {
        Transaction lock(db);
        db.BackupTo(BackupPath(db));
    });
}
BENCHMARK(BM_Backup)->Apply(sizes)->Iterations(3);

// 100 000 and 1 000 000 events, in milliseconds.
void largeSizes(benchmark::internal::Benchmark *benchmark)
{
    benchmark->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);
}

// The roll-forward where every past event is one-off (deleted) or annual (moved): a delete
// must cost no more than an update wherever the row stands.
BENCHMARK_CAPTURE(BM_RollForward, OneOff, Kind::OneOff)->Apply(largeSizes);
BENCHMARK_CAPTURE(BM_RollForward, Annual, Kind::Annual)->Apply(largeSizes);

// The same deletions and updates, set-based in one transaction, by SQLite alone.
void BM_SetBased(benchmark::State &state, Kind kind)
{
    const QString base = database(state.range(0), 365, kind);
    const QString before = QStringLiteral("'%1 00:00:00'").arg(DateText(today));
    for (auto _ : state) {
        state.PauseTiming();
        const QString path = copyOf(base);
        state.ResumeTiming();
        sqlite3 *db = nullptr;
        sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        exec(db,
             QStringLiteral("PRAGMA synchronous=FULL; BEGIN IMMEDIATE; "
                            "DELETE FROM Events WHERE EventDate < %1 AND RepeatFlag = 0; "
                            "UPDATE Events SET EventDate = datetime(EventDate, '+1 year') "
                            "WHERE EventDate < %1; COMMIT")
                     .arg(before));
        sqlite3_close(db);
    }
}
BENCHMARK_CAPTURE(BM_SetBased, Mixed, Kind::Mixed)->Apply(sizes)->Iterations(3);
BENCHMARK_CAPTURE(BM_SetBased, OneOff, Kind::OneOff)->Apply(largeSizes);
BENCHMARK_CAPTURE(BM_SetBased, Annual, Kind::Annual)->Apply(largeSizes);

// What the grid's Delete Event does, 1000 times over the rows of the grid's record set (all
// events in date order): move to a row, delete it, move on. The time per delete should not
// grow with the number of events.
void BM_GridDelete(benchmark::State &state)
{
    const QString base = database(state.range(0), 0);
    for (auto _ : state) {
        state.PauseTiming();
        const auto db = DBEngine::OpenDatabase(copyOf(base));
        const auto rs = db->OpenRecordset(
                QStringLiteral("SELECT * FROM Events ORDER BY EventDate, Description"));
        rs->MoveLast(0);
        Transaction transaction(*db); // one commit, so that the disk does not set the pace
        state.ResumeTiming();
        for (qsizetype i = 0; i < 1000; ++i) {
            rs->setAbsolutePosition(i * (state.range(0) - 1000) / 1000);
            rs->Delete();
            rs->MoveNext();
            benchmark::DoNotOptimize(rs->AbsolutePosition());
        }
        state.PauseTiming();
        transaction.commit();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_GridDelete)->Apply(largeSizes);

// What the event grid does when it opens: all events in date order, the first 50 rows read.
void BM_FirstPage(benchmark::State &state)
{
    const auto db = DBEngine::OpenDatabase(database(state.range(0), 0));
    for (auto _ : state) {
        const auto rs = db->OpenRecordset(
                QStringLiteral("SELECT * FROM Events ORDER BY EventDate, Description"));
        for (int row = 0; row < 50 && !rs->EOF_(); ++row, rs->MoveNext()) {
            for (int column = 0; column < rs->FieldCount(); ++column)
                benchmark::DoNotOptimize(rs->Fields(column).Value());
        }
    }
}
BENCHMARK(BM_FirstPage)->Apply(sizes);

} // namespace

BENCHMARK_MAIN();
