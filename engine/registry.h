#pragma once

#include <QByteArray>
#include <QString>

// The Windows registry as its API shows it: keys opened under a root by path, values read
// into a caller's buffer. Linux has none; the default finds nothing, and tests use one held
// in memory.
class Registry
{
public:
    virtual ~Registry() = default;
    // Each returns 0 on success or a Windows error code. Names are in the single-byte code page.
    virtual long RegOpenKeyExA(quint32 root, const QByteArray &subKey, quint32 options,
                               quint32 access, quintptr *key) = 0;
    // Reads the value into `data`, whose size is the buffer's; `size` is the buffer's size on
    // the way in and the value's on the way out.
    virtual long RegQueryValueExA(quintptr key, const QByteArray &valueName, quint32 *type,
                                  QByteArray &data, quint32 *size) = 0;
    virtual long RegCloseKey(quintptr key) = 0;
};

// The registry of a desktop that has none: every key is missing.
class NoRegistry final : public Registry
{
public:
    long RegOpenKeyExA(quint32, const QByteArray &, quint32, quint32, quintptr *) override;
    long RegQueryValueExA(quintptr, const QByteArray &, quint32 *, QByteArray &,
                          quint32 *) override;
    long RegCloseKey(quintptr) override;
};

namespace RegistryConstant {
inline constexpr quint32 HKeyLocalMachine = 0x80000002;
inline constexpr quint32 OpenAccess = 0x2003F; // read rights plus query, set, create, notify, link
inline constexpr quint32 RegSz = 1;
inline constexpr quint32 RegDword = 4;
inline constexpr long ErrorFileNotFound = 2;
inline constexpr long ErrorAccessDenied = 5;
inline constexpr long ErrorMoreData = 234;
} // namespace RegistryConstant

// Reads a registry value as text: a string as it stands, a 32-bit number in decimal; another
// type leaves `KeyVal` as it was. False, with `KeyVal` empty, when the key or value cannot be
// read. A value of size 0 raises the invalid-argument error.
bool GetKeyValue(Registry &registry, quint32 KeyRoot, const QString &KeyName,
                 const QString &SubKeyRef, QString &KeyVal);
