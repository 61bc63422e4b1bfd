#pragma once

#include "common/guiloader.h"

#include <QApplication>

#include <memory>

// The Qt desktop: creates the GUI application object only when a window is about to be shown.
class QtDesktop final : public WindowsDesktop
{
public:
    QtDesktop(int &argc, char **argv);
    ~QtDesktop() override;

    bool canShowWindows(QString *why) override;
    void showEventMaintModal() override;
    void showReminderWindow() override;
    int exec() override;
    void showError(const QString &report) override;

    // The GUI application, created on first use.
    QApplication &application();

private:
    int &m_argc;
    char **m_argv;
    std::unique_ptr<QApplication> m_application;
};
