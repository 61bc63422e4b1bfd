#include "engine/recordset.h"

#include "engine/database.h"
#include "engine/dateliterals.h"
#include "engine/errors.h"

#include <algorithm>
#include <limits>
#include <sqlite3.h>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

constexpr int cannotUpdate = 3027;

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

} // namespace

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
