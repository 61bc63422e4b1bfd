#pragma once

class Database;

// A write transaction, started at once (BEGIN IMMEDIATE, so a lock conflict shows here and
// not half-way) and rolled back on destruction unless committed. An exclusive one (BEGIN
// EXCLUSIVE) also waits out other programs' readers within the busy timeout: with the
// rollback journal a commit needs them gone, so once it has begun nobody can stop the commit.
class Transaction
{
public:
    enum Kind { Immediate, Exclusive };
    explicit Transaction(Database &db, Kind kind = Immediate);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    Database &m_db;
    bool m_open = true;
};
