#include "engine/database.h"

#include "engine/backupfiles.h"
#include "engine/connection.h"
#include "engine/dateliterals.h"
#include "engine/errors.h"
#include "engine/recordset.h"
#include "engine/schema.h"
#include "engine/storeerrors.h"

#include <QFile>
#include <QFileInfo>

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

void Database::QuickCheck(const QString &)
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
    const QByteArray sourceName = QFile::encodeName(m_name);
    QFile::remove(temporary);
    int error = 0; // the first failure's errno
    const auto ok = [&error](bool success) {
        if (!success && !error)
            error = errno ? errno : EIO;
        return success;
    };
    struct stat source = {};
    bool written = ok(::stat(sourceName.constData(), &source) == 0);
    const int to = written ? ::open(temporaryName.constData(),
                                    O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, source.st_mode & 07777)
                           : -1;
    written = ok(to >= 0) && ok(::fchmod(to, source.st_mode & 07777) == 0);
    Statement mode(handle(), QStringLiteral("PRAGMA journal_mode"));
    if (written && mode.step() && mode.column(0).toString() != u"wal") {
        // With a rollback journal the file holds exactly the committed table, and nobody can
        // commit while the caller holds the write lock: the bytes are the copy.
        const int from = ::open(sourceName.constData(), O_RDONLY | O_CLOEXEC);
        written = ok(from >= 0);
        for (ssize_t n = 1; written && n > 0;) {
            n = ::copy_file_range(from, nullptr, to, nullptr, size_t(1) << 30, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL)) {
                char buffer[1 << 16];
                for (n = ::read(from, buffer, sizeof buffer); written && n > 0;
                     n = ::read(from, buffer, sizeof buffer))
                    written = ok(::write(to, buffer, size_t(n)) == n);
            }
            written = written && ok(n >= 0);
        }
        if (from >= 0)
            ::close(from);
    } else if (written) {
        // In WAL mode committed pages may still be in the log: SQLite's online backup, from a
        // read connection of its own (it will not copy from one in a write transaction).
        sqlite3 *reader = nullptr, *copy = nullptr;
        written = sqlite3_open_v2(sourceName.constData(), &reader, SQLITE_OPEN_READONLY, nullptr)
                        == SQLITE_OK
                && sqlite3_open_v2(temporaryName.constData(), &copy, SQLITE_OPEN_READWRITE, nullptr)
                        == SQLITE_OK;
        if (written) {
            sqlite3_busy_timeout(reader, BusyTimeoutMs);
            sqlite3_backup *backup = sqlite3_backup_init(copy, "main", reader, "main");
            const int rc = backup ? sqlite3_backup_step(backup, -1) : SQLITE_ERROR;
            written = rc == SQLITE_DONE;
            written = sqlite3_backup_finish(backup) == SQLITE_OK && written;
            if (rc == SQLITE_FULL)
                error = ENOSPC;
        }
        sqlite3_close_v2(copy);
        sqlite3_close_v2(reader);
        ok(written);
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
