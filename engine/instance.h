#pragma once

#include <QString>

// One Datebell at a time per program folder and user. The first holds a lock on a file in
// $XDG_RUNTIME_DIR for as long as it runs (the kernel drops it when the process ends, however
// it ends), and listens on a local socket beside it once it shows a window. A later start
// hands its request to that one instead of running a pass of its own.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &programDirectory);
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // True when this process is the folder's one Datebell and goes on with its run. Otherwise
    // the running one has been asked to bring its window to the front ("/E": to open the
    // editing window from its reminder window), one line on standard error says so, and the
    // caller ends with status 0.
    bool startOrHandOver(const QString &commandSwitch);

private:
    bool tryLock();

    QString m_lockPath;
    QString m_socketPath;
    int m_lock = -1;
};

// The local socket a running Datebell of this program folder listens on.
QString InstanceSocketPath(const QString &programDirectory);

// What a later start asks of the running Datebell, and its answers.
namespace InstanceRequest {
inline constexpr char Raise[] = "raise";
inline constexpr char Edit[] = "edit";
inline constexpr char Shown[] = "shown"; // a window was brought to the front
inline constexpr char Editing[] = "editing"; // the editing window opens from the reminder window
inline constexpr char NoWindow[] = "none"; // it runs without a window to show
} // namespace InstanceRequest
