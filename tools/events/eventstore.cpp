#include "eventstore.h"

#include "engine/conversions.h"
#include "engine/dates.h"
#include "engine/errors.h"
#include "engine/eventdb.h"

#include <QFile>
#include <QScopeGuard>

#include <optional>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

// The time another program may hold a lock before the import gives up, as the program waits.
constexpr int busyTimeoutMs = 3000;

// Whether a stored flag makes the event annual, read as the reminder reads it.
bool annualFlag(sqlite3_stmt *rows, int column)
{
    switch (sqlite3_column_type(rows, column)) {
    case SQLITE_NULL:
        return IsAnnualFlag(QVariant());
    case SQLITE_INTEGER:
        return IsAnnualFlag(qint64(sqlite3_column_int64(rows, column)));
    case SQLITE_FLOAT:
        return IsAnnualFlag(sqlite3_column_double(rows, column));
    default:
        return IsAnnualFlag(QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(rows, column))));
    }
}

QString columnText(sqlite3_stmt *rows, int column)
{
    if (sqlite3_column_type(rows, column) == SQLITE_NULL)
        return u"(none)"_s;
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(rows, column)),
                             sqlite3_column_bytes(rows, column));
}

[[noreturn]] void throwSqlite(sqlite3 *db, const QString &file)
{
    const int code = db ? sqlite3_extended_errcode(db) : SQLITE_NOMEM;
    throw DatebellError(
            code,
            DescribeFailure(code, file, QString::fromUtf8(db ? sqlite3_errmsg(db) : "no memory")));
}

// A connection of this command's own to the database that `db` opened.
sqlite3 *openConnection(const Database &db, int flags)
{
    sqlite3 *handle = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(db.Name()).constData(), &handle, flags, nullptr)
        != SQLITE_OK) {
        const auto closer = qScopeGuard([&] { sqlite3_close(handle); });
        throwSqlite(handle, db.Name());
    }
    sqlite3_busy_timeout(handle, busyTimeoutMs);
    sqlite3_extended_result_codes(handle, 1);
    return handle;
}

// What tells events apart: a one-off event by its date and description, an annual one by its
// month, day, time of day and description. The date text has a fixed width, so the parts
// cannot run into each other.
QByteArray eventKey(const EventRecord &record)
{
    const QString date = StoredDateText(record.date);
    return (record.annual ? u'A' + date.mid(5) : u'O' + date).toUtf8()
            + record.description.toUtf8();
}

} // namespace

void ReadStoredEvents(Database &db, const std::function<void(const EventRecord &)> &record,
                      const std::function<void(const SkippedRow &)> &skipped)
{
    sqlite3 *handle = openConnection(db, SQLITE_OPEN_READONLY);
    const auto closer = qScopeGuard([&] { sqlite3_close(handle); });
    sqlite3_stmt *rows = nullptr;
    // The date index gives the order without a sort of the whole table.
    if (sqlite3_prepare_v2(handle,
                           "SELECT EventDate, Description, RepeatFlag FROM Events "
                           "ORDER BY EventDate, Description",
                           -1, &rows, nullptr)
        != SQLITE_OK)
        throwSqlite(handle, db.Name());
    const auto finalizer = qScopeGuard([&] { sqlite3_finalize(rows); });
    int rc;
    while ((rc = sqlite3_step(rows)) == SQLITE_ROW) {
        const QString date = columnText(rows, 0);
        const QString description =
                sqlite3_column_type(rows, 1) == SQLITE_NULL ? QString() : columnText(rows, 1);
        const auto value =
                sqlite3_column_type(rows, 0) == SQLITE_TEXT ? StoredDateValue(date) : std::nullopt;
        if (!value) {
            skipped(SkippedRow{ date, columnText(rows, 1), columnText(rows, 2),
                                u"the date is not in the form Datebell writes"_s });
            continue;
        }
        record(EventRecord{ *value, value->time() != QTime(0, 0), description,
                            annualFlag(rows, 2) });
    }
    if (rc != SQLITE_DONE)
        throwSqlite(handle, db.Name());
}

void CheckWritable(Database &db)
{
    if (const QString reason = db.ReadOnlyReason(); !reason.isEmpty())
        throw DatebellError(ErrorNumber::ReadOnly,
                            u"'%1' cannot be written, because %2. Nothing was imported."_s.arg(
                                    db.Name(), reason));
    // A damaged file is not written to; the message says whether a backup copy is there.
    db.QuickCheck(db.Name() + u".bak"_s);
}

EventImport::EventImport(Database &db, bool dryRun) : m_file(db.Name()), m_dryRun(dryRun)
{
    m_db = openConnection(db, dryRun ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
    exec("PRAGMA synchronous=FULL");
    // The date index and the keys take rows in no order: a cache of 24 MiB each keeps more
    // of their pages at hand than SQLite's 2 MiB, which reads and writes them again and again.
    exec("PRAGMA main.cache_size=-24576");
    exec("PRAGMA temp.cache_size=-24576");
    // Started before the table is read, so that no other program adds an event between the
    // look for duplicates and the additions.
    exec(dryRun ? "BEGIN" : "BEGIN IMMEDIATE");
    m_open = true;
    // The keys of the events there and added, in a temporary table: on disk, not in memory,
    // however many there are.
    exec("CREATE TEMP TABLE seen (k BLOB PRIMARY KEY) WITHOUT ROWID");
    exec("INSERT OR IGNORE INTO temp.seen "
         "SELECT CAST(CASE WHEN RepeatFlag IS NULL OR RepeatFlag <> 0 "
         "THEN 'A' || substr(EventDate, 6) ELSE 'O' || EventDate END "
         "|| ifnull(Description, '') AS BLOB) "
         "FROM Events WHERE typeof(EventDate) = 'text'");
    m_seen = prepare("INSERT OR IGNORE INTO temp.seen VALUES (?)");
    if (!dryRun)
        m_insert = prepare("INSERT INTO Events (EventDate, Description, RepeatFlag) "
                           "VALUES (?, ?, ?)");
}

EventImport::~EventImport()
{
    sqlite3_finalize(m_seen);
    sqlite3_finalize(m_insert);
    if (m_open)
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(m_db);
}

void EventImport::fail()
{
    throwSqlite(m_db, m_file);
}

sqlite3_stmt *EventImport::prepare(const char *sql)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK)
        fail();
    return statement;
}

void EventImport::exec(const char *sql)
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        fail();
}

bool EventImport::add(const EventRecord &record)
{
    const QByteArray key = eventKey(record);
    sqlite3_bind_blob(m_seen, 1, key.constData(), int(key.size()), SQLITE_STATIC);
    int rc = sqlite3_step(m_seen);
    sqlite3_reset(m_seen);
    if (rc != SQLITE_DONE)
        fail();
    if (sqlite3_changes(m_db) == 0) {
        ++duplicates;
        return false;
    }
    ++added;
    if (!m_insert)
        return true;
    const QByteArray date = StoredDateText(record.date).toUtf8();
    const QByteArray description = record.description.toUtf8();
    sqlite3_bind_text(m_insert, 1, date.constData(), int(date.size()), SQLITE_STATIC);
    sqlite3_bind_text(m_insert, 2, description.constData(), int(description.size()), SQLITE_STATIC);
    sqlite3_bind_int(m_insert, 3, record.annual ? -1 : 0);
    rc = sqlite3_step(m_insert);
    sqlite3_reset(m_insert);
    if (rc != SQLITE_DONE)
        fail();
    return true;
}

void EventImport::commit()
{
    if (!m_dryRun)
        exec("COMMIT");
    else
        exec("ROLLBACK");
    m_open = false;
}
