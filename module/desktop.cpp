#include "module/desktop.h"

#include "about/frmAbout.h"
#include "engine/instance.h"
#include "engine/platform.h"
#include "maint/frmEventMaint.h"
#include "reminder/frmDatBel.h"
#include "windows/cursorhook.h"

#include <QAction>
#include <QIcon>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTimer>
#include <QWindow>

QtDesktop::QtDesktop(int &argc, char **argv) : m_argc(argc), m_argv(argv), m_help(m_messages) { }

// The windows go before the application object they need.
QtDesktop::~QtDesktop()
{
    m_server.reset();
    m_reminder.reset();
}

bool QtDesktop::canShowWindows(QString *)
{
    return true;
}

WindowContext QtDesktop::context(const Runtime &runtime)
{
    WindowContext context{
        runtime.programDirectory, runtime.settings, runtime.clock, m_messages, m_help, {}, {}
    };
    // The dialogs are modal to the window that opened them, not to the whole program, so the
    // help viewer stays usable beside them.
    context.openEventMaint = [context](QWidget *owner) {
        frmEventMaint window(context, owner);
        window.setWindowModality(Qt::WindowModal);
        window.exec();
    };
    context.openAbout = [this](QWidget *owner) {
        frmAbout window(m_registry, m_messages, StartCommandLine, owner);
        window.setWindowModality(Qt::WindowModal);
        window.exec();
    };
    return context;
}

void QtDesktop::showEventMaintModal(const Runtime &runtime)
{
    application();
    listenForLaterStarts(runtime.programDirectory);
    context(runtime).openEventMaint(nullptr);
    // The help viewer outlives the window that asked for it: the program ends when it closes.
    if (m_help.viewer())
        application().exec();
}

void QtDesktop::listenForLaterStarts(const QString &programDirectory)
{
    if (m_server)
        return;
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    const QString path = InstanceSocketPath(programDirectory);
    // This process holds the folder's lock, so a socket file there is one a Datebell that
    // crashed left behind.
    QLocalServer::removeServer(path);
    if (!m_server->listen(path)) {
        Warn(QStringLiteral("later starts cannot reach this window (%1: %2).")
                     .arg(path, m_server->errorString()));
        return;
    }
    QObject::connect(m_server.get(), &QLocalServer::newConnection, m_server.get(), [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket,
                             [this, socket] { answerLaterStart(socket); });
            if (socket->canReadLine())
                answerLaterStart(socket);
        }
    });
}

// A later start asks for the window: the reminder window comes to the front (with today's
// list), with any window open over it; "edit" opens the editing window from the reminder
// window, as Ctrl+E does, unless a window is already open over it.
void QtDesktop::answerLaterStart(QLocalSocket *socket)
{
    if (!socket->canReadLine())
        return;
    const QByteArray request = socket->readLine().trimmed();
    QWidget *over = QApplication::activeModalWidget();
    QByteArray answer = InstanceRequest::NoWindow;
    if (m_reminder && m_reminder->isVisible()) {
        if (m_reminder->isMinimized())
            m_reminder->showNormal();
        m_reminder->raise();
        m_reminder->activateWindow();
        m_reminder->FollowTheDay();
        answer = InstanceRequest::Shown;
        if (request == InstanceRequest::Edit && !over) {
            frmDatBel *reminder = m_reminder.get();
            QTimer::singleShot(0, reminder, [reminder] { reminder->mnuEditEdit->trigger(); });
            answer = InstanceRequest::Editing;
        }
    }
    if (over) {
        over->raise();
        over->activateWindow();
        answer = InstanceRequest::Shown;
    }
    socket->write(answer + '\n');
    socket->flush();
    socket->disconnectFromServer();
}

namespace {
// Runs a function once, when the window it watches is first exposed.
class FirstExposure final : public QObject
{
public:
    FirstExposure(QWindow *window, std::function<void()> exposed)
        : QObject(window), m_exposed(std::move(exposed))
    {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            deleteLater();
            m_exposed();
        }
        return false;
    }

private:
    std::function<void()> m_exposed;
};
} // namespace

void QtDesktop::showReminderWindow(const Runtime &runtime, std::function<void()> shown)
{
    application();
    m_reminder = std::make_unique<frmDatBel>(context(runtime));
    listenForLaterStarts(runtime.programDirectory);
    m_reminder->winId(); // creates the native window, so that its first exposure is seen
    new FirstExposure(m_reminder->windowHandle(), std::move(shown));
    m_reminder->show();
}

QApplication &QtDesktop::application()
{
    if (!m_application) {
        m_application = std::make_unique<QApplication>(m_argc, m_argv);
        // The launcher's name, org.datebell.Datebell.desktop: docks and switchers match the
        // windows to its name and icon by it, the Wayland app id and, as the class of WM_CLASS
        // (which Qt takes from the application name), the launcher's StartupWMClass on X11.
        QGuiApplication::setDesktopFileName(QStringLiteral("org.datebell.Datebell"));
        QCoreApplication::setApplicationName(QStringLiteral("org.datebell.Datebell"));
        InstallCursorHook();
        // The pictures are compiled into this static code: register them by hand.
        Q_INIT_RESOURCE(datebell);
        QIcon icon;
        for (const int size : { 16, 32, 48, 64, 128, 256 })
            icon.addFile(QStringLiteral(":/datebell/datebell-%1.png").arg(size));
        QApplication::setWindowIcon(icon);
    }
    return *m_application;
}

int QtDesktop::exec()
{
    return application().exec();
}

void QtDesktop::reportError(const DatebellError &error)
{
    WriteErrorReport(error);
    showError(error);
}

void QtDesktop::showError(const DatebellError &error)
{
    application();
    m_messages.ShowError(error);
}
