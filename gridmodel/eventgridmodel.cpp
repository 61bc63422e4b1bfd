#include "gridmodel/eventgridmodel.h"

#include "engine/conversions.h"
#include "engine/dates.h"
#include "engine/errors.h"
#include "engine/platform.h"
#include "gridmodel/datacontrol.h"

namespace {

QString annualText(const QVariant &flag)
{
    return IsAnnualFlag(flag) ? QStringLiteral("Yes") : QStringLiteral("No");
}

} // namespace

EventGridModel::EventGridModel(DataControl &data, const Clock &clock, QObject *parent)
    : QAbstractTableModel(parent), m_data(data), m_clock(clock)
{
    connect(&m_data, &DataControl::aboutToRefresh, this, [this] {
        beginResetModel();
        m_edit = Edit();
        m_cachedRow = -1;
    });
    connect(&m_data, &DataControl::refreshed, this, &EventGridModel::endResetModel);
}

Recordset *EventGridModel::recordset() const
{
    return m_data.recordset();
}

int EventGridModel::newRecordRow() const
{
    return recordset() ? int(recordset()->RecordCount()) : 0;
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
    return m_edit.row == newRecordRow() ? 2 : 1;
}

QVariantList EventGridModel::rowValues(int row) const
{
    if (row == m_edit.row)
        return m_edit.values;
    if (row >= newRecordRow())
        return QVariantList(ColumnCount);
    if (row != m_cachedRow) {
        m_cachedValues = recordset()->rowValues(row);
        m_cachedRow = row;
    }
    return m_cachedValues;
}

QVariant EventGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const QVariant value = rowValues(index.row()).value(index.column());
    if (role == MalformedRole || role == Qt::ToolTipRole) {
        const bool record = index.row() < newRecordRow();
        const bool malformed =
                index.column() == EventDateColumn && record && !StoredDateValue(value.toString());
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
        if (const auto date = StoredDateValue(value.toString()))
            return GridDateText(*date);
        return value.toString(); // not in the stored form: shown as it stands
    case AnnualColumn:
        return annualText(value);
    default:
        return value.toString();
    }
}

QVariant EventGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Vertical) // the record selectors: a star marks the new-record row
        return section == newRecordRow() && addNewState() != 2 ? QStringLiteral("*") : QString();
    static const QString headings[] = { QStringLiteral("Event Date"), QStringLiteral("Description"),
                                        QStringLiteral("Annual?") };
    return section >= 0 && section < ColumnCount ? headings[section] : QString();
}

Qt::ItemFlags EventGridModel::flags(const QModelIndex &index) const
{
    const Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    return m_readOnly ? flags : flags | Qt::ItemIsEditable;
}

QVariant EventGridModel::storedValue(int row, int column, const QVariant &typed) const
{
    const QString text = typed.toString();
    switch (column) {
    case EventDateColumn: {
        const auto recognized = RecognizeDate(text);
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
        if (starting)
            m_edit.values[AnnualColumn] = qint64(0); // the column's default
        m_edit.dirty.assign(ColumnCount, starting);
        if (starting)
            Q_EMIT headerDataChanged(Qt::Vertical, row, row);
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
    const bool adding = row == newRecordRow();
    if (adding && m_edit.values.at(EventDateColumn).isNull())
        throw DatebellError(ErrorNumber::InvalidNewRecord,
                            QStringLiteral("The new event has no date, so it cannot be saved."));
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
    m_edit = Edit();
    m_cachedRow = -1;
    if (adding) {
        // The saved row stays where it was typed; a new, empty new-record row follows it.
        beginInsertRows(QModelIndex(), row + 1, row + 1);
        endInsertRows();
        Q_EMIT headerDataChanged(Qt::Vertical, row, row + 1);
    }
    Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void EventGridModel::dropRow()
{
    const int row = std::exchange(m_edit.row, -1);
    m_edit = Edit();
    if (row >= 0) {
        Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
        Q_EMIT headerDataChanged(Qt::Vertical, row, row);
    }
}

void EventGridModel::deleteCurrentRecord()
{
    Recordset &records = *recordset();
    const int row = int(records.AbsolutePosition());
    if (m_edit.row == row)
        dropRow();
    // Deleted first: when the delete fails, the grid still shows every row there is.
    records.Delete();
    m_cachedRow = -1;
    beginRemoveRows(QModelIndex(), row, row);
    endRemoveRows();
}
