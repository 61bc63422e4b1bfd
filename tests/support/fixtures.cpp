#include "fixtures.h"

#include "engine/errors.h"
#include "engine/globals.h"
#include "engine/schema.h"

#include <QTest>

#include <sqlite3.h>

QString MemorySettings::GetSetting(const QString &, const QString &section, const QString &key,
                                   const QString &defaultText) const
{
    return values.value(section + u'/' + key, defaultText);
}

void MemorySettings::SaveSetting(const QString &, const QString &section, const QString &key,
                                 const QString &text)
{
    if (failSaves)
        throw DatebellError(ErrorNumber::SettingsNotSaved, QStringLiteral("disk full"));
    values.insert(section + u'/' + key, text);
}

bool FakeDesktop::canShowWindows(QString *why)
{
    if (!display)
        *why = QStringLiteral("no display");
    return display;
}

ProgramFolder::ProgramFolder(bool withChecks)
{
    if (withChecks) {
        CreateEventDatabase(database());
    } else {
        exec(QStringLiteral("CREATE TABLE Events (EventDate TEXT, Description TEXT, "
                            "RepeatFlag INTEGER)"));
    }
}

QString ProgramFolder::database() const
{
    return EventDatabasePath(m_dir.path());
}

namespace {
// Runs SQL through a connection of its own and hands each row to `row`.
void query(const QString &path, const QString &sql, const std::function<void(sqlite3_stmt *)> &row)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        QFAIL(qPrintable(QStringLiteral("%1: %2").arg(sql, QString::fromUtf8(sqlite3_errmsg(db)))));
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        row(stmt);
    if (rc != SQLITE_DONE)
        QFAIL(qPrintable(QStringLiteral("%1: %2").arg(sql, QString::fromUtf8(sqlite3_errmsg(db)))));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}
} // namespace

void ProgramFolder::exec(const QString &sql) const
{
    sqlite3 *db = nullptr;
    sqlite3_open(database().toUtf8().constData(), &db);
    char *message = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message);
    const QString text = QString::fromUtf8(message);
    sqlite3_free(message);
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        QFAIL(qPrintable(QStringLiteral("%1: %2").arg(sql, text)));
}

void ProgramFolder::add(const QString &date, const QString &description, int repeatFlag) const
{
    exec(QStringLiteral("INSERT INTO Events VALUES ('%1', '%2', %3)")
                 .arg(date, QString(description).replace(u'\'', QStringLiteral("''")))
                 .arg(repeatFlag));
}

QStringList ProgramFolder::rows() const
{
    QStringList result;
    query(database(),
          QStringLiteral("SELECT EventDate, Description, RepeatFlag FROM Events "
                         "ORDER BY EventDate, Description, RepeatFlag"),
          [&](sqlite3_stmt *stmt) {
              QStringList fields;
              for (int c = 0; c < 3; ++c)
                  fields << QString::fromUtf8(
                          reinterpret_cast<const char *>(sqlite3_column_text(stmt, c)));
              result << fields.join(u'|');
          });
    return result;
}

void resetEngineState()
{
    gdbEvents.reset();
    gdtLastRemind = QDate(1899, 12, 30);
    gdtRemindUntil = QDate();
    giReminderCount = 0;
    giDaysAhead = 0;
    gsSQL.clear();
}
