#include "gridmodel/datacontrol.h"

#include <QFileInfo>
#include <QScopeGuard>

DataControl::~DataControl()
{
    // Whatever watched the record set is gone or going with the window.
    blockSignals(true);
    Close();
}

void DataControl::setDatabaseName(const QString &name)
{
    m_databaseName = QFileInfo(name).suffix().isEmpty() ? name + QStringLiteral(".mdb") : name;
}

void DataControl::Refresh()
{
    Q_EMIT aboutToChange();
    const auto done = qScopeGuard([this] { Q_EMIT changed(); });
    m_recordset.reset();
    m_recordset = database().OpenRecordset(m_recordSource);
    if (!m_recordset->EOF_()) {
        m_recordset->MoveLast(0); // fixes the rows of the result
        m_recordset->MoveFirst();
    }
}

Database &DataControl::database()
{
    if (!m_database)
        m_database = DBEngine::OpenDatabase(m_databaseName);
    return *m_database;
}

void DataControl::Close()
{
    Q_EMIT aboutToChange();
    const auto done = qScopeGuard([this] { Q_EMIT changed(); });
    m_recordset.reset();
    if (m_database)
        m_database->Close();
    m_database.reset();
}
