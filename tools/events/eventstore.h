#pragma once

// The event table's side of datebell-events: reading every event for an export, and adding
// the events of a file in one transaction. Both go a row at a time, through statements of
// their own on the database's connection, so that neither the table nor the file is ever held
// whole.

#include "engine/statement.h"
#include "engine/transaction.h"
#include "eventformats.h"

#include <QString>

#include <functional>
#include <optional>

class Database;

// A row that an export passes over, as it stands in the table, and why.
struct SkippedRow
{
    QString date;
    QString description;
    QString flag;
    QString reason;
};

// Hands on every event of the table in date and description order. Rows another tool wrote
// with a date not in the stored form (or none) or an annual flag other than -1, 0 or none go
// to `skipped`.
void ReadStoredEvents(Database &db, const std::function<void(const EventRecord &)> &record,
                      const std::function<void(const SkippedRow &)> &skipped);

// Raises a DatebellError when nothing may be written to the database: it is read-only, or
// SQLite finds it damaged.
void CheckWritable(Database &db);

// Adds records that the table does not hold yet, all in one transaction: a failure part of
// the way, or an import dropped without commit(), leaves the table as it was. A record is a
// duplicate of one with the same date, description and annual flag, and an annual one also of
// an annual event on the same day and time of another year. A dry run finds the same records
// and writes nothing.
class EventImport
{
public:
    EventImport(Database &db, bool dryRun);
    EventImport(const EventImport &) = delete;
    EventImport &operator=(const EventImport &) = delete;

    // True when the record is added (or would be, in a dry run).
    bool add(const EventRecord &record);
    void commit();

    qint64 added = 0;
    qint64 duplicates = 0;

private:
    Database &m_db;
    bool m_dryRun;
    // Declared before the statements, so that they are finalized before it rolls back.
    std::optional<Transaction> m_transaction;
    Statement m_seen;
    Statement m_insert; // none in a dry run
};
