#include "gridmodel/eventgridmodel.h"

#include "engine/conversions.h"
#include "engine/dates.h"
#include "engine/errors.h"
#include "engine/platform.h"
#include "gridmodel/datacontrol.h"

#include <QMetaObject>

namespace {

// Rows read at a time around those a paint asked for, and the most the cache keeps.
constexpr int readAhead = 40;
constexpr int cacheLimit = 2000;

QString annualText(const QVariant &flag)
{
    return IsAnnualFlag(flag) ? QStringLiteral("Yes") : QStringLiteral("No");
}

// The text an editor opens with for a date: the shown form when it reads back as exactly
// the stored value in this locale, else the stored form itself, which always does.
QString dateEditText(const QString &stored)
{
    const auto value = StoredDateValue(stored);
    if (!value)
        return stored;
    const QString shown = GridDateText(*value);
    const auto typed = RecognizeDate(shown);
    if (typed && TypedDateTime(*typed, value->date()) == *value)
        return shown;
    return stored;
}

} // namespace

EventGridModel::EventGridModel(DataControl &data, const Clock &clock, QObject *parent)
    : QAbstractTableModel(parent), m_data(data), m_clock(clock)
{
    connect(&m_data, &DataControl::aboutToChange, this, &EventGridModel::beginResetModel);
    connect(&m_data, &DataControl::changed, this, [this] {
        reset();
        endResetModel();
    });
}

void EventGridModel::reset()
{
    m_edit = Edit();
    m_started = false;
    m_cache.clear();
    m_readBlocked = false;
    m_count = recordset() ? int(recordset()->RecordCount()) : 0;
    // The first page is read with the record set, so that the first paint has its rows.
    if (m_count > 0)
        readRows(0, qMin(m_count, readAhead) - 1);
}

Recordset *EventGridModel::recordset() const
{
    return m_data.recordset();
}

int EventGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !recordset() ? 0 : newRecordRow() + 1;
}

int EventGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

int EventGridModel::addNewState() const
{
    if (m_edit.row < 0)
        return 0;
    return m_started ? 2 : 1;
}

int EventGridModel::missingColumn() const
{
    if (!m_started)
        return -1;
    if (m_edit.values.at(EventDateColumn).isNull())
        return EventDateColumn;
    if (m_edit.values.at(DescriptionColumn).toString().isEmpty())
        return DescriptionColumn;
    return -1;
}

const EventGridModel::CachedRow *EventGridModel::cachedRow(int row) const
{
    const auto found = m_cache.constFind(row);
    const bool usable =
            found != m_cache.cend() && (found->state != RowState::Unreadable || m_readBlocked);
    if (usable)
        return &*found;
    if (!m_readBlocked) {
        // Read once the paint is over.
        if (m_requestedFirst < 0)
            QMetaObject::invokeMethod(const_cast<EventGridModel *>(this),
                                      &EventGridModel::readRequested, Qt::QueuedConnection);
        m_requestedFirst = m_requestedFirst < 0 ? row : qMin(m_requestedFirst, row);
        m_requestedLast = qMax(m_requestedLast, row);
    }
    return found == m_cache.cend() ? nullptr : &*found;
}

void EventGridModel::readRequested()
{
    const int first = qMax(0, m_requestedFirst - readAhead / 2);
    const int last = qMin(m_count - 1, qMin(m_requestedLast, first + cacheLimit / 2) + readAhead);
    m_requestedFirst = m_requestedLast = -1;
    if (first > last || !recordset())
        return;
    if (m_cache.size() > cacheLimit)
        m_cache.clear();
    readRows(first, last);
    Q_EMIT dataChanged(index(first, 0), index(last, ColumnCount - 1));
}

void EventGridModel::readRows(int first, int last)
{
    for (int row = first; row <= last; ++row) {
        CachedRow &cached = m_cache[row];
        try {
            cached = { recordset()->rowValues(row), RowState::Read, QString() };
        } catch (const DatebellError &error) {
            const bool deleted = error.number() == ErrorNumber::RecordDeleted;
            cached = { QVariantList(ColumnCount),
                       deleted ? RowState::Deleted : RowState::Unreadable, error.text() };
            if (!deleted) {
                // Locked or unreadable: the rest waits until the file can be read again.
                m_readBlocked = true;
                for (int rest = row + 1; rest <= last; ++rest)
                    m_cache[rest] = cached;
                return;
            }
        }
    }
}

QVariantList EventGridModel::rowValues(int row) const
{
    if (row == m_edit.row)
        return m_edit.values;
    if (row >= m_count)
        return QVariantList(ColumnCount);
    const auto found = m_cache.constFind(row);
    if (found != m_cache.cend() && found->state == RowState::Read)
        return found->values;
    return recordset()->rowValues(row);
}

QVariant EventGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const int row = index.row();
    QVariant value;
    if (row == m_edit.row) {
        value = m_edit.values.value(index.column());
    } else if (row >= m_count) {
        return QVariant(); // the empty new-record row
    } else {
        const CachedRow *cached = cachedRow(row);
        if (!cached)
            return QVariant();
        if (cached->state == RowState::Deleted && role == Qt::DisplayRole)
            return QStringLiteral("#Deleted");
        if (cached->state != RowState::Read)
            return role == Qt::ToolTipRole ? QVariant(cached->problem) : QVariant();
        value = cached->values.value(index.column());
    }
    if (role == MalformedRole || role == Qt::ToolTipRole) {
        const bool malformed = index.column() == EventDateColumn && row < m_count
                && !StoredDateValue(value.toString());
        if (role == MalformedRole)
            return malformed;
        return malformed ? QStringLiteral("Another program stored this value in a form Datebell "
                                          "does not write; it is shown as it stands. Past events "
                                          "are not tidied until it is corrected.")
                         : QVariant();
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return QVariant();
    switch (index.column()) {
    case EventDateColumn:
        if (role == Qt::EditRole)
            return dateEditText(value.toString());
        if (const auto date = StoredDateValue(value.toString()))
            return GridDateText(*date);
        return value.toString(); // not in the stored form: shown as it stands
    case AnnualColumn:
        return annualText(value);
    default:
        // One line high, whatever the text holds; the editor opens on the text as it is.
        return role == Qt::DisplayRole ? OneLine(value.toString()) : value.toString();
    }
}

QVariant EventGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    // The record selectors: a star marks the new-record row, a pencil the row being edited.
    if (orientation == Qt::Vertical) {
        if (section == newRecordRow())
            return QStringLiteral("*");
        return section == m_edit.row ? QStringLiteral("\u270E") : QString();
    }
    static const QString headings[] = { QStringLiteral("Event Date"), QStringLiteral("Description"),
                                        QStringLiteral("Annual?") };
    return section >= 0 && section < ColumnCount ? headings[section] : QString();
}

Qt::ItemFlags EventGridModel::flags(const QModelIndex &index) const
{
    const Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    return m_readOnly || !index.isValid() ? flags : flags | Qt::ItemIsEditable;
}

QVariant EventGridModel::storedValue(int row, int column, const QVariant &typed) const
{
    const QString text = typed.toString();
    switch (column) {
    case EventDateColumn: {
        const auto recognized = RecognizeDate(text, QLocale(), m_clock.today().year());
        if (!recognized)
            return QVariant();
        // A time alone moves the cell's own date to that time; on a new row, today's.
        const auto current = StoredDateValue(rowValues(row).value(EventDateColumn).toString());
        const QDate base = current ? current->date() : m_clock.today();
        return StoredDateText(TypedDateTime(*recognized, base));
    }
    case AnnualColumn:
        if (text.compare(QLatin1String("Yes"), Qt::CaseInsensitive) == 0)
            return qint64(-1);
        if (text.compare(QLatin1String("No"), Qt::CaseInsensitive) == 0)
            return qint64(0);
        return QVariant();
    default:
        return text;
    }
}

bool EventGridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || !recordset())
        return false;
    const int row = index.row();
    const int column = index.column();
    if (beforeColUpdate && beforeColUpdate(column, data(index), value))
        return false;
    const QVariant stored = storedValue(row, column, value);
    if (!stored.isValid())
        return false;
    if (m_edit.row != row) {
        saveRow();
        const bool starting = row == newRecordRow();
        m_edit.values = rowValues(row);
        m_edit.row = row;
        m_edit.dirty.assign(ColumnCount, starting);
        if (starting) {
            m_edit.values[AnnualColumn] = qint64(0); // the column's default
            // The started row keeps its place; a new-record row follows it.
            beginInsertRows(QModelIndex(), row + 1, row + 1);
            m_started = true;
            endInsertRows();
        }
        Q_EMIT headerDataChanged(Qt::Vertical, row, row + 1);
    }
    m_edit.values[column] = stored;
    m_edit.dirty[column] = true;
    Q_EMIT dataChanged(index, index);
    return true;
}

void EventGridModel::saveRow()
{
    if (m_edit.row < 0)
        return;
    Recordset &records = *recordset();
    const int row = m_edit.row;
    const bool adding = m_started;
    if (missingColumn() >= 0)
        throw DatebellError(ErrorNumber::InvalidNewRecord,
                            QStringLiteral("The new event needs a date and a description."));
    if (adding) {
        records.AddNew();
    } else {
        records.setAbsolutePosition(row);
        records.Edit();
    }
    for (int column = 0; column < ColumnCount; ++column) {
        if (m_edit.dirty[column])
            records.Fields(column).setValue(m_edit.values.at(column));
    }
    records.Update(1, false);
    m_readBlocked = false;
    // The row as the file now holds it.
    m_cache[row] = { m_edit.values, RowState::Read, QString() };
    // A saved new row stays where it was typed, a record now, with the new-record row below.
    if (adding) {
        ++m_count;
        m_started = false;
    }
    m_edit = Edit();
    Q_EMIT headerDataChanged(Qt::Vertical, row, row + 1);
    readRows(row, row);
    Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void EventGridModel::dropRow()
{
    const int row = std::exchange(m_edit.row, -1);
    m_edit = Edit();
    if (m_started) {
        // The started row is empty again and is the new-record row; the one below it goes.
        beginRemoveRows(QModelIndex(), row + 1, row + 1);
        m_started = false;
        endRemoveRows();
    }
    if (row >= 0) {
        Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
        Q_EMIT headerDataChanged(Qt::Vertical, row, row);
    }
}

void EventGridModel::deleteCurrentRecord(int row)
{
    // Deleted from the file first: when that fails, the grid still shows every row there is.
    recordset()->Delete();
    if (m_edit.row == row)
        dropRow();
    beginRemoveRows(QModelIndex(), row, row);
    --m_count;
    if (m_edit.row > row)
        --m_edit.row;
    QHash<int, CachedRow> shifted;
    for (auto it = m_cache.cbegin(); it != m_cache.cend(); ++it) {
        if (it.key() != row)
            shifted.insert(it.key() < row ? it.key() : it.key() - 1, it.value());
    }
    m_cache.swap(shifted);
    endRemoveRows();
    m_readBlocked = false;
}
