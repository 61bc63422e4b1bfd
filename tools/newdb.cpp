// datebell-newdb: creates an empty event database, optionally with sample events.

#include "engine/dates.h"
#include "engine/errors.h"
#include "engine/eventdb.h"
#include "engine/schema.h"
#include "tools/commandline.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

struct SampleEvent
{
    QDateTime date;
    const char *description;
    bool annual;
};

// The next 29 February on or after `from`.
QDate nextLeapDay(QDate from)
{
    for (int year = from.year();; ++year) {
        const QDate day(year, 2, 29);
        if (day.isValid() && day >= from)
            return day;
    }
}

// A few realistic events around today, so that a first run shows something: some due, one
// missed, one further off, and a 29 February birthday.
QList<SampleEvent> sampleEvents(QDate today)
{
    return {
        { EventDateTime(today.addDays(1)), "Mum's birthday", true },
        { EventDateTime(today.addDays(2), QTime(10, 30)), "Dentist, Dr Novak", false },
        { EventDateTime(today.addDays(-3)), "Renew the car insurance", false },
        { EventDateTime(today.addDays(-5)), "Grandpa Joe's birthday", true },
        { EventDateTime(today.addDays(20)), "Wedding anniversary", true },
        { EventDateTime(nextLeapDay(today)), "Leo's birthday (29 February)", true },
    };
}

QString sqlText(const QString &text)
{
    return u'\'' + QString(text).replace(u'\'', QStringLiteral("''")) + u'\'';
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption sampleOption(QStringLiteral("sample"),
                                          QStringLiteral("Add a few example events."));
    parser.addOption(sampleOption);
    parser.addPositionalArgument(QStringLiteral("DIR"),
                                 QStringLiteral("The folder of the new Datebell.mdb."));
    if (const auto status = ParseToolArguments(
                parser, application, QStringLiteral("datebell-newdb"),
                QStringLiteral("Creates DIR/Datebell.mdb, an empty Datebell event database. An "
                               "existing file is never touched."),
                1, 1))
        return *status;
    const bool sample = parser.isSet(sampleOption);
    const QString dir = parser.positionalArguments().constFirst();

    const QString path = QFileInfo(QDir(dir), QStringLiteral("Datebell.mdb")).absoluteFilePath();
    try {
        CreateEventDatabase(path);
        if (sample) {
            const auto db = DBEngine::OpenDatabase(path);
            Transaction transaction(*db);
            for (const SampleEvent &event : sampleEvents(QDate::currentDate())) {
                db->Execute(
                        QStringLiteral("INSERT INTO Events (EventDate, Description, "
                                       "RepeatFlag) VALUES (#%1#, %2, %3)")
                                .arg(StoredDateText(event.date),
                                     sqlText(QString::fromUtf8(event.description)),
                                     event.annual ? QStringLiteral("-1") : QStringLiteral("0")));
            }
            transaction.commit();
        }
    } catch (const DatebellError &error) {
        std::fprintf(stderr, "datebell-newdb: %s\n", qPrintable(error.text()));
        return 1;
    }
    std::printf("Created %s%s\n", qPrintable(path), sample ? " with sample events" : "");
    return 0;
}
