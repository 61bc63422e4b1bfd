#pragma once

// gridmodel/: the maintenance grid's data side, with no widget: the data control, the
// table model over its record set and the sort orders.

#include <QAbstractTableModel>
#include <QHash>

#include <functional>
#include <vector>

class Clock;
class DataControl;
class Recordset;

// The event grid's rows: one per record of the data control's record set, then the
// new-record row. An edited cell goes to a buffer of its row, which is written to the record
// when the row is left (saveRow). A value typed into the new-record row starts a new row of its
// own there, with a fresh new-record row below it, so that the row can be left downwards like
// any other. Painting reads rows from a small cache only; rows missing from it are read from
// the file after the paint, outside it.
class EventGridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { EventDateColumn, DescriptionColumn, AnnualColumn, ColumnCount };
    // True for a cell whose stored value is not in the form Datebell writes: a date text in
    // another form or none, a flag other than -1 and 0.
    static constexpr int MalformedRole = Qt::UserRole + 1;

    EventGridModel(DataControl &data, const Clock &clock, QObject *parent = nullptr);

    // Raised before an edited value reaches the row buffer, with the column, the cell's value
    // before the edit and the new value; returns true to refuse the edit.
    std::function<bool(int column, const QVariant &oldValue, const QVariant &newValue)>
            beforeColUpdate;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    // Display, tooltip and malformed roles come from the row cache and never read the file;
    // the edit role of a date is a text that reads back as exactly the stored value.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    // The row under the records and the started new row, where a new one is typed.
    int newRecordRow() const { return m_count + (m_started ? 1 : 0); }
    // 2 while a new row has been started and not saved, 1 while a record is being changed.
    int addNewState() const;
    int editedRow() const { return m_edit.row; }
    // The stored values of a row: the buffer's for the row being edited, else the cache's,
    // else read from the record set.
    QVariantList rowValues(int row) const;

    // Writes the edited row to its record: a new row is added, a changed one updated. A new
    // row without a date or a description cannot be saved and raises error 3426, keeping the
    // buffer; a write the file refuses raises its error and keeps the buffer too.
    void saveRow();
    // Discards the edited row's buffer; a started new row becomes the new-record row again.
    void dropRow();
    // The column a started new row still needs before it can be saved, or -1.
    int missingColumn() const;
    // Deletes the record at `row` (the record set's current record) and then removes its row.
    void deleteCurrentRecord(int row);
    // A read-only grid offers no cell for editing.
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // Rows that could not be read are tried again at the next paint.
    void retryReading() { m_readBlocked = false; }

private:
    enum class RowState { Read, Deleted, Unreadable };
    struct CachedRow
    {
        QVariantList values;
        RowState state = RowState::Read;
        QString problem;
    };

    Recordset *recordset() const;
    // The value an edit stores, or an invalid QVariant when the text means nothing there.
    QVariant storedValue(int row, int column, const QVariant &typed) const;
    // Reads rows first..last into the cache; a row that cannot be read is marked so.
    void readRows(int first, int last);
    void readRequested();
    const CachedRow *cachedRow(int row) const;
    void reset();

    DataControl &m_data;
    const Clock &m_clock;
    int m_count = 0;
    // A new row has been started at row m_count, above the new-record row.
    bool m_started = false;
    struct Edit
    {
        int row = -1;
        QVariantList values;
        std::vector<bool> dirty;
    } m_edit;
    bool m_readOnly = false;
    QHash<int, CachedRow> m_cache;
    mutable int m_requestedFirst = -1;
    mutable int m_requestedLast = -1;
    // Set when the file refused a read (locked): nothing is read for painting until a write,
    // a refresh or a move of the current row.
    bool m_readBlocked = false;
};
