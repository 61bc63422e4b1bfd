#include "engine/instance.h"

#include "engine/platform.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

// The running one may still be in its pass, or opening its window on a slow display.
constexpr auto handOverTimeout = std::chrono::seconds(15);
constexpr auto retryPause = std::chrono::milliseconds(50);
constexpr int answerTimeoutMs = 5000;

// $XDG_RUNTIME_DIR is the user's own; without it, a folder of the user's own under /tmp.
QString runtimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.startsWith(u'/') && QFileInfo(runtime).isDir())
        return runtime;
    const QString folder = QDir::tempPath() + QStringLiteral("/datebell-%1").arg(::getuid());
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    return folder;
}

// The name of a program folder's lock and socket: a hash of its path keeps it short.
QString instanceBase(const QString &programDirectory)
{
    const QByteArray hash =
            QCryptographicHash::hash(programDirectory.toUtf8(), QCryptographicHash::Sha256);
    return runtimeFolder() + QStringLiteral("/datebell-")
            + QString::fromLatin1(hash.toHex().left(16));
}

// Sends one request line over the socket and reads the one-line answer; empty when nobody
// listens or nobody answers.
QByteArray ask(const QString &socketPath, const QByteArray &request)
{
    const QByteArray path = QFile::encodeName(socketPath);
    sockaddr_un address{};
    if (path.size() >= qsizetype(sizeof address.sun_path))
        return {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    QByteArray answer;
    const QByteArray line = request + '\n';
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::send(fd, line.constData(), size_t(line.size()), MSG_NOSIGNAL) == line.size()) {
        pollfd wait{ fd, POLLIN, 0 };
        char buffer[64];
        while (!answer.contains('\n') && ::poll(&wait, 1, answerTimeoutMs) == 1) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got <= 0)
                break;
            answer.append(buffer, got);
        }
    }
    ::close(fd);
    return answer.left(answer.indexOf('\n'));
}

} // namespace

QString InstanceSocketPath(const QString &programDirectory)
{
    return instanceBase(programDirectory) + QStringLiteral(".socket");
}

SingleInstance::SingleInstance(const QString &programDirectory)
    : m_lockPath(instanceBase(programDirectory) + QStringLiteral(".lock")),
      m_socketPath(InstanceSocketPath(programDirectory))
{
}

// The lock is held to the end of the process: it is never given up early.
SingleInstance::~SingleInstance() = default;

bool SingleInstance::tryLock()
{
    if (m_lock < 0)
        m_lock = ::open(QFile::encodeName(m_lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC,
                        0600);
    // A lock file that cannot be made (a full or read-only runtime folder) must not stop the
    // reminders: the run goes on alone.
    if (m_lock < 0)
        return true;
    int result;
    do
        result = ::flock(m_lock, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    return result == 0 || errno != EWOULDBLOCK;
}

bool SingleInstance::startOrHandOver(const QString &commandSwitch)
{
    if (tryLock())
        return true;
    const bool edit = commandSwitch == QLatin1String("/E");
    const auto deadline = std::chrono::steady_clock::now() + handOverTimeout;
    QByteArray answer;
    // Until the running one listens, answers, or ends (then this start runs after all).
    while (answer.isEmpty() && std::chrono::steady_clock::now() < deadline) {
        answer = ask(m_socketPath, edit ? InstanceRequest::Edit : InstanceRequest::Raise);
        if (answer.isEmpty()) {
            if (tryLock())
                return true;
            std::this_thread::sleep_for(retryPause);
        }
    }
    if (answer == InstanceRequest::Shown)
        Warn(QStringLiteral("Datebell is already running for this folder; its window is "
                            "brought to the front."));
    else if (answer == InstanceRequest::Editing)
        Warn(QStringLiteral("Datebell is already running for this folder; its reminder window "
                            "opens the editing window."));
    else
        Warn(QStringLiteral("Datebell is already running for this folder, without a window to "
                            "bring to the front; this start does nothing."));
    return false;
}
