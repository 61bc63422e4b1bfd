#include "engine/connection.h"

#include "engine/errors.h"
#include "engine/storeerrors.h"

#include <QFile>

#include <sqlite3.h>

sqlite3 *OpenConnection(const QString &name, int flags, const QString &context)
{
    sqlite3 *handle = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(name).constData(), &handle, flags, nullptr)
        != SQLITE_OK) {
        // SQLite hands back a connection even when the open fails, to carry the message.
        const int code = handle ? sqlite3_extended_errcode(handle) : SQLITE_NOMEM;
        QString detail = QString::fromUtf8(handle ? sqlite3_errmsg(handle) : "out of memory");
        const QString file = handle ? ConnectionFile(handle) : name;
        sqlite3_close_v2(handle);
        if (!context.isEmpty())
            detail += QStringLiteral(" (") + context + u')';
        throw DatebellError(code, DescribeFailure(code, file, detail));
    }
    sqlite3_busy_timeout(handle, BusyTimeoutMs);
    sqlite3_extended_result_codes(handle, 1);
    return handle;
}

void ThrowSqliteError(sqlite3 *db, const QString &context)
{
    QString detail = QString::fromUtf8(sqlite3_errmsg(db));
    if (!context.isEmpty())
        detail += QStringLiteral(" (") + context + u')';
    const int code = sqlite3_extended_errcode(db);
    throw DatebellError(code, DescribeFailure(code, ConnectionFile(db), detail));
}

void CheckSqlite(sqlite3 *db, int rc, const QString &context)
{
    if (rc != SQLITE_OK)
        ThrowSqliteError(db, context);
}

QString ConnectionFile(sqlite3 *db)
{
    const char *name = sqlite3_db_filename(db, "main");
    return name && *name ? QString::fromLocal8Bit(name) : QStringLiteral("the event database");
}
