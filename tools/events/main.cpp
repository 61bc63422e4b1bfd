// datebell-events: exports the events of a program folder's Datebell.mdb as CSV or iCalendar,
// and imports events from those files and from the files of remind, BSD calendar and birthday.

#include "engine/basDatBel.h"
#include "engine/errors.h"
#include "engine/eventdb.h"
#include "engine/platform.h"
#include "eventformats.h"
#include "eventstore.h"
#include "tools/commandline.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>
#include <exception>

using namespace Qt::StringLiterals;

namespace {

constexpr int badInput = 1;

const char description[] =
        "Moves events in and out of DIR/Datebell.mdb (DIR: the folder of this command unless\n"
        "--folder names another).\n"
        "\n"
        "export   writes every event as CSV (the default) or iCalendar to FILE, or to standard\n"
        "         output when FILE is missing or '-'. Options: --format csv|ics.\n"
        "import   adds the events of FILE ('-': standard input) that are not there yet, all or\n"
        "         nothing. Entries Datebell cannot hold (other repetitions, moving holidays)\n"
        "         and past one-off events are listed and passed over.\n"
        "\n"
        "Exit status: 0 done, 1 bad input or an unusable database, 2 wrong usage.";

void say(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
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

int importEvents(const QString &databasePath, const Options &options,
                 const QCommandLineParser &parser)
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
        return UsageError(
                parser, u"iCalendar files are UTF-8 text; --encoding is for the other formats."_s);

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
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption folderOption(
            u"folder"_s, u"The folder of the Datebell.mdb to work on."_s, u"DIR"_s);
    const QCommandLineOption formatOption(
            u"format"_s,
            u"csv, ics, remind, calendar or birthday; export writes csv (the default) or ics. "
            "Without it an import guesses the format from the content and the file name."_s,
            u"FORMAT"_s);
    const QCommandLineOption dryRunOption(
            u"dry-run"_s, u"import: lists what would be added and changes nothing."_s);
    const QCommandLineOption skipBadOption(
            u"skip-bad"_s, u"import: imports what can be read and lists the rest."_s);
    const QCommandLineOption includePastOption(
            u"include-past"_s, u"import: imports one-off events dated before today too."_s);
    const QCommandLineOption dateOrderOption(
            u"date-order"_s,
            u"import: how a CSV file's dates are written: dmy (24.12.2027), mdy (12/24/2027) or "
            "ymd; found from the file without it."_s,
            u"ORDER"_s);
    const QCommandLineOption encodingOption(
            u"encoding"_s,
            u"import: the encoding of a CSV, remind, calendar or birthday file (ISO-8859-2, "
            "windows-1252...); without it UTF-8, and lines that are not are read in the one "
            "usual for your language."_s,
            u"NAME"_s);
    parser.addOptions({ folderOption, formatOption, dryRunOption, skipBadOption, includePastOption,
                        dateOrderOption, encodingOption });
    parser.addPositionalArgument(u"command"_s, u"export or import."_s, u"export|import"_s);
    parser.addPositionalArgument(u"FILE"_s,
                                 u"The file to write or read; '-': standard output "
                                 "or input."_s,
                                 u"[FILE]"_s);
    if (const auto status = ParseToolArguments(parser, application, u"datebell-events"_s,
                                               QString::fromLatin1(description), 0, 2))
        return *status;
    const auto usage = [&parser](const QString &problem) { return UsageError(parser, problem); };

    Options options;
    if (parser.isSet(folderOption)) {
        options.folder = parser.value(folderOption);
        if (options.folder.isEmpty())
            return usage(u"--folder needs a folder."_s);
    }
    if (parser.isSet(formatOption)) {
        const QString name = parser.value(formatOption);
        options.format = FormatFromName(name);
        if (!options.format)
            return usage(u"unknown format '%1'."_s.arg(name));
    }
    options.dryRun = parser.isSet(dryRunOption);
    options.skipBad = parser.isSet(skipBadOption);
    options.includePast = parser.isSet(includePastOption);
    if (parser.isSet(encodingOption)) {
        options.encoding = parser.value(encodingOption);
        if (options.encoding.isEmpty())
            return usage(u"--encoding needs the name of an encoding."_s);
        if (!EncodingKnown(options.encoding))
            return usage(u"unknown encoding '%1' (iconv --list names those known)."_s.arg(
                    options.encoding));
    }
    if (parser.isSet(dateOrderOption)) {
        const QString name = parser.value(dateOrderOption);
        options.dateOrder = DateOrderFromName(name);
        if (!options.dateOrder)
            return usage(u"unknown date order '%1': dmy, mdy or ymd."_s.arg(name));
    }
    QStringList plain = parser.positionalArguments(); // the command and the file
    if (plain.isEmpty())
        return usage(u"no command: export or import."_s);
    options.command = plain.takeFirst();
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
            return importEvents(databasePath, options, parser);
        const auto db = DBEngine::OpenDatabase(databasePath);
        return exportEvents(*db, options);
    } catch (const DatebellError &error) {
        return fail(ErrorReportText(error));
    } catch (const std::exception &error) {
        return fail(QString::fromLocal8Bit(error.what()));
    }
}
