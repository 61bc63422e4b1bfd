#pragma once

// reminder/: the reminder window.

#include "windows/windowcontext.h"

#include <QDate>
#include <QMainWindow>

class QAction;
class QLabel;
class QListWidget;
class QPushButton;
class QStatusBar;
class QTimer;

// The main window: the events due, a status bar with the counts and the horizon, and the
// menus. It reads the engine's shared state; closing it tidies past events and closes the
// database.
class frmDatBel : public QMainWindow
{
    Q_OBJECT

public:
    explicit frmDatBel(const WindowContext &context, QWidget *parent = nullptr);
    ~frmDatBel() override;

    // Fills the status panels and the list from the database, and sizes the window to it.
    void LoadListBox();
    // Runs the reminder pass for today's date in this window: the list's day becomes the last
    // reminder date, the list is reloaded, and today is recorded once it is on the screen.
    void StartDayPass();
    // Runs the pass for today when the list is of another day and no window is open over it.
    void FollowTheDay();

    // Geometry in twips, as the window last set it.
    int outerHeight() const { return m_outerHeight; }
    int listHeight() const { return m_listHeight; }
    int exitTop() const { return m_exitTop; }

    // The controls, by their names.
    QListWidget *lstEvents;
    QPushButton *cmdExit;
    QStatusBar *sbStatus;
    QList<QLabel *> panels; // panels 1 to 5 at indexes 0 to 4
    QAction *mnuFileExit;
    QAction *mnuEditEdit;
    QAction *mnuHelpHelp;
    QAction *mnuHelpAbout;
    QAction *mnuDummy;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void cmdExit_Click();
    void mnuFileExit_Click();
    void mnuEditEdit_Click();
    void mnuHelpHelp_Click();
    void mnuHelpAbout_Click();
    void lstEvents_DblClick();

private:
    void buildLayout();
    void Form_Load();
    void Form_Unload();
    void applyGeometry();
    void updateClockPanels();
    void setPanelText(int panel, const QString &text);
    void showNotices();
    void recordPendingPass();

    WindowContext m_context;
    bool m_centred = false; // by the frame the window manager drew
    QWidget *m_client;
    QTimer *m_clockTimer;
    bool mbListLoaded = false;
    QDate m_shownUntil; // the horizon date of the list on the screen
    QDate m_listDay; // the day whose pass the list shows
    QDate m_pendingRecord; // a day to record as a pass once the window is on the screen
    QDate m_pendingShownUntil; // the horizon date of that day's list
    bool m_maintOpen = false;
    bool m_unloaded = false;
    // What the user must read once the window is on the screen, and why nothing can be
    // written (then the closing does not try to tidy: that was said here once).
    QStringList m_notices;
    QString m_readOnly;
    int m_outerHeight = 0;
    int m_listHeight = 0;
    int m_exitTop = 0;
};
