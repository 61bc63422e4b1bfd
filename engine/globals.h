#pragma once

#include "engine/eventdb.h"

#include <QDate>
#include <QString>

#include <memory>

// The engine's shared state for one run. Main opens gdbEvents and sets the dates and the
// count; BuildReminderQuery sets the horizon and the reminder query; the windows read them.
inline std::unique_ptr<Database> gdbEvents;
// The previous reminder pass's date; until Main reads it, the zero date of the date type.
inline QDate gdtLastRemind{ 1899, 12, 30 };
inline QDate gdtRemindUntil; // the last day the reminder looks ahead to
inline qint32 giReminderCount = 0; // due events counted at start-up
inline qint16 giDaysAhead = 0; // the horizon in days
inline QString gsSQL; // the current selection query
