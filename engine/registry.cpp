#include "engine/registry.h"

#include "engine/clsHourglass.h"
#include "engine/errors.h"

#include <QList>
#include <QStandardPaths>
#include <QtEndian>

bool GetKeyValue(Registry &registry, quint32 KeyRoot, const QString &KeyName,
                 const QString &SubKeyRef, QString &KeyVal)
{
    clsHourglass hourglass;
    hourglass.DisplayCursor();

    constexpr quint32 bufferSize = 1024;
    quintptr key = 0;
    if (registry.RegOpenKeyExA(KeyRoot, KeyName.toLatin1(), 0, RegistryConstant::OpenAccess, &key)
        != 0) {
        KeyVal.clear();
        return false;
    }
    QByteArray buffer(bufferSize, '\0');
    quint32 type = 0;
    quint32 size = bufferSize;
    if (registry.RegQueryValueExA(key, SubKeyRef.toLatin1(), &type, buffer, &size) != 0) {
        KeyVal.clear();
        registry.RegCloseKey(key);
        return false;
    }
    if (size == 0) {
        registry.RegCloseKey(key);
        throw DatebellError(5, QStringLiteral("Invalid procedure call or argument"));
    }
    // The whole buffer as text; a string's terminating NUL is dropped, one only.
    const QString text = QString::fromLatin1(buffer.constData(), buffer.size());
    const qsizetype kept =
            text.at(qMin<qsizetype>(size, bufferSize) - 1) == QChar(u'\0') ? size - 1 : size;
    if (type == RegistryConstant::RegSz)
        KeyVal = text.left(kept);
    else if (type == RegistryConstant::RegDword)
        KeyVal = QString::number(qFromLittleEndian<qint32>(buffer.constData()));
    registry.RegCloseKey(key);
    return true;
}

namespace {
const QByteArray systemInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr quintptr systemInfoHandle = 1;
} // namespace

QString SystemInfoCommand()
{
    struct Candidate
    {
        QString program;
        QString arguments;
    };
    QList<Candidate> candidates;
    const QStringList desktops =
            qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
    if (desktops.contains(QStringLiteral("GNOME"), Qt::CaseInsensitive)
        || desktops.contains(QStringLiteral("Unity"), Qt::CaseInsensitive))
        candidates.append({ QStringLiteral("gnome-control-center"), QStringLiteral(" about") });
    candidates.append({ QStringLiteral("kinfocenter"), QString() });
    candidates.append({ QStringLiteral("hardinfo"), QString() });
    for (const Candidate &candidate : candidates) {
        const QString path = QStandardPaths::findExecutable(candidate.program);
        // A literal double quote is three, for QProcess::splitCommand.
        const QString command = u'"' + QString(path).replace(u'"', QStringLiteral("\"\"\"")) + u'"'
                + candidate.arguments;
        if (!path.isEmpty() && QString::fromLatin1(command.toLatin1()) == command)
            return command;
    }
    return QString();
}

long DesktopRegistry::RegOpenKeyExA(quint32 root, const QByteArray &subKey, quint32, quint32,
                                    quintptr *key)
{
    if (root != RegistryConstant::HKeyLocalMachine
        || subKey.compare(systemInfoKey, Qt::CaseInsensitive) != 0)
        return RegistryConstant::ErrorFileNotFound;
    *key = systemInfoHandle;
    return 0;
}

long DesktopRegistry::RegQueryValueExA(quintptr key, const QByteArray &valueName, quint32 *type,
                                       QByteArray &data, quint32 *size)
{
    if (key != systemInfoHandle || valueName.compare("PATH", Qt::CaseInsensitive) != 0)
        return RegistryConstant::ErrorFileNotFound;
    const QString command = SystemInfoCommand();
    if (command.isEmpty())
        return RegistryConstant::ErrorFileNotFound;
    const QByteArray value = command.toLatin1() + '\0';
    const quint32 length = quint32(value.size());
    // As the Windows registry does: a value longer than the buffer is not copied, and its
    // length is reported.
    const bool fits = length <= *size && length <= quint32(data.size());
    if (fits) {
        data.replace(0, value.size(), value);
        *type = RegistryConstant::RegSz;
    }
    *size = length;
    return fits ? 0 : RegistryConstant::ErrorMoreData;
}

long DesktopRegistry::RegCloseKey(quintptr)
{
    return 0;
}
