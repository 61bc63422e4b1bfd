#pragma once

#include <QString>

// The table of events. The checks keep other tools from writing dates the program would
// misread: datetime() gives back exactly the stored form for a valid date and something
// else, or NULL, for anything else.
inline constexpr char EventsSchema[] = R"(
CREATE TABLE Events (
  EventDate   TEXT CHECK (EventDate IS NULL OR datetime(EventDate) = EventDate),
  Description TEXT,
  RepeatFlag  INTEGER NOT NULL DEFAULT 0 CHECK (RepeatFlag IN (0, -1))
);
CREATE INDEX EventsByDate ON Events (EventDate, Description);
)";

// The date check as the schema writes it; a table whose text holds it has only stored dates.
inline constexpr char EventDateCheck[] =
        "CHECK (EventDate IS NULL OR datetime(EventDate) = EventDate)";

// Creates a new, empty event database at `path`; fails when a file is already there, so
// that no existing events can be touched.
void CreateEventDatabase(const QString &path);
