#include "engine/storeerrors.h"

#include "engine/backupfiles.h"

#include <sqlite3.h>

QString DescribeFailure(int code, const QString &file, const QString &detail)
{
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return QStringLiteral("'%1' is in use by another program, which has locked it. Nothing "
                              "was changed.\nTry again when that program has finished, or close "
                              "it.")
                .arg(file);
    case SQLITE_READONLY:
        return QStringLiteral("'%1' cannot be written: it is read-only (%2). Nothing was "
                              "changed.\nMake the file and its folder writable for you.")
                .arg(file, detail);
    case SQLITE_FULL:
        return QStringLiteral("'%1' could not be written: the disk is full. Nothing was "
                              "changed.\nFree some space on that disk and try again.")
                .arg(file);
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
        return QStringLiteral("'%1' could not be read or written (%2). Nothing was changed.\n"
                              "Check the disk, and that you can write to its folder.")
                .arg(file, detail);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("'%1' is damaged (%2). Nothing was written to it.\n%3")
                .arg(file, detail, RestoreAdvice(file));
    default:
        return QStringLiteral("'%1': %2").arg(file, detail);
    }
}

bool IsRecoverableWriteError(int number)
{
    switch (number & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_READONLY:
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_CANTOPEN:
        return true;
    default:
        return false;
    }
}
