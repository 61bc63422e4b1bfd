#include "engine/eventdb.h"

#include "engine/dates.h"
#include "engine/errors.h"
#include "engine/schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// How long a write waits for another program's short write to finish.
constexpr int busyTimeoutMs = 3000;

constexpr int cannotUpdate = 3027;
constexpr int dateSyntax = 3075;

QString databaseFile(sqlite3 *db);

[[noreturn]] void throwSqlite(sqlite3 *db, const QString &context = QString())
{
    QString detail = QString::fromUtf8(sqlite3_errmsg(db));
    if (!context.isEmpty())
        detail += QStringLiteral(" (") + context + u')';
    const int code = sqlite3_extended_errcode(db);
    throw DatebellError(code, DescribeFailure(code, databaseFile(db), detail));
}

void check(sqlite3 *db, int rc, const QString &context = QString())
{
    if (rc != SQLITE_OK)
        throwSqlite(db, context);
}

QString quotedName(const QString &name)
{
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// The next word of `sql` from `pos` on, past blanks; `pos` moves past it. A word is a run of
// letters, digits and underscores, or one other character.
QStringView nextWord(QStringView sql, qsizetype &pos)
{
    while (pos < sql.size() && sql.at(pos).isSpace())
        ++pos;
    const qsizetype start = pos;
    const auto inWord = [](QChar c) { return c.isLetterOrNumber() || c == u'_'; };
    if (pos < sql.size() && !inWord(sql.at(pos)))
        return sql.mid(pos++, 1);
    while (pos < sql.size() && inWord(sql.at(pos)))
        ++pos;
    return sql.mid(start, pos - start);
}

// Splits "SELECT * FROM table rest" so that the row id can be selected too. Read by hand:
// this runs for every record set, and a regular expression costs more to compile than the
// whole query does to run.
bool splitTableQuery(const QString &sql, QString *table, QString *rest)
{
    qsizetype pos = 0;
    const auto is = [](QStringView word, QLatin1StringView keyword) {
        return word.compare(keyword, Qt::CaseInsensitive) == 0;
    };
    if (!is(nextWord(sql, pos), "SELECT"_L1) || nextWord(sql, pos) != u"*"
        || !is(nextWord(sql, pos), "FROM"_L1))
        return false;
    const QStringView name = nextWord(sql, pos);
    if (name.isEmpty() || !(name.front().isLetter() || name.front() == u'_'))
        return false;
    // Only a query over one table has one row id to a row.
    qsizetype after = pos;
    const QStringView following = nextWord(sql, after);
    for (const auto keyword :
         { ","_L1, "JOIN"_L1, "INNER"_L1, "LEFT"_L1, "CROSS"_L1, "NATURAL"_L1, "AS"_L1 }) {
        if (is(following, keyword))
            return false;
    }
    *table = name.toString();
    *rest = sql.mid(pos);
    return true;
}

// The file behind a connection, for messages.
QString databaseFile(sqlite3 *db)
{
    const char *name = sqlite3_db_filename(db, "main");
    return name && *name ? QString::fromLocal8Bit(name) : QStringLiteral("the event database");
}

} // namespace

QString NewestBackup(const QString &file)
{
    for (int generation = 0; generation < BackupGenerations; ++generation) {
        if (const QString copy = BackupFile(file, generation); QFileInfo::exists(copy))
            return copy;
    }
    return QString();
}

QString RestoreAdvice(const QString &file)
{
    const QString copy = NewestBackup(file);
    if (copy.isEmpty())
        return QStringLiteral("There is no backup copy beside it.");
    return QStringLiteral("To get the events back, close Datebell and copy the backup '%1' to "
                          "'%2' (the guide's \"Backup and restore\" says how).")
            .arg(copy, file);
}

QString DescribeFailure(int code, const QString &file, const QString &detail)
{
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("'%1' is in use by another program, which has locked it. Nothing "
                              "was changed.\nTry again when that program has finished, or close "
                              "it.")
                .arg(file);
    case SQLITE_READONLY:
        return QStringLiteral("'%1' cannot be written: it is read-only (%2). Nothing was "
                              "changed.\nMake the file and its folder writable for you.")
                .arg(file, detail);
    case SQLITE_FULL:
        return QStringLiteral("'%1' could not be written: the disk is full. Nothing was "
                              "changed.\nFree some space on that disk and try again.")
                .arg(file);
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
        return QStringLiteral("'%1' could not be read or written (%2). Nothing was changed.\n"
                              "Check the disk, and that you can write to its folder.")
                .arg(file, detail);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("'%1' is damaged (%2). Nothing was written to it.\n%3")
                .arg(file, detail, RestoreAdvice(file));
    default:
        return QStringLiteral("'%1': %2").arg(file, detail);
    }
}

DatebellError CopyError(const QString &copy, int error, const QString &database)
{
    const QString folder = QFileInfo(database).absolutePath();
    if (error == ENOSPC || error == EDQUOT)
        return DatebellError(
                SQLITE_FULL,
                QStringLiteral("Past events were not tidied: the disk is full, so the backup copy "
                               "'%2' could not be written. Nothing was changed.\nFree some space "
                               "on the disk that holds '%1'; past events are tidied at the next "
                               "pass.")
                        .arg(folder, copy));
    return DatebellError(SQLITE_CANTOPEN,
                         QStringLiteral("Past events were not tidied: the backup copy '%1' could "
                                        "not be written (%2). Nothing was changed.\nCheck that "
                                        "you can write to '%3'; past events are tidied at the "
                                        "next pass.")
                                 .arg(copy, QString::fromLocal8Bit(std::strerror(error)), folder));
}

QString BackupFile(const QString &database, int generation)
{
    return database + QStringLiteral(".bak")
            + (generation > 0 ? u'.' + QString::number(generation) : QString());
}

bool IsRecoverableWriteError(int number)
{
    switch (number & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_READONLY:
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_CANTOPEN:
        return true;
    default:
        return false;
    }
}

// ---- Statement

Statement::Statement(sqlite3 *db, const QString &sql) : m_db(db)
{
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr) != SQLITE_OK)
        throwSqlite(db, sql);
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement &&other) noexcept
    : m_db(std::exchange(other.m_db, nullptr)), m_stmt(std::exchange(other.m_stmt, nullptr))
{
}

Statement &Statement::operator=(Statement &&other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(m_stmt);
        m_db = std::exchange(other.m_db, nullptr);
        m_stmt = std::exchange(other.m_stmt, nullptr);
    }
    return *this;
}

void Statement::bind(int index, const QVariant &value)
{
    int rc = SQLITE_OK;
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        rc = sqlite3_bind_null(m_stmt, index);
        break;
    case QMetaType::Bool:
        rc = sqlite3_bind_int(m_stmt, index, value.toBool() ? -1 : 0);
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::LongLong:
        rc = sqlite3_bind_int64(m_stmt, index, value.toLongLong());
        break;
    case QMetaType::Double:
        rc = sqlite3_bind_double(m_stmt, index, value.toDouble());
        break;
    case QMetaType::QDate:
        return bind(index, StoredDateText(EventDateTime(value.toDate())));
    case QMetaType::QDateTime:
        return bind(index, StoredDateText(value.toDateTime()));
    default: {
        if (value.isNull()) {
            rc = sqlite3_bind_null(m_stmt, index);
            break;
        }
        const QByteArray utf8 = value.toString().toUtf8();
        rc = sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    }
    check(m_db, rc);
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const int code = sqlite3_extended_errcode(m_db);
    const QString detail = QString::fromUtf8(sqlite3_errmsg(m_db));
    sqlite3_reset(m_stmt);
    throw DatebellError(code, DescribeFailure(code, databaseFile(m_db), detail));
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int Statement::columnCount() const
{
    return sqlite3_column_count(m_stmt);
}

QString Statement::columnName(int column) const
{
    return QString::fromUtf8(sqlite3_column_name(m_stmt, column));
}

QVariant Statement::column(int column) const
{
    switch (sqlite3_column_type(m_stmt, column)) {
    case SQLITE_INTEGER:
        return QVariant(qint64(sqlite3_column_int64(m_stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(m_stmt, column));
    case SQLITE_TEXT:
        return QVariant(QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column)),
                sqlite3_column_bytes(m_stmt, column)));
    case SQLITE_BLOB:
        return QVariant(QByteArray(static_cast<const char *>(sqlite3_column_blob(m_stmt, column)),
                                   sqlite3_column_bytes(m_stmt, column)));
    default:
        return QVariant();
    }
}

// ---- Field

QString Field::Name() const
{
    return m_recordset->m_names.at(m_column);
}

QVariant Field::Value() const
{
    if (m_recordset->m_mode != Recordset::EditMode::None)
        return m_recordset->m_buffer.at(m_column);
    return m_recordset->currentValues().at(m_column);
}

void Field::setValue(const QVariant &value)
{
    if (m_recordset->m_mode == Recordset::EditMode::None)
        throw DatebellError(ErrorNumber::UpdateWithoutEdit,
                            QStringLiteral("Update or CancelUpdate without AddNew or Edit."));
    m_recordset->m_buffer[m_column] = value;
    m_recordset->m_dirty[m_column] = true;
}

// ---- Recordset

Recordset::Recordset(Database *db, const QString &sql) : m_db(db)
{
    const QString translated = TranslateDateLiterals(sql);
    QString rest;
    if (splitTableQuery(translated, &m_table, &rest)) {
        m_scan =
                Statement(db->handle(),
                          QStringLiteral("SELECT ") + quotedName(m_table)
                                  + QStringLiteral(".rowid, * FROM ") + quotedName(m_table) + rest);
        for (int c = 1; c < m_scan.columnCount(); ++c)
            m_names << m_scan.columnName(c);
    } else {
        m_scan = Statement(db->handle(), translated);
        for (int c = 0; c < m_scan.columnCount(); ++c)
            m_names << m_scan.columnName(c);
    }
    m_dirty.assign(m_names.size(), false);
    db->m_recordsets.push_back(this);
}

Recordset::~Recordset()
{
    Close();
}

void Recordset::Close()
{
    if (!m_db)
        return;
    m_scan = Statement();
    auto &sets = m_db->m_recordsets;
    sets.erase(std::remove(sets.begin(), sets.end(), this), sets.end());
    m_db = nullptr;
}

// Steps the selection until row `index` is reached; false when the selection is shorter.
bool Recordset::reach(qsizetype index)
{
    if (!m_db)
        throw DatebellError(ErrorNumber::ItemNotFound, QStringLiteral("The record set is closed."));
    const bool readOnly = m_table.isEmpty();
    while (!m_complete && qsizetype(m_ids.size()) <= index) {
        if (!m_scan.step()) {
            m_complete = true;
            m_scan = Statement(); // a half-read statement would hold a read lock
            break;
        }
        if (readOnly) {
            QVariantList row;
            for (int c = 0; c < m_scan.columnCount(); ++c)
                row << m_scan.column(c);
            m_rows.push_back(row);
            addSlot(qint64(m_ids.size()));
        } else {
            addSlot(m_scan.column(0).toLongLong());
        }
    }
    return index < qsizetype(m_ids.size());
}

void Recordset::addSlot(qint64 rowid)
{
    m_ids.push_back(rowid);
    if (m_deletedBefore.empty())
        return;
    // Fenwick node i counts the deleted slots in (i - lowbit(i), i]; the new one is not.
    const qsizetype node = qsizetype(m_ids.size());
    m_deleted.push_back(false);
    m_deletedBefore.push_back(
            qint32(deletedBefore(node - 1) - deletedBefore(node - (node & -node))));
}

qsizetype Recordset::deletedBefore(qsizetype slot) const
{
    qsizetype count = 0;
    for (qsizetype node = slot; node > 0; node -= node & -node)
        count += m_deletedBefore[size_t(node)];
    return count;
}

void Recordset::markDeleted(qsizetype slot)
{
    if (m_deletedBefore.empty()) {
        m_deletedBefore.assign(m_ids.size() + 1, 0);
        m_deleted.assign(m_ids.size(), false);
    }
    m_deleted[size_t(slot)] = true;
    ++m_deletedCount;
    for (qsizetype node = slot + 1; node < qsizetype(m_deletedBefore.size()); node += node & -node)
        ++m_deletedBefore[size_t(node)];
}

qsizetype Recordset::slotOf(qsizetype position) const
{
    if (m_deletedCount == 0)
        return position;
    // Descends the Fenwick tree to the last node with fewer than position + 1 rows left.
    const qsizetype nodes = qsizetype(m_deletedBefore.size()) - 1;
    qsizetype step = 1;
    while (step * 2 <= nodes)
        step *= 2;
    qsizetype node = 0, wanted = position + 1;
    for (; step > 0; step /= 2) {
        const qsizetype next = node + step;
        if (next <= nodes && step - m_deletedBefore[size_t(next)] < wanted) {
            node = next;
            wanted -= step - m_deletedBefore[size_t(next)];
        }
    }
    return node;
}

qsizetype Recordset::positionOf(qsizetype slot) const
{
    return m_deletedCount == 0 ? slot : slot - deletedBefore(slot);
}

qsizetype Recordset::nextRowFrom(qsizetype slot) const
{
    if (m_deletedCount == 0 || slot >= qsizetype(m_ids.size()) || !m_deleted[size_t(slot)])
        return slot;
    return slotOf(positionOf(slot));
}

bool Recordset::reachPosition(qsizetype position)
{
    // Once this set has deleted a row its selection is complete.
    return position >= 0 && (m_deletedCount == 0 ? reach(position) : position < RecordCount());
}

void Recordset::fixSelection()
{
    reach(std::numeric_limits<qsizetype>::max());
}

bool Recordset::EOF_()
{
    // Just after a Delete the position stands on the deleted row, which is not past the end.
    return !m_onDeleted && !reach(m_pos);
}

void Recordset::moveTo(qsizetype index)
{
    m_pos = index;
    m_currentLoaded = false;
    m_onDeleted = false;
    m_mode = EditMode::None;
}

void Recordset::MoveFirst()
{
    if (!reachPosition(0))
        throw DatebellError(ErrorNumber::NoCurrentRecord, QStringLiteral("No current record."));
    moveTo(slotOf(0));
}

void Recordset::MoveNext()
{
    if (m_onDeleted) {
        // The deleted row is gone from the selection: go to the first row after it.
        moveTo(nextRowFrom(m_pos));
        return;
    }
    if (!reach(m_pos))
        throw DatebellError(ErrorNumber::NoCurrentRecord, QStringLiteral("No current record."));
    moveTo(nextRowFrom(m_pos + 1));
}

void Recordset::MoveLast(int)
{
    fixSelection();
    if (RecordCount() == 0)
        throw DatebellError(ErrorNumber::NoCurrentRecord, QStringLiteral("No current record."));
    moveTo(slotOf(RecordCount() - 1));
}

qint64 Recordset::RecordCount() const
{
    return qint64(m_ids.size()) - m_deletedCount;
}

qsizetype Recordset::AbsolutePosition()
{
    return EOF_() ? -1 : positionOf(m_pos);
}

void Recordset::setAbsolutePosition(qsizetype position)
{
    if (!reachPosition(position))
        throw DatebellError(ErrorNumber::NoCurrentRecord, QStringLiteral("No current record."));
    moveTo(slotOf(position));
}

QVariantList Recordset::rowValues(qsizetype position)
{
    if (!reachPosition(position))
        throw DatebellError(ErrorNumber::NoCurrentRecord, QStringLiteral("No current record."));
    const qsizetype slot = slotOf(position);
    if (m_table.isEmpty())
        return m_rows.at(slot);
    if (slot == m_pos && !m_onDeleted)
        return currentValues();
    QVariantList values;
    if (!lookUp(m_ids.at(slot), &values))
        throw DatebellError(ErrorNumber::RecordDeleted, QStringLiteral("Record is deleted."));
    return values;
}

Field Recordset::Fields(const QString &name)
{
    for (int c = 0; c < m_names.size(); ++c) {
        if (m_names.at(c).compare(name, Qt::CaseInsensitive) == 0)
            return Field(this, c);
    }
    throw DatebellError(ErrorNumber::ItemNotFound,
                        QStringLiteral("Item not found in this collection: ") + name);
}

Field Recordset::Fields(int index)
{
    if (index < 0 || index >= m_names.size())
        throw DatebellError(ErrorNumber::ItemNotFound,
                            QStringLiteral("Item not found in this collection: %1").arg(index));
    return Field(this, index);
}

void Recordset::requireCurrent()
{
    if (m_onDeleted)
        throw DatebellError(ErrorNumber::RecordDeleted, QStringLiteral("Record is deleted."));
    if (!reach(m_pos))
        throw DatebellError(ErrorNumber::NoCurrentRecord, QStringLiteral("No current record."));
}

void Recordset::requireUpdatable() const
{
    if (m_table.isEmpty())
        throw DatebellError(cannotUpdate,
                            QStringLiteral("Cannot update. Database or object is read-only."));
}

bool Recordset::lookUp(qint64 rowid, QVariantList *values)
{
    if (!m_lookup)
        m_lookup = &rowStatement(QStringLiteral("SELECT * FROM ") + quotedName(m_table));
    m_lookup->bind(1, rowid);
    const bool found = m_lookup->step();
    values->clear();
    if (found) {
        for (int c = 0; c < m_lookup->columnCount(); ++c)
            *values << m_lookup->column(c);
    }
    m_lookup->reset();
    return found;
}

const QVariantList &Recordset::currentValues()
{
    requireCurrent();
    if (m_currentLoaded)
        return m_current;
    if (m_table.isEmpty()) {
        m_current = m_rows.at(m_pos);
    } else if (!m_scan.isNull() && qsizetype(m_ids.size()) == m_pos + 1) {
        // The scan still sits on this row.
        m_current.clear();
        for (int c = 1; c < m_scan.columnCount(); ++c)
            m_current << m_scan.column(c);
    } else if (!lookUp(m_ids.at(m_pos), &m_current)) {
        // Deleted since the selection was fixed, through another record set or connection.
        throw DatebellError(ErrorNumber::RecordDeleted, QStringLiteral("Record is deleted."));
    }
    m_currentLoaded = true;
    return m_current;
}

void Recordset::Delete()
{
    requireUpdatable();
    requireCurrent();
    m_db->beforeWrite();
    if (!m_remove)
        m_remove = &rowStatement(QStringLiteral("DELETE FROM ") + quotedName(m_table));
    m_remove->bind(1, m_ids.at(m_pos));
    m_remove->step();
    m_remove->reset();
    // Marked, not erased: the rows after it keep their slots, so a delete costs the same
    // wherever the row stands.
    markDeleted(m_pos);
    m_mode = EditMode::None;
    m_onDeleted = true;
    m_currentLoaded = false;
}

void Recordset::Edit()
{
    requireUpdatable();
    m_buffer = currentValues();
    m_dirty.assign(m_names.size(), false);
    m_mode = EditMode::InProgress;
}

void Recordset::AddNew()
{
    requireUpdatable();
    m_buffer = QVariantList(m_names.size());
    m_dirty.assign(m_names.size(), false);
    m_mode = EditMode::Add;
}

void Recordset::CancelUpdate(int)
{
    if (m_mode == EditMode::None)
        throw DatebellError(ErrorNumber::UpdateWithoutEdit,
                            QStringLiteral("Update or CancelUpdate without AddNew or Edit."));
    m_mode = EditMode::None;
}

void Recordset::Update(int, bool)
{
    if (m_mode == EditMode::None)
        throw DatebellError(ErrorNumber::UpdateWithoutEdit,
                            QStringLiteral("Update or CancelUpdate without AddNew or Edit."));
    const EditMode mode = std::exchange(m_mode, EditMode::None);
    const bool adding = mode == EditMode::Add;
    if (!adding && std::find(m_dirty.begin(), m_dirty.end(), true) == m_dirty.end())
        return;
    // Statements by the columns they set; row ids are taken on by a new row when it is added.
    Statement *&statement = (adding ? m_inserts : m_updates)[m_dirty];
    if (!statement) {
        QStringList columns;
        for (int c = 0; c < m_names.size(); ++c) {
            if (m_dirty[c])
                columns << quotedName(m_names.at(c));
        }
        const QString table = quotedName(m_table);
        if (!adding)
            statement = &rowStatement(QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ")
                                      + columns.join(QStringLiteral("=?,")) + QStringLiteral("=?"));
        else if (columns.isEmpty())
            statement = &m_db->cached(QStringLiteral("INSERT INTO ") + table
                                      + QStringLiteral(" DEFAULT VALUES"));
        else
            statement = &m_db->cached(QStringLiteral("INSERT INTO ") + table + u'('
                                      + columns.join(u',') + QStringLiteral(") VALUES (")
                                      + QStringList(columns.size(), QStringLiteral("?")).join(u',')
                                      + u')');
    }
    m_db->beforeWrite();
    int index = 1;
    for (int c = 0; c < m_names.size(); ++c) {
        if (m_dirty[c])
            statement->bind(index++, m_buffer.at(c));
    }
    if (!adding)
        statement->bind(index, m_ids.at(m_pos));
    statement->step();
    statement->reset();
    if (adding) {
        // A new row joins the selection at its end, as in a dynaset; the position stays.
        addSlot(sqlite3_last_insert_rowid(m_db->handle()));
        return;
    }
    m_currentLoaded = false;
    if (sqlite3_changes(m_db->handle()) == 0)
        throw DatebellError(ErrorNumber::RecordDeleted, QStringLiteral("Record is deleted."));
}

Statement &Recordset::rowStatement(const QString &head)
{
    return m_db->cached(head + QStringLiteral(" WHERE rowid=?"));
}

// ---- Database

Database::Database(const QString &name, sqlite3 *db) : m_name(name), m_db(db) { }

Database::~Database()
{
    Close();
}

sqlite3 *Database::handle() const
{
    if (!m_db)
        throw DatebellError(ErrorNumber::ItemNotFound,
                            QStringLiteral("The database %1 is closed.").arg(m_name));
    return m_db;
}

std::unique_ptr<Recordset> Database::OpenRecordset(const QString &text)
{
    return std::unique_ptr<Recordset>(new Recordset(this, text));
}

void Database::Execute(const QString &text)
{
    beforeWrite();
    Statement statement(handle(), TranslateDateLiterals(text));
    while (statement.step()) { }
}

Statement &Database::cached(const QString &sql)
{
    auto &slot = m_cache[sql];
    if (!slot)
        slot = std::make_unique<Statement>(handle(), sql);
    return *slot;
}

void Database::beforeWrite()
{
    for (Recordset *recordset : m_recordsets)
        recordset->fixSelection();
}

QString Database::ReadOnlyReason() const
{
    const QFileInfo file(m_name);
    if (sqlite3_db_readonly(handle(), "main") == 1
        || ::access(QFile::encodeName(m_name).constData(), W_OK) != 0)
        return QStringLiteral("the file is read-only");
    if (::access(QFile::encodeName(file.absolutePath()).constData(), W_OK) != 0)
        return QStringLiteral("its folder '%1' is read-only").arg(file.absolutePath());
    return QString();
}

void Database::QuickCheck(const QString &)
{
    Statement check(handle(), QStringLiteral("PRAGMA quick_check"));
    QStringList problems;
    try {
        while (check.step())
            problems << check.column(0).toString();
    } catch (const DatebellError &) {
        // The checker itself can stop at a page too damaged to read.
        problems << QString::fromUtf8(sqlite3_errmsg(handle()));
    }
    if (problems == QStringList{ QStringLiteral("ok") })
        return;
    // The checker names every broken cell: that goes to the details, never into the text.
    throw DatebellError(SQLITE_CORRUPT,
                        DescribeFailure(SQLITE_CORRUPT, m_name,
                                        QStringLiteral("SQLite's check found problems; the "
                                                       "details list them")),
                        problems.join(u'\n'));
}

void Database::BackupTo(const QString &path)
{
    // Made under another name with the database's permission bits, synced, then renamed over
    // `path`, so a crash leaves the old copy or the new one, never half of one.
    const QString temporary = path + QStringLiteral(".new");
    const QByteArray temporaryName = QFile::encodeName(temporary);
    const QByteArray sourceName = QFile::encodeName(m_name);
    QFile::remove(temporary);
    int error = 0; // the first failure's errno
    const auto ok = [&error](bool success) {
        if (!success && !error)
            error = errno ? errno : EIO;
        return success;
    };
    struct stat source = {};
    bool written = ok(::stat(sourceName.constData(), &source) == 0);
    const int to = written ? ::open(temporaryName.constData(),
                                    O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, source.st_mode & 07777)
                           : -1;
    written = ok(to >= 0) && ok(::fchmod(to, source.st_mode & 07777) == 0);
    Statement mode(handle(), QStringLiteral("PRAGMA journal_mode"));
    if (written && mode.step() && mode.column(0).toString() != u"wal") {
        // With a rollback journal the file holds exactly the committed table, and nobody can
        // commit while the caller holds the write lock: the bytes are the copy.
        const int from = ::open(sourceName.constData(), O_RDONLY | O_CLOEXEC);
        written = ok(from >= 0);
        for (ssize_t n = 1; written && n > 0;) {
            n = ::copy_file_range(from, nullptr, to, nullptr, size_t(1) << 30, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL)) {
                char buffer[1 << 16];
                for (n = ::read(from, buffer, sizeof buffer); written && n > 0;
                     n = ::read(from, buffer, sizeof buffer))
                    written = ok(::write(to, buffer, size_t(n)) == n);
            }
            written = written && ok(n >= 0);
        }
        if (from >= 0)
            ::close(from);
    } else if (written) {
        // In WAL mode committed pages may still be in the log: SQLite's online backup, from a
        // read connection of its own (it will not copy from one in a write transaction).
        sqlite3 *reader = nullptr, *copy = nullptr;
        written = sqlite3_open_v2(sourceName.constData(), &reader, SQLITE_OPEN_READONLY, nullptr)
                        == SQLITE_OK
                && sqlite3_open_v2(temporaryName.constData(), &copy, SQLITE_OPEN_READWRITE, nullptr)
                        == SQLITE_OK;
        if (written) {
            sqlite3_busy_timeout(reader, busyTimeoutMs);
            sqlite3_backup *backup = sqlite3_backup_init(copy, "main", reader, "main");
            const int rc = backup ? sqlite3_backup_step(backup, -1) : SQLITE_ERROR;
            written = rc == SQLITE_DONE;
            written = sqlite3_backup_finish(backup) == SQLITE_OK && written;
            if (rc == SQLITE_FULL)
                error = ENOSPC;
        }
        sqlite3_close_v2(copy);
        sqlite3_close_v2(reader);
        ok(written);
    }
    written = written && ok(::fsync(to) == 0);
    if (to >= 0)
        ::close(to);
    if (!written
        || !ok(::rename(temporaryName.constData(), QFile::encodeName(path).constData()) == 0)) {
        QFile::remove(temporary);
        throw CopyError(path, error, m_name);
    }
}

bool Database::HasDateCheck()
{
    Statement table(handle(),
                    QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND "
                                   "name = 'Events' COLLATE NOCASE"));
    return table.step() && table.column(0).toString().contains(QLatin1String(EventDateCheck));
}

void Database::Close()
{
    if (!m_db)
        return;
    for (Recordset *recordset : std::vector<Recordset *>(m_recordsets))
        recordset->Close();
    m_cache.clear();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}

// ---- DBEngine

std::unique_ptr<Database> DBEngine::OpenDatabase(const QString &name)
{
    const QFileInfo info(name);
    const QString path = QDir::toNativeSeparators(info.absoluteFilePath());
    if (!info.exists()) {
        throw DatebellError(ErrorNumber::FileNotFound,
                            QStringLiteral("Could not find the event database '%1'.\n").arg(path)
                                    + (!NewestBackup(path).isEmpty()
                                               ? RestoreAdvice(path)
                                               : QStringLiteral("Create an empty one with: "
                                                                "datebell-newdb %1")
                                                         .arg(info.absolutePath())));
    }
    if (!info.isFile())
        throw DatebellError(ErrorNumber::UnrecognizedFormat,
                            QStringLiteral("'%1' is not a file.").arg(path));

    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        throw DatebellError(ErrorNumber::FileNotFound,
                            QStringLiteral("Cannot read '%1': %2").arg(path, file.errorString()));
    const QByteArray head = file.read(32);
    file.close();
    if (head.startsWith(QByteArrayLiteral("\0\1\0\0Standard Jet DB"))
        || head.startsWith(QByteArrayLiteral("\0\1\0\0Standard ACE DB"))) {
        throw DatebellError(ErrorNumber::UnrecognizedFormat,
                            QStringLiteral("'%1' is a Microsoft Access (Jet) database, which "
                                           "Datebell cannot read. Datebell keeps its events in "
                                           "a SQLite database of this name.")
                                    .arg(path));
    }
    if (!head.startsWith(QByteArrayLiteral("SQLite format 3\0"))) {
        throw DatebellError(ErrorNumber::UnrecognizedFormat,
                            QStringLiteral("'%1' is not a Datebell event database (not a "
                                           "SQLite database file). Nothing was written to it.\n")
                                            .arg(path)
                                    + RestoreAdvice(path));
    }

    sqlite3 *handle = nullptr;
    // Read and write, never create: a plain open would make an empty file where none was.
    const int rc = sqlite3_open_v2(QFile::encodeName(name).constData(), &handle,
                                   SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<Database> db(new Database(name, handle));
    if (rc != SQLITE_OK)
        throwSqlite(handle, path);
    sqlite3_busy_timeout(handle, busyTimeoutMs);
    sqlite3_extended_result_codes(handle, 1);
    db->Execute(QStringLiteral("PRAGMA synchronous=FULL"));
    Statement table(handle,
                    QStringLiteral("SELECT 1 FROM sqlite_master WHERE type='table' AND "
                                   "name='Events' COLLATE NOCASE"));
    if (!table.step())
        throw DatebellError(ErrorNumber::UnrecognizedFormat,
                            QStringLiteral("'%1' is not a Datebell event database: it has no "
                                           "table Events.")
                                    .arg(path));
    return db;
}

// ---- Transaction

Transaction::Transaction(Database &db, Kind kind) : m_db(db)
{
    m_db.Execute(kind == Exclusive ? QStringLiteral("BEGIN EXCLUSIVE")
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

// ---- Date literals

QString TranslateDateLiterals(const QString &text)
{
    QString out;
    out.reserve(text.size() + 16);
    QChar quote;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            out += c;
        } else if (c == u'\'' || c == u'"') {
            quote = c;
            out += c;
        } else if (c == u'#') {
            const qsizetype end = text.indexOf(u'#', i + 1);
            const QString literal = end < 0 ? text.mid(i + 1) : text.mid(i + 1, end - i - 1);
            const auto stored = end < 0 ? std::nullopt : StoredFormOfLiteral(literal);
            if (!stored)
                throw DatebellError(dateSyntax,
                                    QStringLiteral("Syntax error in date in query expression "
                                                   "'#%1#'.")
                                            .arg(literal));
            out += u'\'' + *stored + u'\'';
            i = end;
        } else {
            out += c;
        }
    }
    return out;
}
