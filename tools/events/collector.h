#pragma once

#include "eventformats.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace EventReading {

class TextDecoder;

// Where readers put what they find: records go on to the sink once checked, and annual
// events dated before today move to their next occurrence, as the reminder keeps them (it
// moves an annual event on one year a pass, so a birth year would show it missed for decades).
// One-off events dated before today are skipped: the reminder would show them once as missed
// and delete them.
class Collector
{
public:
    Collector(const ReadOptions &options, const RecordSink &sink) : options(options), sink(sink) { }

    void add(int line, EventRecord record);
    void unreadable(int line, const QString &event, const QString &reason);
    void skip(int line, const QString &event, const QString &reason);
    void warn(const QString &text);
    // What an included file's reading found, in this report.
    void merge(const ReadReport &other);

    const ReadOptions &options;
    const RecordSink &sink;
    QString file; // empty for the file named on the command line
    QStringList including; // the files whose include lines led here
    ReadReport report;
    std::shared_ptr<TextDecoder> fallback; // for lines that are not UTF-8
};

} // namespace EventReading
