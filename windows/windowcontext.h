#pragma once

// What the windows share: the platform pieces each window is given, the message and help
// services, the twips layout helper and the Qt side of the busy cursor.

#include <QString>

#include <functional>

class Clock;
class HelpService;
class MessageService;
class QWidget;
class SettingsStore;

// What the program's windows are given: the platform pieces they use.
struct WindowContext
{
    QString programDirectory;
    SettingsStore &settings;
    const Clock &clock;
    MessageService &messages;
    HelpService &help;
    // Open the event maintenance window and the About window over `owner`, and return when
    // they have closed.
    std::function<void(QWidget *owner)> openEventMaint;
    std::function<void(QWidget *owner)> openAbout;
};
