#pragma once

#include <QString>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;

// A prepared SQLite statement, finalized when it goes out of scope.
class Statement
{
public:
    Statement() = default;
    Statement(sqlite3 *db, const QString &sql);
    ~Statement();
    Statement(Statement &&other) noexcept;
    Statement &operator=(Statement &&other) noexcept;

    bool isNull() const { return m_stmt == nullptr; }
    void bind(int index, const QVariant &value); // 1-based, as SQLite binds
    // Runs the statement one step: true when it produced a row.
    bool step();
    void reset();
    int columnCount() const;
    QString columnName(int column) const;
    QVariant column(int column) const; // 0-based, as SQLite reads
    // The column as SQLite writes it out as text (a number in SQLite's form); empty for null.
    QString text(int column) const;

private:
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
};
