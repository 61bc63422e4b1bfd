#include "module/desktop.h"

#include "about/frmAbout.h"
#include "engine/platform.h"
#include "maint/frmEventMaint.h"
#include "reminder/frmDatBel.h"
#include "windows/cursorhook.h"

#include <QIcon>
#include <QProcess>

QtDesktop::QtDesktop(int &argc, char **argv) : m_argc(argc), m_argv(argv) { }

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
    context.openEventMaint = [context](QWidget *owner) {
        frmEventMaint window(context, owner);
        window.exec();
    };
    context.openAbout = [this](QWidget *owner) {
        frmAbout window(
                m_registry, m_messages,
                [](const QString &program) { return QProcess::startDetached(program, {}); }, owner);
        window.exec();
    };
    return context;
}

void QtDesktop::showEventMaintModal(const Runtime &runtime)
{
    application();
    context(runtime).openEventMaint(nullptr);
}

void QtDesktop::showReminderWindow(const Runtime &runtime)
{
    application();
    m_reminder = std::make_unique<frmDatBel>(context(runtime));
    m_reminder->show();
}

QApplication &QtDesktop::application()
{
    if (!m_application) {
        m_application = std::make_unique<QApplication>(m_argc, m_argv);
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
