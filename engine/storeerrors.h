#pragma once

#include <QString>

// A failure's message for the user, by SQLite's result code: what happened to which file,
// and that nothing was changed.
QString DescribeFailure(int code, const QString &file, const QString &detail);
// True for a write that failed but can be tried again later, losing nothing: a lock, a full
// disk, an I/O error, a read-only file.
bool IsRecoverableWriteError(int number);
