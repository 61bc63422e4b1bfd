#pragma once

#include "engine/basDatBel.h"

#include <QString>

class DatebellError;

// The desktop as the program's window module provides it: the windows, the event loop and
// the box that reports an error.
class WindowsDesktop : public Desktop
{
public:
    virtual int exec() = 0;
    // A box with the error's report, its details under the box's details.
    virtual void showError(const DatebellError &error) = 0;
};

// The function the window module exports, and where the module is.
using WindowsModuleEntry = WindowsDesktop *(*)(int *argc, char **argv);
inline constexpr char WindowsModuleEntryName[] = "datebell_windows";
inline constexpr char WindowsModuleFile[] = "libdatebell-windows.so";
