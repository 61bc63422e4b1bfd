#include "maint/frmEventMaint.h"

#include "engine/basDatBel.h"
#include "engine/clsHourglass.h"
#include "engine/conversions.h"
#include "engine/dates.h"
#include "engine/errors.h"
#include "engine/platform.h"
#include "engine/settings.h"
#include "gridmodel/eventgridmodel.h"
#include "gridmodel/sortorders.h"
#include "windows/help.h"
#include "windows/layout.h"
#include "windows/messages.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolTip>

namespace {

const QString invalidNewRecordText =
        QStringLiteral("Invalid data for new record...record bypassed");
const QString invalidDateText = QStringLiteral("Invalid event date");
const QString invalidDescriptionText = QStringLiteral("Invalid event description");
const QString errorTitle = QStringLiteral("Error");

// A write the file refused (locked, full, read-only) or a row another program deleted: the
// user is told and the window goes on with the typed values kept.
bool keepsTheWindow(const DatebellError &error)
{
    return IsRecoverableWriteError(error.number()) || error.number() == ErrorNumber::RecordDeleted;
}

// In-place editors: a line of text, and Yes or No for the annual flag. An editor opens on
// the whole stored value and hands on only a text the user changed.
class GridDelegate : public QStyledItemDelegate
{
public:
    using Guard = std::function<void(const std::function<void()> &)>;
    // Told of a typed text the grid refused, so that the user can correct it.
    using Refused = std::function<void(const QModelIndex &, const std::optional<QString> &)>;
    GridDelegate(Guard guard, Refused refused, QObject *parent)
        : QStyledItemDelegate(parent), m_guard(std::move(guard)), m_refused(std::move(refused))
    {
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &,
                          const QModelIndex &index) const override
    {
        if (index.column() == EventGridModel::AnnualColumn) {
            auto *choice = new QComboBox(parent);
            choice->addItems({ QStringLiteral("Yes"), QStringLiteral("No") });
            return choice;
        }
        auto *editor = new QLineEdit(parent);
        editor->setFrame(false);
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        const QString text = index.data(Qt::EditRole).toString();
        editor->setProperty(openedWith, text);
        if (auto *choice = qobject_cast<QComboBox *>(editor)) {
            choice->setCurrentIndex(choice->findText(text));
            return;
        }
        // A description stops at the 255 characters the file keeps; a date, which the file
        // keeps in 19 characters whatever its shown form, at 64 typed ones. Neither limit
        // ever cuts the text the editor opens with.
        auto *line = static_cast<QLineEdit *>(editor);
        const int limit = index.column() == EventGridModel::EventDateColumn ? 64 : 255;
        line->setMaxLength(qMax(limit, int(text.size())));
        line->setText(text);
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override
    {
        const auto *choice = qobject_cast<QComboBox *>(editor);
        const QString text =
                choice ? choice->currentText() : static_cast<QLineEdit *>(editor)->text();
        if (text == editor->property(openedWith).toString())
            return; // opened and left: nothing changes
        bool accepted = false;
        m_guard([&] { accepted = model->setData(index, text); });
        if (!accepted)
            m_refused(index, text);
    }

    // A cell whose text does not fit shows it whole in a tooltip, as plain text.
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override
    {
        if (event->type() == QEvent::ToolTip && !index.data(Qt::ToolTipRole).isValid()) {
            const QString shown = index.data(Qt::DisplayRole).toString();
            const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1;
            if (option.fontMetrics.horizontalAdvance(shown) <= option.rect.width() - 2 * margin) {
                QToolTip::hideText();
                return true;
            }
            const QString whole = index.column() == EventGridModel::DescriptionColumn
                    ? index.data(Qt::EditRole).toString()
                    : shown;
            QToolTip::showText(event->globalPos(), PlainTooltip(whole), view->viewport(),
                               option.rect);
            return true;
        }
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    }

protected:
    // A value another program stored in a form of its own stands out.
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(EventGridModel::MalformedRole).toBool())
            option->backgroundBrush = QColor(255, 214, 214);
    }

private:
    static constexpr const char *openedWith = "openedWith";
    Guard m_guard;
    Refused m_refused;
};

// The keys that move the current row up or down.
bool movesRow(const QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        return !(event->modifiers() & (Qt::AltModifier | Qt::MetaModifier));
    default:
        return false;
    }
}

} // namespace

// The grid's keyboard: Tab and Shift+Tab, from the view or from an open editor, go to the
// window, which saves the row before leaving it; an arrow or Page key hands an open editor's
// text to its row before the move, so that a new row has a row below it to move to, and
// reaches the new-record row in its date cell; Esc outside an editor cancels the changes to
// the row; the Delete key deletes nothing.
class GridView : public QTableView
{
public:
    using QTableView::QTableView;

    std::function<void(bool forward)> tabbed;
    std::function<bool()> cancelRow;
    // An Up or Down key that found no row to move to, on the row being edited.
    std::function<void()> stayed;
    // Set while a typed text the grid refused waits to be shown again for correction.
    bool refusalPending = false;

    // Hands the open editor's text to the model and closes it; false when the text was
    // refused.
    bool finishEdit()
    {
        if (state() == EditingState) {
            if (QWidget *editor = indexWidget(currentIndex())) {
                commitData(editor);
                closeEditor(editor, QAbstractItemDelegate::NoHint);
            }
        }
        return !refusalPending;
    }
    // Closes an open editor without handing its text on.
    void dropEdit()
    {
        if (state() == EditingState) {
            if (QWidget *editor = indexWidget(currentIndex()))
                closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
        }
    }
    void leaveGrid(bool forward) { QWidget::focusNextPrevChild(forward); }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const bool plain = !(event->modifiers() & ~Qt::ShiftModifier);
        if (plain && (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab)) {
            event->accept();
            tabbed(event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier));
            return;
        }
        if (event->key() == Qt::Key_Escape && cancelRow()) {
            event->accept();
            return;
        }
        if (event->key() == Qt::Key_Delete) {
            event->accept();
            return;
        }
        if (movesRow(event)) {
            event->accept();
            if (!finishEdit())
                return; // the refused text comes back for correction
            const int moves = m_moves;
            QTableView::keyPressEvent(event);
            const int now = currentIndex().row();
            if (m_moves == moves)
                stayed();
            else if (now == model()->rowCount() - 1 && currentIndex().column() != 0)
                setCurrentIndex(model()->index(now, 0)); // a new event starts with its date
            return;
        }
        QTableView::keyPressEvent(event);
    }

    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override
    {
        if (hint == QAbstractItemDelegate::EditNextItem
            || hint == QAbstractItemDelegate::EditPreviousItem) {
            QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
            if (!refusalPending)
                tabbed(hint == QAbstractItemDelegate::EditNextItem);
            return;
        }
        QTableView::closeEditor(editor, hint);
    }

    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override
    {
        ++m_moves;
        QTableView::currentChanged(current, previous);
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        m_pressedCurrent = indexAt(event->position().toPoint()) == currentIndex();
        QTableView::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent *event) override
    {
        QTableView::mouseReleaseEvent(event);
        if (m_pressedCurrent && event->button() == Qt::LeftButton && state() != EditingState
            && indexAt(event->position().toPoint()) == currentIndex()
            && editTriggers() != NoEditTriggers)
            edit(currentIndex());
        m_pressedCurrent = false;
    }

    // The view never moves by Tab on its own.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override
    {
        if (action == MoveNext || action == MovePrevious)
            return currentIndex();
        return QTableView::moveCursor(action, modifiers);
    }

private:
    bool m_pressedCurrent = false;
    int m_moves = 0; // changes of the current cell, to tell a key that found nowhere to go
};

frmEventMaint::frmEventMaint(const WindowContext &context, QWidget *parent)
    : QDialog(parent), m_context(context)
{
    buildLayout();
    Form_Load();
    // A damaged file is reported before anything can be written to it.
    Database &database = Data1.database();
    database.QuickCheck();
    if (const QString reason = database.ReadOnlyReason(); !reason.isEmpty())
        setReadOnly(reason);
    // The data control opens its record set once the window has loaded.
    Data1.Refresh();
    showCurrentRecord(EventGridModel::EventDateColumn);
    tabToCheckedOption();
    cmdHelp->setFocus();
}

// Tab enters the options on the checked one (on the first when none is), as a group of
// option buttons does; the arrow keys then move among them.
void frmEventMaint::tabToCheckedOption()
{
    const bool anyChecked =
            std::any_of(optDays.cbegin(), optDays.cend(),
                        [](const QRadioButton *option) { return option->isChecked(); });
    for (int i = 0; i < optDays.size(); ++i) {
        const bool entered = anyChecked ? optDays.at(i)->isChecked() : i == 0;
        optDays.at(i)->setFocusPolicy(entered ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

frmEventMaint::~frmEventMaint() = default;

void frmEventMaint::buildLayout()
{
    SetUpWindow(this, "frmEventMaint", QStringLiteral("Datebell Settings"), Qt::Dialog);
    setFixedSize(twips(9120), twips(3945));

    const auto button = [this](const char *name, const QString &caption, QRect geometry) {
        auto *created = new QPushButton(caption, this);
        created->setObjectName(QLatin1String(name));
        created->setGeometry(geometry);
        created->setAutoDefault(false); // Enter belongs to the grid's editor
        return created;
    };
    cmdHelp = button("cmdHelp", QStringLiteral("&Help"), twips(5460, 3540, 1095, 300));
    cmdRefresh = button("cmdRefresh", QStringLiteral("&Refresh"), twips(4020, 3540, 1095, 300));
    cmdDelete = button("cmdDelete", QStringLiteral("&Delete Event"), twips(2580, 3540, 1095, 300));
    cmdAdd = button("cmdAdd", QStringLiteral("&Add Event"), twips(1140, 3540, 1095, 300));
    cmdClose = button("cmdClose", QStringLiteral("&Close"), twips(6900, 3540, 1095, 315));

    auto *frmDays = new QGroupBox(QStringLiteral("Days Ahead to Remind"), this);
    frmDays->setObjectName(QStringLiteral("frmDays"));
    frmDays->setGeometry(twips(7080, 60, 1935, 3315));
    static const char *const captions[] = { "1 Day",  "2 Days", "3 Days", "4 Days",
                                            "5 Days", "7 Days", "30 Days" };
    static constexpr int tops[] = { 480, 825, 1155, 1500, 1845, 2175, 2520 };
    for (int i = 0; i < 7; ++i) {
        auto *option = new QRadioButton(QLatin1String(captions[i]), frmDays);
        option->setObjectName(QStringLiteral("optDays%1").arg(i));
        option->setGeometry(twips(360, tops[i], 1215, 255));
        optDays << option;
        connect(option, &QRadioButton::toggled, this, &frmEventMaint::tabToCheckedOption);
    }

    // The title: a box in the button face colour with a one-pixel outline, the label on it.
    auto *Shape1 = new QFrame(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(twips(120, 60, 6795, 435));
    Shape1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Shape1->setBackgroundRole(QPalette::Button);
    Shape1->setAutoFillBackground(true);
    auto *Label1 = new QLabel(QStringLiteral("List of Events for Reminding"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twips(120, 120, 6795, 375));
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setFont(LayoutFont(12, true));

    // The grid, with its caption bar across the top.
    const QRect gridArea = twips(120, 480, 6795, 2895);
    auto *caption = m_caption =
            new QLabel(QStringLiteral("Click on column heading to sort by that column."), this);
    caption->setObjectName(QStringLiteral("TDBGrid1Caption"));
    caption->setAlignment(Qt::AlignCenter);
    caption->setFrameStyle(QFrame::Panel | QFrame::Raised);
    caption->setBackgroundRole(QPalette::Button);
    caption->setAutoFillBackground(true);
    const int captionHeight = caption->sizeHint().height() + 2;
    caption->setGeometry(gridArea.x(), gridArea.y(), gridArea.width(), captionHeight);

    model = new EventGridModel(Data1, m_context.clock, this);
    model->beforeColUpdate = [this](int column, const QVariant &old, const QVariant &value) {
        return TDBGrid1_BeforeColUpdate(column, old, value);
    };
    TDBGrid1 = m_grid = new GridView(this);
    m_grid->tabbed = [this](bool forward) { gridTab(forward); };
    m_grid->cancelRow = [this] {
        if (model->editedRow() < 0)
            return false;
        model->dropRow();
        return true;
    };
    m_grid->stayed = [this] {
        guarded([this] {
            if (model->editedRow() == TDBGrid1->currentIndex().row() && !m_grid->refusalPending)
                leaveRow();
        });
    };
    TDBGrid1->setObjectName(QStringLiteral("TDBGrid1"));
    TDBGrid1->setAccessibleName(QStringLiteral("Events"));
    TDBGrid1->setGeometry(gridArea.adjusted(0, captionHeight, 0, 0));
    TDBGrid1->setModel(model);
    TDBGrid1->setItemDelegate(
            new GridDelegate([this](const std::function<void()> &body) { guarded(body); },
                             [this](const QModelIndex &cell, const std::optional<QString> &text) {
                                 correctLater(cell, text);
                             },
                             TDBGrid1));
    TDBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    // A click on the current cell opens its editor at once (GridView), not after Qt's wait
    // for a double click, which sends the keys typed meanwhile to a search of the rows.
    TDBGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                              | QAbstractItemView::AnyKeyPressed);
    TDBGrid1->setTabKeyNavigation(true);
    TDBGrid1->setWordWrap(false);
    TDBGrid1->setStyleSheet(QStringLiteral("QTableView { gridline-color: #808080; }"));
    QHeaderView *headings = TDBGrid1->horizontalHeader();
    headings->setSectionsMovable(false);
    headings->setSectionsClickable(true);
    headings->setHighlightSections(false);
    // The date column is as wide as a date with a time of day (to the second) in this font and
    // locale, at least as laid out; the description column gives up what it takes beyond that.
    const int dateWidth = qMax(twips(1095),
                               TDBGrid1->fontMetrics().horizontalAdvance(GridDateText(
                                       EventDateTime(QDate(2026, 12, 28), QTime(10, 30, 15))))
                                       + 12);
    headings->resizeSection(EventGridModel::EventDateColumn, dateWidth);
    headings->resizeSection(EventGridModel::DescriptionColumn,
                            twips(4200) - (dateWidth - twips(1095)));
    headings->resizeSection(EventGridModel::AnnualColumn, twips(795));
    headings->setStretchLastSection(true);
    QHeaderView *selectors = TDBGrid1->verticalHeader();
    selectors->setSectionResizeMode(QHeaderView::Fixed); // one line, whatever a cell holds
    selectors->setDefaultSectionSize(TDBGrid1->fontMetrics().height() + 4);
    selectors->setMinimumWidth(twips(225));
    selectors->setDefaultAlignment(Qt::AlignCenter);

    setTabOrder(cmdHelp, cmdRefresh);
    setTabOrder(cmdRefresh, cmdDelete);
    setTabOrder(cmdDelete, cmdAdd);
    setTabOrder(cmdAdd, cmdClose);
    setTabOrder(cmdClose, optDays.first());
    for (int i = 1; i < optDays.size(); ++i)
        setTabOrder(optDays.at(i - 1), optDays.at(i));
    setTabOrder(optDays.last(), TDBGrid1);

    connect(cmdClose, &QPushButton::clicked, this, &frmEventMaint::cmdClose_Click);
    connect(cmdRefresh, &QPushButton::clicked, this, &frmEventMaint::cmdRefresh_Click);
    connect(cmdAdd, &QPushButton::clicked, this, &frmEventMaint::cmdAdd_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmEventMaint::cmdDelete_Click);
    connect(cmdHelp, &QPushButton::clicked, this, &frmEventMaint::cmdHelp_Click);
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            &frmEventMaint::cmdHelp_Click);
    connect(headings, &QHeaderView::sectionClicked, this, &frmEventMaint::TDBGrid1_HeadClick);
    // A click on a record selector makes its row current.
    connect(selectors, &QHeaderView::sectionClicked, this, [this](int row) {
        TDBGrid1->setCurrentIndex(model->index(row, qMax(0, TDBGrid1->currentIndex().column())));
        if (TDBGrid1->currentIndex().row() == row) // not when the row left could not be saved
            TDBGrid1->selectRow(row);
    });
    connect(TDBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &frmEventMaint::currentRowChanged);

    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

// The events can be looked at and sorted, but not changed.
void frmEventMaint::setReadOnly(const QString &reason)
{
    model->setReadOnly(true);
    TDBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    cmdAdd->setEnabled(false);
    cmdDelete->setEnabled(false);
    // The caption bar has room for one short line; the whole reason is in its tooltip.
    m_caption->setText(QStringLiteral("Read-only. ") + m_caption->text());
    m_caption->setToolTip(
            QStringLiteral("%1 cannot be written, because %2.").arg(Data1.DatabaseName(), reason));
}

void frmEventMaint::Form_Load()
{
    clsHourglass hourglass;
    hourglass.DisplayCursor();
    // A hand-edited index outside the options selects none; closing then keeps it stored.
    const int index = DaysAheadIndex(m_context.settings);
    if (index >= 0 && index < optDays.size())
        optDays.at(index)->setChecked(true);
    Data1.setDatabaseName(m_context.programDirectory + QStringLiteral("/Datebell"));
    Data1.setRecordSource(SortOrder::Ascending[0]);
}

bool frmEventMaint::Form_Unload()
{
    clsHourglass hourglass;
    hourglass.DisplayCursor();
    // A new row that lacks a date or a description stays open for it, as on any way out of
    // the row; a change the file refused stays unless the user chooses to lose it.
    const bool incomplete = model->missingColumn() >= 0;
    if (!leaveRow()
        && (incomplete
            || ask(QStringLiteral("The change to the current row has not been saved. Close "
                                  "anyway and lose it?"),
                   MsgBoxStyle::Question, QStringLiteral("Datebell Settings"))
                    == MsgBoxResult::No))
        return false;
    for (int i = 0; i < optDays.size(); ++i) {
        if (!optDays.at(i)->isChecked())
            continue;
        try {
            m_context.settings.SaveSetting(AppTitle, SettingKeys::Section, SettingKeys::DaysAhead,
                                           QString::number(i));
        } catch (const DatebellError &error) {
            if (error.number() != ErrorNumber::SettingsNotSaved)
                throw;
            ask(error.text(), MsgBoxStyle::Information, errorTitle);
        }
        break;
    }
    BuildReminderQuery(m_context.settings, m_context.clock);
    const QScopedValueRollback moving(m_moving, true);
    Data1.Close();
    return true;
}

// Called when the window is closed: the Close button, Alt+C, the close box, Alt+F4 or Esc.
void frmEventMaint::reject()
{
    if (!m_unloaded) {
        bool unloaded = false;
        RunHandler(m_context.messages, [&] {
            // The text being typed belongs to the row that is saved; a refused one is
            // corrected first.
            unloaded = m_grid->finishEdit() && Form_Unload();
        });
        if (!unloaded)
            return;
        m_unloaded = true;
    }
    QDialog::reject();
}

void frmEventMaint::guarded(const std::function<void()> &body)
{
    RunHandler(m_context.messages, [&] {
        try {
            body();
        } catch (const DatebellError &error) {
            if (!keepsTheWindow(error))
                throw;
            reportWriteFailure(error);
        }
    });
}

int frmEventMaint::ask(const QString &prompt, int style, const QString &title)
{
    const qint16 pointer = ScreenPointer::code();
    ScreenPointer::setCode(ScreenPointer::Default);
    const QPointer<QWidget> focus = QApplication::focusWidget();
    const int answer = m_context.messages.MsgBox(prompt, style, title, this);
    ScreenPointer::setCode(pointer);
    // The focus goes back where the user was once the box has gone (an editor closing
    // meanwhile hands it to the grid), not to the window's first control.
    QWidget *back = focus && focus->window() == this ? focus.data() : nullptr;
    if (back && back->parentWidget() == TDBGrid1->viewport())
        back = TDBGrid1;
    if (back)
        back->setFocus(Qt::OtherFocusReason);
    return answer;
}

void frmEventMaint::correctLater(const QModelIndex &cell, const std::optional<QString> &text)
{
    if (m_grid->refusalPending)
        return; // one correction at a time: the first refusal is the one the user saw first
    m_grid->refusalPending = true;
    const QPersistentModelIndex at(cell);
    QMetaObject::invokeMethod(
            this, [this, at, text] { correct(at, text); }, Qt::QueuedConnection);
}

void frmEventMaint::correct(const QPersistentModelIndex &cell, const std::optional<QString> &text)
{
    m_grid->refusalPending = false;
    if (!isVisible() || !cell.isValid())
        return;
    guarded([&] {
        m_grid->dropEdit(); // an editor opened since holds nothing the user has been told of
        TDBGrid1->setCurrentIndex(cell);
        if (TDBGrid1->currentIndex() != cell)
            return; // another row could not be left
        TDBGrid1->setFocus(Qt::OtherFocusReason);
        TDBGrid1->edit(cell);
        auto *editor = qobject_cast<QLineEdit *>(TDBGrid1->indexWidget(cell));
        if (editor && text)
            editor->setText(*text);
        if (editor)
            editor->selectAll(); // what is typed next replaces it
    });
}

bool frmEventMaint::leaveRow()
{
    // A new row without a date or a description is refused with the message for what it
    // lacks, and stays, open for that cell.
    const int missing = model->missingColumn();
    if (missing >= 0) {
        ask(missing == EventGridModel::EventDateColumn ? invalidDateText : invalidDescriptionText,
            MsgBoxStyle::Information, errorTitle);
        correctLater(model->index(model->editedRow(), missing), std::nullopt);
        return false;
    }
    try {
        model->saveRow();
    } catch (const DatebellError &error) {
        if (!keepsTheWindow(error))
            throw;
        reportWriteFailure(error);
        return false;
    }
    return true;
}

void frmEventMaint::reportWriteFailure(const DatebellError &error)
{
    const QString text = error.number() == ErrorNumber::RecordDeleted
            ? QStringLiteral("This event is no longer in '%1': another program has deleted it. "
                             "Esc drops the changes to the row; Refresh shows the events as "
                             "they are now.")
                      .arg(Data1.DatabaseName())
            : error.text();
    ask(text, MsgBoxStyle::Information, errorTitle);
}

void frmEventMaint::showCurrentRecord(int column)
{
    Recordset *records = Data1.recordset();
    const qsizetype position = records ? records->AbsolutePosition() : -1;
    const int row = position < 0 ? model->newRecordRow() : int(position);
    const QScopedValueRollback moving(m_moving, true);
    TDBGrid1->setCurrentIndex(model->index(row, column));
    TDBGrid1->scrollTo(TDBGrid1->currentIndex());
}

// Called when the grid's current row changes: the row left is saved, and the record set
// follows the grid. A row that cannot be saved stays current with its changes.
void frmEventMaint::currentRowChanged(const QModelIndex &current, const QModelIndex &previous)
{
    if (m_moving)
        return;
    guarded([&] {
        model->retryReading();
        if (previous.isValid() && model->editedRow() == previous.row() && !leaveRow()) {
            const QScopedValueRollback moving(m_moving, true);
            TDBGrid1->setCurrentIndex(previous);
            // The view selects the cell it was moving to once this returns; the selection
            // follows the current cell again after that.
            QMetaObject::invokeMethod(
                    this,
                    [this] {
                        TDBGrid1->selectionModel()->select(TDBGrid1->currentIndex(),
                                                           QItemSelectionModel::ClearAndSelect);
                    },
                    Qt::QueuedConnection);
            return;
        }
        if (current.isValid() && current.row() < model->newRecordRow())
            records()->setAbsolutePosition(current.row());
    });
}

void frmEventMaint::gridTab(bool forward)
{
    guarded([&] {
        const QModelIndex at = TDBGrid1->currentIndex();
        const int last = EventGridModel::ColumnCount - 1;
        const int row = at.row();
        const int column = qMax(0, at.column());
        if (forward ? column < last : column > 0) {
            TDBGrid1->setCurrentIndex(model->index(row, column + (forward ? 1 : -1)));
            return;
        }
        // From the last cell the focus goes on to the next control, and the row stays
        // current until it is left; from the first, the row is left for the one above.
        if (forward)
            return m_grid->leaveGrid(true);
        if (!leaveRow())
            return; // the row stays current with the change that could not be saved
        if (row > 0)
            TDBGrid1->setCurrentIndex(model->index(row - 1, last));
        else
            m_grid->leaveGrid(false);
    });
}

// Called when the Close button is pressed.
void frmEventMaint::cmdClose_Click()
{
    close();
}

// Called when the Refresh button is pressed: all events are read again, in the same order.
void frmEventMaint::cmdRefresh_Click()
{
    guarded([this] {
        if (!m_grid->finishEdit())
            return;
        clsHourglass hourglass;
        hourglass.DisplayCursor();
        if (!leaveRow())
            return; // reading the events again would lose the unsaved change
        {
            const QScopedValueRollback moving(m_moving, true);
            Data1.Refresh();
        }
        showCurrentRecord(qMax(0, TDBGrid1->currentIndex().column()));
    });
}

// Called when the Add Event button is pressed: takes the user to the new-record row.
void frmEventMaint::cmdAdd_Click()
{
    guarded([this] {
        if (!m_grid->finishEdit())
            return;
        clsHourglass hourglass;
        hourglass.DisplayCursor();
        try {
            addSteps();
        } catch (const DatebellError &error) {
            if (error.number() != ErrorNumber::InvalidNewRecord)
                throw; // a refused write is reported by the guard; the row stays
            ask(invalidNewRecordText, MsgBoxStyle::Information, errorTitle);
            {
                const QScopedValueRollback moving(m_moving, true);
                Data1.Refresh();
            }
            addSteps();
        }
    });
}

Recordset *frmEventMaint::records()
{
    // A refresh that failed (the file locked) left no record set: it is opened again now.
    if (!Data1.recordset()) {
        const QScopedValueRollback moving(m_moving, true);
        Data1.Refresh();
    }
    return Data1.recordset();
}

void frmEventMaint::addSteps()
{
    model->saveRow(); // the row being edited is left
    Recordset *records = this->records();
    if (records->RecordCount() > 0)
        records->MoveLast(0);
    TDBGrid1->setFocus();
    showCurrentRecord(EventGridModel::EventDateColumn);
    // Processed after the handler: from the last record down onto the new-record row.
    QCoreApplication::postEvent(TDBGrid1,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier));
}

// Called when the Delete Event button is pressed: deletes the current event once confirmed.
void frmEventMaint::cmdDelete_Click()
{
    guarded([this] {
        if (!m_grid->finishEdit())
            return;
        clsHourglass hourglass;
        hourglass.DisplayCursor();
        Recordset *records = this->records();
        if (records->RecordCount() == 0) {
            ask(QStringLiteral("There are currently no records to delete."),
                MsgBoxStyle::Information, QStringLiteral("Delete record"));
            return;
        }
        // A started new row is the one the question names and Yes drops.
        const bool startedRow = model->addNewState() == 2;
        const int row = startedRow ? model->editedRow() : TDBGrid1->currentIndex().row();
        // The empty new-record row has no event under it.
        if (row < 0 || (row == model->newRecordRow() && !startedRow))
            return;
        const QVariantList values = model->rowValues(row);
        const QString stored = values.value(0).toString();
        const auto date = StoredDateValue(stored);
        const QString question = QStringLiteral("Are you sure you want to remove '")
                + (date ? GridDateText(*date) : stored) + u'/' + OneLine(values.value(1).toString())
                + QStringLiteral("' from Datebell?");
        if (ask(question, MsgBoxStyle::Question, QStringLiteral("Confirm delete"))
            == MsgBoxResult::No)
            return;
        if (startedRow) {
            model->dropRow(); // the unsaved new row goes; no stored event is deleted
            return;
        }
        const int column = qMax(0, TDBGrid1->currentIndex().column());
        {
            // The view moves its current row as the row goes; the record set stays put.
            const QScopedValueRollback moving(m_moving, true);
            records->setAbsolutePosition(row);
            model->deleteCurrentRecord(row); // a refused delete changes nothing
            records->MoveNext();
            if (records->EOF_() && records->RecordCount() > 0)
                records->MoveLast(0);
        }
        showCurrentRecord(column);
    });
}

// Called when the Help button is pressed, or F1.
void frmEventMaint::cmdHelp_Click()
{
    m_context.help.ShowContents(this, HelpFilePath(m_context.programDirectory));
}

// Called before an edited cell's value is accepted; returns true to refuse it.
bool frmEventMaint::TDBGrid1_BeforeColUpdate(int ColIndex, const QVariant &, const QVariant &value)
{
    clsHourglass hourglass;
    hourglass.DisplayCursor();
    if (ColIndex == EventGridModel::EventDateColumn
        && !RecognizeDate(value.toString(), QLocale(), m_context.clock.today().year())) {
        ask(invalidDateText, MsgBoxStyle::Information, errorTitle);
        return true;
    }
    if (ColIndex == EventGridModel::DescriptionColumn && value.toString().isEmpty()) {
        ask(invalidDescriptionText, MsgBoxStyle::Information, errorTitle);
        return true;
    }
    return false;
}

// Called when a column heading is clicked: sorts by that column, or the other way round, and
// selects the column.
void frmEventMaint::TDBGrid1_HeadClick(int ColIndex)
{
    guarded([&] {
        if (!m_grid->finishEdit())
            return;
        clsHourglass hourglass;
        hourglass.DisplayCursor();
        if (!leaveRow())
            return;
        const bool ascending = Data1.RecordSource() == SortOrder::Ascending[ColIndex];
        Data1.setRecordSource(ascending ? SortOrder::Descending[ColIndex]
                                        : SortOrder::Ascending[ColIndex]);
        {
            const QScopedValueRollback moving(m_moving, true);
            Data1.Refresh();
        }
        showCurrentRecord(ColIndex);
        if (model->newRecordRow() > 0)
            TDBGrid1->selectionModel()->select(
                    QItemSelection(model->index(0, ColIndex),
                                   model->index(model->newRecordRow() - 1, ColIndex)),
                    QItemSelectionModel::ClearAndSelect);
    });
}
