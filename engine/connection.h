#pragma once

// What the store layer's classes share about a raw SQLite connection: the one open sequence,
// how long it waits for another program's lock, and how its failures are raised. Only the
// store layer's sources (statement.cpp, dbengine.cpp) include this.

#include <QString>

struct sqlite3;

// How long a write waits for another program's short write to finish.
inline constexpr int BusyTimeoutMs = 3000;

// Opens the file `name` with SQLite's open `flags` (never SQLITE_OPEN_CREATE unless given),
// waiting BusyTimeoutMs for locks and reporting extended result codes. A failure is raised
// with `context` after SQLite's message, and the half-open connection is closed.
sqlite3 *OpenConnection(const QString &name, int flags, const QString &context = QString());

// Raises the connection's last failure as a DatebellError, its message by DescribeFailure;
// `context`, when given, follows SQLite's own message in brackets.
[[noreturn]] void ThrowSqliteError(sqlite3 *db, const QString &context = QString());
// ThrowSqliteError unless `rc` is SQLITE_OK.
void CheckSqlite(sqlite3 *db, int rc, const QString &context = QString());
// The file behind a connection, for messages.
QString ConnectionFile(sqlite3 *db);
