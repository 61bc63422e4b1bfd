#pragma once

// maint/: the event maintenance window.

#include "gridmodel/datacontrol.h"
#include "windows/windowcontext.h"

#include <QDialog>

class DatebellError;
class EventGridModel;
class QLabel;
class QPushButton;
class QRadioButton;
class QTableView;

// The window that edits the events in a grid and chooses the reminder horizon. It works on
// a connection of its own; every saved row and deletion is in the file at once.
class frmEventMaint : public QDialog
{
    Q_OBJECT

public:
    explicit frmEventMaint(const WindowContext &context, QWidget *parent = nullptr);
    ~frmEventMaint() override;

    // Closing by any means unloads the window once.
    void reject() override;

    DataControl Data1;
    EventGridModel *model;
    QTableView *TDBGrid1;
    QPushButton *cmdHelp;
    QPushButton *cmdRefresh;
    QPushButton *cmdDelete;
    QPushButton *cmdAdd;
    QPushButton *cmdClose;
    QList<QRadioButton *> optDays;

private Q_SLOTS:
    void cmdClose_Click();
    void cmdRefresh_Click();
    void cmdAdd_Click();
    void cmdDelete_Click();
    void cmdHelp_Click();
    void TDBGrid1_HeadClick(int ColIndex);

private:
    void buildLayout();
    void Form_Load();
    // Returns false when the window is to stay open: a change could not be saved and the
    // user keeps it.
    bool Form_Unload();
    void setReadOnly(const QString &reason);
    void reportWriteFailure(const DatebellError &error);
    bool TDBGrid1_BeforeColUpdate(int ColIndex, const QVariant &OldValue, const QVariant &value);
    void addSteps();
    // Leaves the row being edited: a valid one is saved, and a new one without a date is
    // dropped with the message that says so. When the file refuses the write (locked, full,
    // read-only) the user is told and the change stays in the grid to try again: false.
    bool leaveRow();
    // The grid's current row follows the record set's current record, and back.
    void showCurrentRecord(int column);
    void currentRowChanged(const QModelIndex &current, const QModelIndex &previous);

    WindowContext m_context;
    QLabel *m_caption;
    bool m_unloaded = false;
};
