#include "engine/registry.h"

#include "engine/clsHourglass.h"
#include "engine/errors.h"

#include <QtEndian>

long NoRegistry::RegOpenKeyExA(quint32, const QByteArray &, quint32, quint32, quintptr *)
{
    return RegistryConstant::ErrorFileNotFound;
}

long NoRegistry::RegQueryValueExA(quintptr, const QByteArray &, quint32 *, QByteArray &, quint32 *)
{
    return RegistryConstant::ErrorFileNotFound;
}

long NoRegistry::RegCloseKey(quintptr)
{
    return 0;
}

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
