#pragma once

// maint/: the event maintenance window.

#include "gridmodel/datacontrol.h"
#include "windows/windowcontext.h"

#include <QDialog>

#include <functional>
#include <optional>

class DatebellError;
class EventGridModel;
class GridView;
class QLabel;
class QPersistentModelIndex;
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
    // Runs a handler's body, so that no error reaches Qt's event loop: a write or read the
    // file refused (locked, full, read-only, the row deleted by another program) is reported
    // and the window goes on with the typed values kept; any other error ends the program
    // through the one fatal report.
    void guarded(const std::function<void()> &body);
    void reportWriteFailure(const DatebellError &error);
    // A message box, with the user's own pointer while it waits for the answer.
    int ask(const QString &prompt, int style, const QString &title);
    // Tab (forward) or Shift+Tab in the grid or its editor: along the row; from its end to
    // the next row once the row is saved, or out of the grid from the new-record row.
    void gridTab(bool forward);
    bool TDBGrid1_BeforeColUpdate(int ColIndex, const QVariant &OldValue, const QVariant &value);
    void addSteps();
    // The data control's record set, opened again when a refresh could not open it.
    Recordset *records();
    // Leaves the row being edited: a valid one is saved. A new one without a date or a
    // description is refused with the message for what it lacks and kept current: false.
    // When the file refuses the write (locked, full, read-only) the user is told and the
    // change stays in the grid to try again: false.
    bool leaveRow();
    // A cell's typed text was refused: once the refusal is over, the cell is current again
    // with its editor open on that text (or on the cell's value, given none) and the
    // focus in it, so that the user can correct it at once.
    void correctLater(const QModelIndex &cell, const std::optional<QString> &text);
    void correct(const QPersistentModelIndex &cell, const std::optional<QString> &text);
    void tabToCheckedOption();
    // The grid's current row follows the record set's current record, and back.
    void showCurrentRecord(int column);
    void currentRowChanged(const QModelIndex &current, const QModelIndex &previous);

    WindowContext m_context;
    GridView *m_grid;
    QLabel *m_caption;
    bool m_unloaded = false;
    // Set while the window itself moves the grid's current row (refresh, delete), which
    // leaves no row and must not move the record set.
    bool m_moving = false;
};
