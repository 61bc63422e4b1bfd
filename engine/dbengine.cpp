#include "engine/dbengine.h"

#include "engine/backupfiles.h"
#include "engine/connection.h"
#include "engine/database.h"
#include "engine/errors.h"
#include "engine/statement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

std::unique_ptr<Database> DBEngine::OpenDatabase(const QString &name)
{
    const QFileInfo info(name);
    const QString path = QDir::toNativeSeparators(info.absoluteFilePath());
    if (!info.exists()) {
        throw DatebellError(ErrorNumber::FileNotFound,
                            QStringLiteral("Could not find the event database '%1'.\n").arg(path)
                                    + (!NewestBackup(path).isEmpty()
                                               ? RestoreAdvice(path)
                                               : QStringLiteral("Create an empty one with: "
                                                                "datebell-newdb %1")
                                                         .arg(info.absolutePath())));
    }
    if (!info.isFile())
        throw DatebellError(ErrorNumber::UnrecognizedFormat,
                            QStringLiteral("'%1' is not a file.").arg(path));

    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        throw DatebellError(ErrorNumber::FileNotFound,
                            QStringLiteral("Cannot read '%1': %2").arg(path, file.errorString()));
    const QByteArray head = file.read(32);
    file.close();
    if (head.startsWith(QByteArrayLiteral("\0\1\0\0Standard Jet DB"))
        || head.startsWith(QByteArrayLiteral("\0\1\0\0Standard ACE DB"))) {
        throw DatebellError(ErrorNumber::UnrecognizedFormat,
                            QStringLiteral("'%1' is a Microsoft Access (Jet) database, which "
                                           "Datebell cannot read. Datebell keeps its events in "
                                           "a SQLite database of this name.")
                                    .arg(path));
    }
    if (!head.startsWith(QByteArrayLiteral("SQLite format 3\0"))) {
        throw DatebellError(ErrorNumber::UnrecognizedFormat,
                            QStringLiteral("'%1' is not a Datebell event database (not a "
                                           "SQLite database file). Nothing was written to it.\n")
                                            .arg(path)
                                    + RestoreAdvice(path));
    }

    // Read and write, never create: a plain open would make an empty file where none was.
    sqlite3 *handle = OpenConnection(name, SQLITE_OPEN_READWRITE, path);
    std::unique_ptr<Database> db(new Database(name, handle));
    db->Execute(QStringLiteral("PRAGMA synchronous=FULL"));
    Statement table(handle,
                    QStringLiteral("SELECT 1 FROM sqlite_master WHERE type='table' AND "
                                   "name='Events' COLLATE NOCASE"));
    if (!table.step())
        throw DatebellError(ErrorNumber::UnrecognizedFormat,
                            QStringLiteral("'%1' is not a Datebell event database: it has no "
                                           "table Events.")
                                    .arg(path));
    return db;
}
