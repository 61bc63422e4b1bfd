#include "maint/frmEventMaint.h"

#include "engine/basDatBel.h"
#include "engine/clsHourglass.h"
#include "engine/dates.h"
#include "engine/errors.h"
#include "engine/platform.h"
#include "engine/settings.h"
#include "gridmodel/eventgridmodel.h"
#include "gridmodel/sortorders.h"
#include "windows/help.h"
#include "windows/layout.h"
#include "windows/messages.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTableView>

namespace {

const QString invalidNewRecordText =
        QStringLiteral("Invalid data for new record...record bypassed");
const QString errorTitle = QStringLiteral("Error");

// The grid's keyboard: Tab goes along the row and, from the last column, on to the next
// control, never round to the next row; the Delete key deletes nothing.
class GridView : public QTableView
{
public:
    using QTableView::QTableView;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const int column = currentIndex().column();
        const bool plain = !(event->modifiers() & ~Qt::ShiftModifier);
        if (plain && event->key() == Qt::Key_Tab && column == model()->columnCount() - 1) {
            QWidget::focusNextPrevChild(true);
            return;
        }
        if (plain && event->key() == Qt::Key_Backtab && column <= 0) {
            QWidget::focusNextPrevChild(false);
            return;
        }
        if (event->key() == Qt::Key_Delete) {
            event->accept();
            return;
        }
        QTableView::keyPressEvent(event);
    }
};

// In-place editors: typed text up to each column's width, and Yes or No for the annual flag.
class GridDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

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
        editor->setMaxLength(index.column() == EventGridModel::EventDateColumn ? 19 : 255);
        return editor;
    }

protected:
    // A value another program stored in a form of its own stands out.
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(EventGridModel::MalformedRole).toBool())
            option->backgroundBrush = QColor(255, 214, 214);
    }
};

} // namespace

frmEventMaint::frmEventMaint(const WindowContext &context, QWidget *parent)
    : QDialog(parent), m_context(context)
{
    buildLayout();
    Form_Load();
    // A damaged file is reported before anything can be written to it.
    Database &database = Data1.database();
    database.QuickCheck(BackupPath(database));
    if (const QString reason = database.ReadOnlyReason(); !reason.isEmpty())
        setReadOnly(reason);
    // The data control opens its record set once the window has loaded.
    Data1.Refresh();
    showCurrentRecord(EventGridModel::EventDateColumn);
    cmdHelp->setFocus();
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
    TDBGrid1 = new GridView(this);
    TDBGrid1->setObjectName(QStringLiteral("TDBGrid1"));
    TDBGrid1->setGeometry(gridArea.adjusted(0, captionHeight, 0, 0));
    TDBGrid1->setModel(model);
    TDBGrid1->setItemDelegate(new GridDelegate(TDBGrid1));
    TDBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    TDBGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                              | QAbstractItemView::AnyKeyPressed
                              | QAbstractItemView::SelectedClicked);
    TDBGrid1->setTabKeyNavigation(true);
    TDBGrid1->setWordWrap(false);
    TDBGrid1->setStyleSheet(QStringLiteral("QTableView { gridline-color: #808080; }"));
    QHeaderView *headings = TDBGrid1->horizontalHeader();
    headings->setSectionsMovable(false);
    headings->setSectionsClickable(true);
    headings->setHighlightSections(false);
    // The date column is as wide as a date with a time of day in this font and locale, at
    // least as laid out; the description column gives up what it takes beyond that.
    const int dateWidth = qMax(twips(1095),
                               TDBGrid1->fontMetrics().horizontalAdvance(GridDateText(
                                       EventDateTime(QDate(2026, 12, 28), QTime(10, 30))))
                                       + 12);
    headings->resizeSection(EventGridModel::EventDateColumn, dateWidth);
    headings->resizeSection(EventGridModel::DescriptionColumn,
                            twips(4200) - (dateWidth - twips(1095)));
    headings->resizeSection(EventGridModel::AnnualColumn, twips(795));
    headings->setStretchLastSection(true);
    QHeaderView *selectors = TDBGrid1->verticalHeader();
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
    // A change that cannot be saved now stays, unless the user chooses to lose it.
    if (!leaveRow()
        && m_context.messages.MsgBox(QStringLiteral("The change to the current row has not been "
                                                    "saved. Close anyway and lose it?"),
                                     MsgBoxStyle::Question, QStringLiteral("Datebell Settings"),
                                     this)
                == MsgBoxResult::No)
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
            m_context.messages.MsgBox(error.text(), MsgBoxStyle::Information, errorTitle, this);
        }
        break;
    }
    BuildReminderQuery(m_context.settings, m_context.clock);
    Data1.Close();
    return true;
}

void frmEventMaint::reject()
{
    if (!m_unloaded) {
        bool unloaded = false;
        RunHandler(m_context.messages, [&] { unloaded = Form_Unload(); });
        if (!unloaded)
            return;
        m_unloaded = true;
    }
    QDialog::reject();
}

bool frmEventMaint::leaveRow()
{
    try {
        model->saveRow();
    } catch (const DatebellError &error) {
        if (error.number() == ErrorNumber::InvalidNewRecord) {
            m_context.messages.MsgBox(invalidNewRecordText, MsgBoxStyle::Information, errorTitle,
                                      this);
            model->dropRow();
            return true;
        }
        if (!IsRecoverableWriteError(error.number()))
            throw;
        reportWriteFailure(error);
        return false;
    }
    return true;
}

void frmEventMaint::reportWriteFailure(const DatebellError &error)
{
    m_context.messages.MsgBox(error.text(), MsgBoxStyle::Information, errorTitle, this);
}

void frmEventMaint::showCurrentRecord(int column)
{
    Recordset *records = Data1.recordset();
    const qsizetype position = records ? records->AbsolutePosition() : -1;
    const int row = position < 0 ? model->newRecordRow() : int(position);
    TDBGrid1->setCurrentIndex(model->index(row, column));
    TDBGrid1->scrollTo(TDBGrid1->currentIndex());
}

// Called when the grid's current row changes: the row left is saved, and the record set
// follows the grid.
void frmEventMaint::currentRowChanged(const QModelIndex &current, const QModelIndex &previous)
{
    RunHandler(m_context.messages, [&] {
        if (previous.isValid() && model->editedRow() == previous.row())
            leaveRow();
        if (current.isValid() && current.row() < model->newRecordRow())
            Data1.recordset()->setAbsolutePosition(current.row());
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
    RunHandler(m_context.messages, [this] {
        clsHourglass hourglass;
        hourglass.DisplayCursor();
        if (!leaveRow())
            return; // reading the events again would lose the unsaved change
        Data1.Refresh();
        showCurrentRecord(qMax(0, TDBGrid1->currentIndex().column()));
    });
}

// Called when the Add Event button is pressed: takes the user to the new-record row.
void frmEventMaint::cmdAdd_Click()
{
    RunHandler(m_context.messages, [this] {
        clsHourglass hourglass;
        hourglass.DisplayCursor();
        try {
            addSteps();
        } catch (const DatebellError &error) {
            if (IsRecoverableWriteError(error.number()))
                reportWriteFailure(error);
            if (error.number() != ErrorNumber::InvalidNewRecord)
                return;
            m_context.messages.MsgBox(invalidNewRecordText, MsgBoxStyle::Information, errorTitle,
                                      this);
            Data1.Refresh();
            addSteps();
        }
    });
}

void frmEventMaint::addSteps()
{
    model->saveRow(); // the row being edited is left
    Recordset *records = Data1.recordset();
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
    RunHandler(m_context.messages, [this] {
        clsHourglass hourglass;
        hourglass.DisplayCursor();
        Recordset *records = Data1.recordset();
        if (records->RecordCount() == 0) {
            m_context.messages.MsgBox(QStringLiteral("There are currently no records to delete."),
                                      MsgBoxStyle::Information, QStringLiteral("Delete record"),
                                      this);
            return;
        }
        const int row = TDBGrid1->currentIndex().row();
        const bool startedRow = model->addNewState() == 2;
        // The empty new-record row has no event under it.
        if (row < 0 || (row == model->newRecordRow() && !startedRow))
            return;
        const QVariantList values = model->rowValues(row);
        const QString stored = values.value(0).toString();
        const auto date = StoredDateValue(stored);
        const QString question = QStringLiteral("Are you sure you want to remove '")
                + (date ? GridDateText(*date) : stored) + u'/' + values.value(1).toString()
                + QStringLiteral("' from Datebell?");
        if (m_context.messages.MsgBox(question, MsgBoxStyle::Question,
                                      QStringLiteral("Confirm delete"), this)
            == MsgBoxResult::No)
            return;
        if (startedRow) {
            model->dropRow(); // the unsaved new row goes; no stored event is deleted
            return;
        }
        const int column = TDBGrid1->currentIndex().column();
        records->setAbsolutePosition(row);
        try {
            model->deleteCurrentRecord();
        } catch (const DatebellError &error) {
            if (!IsRecoverableWriteError(error.number()))
                throw;
            reportWriteFailure(error); // nothing was deleted
            return;
        }
        records->MoveNext();
        if (records->EOF_() && records->RecordCount() > 0)
            records->MoveLast(0);
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
    if (ColIndex == EventGridModel::EventDateColumn && !RecognizeDate(value.toString())) {
        m_context.messages.MsgBox(QStringLiteral("Invalid event date"), MsgBoxStyle::Information,
                                  errorTitle, this);
        return true;
    }
    if (ColIndex == EventGridModel::DescriptionColumn && value.toString().isEmpty()) {
        m_context.messages.MsgBox(QStringLiteral("Invalid event description"),
                                  MsgBoxStyle::Information, errorTitle, this);
        return true;
    }
    return false;
}

// Called when a column heading is clicked: sorts by that column, or the other way round.
void frmEventMaint::TDBGrid1_HeadClick(int ColIndex)
{
    RunHandler(m_context.messages, [&] {
        clsHourglass hourglass;
        hourglass.DisplayCursor();
        if (!leaveRow())
            return;
        const bool ascending = Data1.RecordSource() == SortOrder::Ascending[ColIndex];
        Data1.setRecordSource(ascending ? SortOrder::Descending[ColIndex]
                                        : SortOrder::Ascending[ColIndex]);
        Data1.Refresh();
        showCurrentRecord(qMax(0, TDBGrid1->currentIndex().column()));
    });
}
