#include "app/display.h"

#include <QFileInfo>
#include <QLibraryInfo>
#include <QStringList>

#include <cerrno>
#include <chrono>
#include <dlfcn.h>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

// How long a display has to accept a connection and answer it. A server that is there answers
// in a few milliseconds; one that hangs must not hang the pass.
constexpr auto displayTimeout = std::chrono::seconds(3);

// A function of a client library, loaded on first use; null when the library or the function
// is not there. The libraries stay loaded: Qt's platform plugin uses them next.
template<typename Function>
Function clientFunction(const char *library, const char *name)
{
    void *handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    return handle ? reinterpret_cast<Function>(dlsym(handle, name)) : nullptr;
}

// Connects as Qt's xcb plugin does: DISPLAY, Xauthority, sockets and the connection setup
// are libxcb's, so the two cannot disagree about whether this client is let in.
QString probeX11()
{
    using Connect = void *(*)(const char *display, int *screen);
    using HasError = int (*)(void *connection);
    using Disconnect = void (*)(void *connection);
    const auto connect = clientFunction<Connect>("libxcb.so.1", "xcb_connect");
    const auto hasError = clientFunction<HasError>("libxcb.so.1", "xcb_connection_has_error");
    const auto disconnect = clientFunction<Disconnect>("libxcb.so.1", "xcb_disconnect");
    if (!connect || !hasError || !disconnect)
        return QStringLiteral("the X client library libxcb.so.1 cannot be loaded");
    void *connection = connect(nullptr, nullptr);
    const int error = hasError(connection);
    // A connection that worked stays open: an X server whose last client leaves resets
    // itself (Xvfb does), and would refuse Qt's connection a moment later.
    if (error == 0)
        return QString();
    disconnect(connection);
    // XCB_CONN_CLOSED_PARSE_ERR and XCB_CONN_CLOSED_INVALID_SCREEN name a bad DISPLAY; every
    // other failure is a server that is absent, unreachable or refuses this client.
    return error == 5 || error == 6
            ? QStringLiteral("DISPLAY \"%1\" names no X display")
                      .arg(qEnvironmentVariable("DISPLAY"))
            : QStringLiteral("the X display \"%1\" cannot be reached or refused the connection")
                      .arg(qEnvironmentVariable("DISPLAY"));
}

// Connects as Qt's wayland plugin does and waits for the compositor's answer to a round trip.
QString probeWayland()
{
    using Connect = void *(*)(const char *name);
    using Roundtrip = int (*)(void *display);
    using Disconnect = void (*)(void *display);
    const char *library = "libwayland-client.so.0";
    const auto connect = clientFunction<Connect>(library, "wl_display_connect");
    const auto roundtrip = clientFunction<Roundtrip>(library, "wl_display_roundtrip");
    const auto disconnect = clientFunction<Disconnect>(library, "wl_display_disconnect");
    if (!connect || !roundtrip || !disconnect)
        return QStringLiteral("the Wayland client library %1 cannot be loaded")
                .arg(QLatin1String(library));
    const QString name = qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0"));
    void *display = connect(nullptr);
    if (!display)
        return QStringLiteral("the Wayland display \"%1\" cannot be reached").arg(name);
    const bool answered = roundtrip(display) >= 0;
    disconnect(display);
    return answered ? QString()
                    : QStringLiteral("the Wayland display \"%1\" closed the connection").arg(name);
}

// Runs `probe` on a thread of its own, so that a server that accepts but never answers costs
// the timeout and no more. Such a thread is left waiting; the program ends soon after. The
// wait is a poll on a pipe: libfaketime, which tests run the program under, upsets timed
// waits on condition variables but leaves poll's timeout alone.
QString withinTimeout(QString (*probe)(), const QString &platform)
{
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return probe();
    auto result = std::make_shared<QString>();
    std::thread([probe, result, writeEnd = pipeEnds[1]] {
        *result = probe();
        const char done = 1;
        (void)::write(writeEnd, &done, 1);
        ::close(writeEnd);
    }).detach();
    pollfd ready{ pipeEnds[0], POLLIN, 0 };
    int count;
    do
        count = ::poll(&ready, 1, int(std::chrono::milliseconds(displayTimeout).count()));
    while (count < 0 && errno == EINTR);
    if (count <= 0) // the read end stays open, so that the late write raises no SIGPIPE
        return QStringLiteral("the %1 display did not answer within %2 seconds")
                .arg(platform)
                .arg(std::chrono::seconds(displayTimeout).count());
    ::close(pipeEnds[0]);
    return *result;
}

// Whether Qt has the platform plugin `name` (as QT_QPA_PLATFORM names it).
bool platformPluginInstalled(const QString &name)
{
    QStringList folders = qEnvironmentVariable("QT_PLUGIN_PATH").split(u':', Qt::SkipEmptyParts);
    folders << QLibraryInfo::path(QLibraryInfo::PluginsPath);
    const QString file = name == u"wayland" ? QStringLiteral("libqwayland-generic.so")
                                            : QStringLiteral("libq%1.so").arg(name);
    for (const QString &folder : folders) {
        if (QFileInfo::exists(folder + QStringLiteral("/platforms/") + file))
            return true;
    }
    return false;
}

} // namespace

QString DisplayProblem()
{
    // The platforms Qt would try, in its order: QT_QPA_PLATFORM's list, or Wayland first in
    // a Wayland session, Wayland alone where only WAYLAND_DISPLAY is set, and X otherwise.
    QStringList platforms = qEnvironmentVariable("QT_QPA_PLATFORM").split(u';', Qt::SkipEmptyParts);
    if (platforms.isEmpty()) {
        const QString session = qEnvironmentVariable("XDG_SESSION_TYPE");
        // No session type and only a Wayland display named: a compositor started by hand or
        // by a session that sets no type. Wayland is the one platform to try.
        if (session.isEmpty() && qEnvironmentVariableIsEmpty("DISPLAY")
            && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            platforms << QStringLiteral("wayland");
        else if (session == u"wayland" && platformPluginInstalled(QStringLiteral("wayland")))
            platforms << QStringLiteral("wayland") << QStringLiteral("xcb");
        else
            platforms << QStringLiteral("xcb");
    }
    QStringList problems;
    for (const QString &entry : platforms) {
        const QString platform = entry.section(u':', 0, 0); // options follow the name
        QString problem;
        if (platform == u"xcb")
            problem = qEnvironmentVariableIsEmpty("DISPLAY")
                    ? QStringLiteral("DISPLAY names no X display")
                    : withinTimeout(probeX11, QStringLiteral("X"));
        else if (platform.startsWith(QLatin1String("wayland")))
            problem = withinTimeout(probeWayland, QStringLiteral("Wayland"));
        if (problem.isEmpty() && !platformPluginInstalled(platform))
            problem = QStringLiteral("Qt has no platform plugin \"%1\"").arg(platform);
        if (problem.isEmpty()) {
            // Qt is to start the platform that answered, and only that one.
            qputenv("QT_QPA_PLATFORM", entry.toLocal8Bit());
            return QString();
        }
        problems << problem;
    }
    return problems.join(QStringLiteral("; "));
}
