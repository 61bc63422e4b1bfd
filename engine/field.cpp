#include "engine/field.h"

#include "engine/errors.h"
#include "engine/recordset.h"

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
