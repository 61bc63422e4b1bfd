#include "engine/transaction.h"

#include "engine/database.h"

#include <sqlite3.h>

Transaction::Transaction(Database &db, Kind kind) : m_db(db)
{
    m_db.Execute(kind == Exclusive          ? QStringLiteral("BEGIN EXCLUSIVE")
                         : kind == Deferred ? QStringLiteral("BEGIN")
                                            : QStringLiteral("BEGIN IMMEDIATE"));
}

Transaction::~Transaction()
{
    if (m_open && m_db.isOpen())
        sqlite3_exec(m_db.m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit()
{
    m_db.Execute(QStringLiteral("COMMIT"));
    m_open = false;
}

void Transaction::rollback()
{
    m_db.Execute(QStringLiteral("ROLLBACK"));
    m_open = false;
}
