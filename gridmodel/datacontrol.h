#pragma once

#include "engine/eventdb.h"

#include <QObject>

#include <memory>

// The event maintenance window's data control: its own connection to the event database and
// the record set of its record source, with the rows of the result fixed when it opens.
class DataControl : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~DataControl() override;

    // The database file; a name without an extension means the ".mdb" file of that name.
    void setDatabaseName(const QString &name);
    QString DatabaseName() const { return m_databaseName; }
    // The statement whose result the control opens; read back exactly as written.
    void setRecordSource(const QString &text) { m_recordSource = text; }
    QString RecordSource() const { return m_recordSource; }

    // Opens the record set afresh from DatabaseName and RecordSource, on the first row.
    void Refresh();
    // The open record set; null before the first Refresh and after Close.
    Recordset *recordset() const { return m_recordset.get(); }
    // The control's connection, opened on first use.
    Database &database();
    // Closes the record set and the connection, so that no lock is left behind.
    void Close();

Q_SIGNALS:
    // Around every change of the record set: Refresh and Close.
    void aboutToChange();
    void changed();

private:
    QString m_databaseName;
    QString m_recordSource;
    std::unique_ptr<Database> m_database;
    std::unique_ptr<Recordset> m_recordset;
};
