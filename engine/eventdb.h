#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <map>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

class Database;
class Recordset;

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

private:
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_stmt = nullptr;
};

// One column of a record set's current row.
class Field
{
public:
    Field(Recordset *recordset, int column) : m_recordset(recordset), m_column(column) { }
    QString Name() const;
    // The stored value: text, a 64-bit integer, a double or null.
    QVariant Value() const;
    // Sets the value in the edit buffer; a QDate or QDateTime is stored in the stored date
    // form and a bool as -1 or 0.
    void setValue(const QVariant &value);

private:
    Recordset *m_recordset;
    int m_column;
};

// A record set over one query, fetched as the position moves: opening it reads one row.
// A "SELECT * FROM table ..." query gives an updatable set that addresses its rows by rowid;
// any other query gives a read-only one.
class Recordset
{
public:
    ~Recordset();
    Recordset(const Recordset &) = delete;
    Recordset &operator=(const Recordset &) = delete;

    bool EOF_();
    void MoveFirst();
    void MoveNext();
    void MoveLast(int options = 0);
    // The number of rows reached so far, less those deleted here: the whole count after
    // MoveLast.
    qint64 RecordCount() const;
    // The current row's index in the selection (-1 past the end), and a move to an index.
    qsizetype AbsolutePosition();
    void setAbsolutePosition(qsizetype position);
    // The values of any row of the selection, without moving to it.
    QVariantList rowValues(qsizetype position);

    Field Fields(const QString &name);
    Field Fields(int index);
    int FieldCount() const { return int(m_names.size()); }

    // Removes the current row at once; the position stays on it until MoveNext, which goes
    // to the row after it.
    void Delete();
    void Edit();
    // Starts a new row in the edit buffer; Update adds it at the end of the selection and
    // leaves the position where it was.
    void AddNew();
    void CancelUpdate(int type = 1);
    void Update(int type = 1, bool force = false);
    enum class EditMode { None = 0, InProgress = 1, Add = 2 };
    void Close();

private:
    friend class Database;
    friend class Field;
    Recordset(Database *db, const QString &sql);

    // Slots hold the rows reached, deleted ones included; positions count the rows left.
    bool reach(qsizetype slot);
    bool reachPosition(qsizetype position);
    void addSlot(qint64 rowid);
    void markDeleted(qsizetype slot);
    qsizetype deletedBefore(qsizetype slot) const;
    qsizetype slotOf(qsizetype position) const;
    qsizetype positionOf(qsizetype slot) const;
    // `slot`, or the first row after it when this set deleted the row there.
    qsizetype nextRowFrom(qsizetype slot) const;
    void fixSelection();
    void requireCurrent();
    void requireUpdatable() const;
    const QVariantList &currentValues();
    bool lookUp(qint64 rowid, QVariantList *values);
    void moveTo(qsizetype index);
    // A statement that addresses one row: `head` followed by " WHERE rowid=?". Each record set
    // keeps the ones it uses, so that a row costs no text building or cache look-up.
    Statement &rowStatement(const QString &head);

    Database *m_db;
    QString m_table; // empty for a read-only set
    Statement m_scan; // streams the selection until it is complete or fixed
    bool m_complete = false;
    std::vector<qint64> m_ids; // row ids reached so far, by slot
    // Rows deleted through this set, by slot, and a Fenwick tree of their counts; both empty
    // until the first delete.
    std::vector<bool> m_deleted;
    std::vector<qint32> m_deletedBefore;
    qsizetype m_deletedCount = 0;
    std::vector<QVariantList> m_rows; // values of the rows reached, read-only sets only
    QStringList m_names;
    qsizetype m_pos = 0; // a slot
    QVariantList m_current;
    bool m_currentLoaded = false;
    bool m_onDeleted = false; // the position stands on a row this set deleted
    EditMode m_mode = EditMode::None;
    QVariantList m_buffer;
    std::vector<bool> m_dirty;
    Statement *m_lookup = nullptr;
    Statement *m_remove = nullptr;
    std::map<std::vector<bool>, Statement *> m_updates; // by the columns they set
    std::map<std::vector<bool>, Statement *> m_inserts;
};

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
    void Close();
    QString Name() const { return m_name; }
    bool isOpen() const { return m_db != nullptr; }

    // Why nothing can be written to the database, or empty when it can: the file or its
    // folder (where the journal goes) is read-only.
    QString ReadOnlyReason() const;
    // Raises an error naming the file when SQLite finds it damaged: the message names the
    // newest backup beside it, the checker's output is the error's details.
    void QuickCheck(const QString &backup);
    // Writes a copy of the database to `path` with the file's permission bits, replacing what
    // was there only once the copy is complete and on disk. The caller holds the write lock
    // (a Transaction), so the copy is of the committed table.
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

class DBEngine
{
public:
    // Opens an existing event database for shared reading and writing; never creates one.
    static std::unique_ptr<Database> OpenDatabase(const QString &name);
};

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

// The backup copies of a database beside it, newest first: "<file>.bak", then "<file>.bak.1"
// to "<file>.bak.4".
inline constexpr int BackupGenerations = 5;
QString BackupFile(const QString &database, int generation = 0);
// The error for a backup copy of `database` that could not be written to `copy`, by the
// errno of the failure: a full disk is said as such.
class DatebellError;
DatebellError CopyError(const QString &copy, int error, const QString &database);

// The newest backup copy beside `file`, or empty when there is none.
QString NewestBackup(const QString &file);
// What the user can do about a lost or damaged `file`: copy back the newest backup beside it,
// named, or that there is none.
QString RestoreAdvice(const QString &file);
// A failure's message for the user, by SQLite's result code: what happened to which file,
// and that nothing was changed.
QString DescribeFailure(int code, const QString &file, const QString &detail);
// True for a write that failed but can be tried again later, losing nothing: a lock, a full
// disk, an I/O error, a read-only file.
bool IsRecoverableWriteError(int number);

// The query text with each "#...#" date literal written as a SQLite text literal in the
// stored date form. Quoted texts and names are left alone.
QString TranslateDateLiterals(const QString &text);
