// The include lines of every line format: the file named, found and read into the report of
// the file including it.

#include "readers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>

using namespace Qt::StringLiterals;

namespace EventReading {

// An included file as calendar(1), birthday and remind find it: in `folders` (for calendar
// and birthday the folder of the file including it comes first), the first that holds it.
QString includedFile(const QString &name, const ReadOptions &options, QStringList folders,
                     bool besideFirst)
{
    if (besideFirst && !options.fileName.isEmpty())
        folders.prepend(QFileInfo(options.fileName).absolutePath());
    for (const QString &folder : folders) {
        const QString path = QDir(folder).filePath(name);
        if (QFileInfo(path).isFile() || QFileInfo(path).isDir())
            return path;
    }
    return QString();
}

// Reads one included file into `out`, which the chain of files including it leads to.
void readOneIncluded(EventFormat format, const QString &path, int line, const QString &text,
                     Collector &out, int depth)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return out.unreadable(line, text, u"cannot read %1: %2"_s.arg(path, file.errorString()));
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (out.including.contains(canonical)
        || QFileInfo(out.options.fileName).canonicalFilePath() == canonical)
        return out.unreadable(line, text, u"%1 includes itself"_s.arg(QFileInfo(path).fileName()));
    ReadOptions options = out.options;
    options.fileName = path;
    Collector inner(options, out.sink);
    inner.file = path;
    inner.including = out.including;
    if (!out.options.fileName.isEmpty())
        inner.including << QFileInfo(out.options.fileName).canonicalFilePath();
    LineReader reader(file, out.options.encoding);
    if (format == EventFormat::Calendar)
        readCalendar(reader, inner, depth + 1);
    else if (format == EventFormat::Birthday)
        readBirthday(reader, inner, depth + 1);
    else
        readRemind(reader, inner, depth + 1);
    out.merge(inner.report);
}

// Reads the file that an include line names into `out`; remind reads every "*.rem" file of a
// folder it names, in the order of their names.
void readIncluded(EventFormat format, const QString &name, int line, const QString &text,
                  Collector &out, int depth, const QStringList &folders, bool besideFirst)
{
    if (!out.options.followIncludes)
        return;
    if (depth >= maxIncludeDepth)
        return out.unreadable(line, text,
                              u"included files nest deeper than %1"_s.arg(maxIncludeDepth));
    const QString path = includedFile(name, out.options, folders, besideFirst);
    if (path.isEmpty())
        return out.unreadable(line, text, u"the included file %1 is not found"_s.arg(name));
    if (format != EventFormat::Remind || !QFileInfo(path).isDir())
        return readOneIncluded(format, path, line, text, out, depth);
    const QDir folder(path);
    for (const QString &entry : folder.entryList({ u"*.rem"_s }, QDir::Files, QDir::Name))
        readOneIncluded(format, folder.filePath(entry), line, text, out, depth);
}

QString includeName(QString text)
{
    text = text.trimmed();
    if (text.startsWith(u'(') && text.endsWith(u')'))
        text = text.mid(1).chopped(1).trimmed();
    if (text.size() >= 2
        && ((text.startsWith(u'<') && text.endsWith(u'>'))
            || (text.startsWith(u'"') && text.endsWith(u'"'))))
        text = text.mid(1).chopped(1);
    return text;
}

} // namespace EventReading
