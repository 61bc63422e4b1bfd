#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

// Opens the user guide at its contents beside the program's windows, without waiting.
class HelpService
{
public:
    virtual ~HelpService() = default;
    virtual void ShowContents(QWidget *owner, const QString &path) = 0;
};

// The desktop's viewer; where none can be started, a window of the program's own.
class QtHelpService final : public HelpService
{
public:
    // `openUrl` asks the desktop to open a URL and says whether it could.
    explicit QtHelpService(std::function<bool(const QUrl &)> openUrl = {});
    ~QtHelpService() override;
    void ShowContents(QWidget *owner, const QString &path) override;

private:
    std::function<bool(const QUrl &)> m_openUrl;
    QPointer<QWidget> m_viewer;
};

// The guide beside the program.
QString HelpFilePath(const QString &programDirectory);
