#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

class MessageService;
class QTextBrowser;
class QWidget;

// Opens the user guide at its top beside the program's windows, without waiting.
class HelpService
{
public:
    virtual ~HelpService() = default;
    virtual void ShowContents(QWidget *owner, const QString &path) = 0;
};

// The desktop's viewer; where none can be started, a window of the program's own, one at a
// time, which stays until the user closes it. A guide that is missing or unreadable is named
// in a message box over `owner`.
class QtHelpService final : public HelpService
{
public:
    // `openUrl` asks the desktop to open a URL and says whether it could.
    explicit QtHelpService(MessageService &messages,
                           std::function<bool(const QUrl &)> openUrl = {});
    ~QtHelpService() override;
    void ShowContents(QWidget *owner, const QString &path) override;
    // The text of the program's own viewer while its window is open, or null.
    QTextBrowser *viewer() const;

private:
    MessageService &m_messages;
    std::function<bool(const QUrl &)> m_openUrl;
    QPointer<QTextBrowser> m_viewer;
};

// The guide beside the program.
QString HelpFilePath(const QString &programDirectory);
