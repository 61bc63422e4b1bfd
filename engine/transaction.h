#pragma once

class Database;

// A write transaction, started at once (BEGIN IMMEDIATE, so a lock conflict shows here and
// not half-way) and rolled back on destruction unless committed. An exclusive one (BEGIN
// EXCLUSIVE) also waits out other programs' readers within the busy timeout: with the
// rollback journal a commit needs them gone, so once it has begun nobody can stop the commit.
// A deferred one (BEGIN) takes no lock until it reads or writes: a read of several statements
// that sees one state of the table.
class Transaction
{
public:
    enum Kind { Immediate, Exclusive, Deferred };
    explicit Transaction(Database &db, Kind kind = Immediate);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();
    // Ends it at once, changing nothing.
    void rollback();

private:
    Database &m_db;
    bool m_open = true;
};
