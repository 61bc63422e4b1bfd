#include "engine/platform.h"

#include "engine/errors.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QRegularExpression>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

QString Command(const QStringList &arguments)
{
    return arguments.join(u' ');
}

QString ProgramDirectory()
{
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return QString();
    return QFileInfo(QString::fromStdString(exe.string())).canonicalPath();
}

namespace {

using SteadyClock = std::chrono::steady_clock;

// How long a display has to accept a connection and answer it. A server that is there
// answers in a few milliseconds; one that hangs must not hang the pass.
constexpr auto displayTimeout = std::chrono::milliseconds(3000);

// An open socket, closed when it goes out of scope.
struct Socket
{
    int fd = -1;
    Socket() = default;
    explicit Socket(int handle) : fd(handle) { }
    Socket(Socket &&other) noexcept : fd(std::exchange(other.fd, -1)) { }
    Socket &operator=(Socket &&other) noexcept
    {
        std::swap(fd, other.fd);
        return *this;
    }
    ~Socket()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// Waits until `fd` is ready for `events`; false when the deadline passes first.
bool waitFor(int fd, short events, SteadyClock::time_point deadline)
{
    for (;;) {
        const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
                        .count();
        if (left <= 0)
            return false;
        pollfd request{ fd, events, 0 };
        const int ready = ::poll(&request, 1, int(left));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

// Connects a non-blocking stream socket; on failure `error` says why.
Socket connectSocket(const sockaddr *address, socklen_t length, SteadyClock::time_point deadline,
                     QString *error)
{
    Socket socket(::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.fd < 0 || ::connect(socket.fd, address, length) == 0)
        return socket;
    int failure = errno;
    if (failure == EINPROGRESS || failure == EAGAIN) {
        socklen_t size = sizeof failure;
        if (!waitFor(socket.fd, POLLOUT, deadline))
            failure = ETIMEDOUT;
        else if (::getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &failure, &size) != 0)
            failure = errno;
        if (failure == 0)
            return socket;
    }
    *error = QString::fromLocal8Bit(std::strerror(failure));
    return Socket();
}

Socket connectUnix(const QByteArray &path, bool abstract, SteadyClock::time_point deadline,
                   QString *error)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const qsizetype offset = abstract ? 1 : 0;
    if (path.size() + offset >= qsizetype(sizeof address.sun_path)) {
        *error = QStringLiteral("the socket name is too long");
        return Socket();
    }
    std::memcpy(address.sun_path + offset, path.constData(), size_t(path.size()));
    const auto length =
            socklen_t(offsetof(sockaddr_un, sun_path) + offset + path.size() + (abstract ? 0 : 1));
    return connectSocket(reinterpret_cast<const sockaddr *>(&address), length, deadline, error);
}

bool sendAll(int fd, const QByteArray &bytes, SteadyClock::time_point deadline)
{
    for (qsizetype sent = 0; sent < bytes.size();) {
        const ssize_t n =
                ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n > 0)
            sent += n;
        else if ((n < 0 && errno != EAGAIN && errno != EINTR) || !waitFor(fd, POLLOUT, deadline))
            return false;
    }
    return true;
}

// Reads exactly `size` bytes. On failure `why` says whether the peer closed the connection,
// failed, or let the deadline pass.
bool readExactly(int fd, char *into, qsizetype size, SteadyClock::time_point deadline, QString *why)
{
    for (qsizetype got = 0; got < size;) {
        const ssize_t n = ::recv(fd, into + got, size_t(size - got), 0);
        if (n > 0) {
            got += n;
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            *why = n == 0 ? QStringLiteral("closed the connection without an answer")
                          : QString::fromLocal8Bit(std::strerror(errno));
            return false;
        } else if (!waitFor(fd, POLLIN, deadline)) {
            *why = QStringLiteral("did not answer within %1 seconds")
                           .arg(displayTimeout.count() / 1000);
            return false;
        }
    }
    return true;
}

quint16 bigEndian16(const char *bytes)
{
    return quint16((uchar(bytes[0]) << 8) | uchar(bytes[1]));
}

// The MIT-MAGIC-COOKIE-1 of display `number` in the Xauthority file: for a local connection
// the entry of this host, for a TCP one the entry of the server's address. Empty when none
// is there, as for a file that does not exist.
QByteArray xauthorityCookie(const QByteArray &number, const QByteArray &peerAddress)
{
    QString path = qEnvironmentVariable("XAUTHORITY");
    if (path.isEmpty())
        path = QDir::homePath() + QStringLiteral("/.Xauthority");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray data = file.read(1 << 20);
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    enum : quint16 { Internet = 0, Internet6 = 6, Local = 256, Wild = 65535 };
    qsizetype at = 0;
    // Each entry: a family, then four counted strings: address, display number, name, data.
    while (at + 2 <= data.size()) {
        const quint16 family = bigEndian16(data.constData() + at);
        at += 2;
        QByteArray fields[4];
        for (QByteArray &field : fields) {
            if (at + 2 > data.size())
                return QByteArray();
            const quint16 length = bigEndian16(data.constData() + at);
            field = data.mid(at + 2, length);
            at += 2 + length;
        }
        const bool addressMatches = family == Wild
                || (peerAddress.isEmpty() ? family == Local && fields[0] == host
                                          : (family == Internet || family == Internet6)
                                    && fields[0] == peerAddress);
        if (addressMatches && (fields[1].isEmpty() || fields[1] == number)
            && fields[2] == "MIT-MAGIC-COOKIE-1")
            return fields[3];
    }
    return QByteArray();
}

QByteArray padded(QByteArray bytes)
{
    return bytes.leftJustified((bytes.size() + 3) / 4 * 4, '\0');
}

// Makes an X11 connection as far as the server's answer to the connection setup: a server
// that refuses this client (no or a wrong cookie) answers Failed or Authenticate.
QString probeX11(const QString &display, SteadyClock::time_point deadline)
{
    static const QRegularExpression form(
            QStringLiteral("^(?:(tcp|unix)/)?([^:]*):([0-9]+)(?:\\.[0-9]+)?$"));
    const auto match = form.match(display);
    if (!match.hasMatch())
        return QStringLiteral("DISPLAY=%1 is not a display name of the form host:number")
                .arg(display);
    const QString host = match.captured(2);
    const QByteArray number = match.captured(3).toLatin1();
    QString error;
    Socket socket;
    QByteArray peer; // the server's address, for a TCP connection
    if ((host.isEmpty() || host == QLatin1String("unix")) && match.captured(1) != u"tcp") {
        const QByteArray path = "/tmp/.X11-unix/X" + number;
        socket = connectUnix(path, true, deadline, &error);
        if (socket.fd < 0)
            socket = connectUnix(path, false, deadline, &error);
    } else {
        addrinfo hints{};
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *found = nullptr;
        const QByteArray port = QByteArray::number(6000 + number.toInt());
        const int failed =
                ::getaddrinfo(host.isEmpty() ? "localhost" : host.toLocal8Bit().constData(),
                              port.constData(), &hints, &found);
        if (failed != 0)
            error = QString::fromLocal8Bit(::gai_strerror(failed));
        for (const addrinfo *entry = found; entry && socket.fd < 0; entry = entry->ai_next) {
            socket = connectSocket(entry->ai_addr, entry->ai_addrlen, deadline, &error);
            // The cookie of a TCP connection is filed under the server's address; one over
            // the loopback, like a local one, under this host's name.
            const auto *v4 = reinterpret_cast<const sockaddr_in *>(entry->ai_addr);
            const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(entry->ai_addr);
            if (entry->ai_family == AF_INET && (ntohl(v4->sin_addr.s_addr) >> 24) != 127)
                peer = QByteArray(reinterpret_cast<const char *>(&v4->sin_addr), 4);
            else if (entry->ai_family == AF_INET6 && !IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr))
                peer = QByteArray(reinterpret_cast<const char *>(&v6->sin6_addr), 16);
        }
        if (found)
            ::freeaddrinfo(found);
    }
    if (socket.fd < 0)
        return QStringLiteral("the X display %1 cannot be reached: %2").arg(display, error);

    // The connection setup request, little-endian: protocol 11.0 and the authorization.
    const QByteArray cookie = xauthorityCookie(number, peer);
    const QByteArray name = cookie.isEmpty() ? QByteArray() : QByteArray("MIT-MAGIC-COOKIE-1");
    QByteArray request("l\0\x0b\0\0\0", 6);
    for (const qsizetype length : { name.size(), cookie.size() }) {
        request.append(char(length & 0xff));
        request.append(char(length >> 8));
    }
    request.append(2, '\0');
    request += padded(name) + padded(cookie);
    char answer[8];
    QString why = QStringLiteral("did not take the request");
    if (!sendAll(socket.fd, request, deadline)
        || !readExactly(socket.fd, answer, sizeof answer, deadline, &why))
        return QStringLiteral("the X display %1 %2").arg(display, why);
    if (answer[0] == 1)
        return QString();
    QByteArray reason(uchar(answer[1]), '\0');
    if (answer[0] != 0 || !readExactly(socket.fd, reason.data(), reason.size(), deadline, &why))
        reason = "authorization required";
    return QStringLiteral("the X display %1 refused the connection: %2")
            .arg(display, QString::fromLocal8Bit(reason).trimmed());
}

// Connects to the compositor's socket and waits for its answer to a wl_display.sync.
QString probeWayland(SteadyClock::time_point deadline)
{
    const QString name = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (name.isEmpty())
        return QStringLiteral("WAYLAND_DISPLAY names no Wayland display");
    const QString path = QDir::isAbsolutePath(name)
            ? name
            : qEnvironmentVariable("XDG_RUNTIME_DIR") + u'/' + name;
    QString error;
    Socket socket = connectUnix(QFile::encodeName(path), false, deadline, &error);
    if (socket.fd < 0)
        return QStringLiteral("the Wayland display %1 cannot be reached: %2").arg(path, error);
    // Object 1 (wl_display), request 0 (sync), 12 bytes, new callback object 2.
    const quint32 sync[] = { 1, (12u << 16) | 0u, 2 };
    char answer[8];
    QString why = QStringLiteral("did not take the request");
    if (!sendAll(socket.fd, QByteArray(reinterpret_cast<const char *>(sync), sizeof sync), deadline)
        || !readExactly(socket.fd, answer, sizeof answer, deadline, &why))
        return QStringLiteral("the Wayland display %1 %2").arg(path, why);
    return QString();
}

// Whether Qt has the platform plugin `name` (as QT_QPA_PLATFORM names it).
bool platformPluginInstalled(const QString &name)
{
    QStringList folders = qEnvironmentVariable("QT_PLUGIN_PATH").split(u':', Qt::SkipEmptyParts);
    folders << QLibraryInfo::path(QLibraryInfo::PluginsPath);
    const QString file = name.startsWith(QLatin1String("wayland"))
            ? (name == u"wayland" ? QStringLiteral("libqwayland-generic.so")
                                  : QStringLiteral("libq%1.so").arg(name))
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
    // a Wayland session and X otherwise.
    QStringList platforms = qEnvironmentVariable("QT_QPA_PLATFORM").split(u';', Qt::SkipEmptyParts);
    if (platforms.isEmpty()) {
        if (qEnvironmentVariable("XDG_SESSION_TYPE") == u"wayland"
            && platformPluginInstalled(QStringLiteral("wayland")))
            platforms << QStringLiteral("wayland");
        platforms << QStringLiteral("xcb");
    }
    const auto deadline = SteadyClock::now() + displayTimeout;
    QStringList problems;
    for (const QString &entry : platforms) {
        const QString platform = entry.section(u':', 0, 0); // options follow the name
        QString problem;
        if (platform == u"xcb")
            problem = qEnvironmentVariableIsEmpty("DISPLAY")
                    ? QStringLiteral("DISPLAY names no X display")
                    : probeX11(qEnvironmentVariable("DISPLAY"), deadline);
        else if (platform.startsWith(QLatin1String("wayland")))
            problem = probeWayland(deadline);
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

void End(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

void WriteErrorReport(const DatebellError &error)
{
    std::fprintf(stderr, "Datebell: %s\n", qPrintable(ErrorReportText(error)));
    std::fflush(stderr);
}

void Warn(const QString &text)
{
    qWarning().noquote() << "Datebell:" << text;
}
