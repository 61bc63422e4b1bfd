#pragma once

#include <QString>
#include <QStringList>

class DatebellError;

// The backup copies of a database beside it, newest first: "<file>.bak", then "<file>.bak.1"
// to "<file>.bak.4".
inline constexpr int BackupGenerations = 5;
QString BackupFile(const QString &database, int generation = 0);
// The error for a backup copy of `database` that could not be written to `copy`, by the
// errno of the failure: a full disk is said as such.
DatebellError CopyError(const QString &copy, int error, const QString &database);

// The backup copies there are beside `file`, newest first.
QStringList ExistingBackups(const QString &file);
// The newest backup copy beside `file`, or empty when there is none.
QString NewestBackup(const QString &file);
// What the user can do about a lost or damaged `file`: copy back the newest backup beside it,
// named, or that there is none.
QString RestoreAdvice(const QString &file);
