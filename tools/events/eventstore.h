#pragma once

// The event table's side of datebell-events: reading every event for an export, and adding
// the events of a file in one transaction.

#include "eventformats.h"

#include <QList>
#include <QString>

class Database;

// A row that an export passes over, as it stands in the table, and why.
struct SkippedRow
{
    QString date;
    QString description;
    QString flag;
    QString reason;
};

struct StoredEvents
{
    QList<EventRecord> records; // in date and description order
    QList<SkippedRow> skipped;
};

// Every event of the table. Rows another tool wrote with a date not in the stored form (or
// none) or an annual flag other than -1, 0 or none are passed over and listed.
StoredEvents ReadStoredEvents(Database &db);

// Raises a DatebellError when nothing may be written to the database: it is read-only, or
// SQLite finds it damaged.
void CheckWritable(Database &db);

struct ImportOutcome
{
    QList<EventRecord> added; // in the file's order
    int duplicates = 0; // already in the table, or earlier in the same file
};

// Adds each record that the table does not hold yet with the same date, description and
// annual flag, all in one transaction: a failure part of the way leaves the table as it was.
// A dry run finds the same records and writes nothing.
ImportOutcome ImportEvents(Database &db, const QList<EventRecord> &records, bool dryRun);
