#include "windows/cursorhook.h"

#include "engine/clsHourglass.h"

#include <QCursor>
#include <QGuiApplication>
#include <QWindow>

#include <algorithm>

namespace {
bool overridden = false;

// True once one of the program's windows is on the screen.
bool windowShown()
{
    const auto windows = QGuiApplication::topLevelWindows();
    return std::any_of(windows.cbegin(), windows.cend(),
                       [](const QWindow *window) { return window->isVisible(); });
}

void showCode(qint16 code)
{
    // Before any window is shown there is no pointer of ours to change; loading the cursor
    // theme then would only delay the first window.
    if (code == ScreenPointer::Hourglass && !overridden && windowShown()) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        overridden = true;
    } else if (code != ScreenPointer::Hourglass && overridden) {
        QGuiApplication::restoreOverrideCursor();
        overridden = false;
    }
}
} // namespace

void InstallCursorHook()
{
    ScreenPointer::setHook(showCode);
    showCode(ScreenPointer::code());
}
