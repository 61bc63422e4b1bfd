#pragma once

#include <QByteArray>
#include <QString>

// The Windows registry as its API shows it: keys opened under a root by path, values read
// into a caller's buffer. Linux has none: DesktopRegistry answers the one lookup the program
// makes, for the system information tool, from the programs installed on PATH.
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

namespace RegistryConstant {
inline constexpr quint32 HKeyLocalMachine = 0x80000002;
inline constexpr quint32 OpenAccess = 0x2003F; // read rights plus query, set, create, notify, link
inline constexpr quint32 RegSz = 1;
inline constexpr quint32 RegDword = 4;
inline constexpr long ErrorFileNotFound = 2;
inline constexpr long ErrorMoreData = 234;
} // namespace RegistryConstant

// Reads a registry value as text: a string as it stands, a 32-bit number in decimal; another
// type leaves `KeyVal` as it was. False, with `KeyVal` empty, when the key or value cannot be
// read. A value of size 0 raises the invalid-argument error.
bool GetKeyValue(Registry &registry, quint32 KeyRoot, const QString &KeyName,
                 const QString &SubKeyRef, QString &KeyVal);

// The registry of this desktop. It holds one key, the system information tool's
// ("SOFTWARE\Microsoft\Shared Tools\MSINFO" under HKEY_LOCAL_MACHINE), whose "PATH" value is
// SystemInfoCommand() at the time it is read, a string with its terminating NUL; the value is
// missing when that is empty. Every other key is missing.
class DesktopRegistry final : public Registry
{
public:
    long RegOpenKeyExA(quint32 root, const QByteArray &subKey, quint32, quint32,
                       quintptr *key) override;
    long RegQueryValueExA(quintptr key, const QByteArray &valueName, quint32 *type,
                          QByteArray &data, quint32 *size) override;
    long RegCloseKey(quintptr) override;
};

// The command line that starts the desktop's own system information program, found on PATH,
// or empty when none is installed. Tried in this order: GNOME Settings' About page
// ("gnome-control-center about"), on GNOME and Unity only (XDG_CURRENT_DESKTOP), as it refuses
// to run on other desktops; KDE's kinfocenter; hardinfo. The program's path is in double
// quotes, as QProcess::splitCommand reads it; a path the single-byte code page cannot hold
// is passed over.
QString SystemInfoCommand();
