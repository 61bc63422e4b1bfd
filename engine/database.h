#pragma once

#include "engine/statement.h"

#include <QString>

#include <map>
#include <memory>
#include <vector>

struct sqlite3;

class Recordset;

// An open event database: one SQLite connection.
class Database
{
public:
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Runs a query text of the engine's dialect; "#...#" date literals are allowed.
    std::unique_ptr<Recordset> OpenRecordset(const QString &text);
    // Runs a statement that returns no rows.
    void Execute(const QString &text);
    // A statement of SQLite's own dialect on this connection, to be stepped by the caller: for
    // a pass over many rows that keeps none of them.
    Statement Prepare(const QString &sql);
    // The rows that the last INSERT, UPDATE or DELETE on this connection changed.
    int Changes() const;
    void Close();
    QString Name() const { return m_name; }
    bool isOpen() const { return m_db != nullptr; }

    // Why nothing can be written to the database, or empty when it can: the file or its
    // folder (where the journal goes) is read-only.
    QString ReadOnlyReason() const;
    // Raises an error naming the file when SQLite finds it damaged: the message names the
    // newest backup beside it, the checker's output is the error's details.
    void QuickCheck();
    // Writes a copy of the database to `path` with the file's permission bits, replacing what
    // was there only once the copy is complete and on disk. The caller holds the write lock
    // (a Transaction) and has changed nothing in it yet, so the copy is of the committed table.
    void BackupTo(const QString &path);
    // Whether the table Events carries the schema's check on the form of its dates.
    bool HasDateCheck();

private:
    friend class DBEngine;
    friend class Recordset;
    friend class Transaction;
    Database(const QString &name, sqlite3 *db);

    sqlite3 *handle() const;
    Statement &cached(const QString &sql);
    // Every open record set fixes its selection before anything on this connection writes.
    void beforeWrite();

    QString m_name;
    sqlite3 *m_db;
    std::vector<Recordset *> m_recordsets;
    std::map<QString, std::unique_ptr<Statement>> m_cache;
};
