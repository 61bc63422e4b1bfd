#include "eventstore.h"

#include "engine/conversions.h"
#include "engine/dates.h"
#include "engine/errors.h"
#include "engine/eventdb.h"

#include <optional>

using namespace Qt::StringLiterals;

namespace {

// Whether a stored flag makes the event annual, read as the reminder reads it.
bool annualFlag(const Statement &rows, int column)
{
    const QVariant flag = rows.column(column);
    return IsAnnualFlag(flag.typeId() == QMetaType::QByteArray ? QVariant(rows.text(column))
                                                               : flag);
}

QString columnText(const Statement &rows, int column)
{
    return rows.column(column).isNull() ? u"(none)"_s : rows.text(column);
}

// What tells events apart: a one-off event by its date and description, an annual one by its
// month, day, time of day and description. The date text has a fixed width, so the parts
// cannot run into each other.
QString eventKey(const EventRecord &record)
{
    const QString date = StoredDateText(record.date);
    return (record.annual ? u'A' + date.mid(5) : u'O' + date) + record.description;
}

} // namespace

void ReadStoredEvents(Database &db, const std::function<void(const EventRecord &)> &record,
                      const std::function<void(const SkippedRow &)> &skipped)
{
    // The date index gives the order without a sort of the whole table.
    Statement rows = db.Prepare(u"SELECT EventDate, Description, RepeatFlag FROM Events "
                                "ORDER BY EventDate, Description"_s);
    while (rows.step()) {
        const QString date = columnText(rows, 0);
        const QString description = rows.column(1).isNull() ? QString() : columnText(rows, 1);
        const auto value = rows.column(0).typeId() == QMetaType::QString ? StoredDateValue(date)
                                                                         : std::nullopt;
        if (!value) {
            skipped(SkippedRow{ date, columnText(rows, 1), columnText(rows, 2),
                                u"the date is not in the form Datebell writes"_s });
            continue;
        }
        record(EventRecord{ *value, value->time() != QTime(0, 0), description,
                            annualFlag(rows, 2) });
    }
}

void CheckWritable(Database &db)
{
    if (const QString reason = db.ReadOnlyReason(); !reason.isEmpty())
        throw DatebellError(ErrorNumber::ReadOnly,
                            u"'%1' cannot be written, because %2. Nothing was imported."_s.arg(
                                    db.Name(), reason));
    // A damaged file is not written to; the message says whether a backup copy is there.
    db.QuickCheck();
}

EventImport::EventImport(Database &db, bool dryRun) : m_db(db), m_dryRun(dryRun)
{
    // The date index and the keys take rows in no order: a cache of 24 MiB each keeps more
    // of their pages at hand than SQLite's 2 MiB, which reads and writes them again and again.
    db.Execute(u"PRAGMA main.cache_size=-24576"_s);
    db.Execute(u"PRAGMA temp.cache_size=-24576"_s);
    // Started before the table is read, so that no other program adds an event between the
    // look for duplicates and the additions. Whatever fails from here on, the members already
    // made release themselves: the transaction rolls back, the statements are finalized.
    m_transaction.emplace(db, dryRun ? Transaction::Deferred : Transaction::Immediate);
    // The keys of the events there and added, in a temporary table: on disk, not in memory,
    // however many there are.
    db.Execute(u"CREATE TEMP TABLE seen (k BLOB PRIMARY KEY) WITHOUT ROWID"_s);
    db.Execute(u"INSERT OR IGNORE INTO temp.seen "
               "SELECT CAST(CASE WHEN RepeatFlag IS NULL OR RepeatFlag <> 0 "
               "THEN 'A' || substr(EventDate, 6) ELSE 'O' || EventDate END "
               "|| ifnull(Description, '') AS BLOB) "
               "FROM Events WHERE typeof(EventDate) = 'text'"_s);
    m_seen = db.Prepare(u"INSERT OR IGNORE INTO temp.seen VALUES (CAST(? AS BLOB))"_s);
    if (!dryRun)
        m_insert = db.Prepare(u"INSERT INTO Events (EventDate, Description, RepeatFlag) "
                              "VALUES (?, ?, ?)"_s);
}

bool EventImport::add(const EventRecord &record)
{
    m_seen.bind(1, eventKey(record));
    m_seen.step();
    m_seen.reset();
    if (m_db.Changes() == 0) {
        ++duplicates;
        return false;
    }
    ++added;
    if (m_insert.isNull())
        return true;
    m_insert.bind(1, StoredDateText(record.date));
    m_insert.bind(2, record.description);
    m_insert.bind(3, record.annual ? -1 : 0);
    m_insert.step();
    m_insert.reset();
    return true;
}

void EventImport::commit()
{
    if (m_dryRun)
        m_transaction->rollback();
    else
        m_transaction->commit();
}
