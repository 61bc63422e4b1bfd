#pragma once

#include <QString>
#include <QVariant>

class Recordset;

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
