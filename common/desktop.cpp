#include "common/desktop.h"

#include "common/cursorhook.h"
#include "maint/frmEventMaint.h"
#include "reminder/frmDatBel.h"

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
        runtime.programDirectory, runtime.settings, runtime.clock, m_messages, {}, {}, {}
    };
    context.openEventMaint = [context](QWidget *owner) {
        frmEventMaint window(context, owner);
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
    m_messages.MsgBox(report, MsgBoxStyle::Critical, QStringLiteral("Datebell"));
}
