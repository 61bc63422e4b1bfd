#pragma once

#include <QString>

// The grid's orders, one ascending and one descending statement per column. Only the first
// key reverses; the keys that break ties stay ascending.
namespace SortOrder {
inline const QString Ascending[3] = {
    QStringLiteral("SELECT * FROM Events ORDER BY EventDate, Description"),
    QStringLiteral("SELECT * FROM Events ORDER BY Description, EventDate"),
    QStringLiteral("SELECT * FROM Events ORDER BY RepeatFlag, EventDate, Description"),
};
inline const QString Descending[3] = {
    QStringLiteral("SELECT * FROM Events ORDER BY EventDate desc, Description"),
    QStringLiteral("SELECT * FROM Events ORDER BY Description desc, EventDate"),
    QStringLiteral("SELECT * FROM Events ORDER BY RepeatFlag desc, EventDate, Description"),
};
} // namespace SortOrder
