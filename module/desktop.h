#pragma once

// module/: the window module's entry, the desktop that creates the GUI application and opens
// the windows.

#include "engine/registry.h"
#include "engine/windowsmodule.h"
#include "windows/help.h"
#include "windows/messages.h"

#include <QApplication>

#include <memory>

class QLocalServer;
class QLocalSocket;
class frmDatBel;
struct WindowContext;

// The Qt desktop: creates the GUI application object only when a window is about to be shown.
class QtDesktop final : public WindowsDesktop
{
public:
    QtDesktop(int &argc, char **argv);
    ~QtDesktop() override;

    bool canShowWindows(QString *why) override;
    void showEventMaintModal(const Runtime &runtime) override;
    void showReminderWindow(const Runtime &runtime, std::function<void()> shown) override;
    int exec() override;
    void showError(const DatebellError &error) override;
    void reportError(const DatebellError &error) override;

private:
    QApplication &application();
    // What the windows are given, with the ways they open each other.
    WindowContext context(const Runtime &runtime);
    // Listens for later starts of this program folder, which ask for the window.
    void listenForLaterStarts(const QString &programDirectory);
    void answerLaterStart(QLocalSocket *socket);

    int &m_argc;
    char **m_argv;
    std::unique_ptr<QApplication> m_application;
    QtMessageService m_messages;
    QtHelpService m_help;
    DesktopRegistry m_registry;
    std::unique_ptr<frmDatBel> m_reminder;
    std::unique_ptr<QLocalServer> m_server;
};
