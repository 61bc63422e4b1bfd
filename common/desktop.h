#pragma once

#include "engine/basDatBel.h"

#include <QApplication>

#include <memory>

// The Qt desktop: creates the GUI application object only when a window is about to be shown.
class QtDesktop final : public Desktop
{
public:
    QtDesktop(int &argc, char **argv);
    ~QtDesktop() override;

    bool canShowWindows(QString *why) const override;
    void showEventMaintModal() override;
    void showReminderWindow() override;

    // The GUI application, created on first use.
    QApplication &application();
    // Runs the event loop until the last window has closed.
    int exec();

private:
    int &m_argc;
    char **m_argv;
    std::unique_ptr<QApplication> m_application;
};
