#include "engine/backupfiles.h"

#include "engine/errors.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sqlite3.h>

QString BackupFile(const QString &database, int generation)
{
    return database + QStringLiteral(".bak")
            + (generation > 0 ? u'.' + QString::number(generation) : QString());
}
QStringList ExistingBackups(const QString &file)
{
    QStringList copies;
    for (int generation = 0; generation < BackupGenerations; ++generation) {
        if (const QString copy = BackupFile(file, generation); QFileInfo::exists(copy))
            copies << copy;
    }
    return copies;
}

QString NewestBackup(const QString &file)
{
    const QStringList copies = ExistingBackups(file);
    return copies.isEmpty() ? QString() : copies.constFirst();
}

QString RestoreAdvice(const QString &file)
{
    const QString copy = NewestBackup(file);
    if (copy.isEmpty())
        return QStringLiteral("There is no backup copy beside it.");
    return QStringLiteral("To get the events back, close Datebell and copy the backup '%1' to "
                          "'%2' (the guide's \"Backup and restore\" says how).")
            .arg(copy, file);
}

DatebellError CopyError(const QString &copy, int error, const QString &database)
{
    const QString folder = QFileInfo(database).absolutePath();
    if (error == ENOSPC || error == EDQUOT)
        return DatebellError(
                SQLITE_FULL,
                QStringLiteral("Past events were not tidied: the disk is full, so the backup copy "
                               "'%2' could not be written. Nothing was changed.\nFree some space "
                               "on the disk that holds '%1'; past events are tidied at the next "
                               "pass.")
                        .arg(folder, copy));
    return DatebellError(SQLITE_CANTOPEN,
                         QStringLiteral("Past events were not tidied: the backup copy '%1' could "
                                        "not be written (%2). Nothing was changed.\nCheck that "
                                        "you can write to '%3'; past events are tidied at the "
                                        "next pass.")
                                 .arg(copy, QString::fromLocal8Bit(std::strerror(error)), folder));
}
