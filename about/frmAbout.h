#pragma once

// about/: the About window.

#include <QDialog>

#include <functional>
#include <optional>

class MessageService;
class QLabel;
class QPushButton;
class Registry;

// The About window: title, version and copyright, and a button that starts the system's
// information tool where one can be found.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    // `startProgram` starts a command line without waiting for it and says whether it could.
    frmAbout(Registry &registry, MessageService &messages,
             std::function<bool(const QString &program)> startProgram, QWidget *parent = nullptr);

    bool SysInfoObtainable();
    void StartSysInfo();
    void reject() override;

    QPushButton *cmdOK;
    QPushButton *cmdSysInfo;
    QLabel *lblTitle;
    QLabel *lblVersion;
    QLabel *lblDescription;

private Q_SLOTS:
    void cmdOK_Click();
    void cmdSysInfo_Click();

private:
    void buildLayout();
    void Form_Load();
    // The tool's command line by the two registry lookups in turn; nothing when neither finds it.
    std::optional<QString> findSysInfo();

    Registry &m_registry;
    MessageService &m_messages;
    std::function<bool(const QString &)> m_startProgram;
};
