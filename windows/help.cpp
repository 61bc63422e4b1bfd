#include "windows/help.h"

#include "windows/layout.h"

#include <QDesktopServices>
#include <QTextBrowser>

QtHelpService::QtHelpService(std::function<bool(const QUrl &)> openUrl)
    : m_openUrl(openUrl ? std::move(openUrl)
                        : [](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
}

QtHelpService::~QtHelpService()
{
    delete m_viewer;
}

QString HelpFilePath(const QString &programDirectory)
{
    return programDirectory + QStringLiteral("/Datebell.html");
}

void QtHelpService::ShowContents(QWidget *owner, const QString &path)
{
    const QUrl url = QUrl::fromLocalFile(path);
    if (m_openUrl(url))
        return;
    // No viewer could be started (no xdg-open, say): the guide opens in a window of the
    // program's own, owned by the window that asked, so that a modal owner leaves it usable.
    if (!m_viewer || m_viewer->parentWidget() != owner) {
        delete m_viewer;
        auto *viewer = new QTextBrowser(owner);
        viewer->setWindowFlag(Qt::Window);
        viewer->setObjectName(QStringLiteral("helpViewer"));
        viewer->setAttribute(Qt::WA_DeleteOnClose);
        viewer->setWindowTitle(QStringLiteral("Datebell Help"));
        viewer->setOpenExternalLinks(true);
        viewer->resize(twips(9600), twips(9000));
        m_viewer = viewer;
    }
    auto *viewer = static_cast<QTextBrowser *>(m_viewer.data());
    viewer->setSource(url);
    viewer->scrollToAnchor(QStringLiteral("contents"));
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}
