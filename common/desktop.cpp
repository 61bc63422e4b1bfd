#include "common/desktop.h"

#include "common/cursorhook.h"
#include "engine/errors.h"

#include <QMessageBox>

QtDesktop::QtDesktop(int &argc, char **argv) : m_argc(argc), m_argv(argv) { }

QtDesktop::~QtDesktop() = default;

bool QtDesktop::canShowWindows(QString *why)
{
    *why = QStringLiteral("The reminder window is not part of this build yet. Nothing was "
                          "recorded.");
    return false;
}

void QtDesktop::showEventMaintModal()
{
    throw DatebellError(ErrorNumber::NotAvailable,
                        QStringLiteral("The event maintenance window is not part of this build "
                                       "yet."));
}

void QtDesktop::showReminderWindow()
{
    application();
    throw DatebellError(ErrorNumber::NotAvailable,
                        QStringLiteral("The reminder window is not part of this build yet."));
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
    QMessageBox::critical(nullptr, QStringLiteral("Datebell"), report);
}
