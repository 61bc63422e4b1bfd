#include "windows/help.h"

#include "engine/platform.h"
#include "windows/layout.h"
#include "windows/messages.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMainWindow>
#include <QShortcut>
#include <QTextBrowser>

QtHelpService::QtHelpService(MessageService &messages, std::function<bool(const QUrl &)> openUrl)
    : m_messages(messages), m_openUrl(openUrl ? std::move(openUrl) : [](const QUrl &url) {
          return QDesktopServices::openUrl(url);
      })
{
}

QtHelpService::~QtHelpService()
{
    if (m_viewer)
        delete m_viewer->window();
}

QString HelpFilePath(const QString &programDirectory)
{
    return programDirectory + QStringLiteral("/Datebell.html");
}

QTextBrowser *QtHelpService::viewer() const
{
    return m_viewer;
}

void QtHelpService::ShowContents(QWidget *owner, const QString &path)
{
    // Neither viewer says which file it could not open: an empty window or a browser's error
    // page would leave the user guessing.
    const QFileInfo guide(path);
    if (!guide.isFile() || !guide.isReadable()) {
        m_messages.MsgBox(QStringLiteral("The user guide %1 cannot be found or read. It is "
                                         "installed in the folder of the program.")
                                  .arg(QDir::toNativeSeparators(path)),
                          MsgBoxStyle::Critical, AppTitle, owner);
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    if (m_openUrl(url))
        return;
    // No viewer could be started (no xdg-open, say): the guide opens in a window of the
    // program's own. It has no owner, so no window of the program closes it; the program's
    // dialogs are modal to their callers only, which leaves it usable beside them.
    if (!m_viewer) {
        auto *window = new QMainWindow; // a frame of its own to assistive technology
        window->setObjectName(QStringLiteral("helpViewer"));
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowTitle(QStringLiteral("Datebell Help"));
        window->resize(twips(9600), twips(9000));
        auto *viewer = new QTextBrowser(window);
        viewer->setObjectName(QStringLiteral("helpText"));
        viewer->setAccessibleName(QStringLiteral("Datebell user guide"));
        viewer->setFrameShape(QFrame::NoFrame);
        viewer->setOpenExternalLinks(true);
        viewer->setSource(url); // at the guide's top
        window->setCentralWidget(viewer);
        auto *close = new QShortcut(QKeySequence(Qt::Key_Escape), window);
        QObject::connect(close, &QShortcut::activated, window, &QWidget::close);
        CentreOn(window, owner);
        m_viewer = viewer;
    }
    // Asked again, the open viewer comes to the front as the user left it.
    QWidget *window = m_viewer->window();
    window->show();
    window->raise();
    window->activateWindow();
}
