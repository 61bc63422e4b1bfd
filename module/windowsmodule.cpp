// The entry point of the window module that the program loads when it shows a window.

#include "module/desktop.h"

extern "C" Q_DECL_EXPORT WindowsDesktop *datebell_windows(int *argc, char **argv)
{
    return new QtDesktop(*argc, argv);
}
