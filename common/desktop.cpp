#include "common/desktop.h"

#include "common/cursorhook.h"
#include "engine/errors.h"
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

void QtDesktop::showEventMaintModal(SettingsStore &, const Clock &)
{
    throw DatebellError(ErrorNumber::NotAvailable,
                        QStringLiteral("The event maintenance window is not part of this build "
                                       "yet."));
}

void QtDesktop::showReminderWindow(SettingsStore &settings, const Clock &clock)
{
    application();
    m_reminder =
            std::make_unique<frmDatBel>(WindowContext{ settings, clock, m_messages, {}, {}, {} });
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
