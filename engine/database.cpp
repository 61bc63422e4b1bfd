#include "engine/database.h"

#include "engine/backupfiles.h"
#include "engine/dateliterals.h"
#include "engine/errors.h"
#include "engine/recordset.h"
#include "engine/schema.h"
#include "engine/storeerrors.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <cerrno>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

Database::Database(const QString &name, sqlite3 *db) : m_name(name), m_db(db) { }

Database::~Database()
{
    Close();
}

sqlite3 *Database::handle() const
{
    if (!m_db)
        throw DatebellError(ErrorNumber::ItemNotFound,
                            QStringLiteral("The database %1 is closed.").arg(m_name));
    return m_db;
}

std::unique_ptr<Recordset> Database::OpenRecordset(const QString &text)
{
    return std::unique_ptr<Recordset>(new Recordset(this, text));
}

void Database::Execute(const QString &text)
{
    beforeWrite();
    Statement statement(handle(), TranslateDateLiterals(text));
    while (statement.step()) { }
}

Statement Database::Prepare(const QString &sql)
{
    beforeWrite();
    return Statement(handle(), sql);
}

int Database::Changes() const
{
    return sqlite3_changes(handle());
}

Statement &Database::cached(const QString &sql)
{
    auto &slot = m_cache[sql];
    if (!slot)
        slot = std::make_unique<Statement>(handle(), sql);
    return *slot;
}

void Database::beforeWrite()
{
    for (Recordset *recordset : m_recordsets)
        recordset->fixSelection();
}

QString Database::ReadOnlyReason() const
{
    const QFileInfo file(m_name);
    if (sqlite3_db_readonly(handle(), "main") == 1
        || ::access(QFile::encodeName(m_name).constData(), W_OK) != 0)
        return QStringLiteral("the file is read-only");
    if (::access(QFile::encodeName(file.absolutePath()).constData(), W_OK) != 0)
        return QStringLiteral("its folder '%1' is read-only").arg(file.absolutePath());
    return QString();
}

void Database::QuickCheck()
{
    Statement check(handle(), QStringLiteral("PRAGMA quick_check"));
    QStringList problems;
    try {
        while (check.step())
            problems << check.column(0).toString();
    } catch (const DatebellError &) {
        // The checker itself can stop at a page too damaged to read.
        problems << QString::fromUtf8(sqlite3_errmsg(handle()));
    }
    if (problems == QStringList{ QStringLiteral("ok") })
        return;
    // The checker names every broken cell: that goes to the details, never into the text.
    throw DatebellError(SQLITE_CORRUPT,
                        DescribeFailure(SQLITE_CORRUPT, m_name,
                                        QStringLiteral("SQLite's check found problems; the "
                                                       "details list them")),
                        problems.join(u'\n'));
}

void Database::BackupTo(const QString &path)
{
    // Made under another name with the database's permission bits, synced, then renamed over
    // `path`, so a crash leaves the old copy or the new one, never half of one.
    const QString temporary = path + QStringLiteral(".new");
    const QByteArray temporaryName = QFile::encodeName(temporary);
    QFile::remove(temporary);
    int error = 0; // the first failure's errno
    const auto ok = [&error](bool success) {
        if (!success && !error)
            error = errno ? errno : EIO;
        return success;
    };
    struct stat source = {};
    bool written = ok(::stat(QFile::encodeName(m_name).constData(), &source) == 0);
    const int to = written ? ::open(temporaryName.constData(),
                                    O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, source.st_mode & 07777)
                           : -1;
    written = ok(to >= 0) && ok(::fchmod(to, source.st_mode & 07777) == 0);
    if (written) {
        // The pages as this connection reads them: the committed table, nobody being able to
        // commit while the caller holds the write lock, whether it is all in the file (rollback
        // journal) or partly in the log (WAL). Read through this connection because no other
        // may read while an exclusive lock is held, and because no other descriptor on the
        // file may be opened and closed here: closing one drops every POSIX lock this process
        // holds on it, the write lock included.
        sqlite3_int64 size = 0;
        unsigned char *pages = sqlite3_serialize(handle(), "main", &size, 0);
        const auto release = qScopeGuard([pages] { sqlite3_free(pages); });
        written = pages != nullptr;
        if (!written)
            error = sqlite3_errcode(m_db) == SQLITE_NOMEM ? ENOMEM : EIO;
        for (sqlite3_int64 done = 0; written && done < size;) {
            const ssize_t n = ::write(to, pages + done, size_t(size - done));
            written = ok(n > 0);
            done += written ? n : 0;
        }
    }
    written = written && ok(::fsync(to) == 0);
    if (to >= 0)
        ::close(to);
    if (!written
        || !ok(::rename(temporaryName.constData(), QFile::encodeName(path).constData()) == 0)) {
        QFile::remove(temporary);
        throw CopyError(path, error, m_name);
    }
}

bool Database::HasDateCheck()
{
    Statement table(handle(),
                    QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND "
                                   "name = 'Events' COLLATE NOCASE"));
    return table.step() && table.column(0).toString().contains(QLatin1String(EventDateCheck));
}

void Database::Close()
{
    if (!m_db)
        return;
    for (Recordset *recordset : std::vector<Recordset *>(m_recordsets))
        recordset->Close();
    m_cache.clear();
    sqlite3_close_v2(m_db);
    m_db = nullptr;
}
