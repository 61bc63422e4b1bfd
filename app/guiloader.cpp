#include "app/guiloader.h"

#include "app/display.h"
#include "engine/errors.h"
#include "engine/platform.h"

#include <QFile>

#include <dlfcn.h>

GuiLoader::GuiLoader(int &argc, char **argv, const QString &moduleDirectory)
    : m_argc(argc), m_argv(argv), m_moduleDirectory(moduleDirectory)
{
}

// The module stays loaded: Qt does not support unloading its libraries.
GuiLoader::~GuiLoader()
{
    delete m_windows;
}

WindowsDesktop *GuiLoader::windows(QString *why, bool editing)
{
    if (m_windows)
        return m_windows;
    // Tested once: a display that does not answer costs its timeout only once.
    if (!m_displayTested) {
        m_displayTested = true;
        m_displayProblem = DisplayProblem();
    }
    if (!m_displayProblem.isEmpty()) {
        *why = editing ? QStringLiteral("No display can be used (%1), so the window that edits "
                                        "the events cannot open.\nStart it from your desktop "
                                        "session, where DISPLAY or WAYLAND_DISPLAY is set.")
                                 .arg(m_displayProblem)
                       : QStringLiteral("No display can be used (%1), so the reminders cannot be "
                                        "shown. Nothing was recorded: they will be shown on the "
                                        "next run from the desktop.")
                                 .arg(m_displayProblem);
        return nullptr;
    }
    const QString path = m_moduleDirectory + u'/' + QLatin1String(WindowsModuleFile);
    void *module = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    const auto entry = module
            ? reinterpret_cast<WindowsModuleEntry>(dlsym(module, WindowsModuleEntryName))
            : nullptr;
    if (!entry) {
        *why = QStringLiteral("The program's windows could not be loaded from '%1': %2")
                       .arg(path, QString::fromLocal8Bit(dlerror()));
        return nullptr;
    }
    m_windows = entry(&m_argc, m_argv);
    return m_windows;
}

WindowsDesktop &GuiLoader::requireWindows(bool editing)
{
    QString why;
    if (WindowsDesktop *loaded = windows(&why, editing))
        return *loaded;
    throw DatebellError(ErrorNumber::NoDisplay, why);
}

bool GuiLoader::canShowWindows(QString *why)
{
    WindowsDesktop *loaded = windows(why);
    return loaded && loaded->canShowWindows(why);
}

void GuiLoader::showEventMaintModal(const Runtime &runtime)
{
    requireWindows(true).showEventMaintModal(runtime);
}

void GuiLoader::showReminderWindow(const Runtime &runtime, std::function<void()> shown)
{
    requireWindows().showReminderWindow(runtime, std::move(shown));
}

int GuiLoader::exec()
{
    return requireWindows().exec();
}

void GuiLoader::reportError(const DatebellError &error)
{
    WriteErrorReport(error);
    QString why;
    if (WindowsDesktop *loaded = windows(&why))
        loaded->showError(error);
}
