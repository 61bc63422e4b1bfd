#pragma once

#include "engine/field.h"
#include "engine/statement.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <map>
#include <vector>

class Database;

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
