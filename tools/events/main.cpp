// datebell-events: exports the events of a program folder's Datebell.mdb as CSV or iCalendar,
// and imports events from those files and from the files of remind, BSD calendar and birthday.

#include "engine/basDatBel.h"
#include "engine/errors.h"
#include "engine/eventdb.h"
#include "engine/platform.h"
#include "eventformats.h"
#include "eventstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>
#include <exception>

using namespace Qt::StringLiterals;

namespace {

constexpr int badInput = 1;
constexpr int usageError = 2;

const char usageText[] =
        "Usage: datebell-events [--folder DIR] export [--format csv|ics] [FILE]\n"
        "       datebell-events [--folder DIR] import [--format FORMAT] [--dry-run] [--skip-bad]\n"
        "                                         [--include-past] [--date-order dmy|mdy|ymd]\n"
        "                                         [--encoding NAME] FILE\n"
        "\n"
        "Moves events in and out of DIR/Datebell.mdb (DIR: the folder of this command unless\n"
        "--folder names another).\n"
        "\n"
        "export   writes every event as CSV (the default) or iCalendar to FILE, or to standard\n"
        "         output when FILE is missing or '-'.\n"
        "import   adds the events of FILE ('-': standard input) that are not there yet, all or\n"
        "         nothing. FORMAT is csv, ics, remind, calendar or birthday; without --format it\n"
        "         is guessed from the content and the file name.\n"
        "         --dry-run       lists what would be added and changes nothing\n"
        "         --skip-bad      imports what can be read and lists the rest\n"
        "         --include-past  imports one-off events dated before today too\n"
        "         --date-order    how a CSV file's dates are written: dmy (24.12.2027),\n"
        "                         mdy (12/24/2027) or ymd; found from the file without it\n"
        "         --encoding      the encoding of a CSV, remind, calendar or birthday file\n"
        "                         (ISO-8859-2, windows-1252...); without it UTF-8, and lines\n"
        "                         that are not are read in the one usual for your language\n"
        "         Entries Datebell cannot hold (other repetitions, moving holidays) and\n"
        "         past one-off events are listed and passed over.\n"
        "\n"
        "Exit status: 0 done, 1 bad input or an unusable database, 2 wrong usage.\n";

void say(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

int usage(const QString &problem)
{
    std::fprintf(stderr, "datebell-events: %s\n\n%s", problem.toUtf8().constData(), usageText);
    return usageError;
}

int fail(const QString &text)
{
    say(u"datebell-events: "_s + text);
    return badInput;
}

struct Options
{
    QString command;
    QString folder;
    QString file;
    std::optional<EventFormat> format;
    bool dryRun = false;
    bool skipBad = false;
    bool includePast = false;
    std::optional<DateOrder> dateOrder;
    QString encoding;
};

// A line of a file as a message shows it: one line, not too long.
QString shownLine(QString text)
{
    text.replace(u'\t', u' ').replace(u'\r', u' ').replace(u'\n', u"\\n"_s);
    return text.size() > 160 ? text.left(157) + u"..."_s : text;
}

// "1 event", "2 events".
QString count(qsizetype n, const QString &noun)
{
    return u"%1 %2%3"_s.arg(n).arg(noun, n == 1 ? QString() : u"s"_s);
}

QString fileLabel(const QString &file)
{
    return file == u"-" ? u"standard input"_s : file;
}

int exportEvents(Database &db, const Options &options)
{
    const EventFormat format = options.format.value_or(EventFormat::Csv);
    QSaveFile saved;
    QFile standardOutput;
    QIODevice *device = &saved;
    if (options.file.isEmpty() || options.file == u"-") {
        if (!standardOutput.open(stdout, QIODevice::WriteOnly))
            return fail(u"could not write the events to standard output."_s);
        device = &standardOutput;
    } else {
        // Written whole or not at all: a failed export leaves an older file as it was.
        saved.setFileName(options.file);
        if (!saved.open(QIODevice::WriteOnly))
            return fail(u"could not write '%1': %2"_s.arg(options.file, saved.errorString()));
    }
    EventWriter writer(format, *device, QDateTime::currentDateTimeUtc());
    qint64 written = 0;
    qint64 skipped = 0;
    ReadStoredEvents(
            db,
            [&](const EventRecord &record) {
                writer.write(record);
                ++written;
            },
            [&](const SkippedRow &row) {
                ++skipped;
                say(u"datebell-events: skipped the row dated \"%1\", \"%2\", annual flag %3: %4"_s
                            .arg(shownLine(row.date), shownLine(row.description), row.flag,
                                 row.reason));
            });
    const bool ok = writer.finish();
    if (device == &standardOutput) {
        if (!ok || !standardOutput.flush())
            return fail(u"could not write the events to standard output."_s);
    } else if (!ok || !saved.commit()) {
        return fail(u"could not write '%1': %2"_s.arg(options.file, saved.errorString()));
    }
    QString summary = u"Exported %1 as %2"_s.arg(count(written, u"event"_s), FormatName(format));
    if (skipped > 0)
        summary += u"; skipped %1 not in the form Datebell writes"_s.arg(count(skipped, u"row"_s));
    say(summary + u'.');
    return 0;
}

int importEvents(const QString &databasePath, const Options &options)
{
    QFile file;
    const bool standardInput = options.file == u"-";
    bool opened = false;
    if (standardInput) {
        opened = file.open(stdin, QIODevice::ReadOnly);
    } else {
        file.setFileName(options.file);
        opened = file.open(QIODevice::ReadOnly);
    }
    if (!opened)
        return fail(u"cannot read '%1': %2"_s.arg(options.file, file.errorString()));
    const QString label = fileLabel(options.file);

    std::optional<EventFormat> format = options.format;
    if (format) {
        say(u"Format: "_s + FormatName(*format));
    } else {
        format = GuessFormat(file.peek(64 * 1024), standardInput ? QString() : options.file);
        if (!format)
            return fail(u"cannot tell the format of '%1'; name it with --format (csv, ics, "
                        "remind, calendar or birthday)."_s.arg(label));
        say(u"Format: %1 (guessed)"_s.arg(FormatName(*format)));
    }
    if (*format == EventFormat::ICalendar && !options.encoding.isEmpty())
        return usage(u"iCalendar files are UTF-8 text; --encoding is for the other formats."_s);

    const auto db = DBEngine::OpenDatabase(databasePath);
    if (!options.dryRun)
        CheckWritable(*db);
    EventImport import(*db, options.dryRun);
    ReadOptions readOptions;
    readOptions.today = QDate::currentDate();
    readOptions.fileName = standardInput ? QString() : options.file;
    readOptions.includePast = options.includePast;
    readOptions.dateOrder = options.dateOrder;
    readOptions.encoding = options.encoding;
    const ReadReport report =
            ReadEvents(*format, file, readOptions, [&](const EventRecord &record) {
                if (!import.add(record) || !options.dryRun)
                    return;
                const QByteArray line = (RecordDateText(record) + u'\t'
                                         + (record.annual ? u"annual"_s : u"one-off"_s) + u'\t'
                                         + shownLine(record.description) + u'\n')
                                                .toUtf8();
                std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
            });
    std::fflush(stdout);

    // In one pass each: a '%1' in a file name or an event is text, not a place to fill.
    const auto where = [&](const NotImported &entry) {
        return u"%1:%2"_s.arg(entry.file.isEmpty() ? label : entry.file,
                              QString::number(entry.line));
    };
    for (const QString &warning : report.warnings)
        say(u"%1: warning: %2"_s.arg(label, warning));
    for (const NotImported &entry : report.skipped)
        say(u"%1: skipped \"%2\": %3"_s.arg(where(entry), entry.event, entry.reason));
    if (report.skippedCount > report.skipped.size())
        say(u"%1: %2 more skipped"_s.arg(label).arg(report.skippedCount - report.skipped.size()));
    for (const NotImported &entry : report.unreadable)
        say(u"%1: cannot read \"%2\": %3"_s.arg(where(entry), entry.event, entry.reason));
    if (report.unreadableCount > report.unreadable.size())
        say(u"%1: %2 more that cannot be read"_s.arg(label).arg(report.unreadableCount
                                                                - report.unreadable.size()));
    const qint64 unreadable = report.unreadableCount;
    if (report.refused)
        return fail(u"nothing was imported from '%1'."_s.arg(label));
    if (unreadable > 0 && !options.skipBad)
        return fail(
                u"nothing was imported: %1 of '%2' could not be read (--skip-bad imports "
                "the others)."_s.arg(
                        (unreadable == 1 ? u"1 entry"_s : u"%1 entries"_s.arg(unreadable)), label));
    import.commit();
    db->Close();

    const QString counts = u"%1 %2, duplicates %3, skipped %4, unreadable %5"_s.arg(
            options.dryRun ? u"would add"_s : u"Added"_s, QString::number(import.added),
            QString::number(import.duplicates), QString::number(report.skippedCount),
            QString::number(unreadable));
    say(options.dryRun ? u"Dry run: "_s + counts + u"; nothing was changed."_s : counts);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    bool optionsEnded = false;
    QStringList plain; // the command and the file
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        // "--name value" and "--name=value"
        const auto value = [&](const QString &name, QString *out) {
            if (argument == name) {
                if (i + 1 >= argc)
                    return false;
                *out = QString::fromLocal8Bit(argv[++i]);
                return true;
            }
            *out = argument.mid(name.size() + 1);
            return true;
        };
        const auto isOption = [&](const QString &name) {
            return argument == name || argument.startsWith(name + u'=');
        };
        if (optionsEnded || argument == u"-" || !argument.startsWith(u'-')) {
            plain << argument;
        } else if (argument == u"--") {
            optionsEnded = true;
        } else if (argument == u"-h" || argument == u"--help") {
            std::fputs(usageText, stdout);
            return 0;
        } else if (isOption(u"--folder"_s)) {
            if (!value(u"--folder"_s, &options.folder) || options.folder.isEmpty())
                return usage(u"--folder needs a folder."_s);
        } else if (isOption(u"--format"_s)) {
            QString name;
            if (!value(u"--format"_s, &name))
                return usage(u"--format needs a format."_s);
            options.format = FormatFromName(name);
            if (!options.format)
                return usage(u"unknown format '%1'."_s.arg(name));
        } else if (argument == u"--dry-run") {
            options.dryRun = true;
        } else if (argument == u"--skip-bad") {
            options.skipBad = true;
        } else if (argument == u"--include-past") {
            options.includePast = true;
        } else if (isOption(u"--encoding"_s)) {
            if (!value(u"--encoding"_s, &options.encoding) || options.encoding.isEmpty())
                return usage(u"--encoding needs the name of an encoding."_s);
            if (!EncodingKnown(options.encoding))
                return usage(u"unknown encoding '%1' (iconv --list names those known)."_s.arg(
                        options.encoding));
        } else if (isOption(u"--date-order"_s)) {
            QString name;
            if (!value(u"--date-order"_s, &name))
                return usage(u"--date-order needs an order: dmy, mdy or ymd."_s);
            options.dateOrder = DateOrderFromName(name);
            if (!options.dateOrder)
                return usage(u"unknown date order '%1': dmy, mdy or ymd."_s.arg(name));
        } else {
            return usage(u"unknown option '%1'."_s.arg(argument));
        }
    }
    if (plain.isEmpty())
        return usage(u"no command: export or import."_s);
    options.command = plain.takeFirst();
    if (plain.size() > 1)
        return usage(u"more than one file: %1."_s.arg(plain.join(u", "_s)));
    options.file = plain.value(0);
    if (options.command == u"export") {
        if (options.dryRun || options.skipBad || options.includePast || options.dateOrder
            || !options.encoding.isEmpty())
            return usage(u"--dry-run, --skip-bad, --include-past, --date-order and --encoding "
                         "are options of import."_s);
        if (options.format && *options.format != EventFormat::Csv
            && *options.format != EventFormat::ICalendar)
            return usage(u"export writes csv or ics."_s);
    } else if (options.command == u"import") {
        if (options.file.isEmpty())
            return usage(u"import needs a file."_s);
    } else {
        return usage(u"unknown command '%1': export or import."_s.arg(options.command));
    }

    const QString folder = options.folder.isEmpty() ? ProgramDirectory() : options.folder;
    const QString databasePath = EventDatabasePath(QDir(folder).absolutePath());
    try {
        if (options.command == u"import")
            return importEvents(databasePath, options);
        const auto db = DBEngine::OpenDatabase(databasePath);
        return exportEvents(*db, options);
    } catch (const DatebellError &error) {
        return fail(ErrorReportText(error));
    } catch (const std::exception &error) {
        return fail(QString::fromLocal8Bit(error.what()));
    }
}
