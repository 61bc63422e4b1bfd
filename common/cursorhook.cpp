#include "common/cursorhook.h"

#include "common/clsHourglass.h"

#include <QCursor>
#include <QGuiApplication>

namespace {
bool overridden = false;

void showCode(qint16 code)
{
    if (code == ScreenPointer::Hourglass && !overridden) {
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
