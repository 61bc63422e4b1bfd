#pragma once

#include "engine/basDatBel.h"

#include <QString>

// The desktop as the program's window module provides it: the windows, the event loop and
// the box that reports an error.
class WindowsDesktop : public Desktop
{
public:
    virtual int exec() = 0;
    virtual void showError(const QString &report) = 0;
};

// The function the window module exports, and where the module is.
using WindowsModuleEntry = WindowsDesktop *(*)(int *argc, char **argv);
inline constexpr char WindowsModuleEntryName[] = "datebell_windows";
inline constexpr char WindowsModuleFile[] = "libdatebell-windows.so";
