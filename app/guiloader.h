#pragma once

// app/: the program's main() and the loader of its window module.

#include "engine/windowsmodule.h"

#include <QString>

class DatebellError;

// The program's desktop. The windows, and the GUI libraries they need, sit in a module beside
// the program that is loaded only when a window is about to be shown: a silent pass never
// pays for loading them.
class GuiLoader final : public Desktop
{
public:
    GuiLoader(int &argc, char **argv, const QString &moduleDirectory);
    ~GuiLoader() override;
    GuiLoader(const GuiLoader &) = delete;
    GuiLoader &operator=(const GuiLoader &) = delete;

    bool canShowWindows(QString *why) override;
    void showEventMaintModal(const Runtime &runtime) override;
    void showReminderWindow(const Runtime &runtime, std::function<void()> shown) override;
    // Runs the event loop until the last window has closed.
    int exec();

    // Reports an error (one that ends the program, or not): its text and number on standard
    // error and, where a display can be reached, in a message box, since nobody reads standard
    // error after a start at login.
    void reportError(const DatebellError &error) override;

private:
    // The module's desktop, loaded on first use; null, with the reason, when it cannot be
    // (said for the editing window alone when `editing`).
    WindowsDesktop *windows(QString *why, bool editing = false);
    WindowsDesktop &requireWindows(bool editing = false);

    int &m_argc;
    char **m_argv;
    QString m_moduleDirectory;
    WindowsDesktop *m_windows = nullptr;
    bool m_displayTested = false;
    QString m_displayProblem; // why no display can be used; empty when one can
};
