#include "module/desktop.h"

#include "about/frmAbout.h"
#include "engine/platform.h"
#include "maint/frmEventMaint.h"
#include "reminder/frmDatBel.h"
#include "windows/cursorhook.h"

#include <QIcon>
#include <QWindow>

QtDesktop::QtDesktop(int &argc, char **argv) : m_argc(argc), m_argv(argv), m_help(m_messages) { }

// The windows go before the application object they need.
QtDesktop::~QtDesktop()
{
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
    context(runtime).openEventMaint(nullptr);
    // The help viewer outlives the window that asked for it: the program ends when it closes.
    if (m_help.viewer())
        application().exec();
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
    m_reminder->winId(); // creates the native window, so that its first exposure is seen
    new FirstExposure(m_reminder->windowHandle(), std::move(shown));
    m_reminder->show();
}

QApplication &QtDesktop::application()
{
    if (!m_application) {
        m_application = std::make_unique<QApplication>(m_argc, m_argv);
        // The launcher's name, org.datebell.Datebell.desktop: docks and switchers match the
        // windows to its name and icon by it.
        QGuiApplication::setDesktopFileName(QStringLiteral("org.datebell.Datebell"));
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

void QtDesktop::showError(const QString &report)
{
    application();
    m_messages.MsgBox(report, MsgBoxStyle::Critical, AppTitle);
}
