#include "collector.h"

#include "engine/dates.h"
#include "readers.h"

namespace EventReading {

void Collector::add(int line, EventRecord record)
{
    if (const auto fault = descriptionFault(record.description))
        return unreadable(line, record.description, *fault);
    if (!record.annual && record.date.date() < options.today && !options.includePast)
        return skip(line, record.description, QStringLiteral("already past"));
    if (record.annual && record.date.date() < options.today) {
        const QDate date = record.date.date();
        record.date = EventDateTime(NextOccurrence(date.month(), date.day(), options.today),
                                    record.date.time());
    }
    ++report.events;
    sink(record);
}

void Collector::unreadable(int line, const QString &event, const QString &reason)
{
    if (report.unreadableCount++ < ReadReport::listed)
        report.unreadable << NotImported{ file, line, shown(event), reason };
}

void Collector::skip(int line, const QString &event, const QString &reason)
{
    if (report.skippedCount++ < ReadReport::listed)
        report.skipped << NotImported{ file, line, shown(event), reason };
}

void Collector::warn(const QString &text)
{
    const QString line = file.isEmpty() ? text : file + QStringLiteral(": ") + text;
    if (!report.warnings.contains(line))
        report.warnings << line;
}

void Collector::merge(const ReadReport &other)
{
    report.unreadable << other.unreadable.mid(0, ReadReport::listed - report.unreadable.size());
    report.skipped << other.skipped.mid(0, ReadReport::listed - report.skipped.size());
    report.unreadableCount += other.unreadableCount;
    report.skippedCount += other.skippedCount;
    report.warnings << other.warnings;
    report.events += other.events;
    report.refused = report.refused || other.refused;
}

} // namespace EventReading
