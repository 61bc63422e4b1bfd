#include "engine/schema.h"

#include "engine/errors.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sqlite3.h>
#include <unistd.h>

void CreateEventDatabase(const QString &path)
{
    if (QFileInfo::exists(path))
        throw DatebellError(ErrorNumber::UnrecognizedFormat,
                            QStringLiteral("'%1' already exists; it is left as it is.").arg(path));

    // Build the database in memory, then write it out whole through a temporary file, so a
    // half-made database never stands under the real name.
    sqlite3 *raw = nullptr;
    sqlite3_open(":memory:", &raw);
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, &sqlite3_close);
    char *message = nullptr;
    if (sqlite3_exec(raw, EventsSchema, nullptr, nullptr, &message) != SQLITE_OK) {
        const QString text = QString::fromUtf8(message);
        sqlite3_free(message);
        throw DatebellError(sqlite3_extended_errcode(raw), text);
    }
    sqlite3_int64 size = 0;
    unsigned char *bytes = sqlite3_serialize(raw, "main", &size, 0);
    const std::unique_ptr<unsigned char, decltype(&sqlite3_free)> image(bytes, &sqlite3_free);

    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!bytes || !file.open() || file.write(reinterpret_cast<const char *>(bytes), size) != size
        || !file.flush() || ::fsync(file.handle()) != 0) {
        throw DatebellError(ErrorNumber::FileNotFound,
                            QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
    }
    // link() puts the finished file under its name only if that name is still free.
    if (::link(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData())
        != 0) {
        throw DatebellError(ErrorNumber::FileNotFound,
                            QStringLiteral("Cannot create '%1': %2")
                                    .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
}
